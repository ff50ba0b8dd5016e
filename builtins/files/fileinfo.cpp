// What the file system knows about a file: existence, kind, size, times and
// the free space of a volume.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "builtins/files/fileinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

// File times as 100-nanosecond intervals since 1601 (the unit old macros
// exchange between GetFileDate and SetFileDate).
constexpr int64_t kFileTimeEpochOffset = 116444736000000000LL;

int64_t toFileTime(const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100 + kFileTimeEpochOffset;
}

struct timespec fromFileTime(int64_t fileTime) {
    int64_t units = fileTime - kFileTimeEpochOffset;
    int64_t seconds = units / 10000000;
    int64_t rest = units % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec t {};
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = static_cast<long>(rest * 100);
    return t;
}

// Creation time where the file system keeps one, else the last status change.
struct timespec creationTime(const std::string& posix, const struct stat& info) {
    struct statx sx {};
    if (::statx(AT_FDCWD, posix.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        struct timespec t {};
        t.tv_sec = static_cast<time_t>(sx.stx_btime.tv_sec);
        t.tv_nsec = static_cast<long>(sx.stx_btime.tv_nsec);
        return t;
    }
    return info.st_ctim;
}

// The attribute bits of a directory entry as old macros test them.
int32_t attributes(const interp::FoundEntry& entry) {
    int32_t bits = entry.isDirectory() ? 0x10 : 0x20;
    if (!(entry.info.st_mode & S_IWUSR)) bits |= 0x01;
    if (!entry.name.empty() && entry.name[0] == '.') bits |= 0x02;
    return bits;
}

// The first entry a name or pattern matches; false with errno's value in error.
bool firstMatch(Interpreter& ip, std::string_view name, interp::FoundEntry& entry, int& error) {
    FileName file = fileName(ip, name);
    if (!file.valid) {
        error = name.empty() ? ENOENT : ENAMETOOLONG;
        return false;
    }
    std::vector<interp::FoundEntry> found = interp::findEntries(file.posix, error);
    if (found.empty()) return false;
    entry = std::move(found.front());
    return true;
}

interp::Error existFile(Interpreter& ip, CallArgs& args, MCVal&) {
    interp::FoundEntry entry;
    int error = 0;
    double kind = 0;
    if (firstMatch(ip, args.text(1), entry, error)) {
        kind = entry.isDirectory() ? 2 : entry.info.st_size > 0 ? 1 : 3;
        setFileError(ip, 0);
    } else {
        setFileError(ip, error);
    }
    *args.var(0).number = kind;
    return kOk;
}

interp::Error fileExist(Interpreter& ip, CallArgs& args, MCVal& result) {
    interp::FoundEntry entry;
    int error = 0;
    result.setReal(firstMatch(ip, args.text(0), entry, error) ? 1 : 0);
    return kOk;
}

interp::Error isDirectory(Interpreter& ip, CallArgs& args, MCVal& result) {
    interp::FoundEntry entry;
    int error = 0;
    result.setReal(firstMatch(ip, args.text(0), entry, error) && entry.isDirectory() ? 1 : 0);
    return kOk;
}

interp::Error fileSize(Interpreter& ip, CallArgs& args, MCVal& result) {
    auto& results = ip.results().values;
    std::fill(results.begin(), results.begin() + 16, 0);
    FileName file = fileName(ip, args.text(0));
    if (!file.valid) {
        results[6] = args.text(0).empty() ? ENOENT : ENAMETOOLONG;
        setFileError(ip, 2);
        return kOk;
    }
    int error = 0;
    std::vector<interp::FoundEntry> found = interp::findEntries(file.posix, error);
    if (found.empty()) {
        results[6] = error;
        setFileError(ip, error == ENOENT || error == ENOTDIR ? 1 : error == ENAMETOOLONG ? 2 : 3);
        return kOk;
    }
    const interp::FoundEntry& entry = found.front();
    // The size of the open file where it can be opened, else the entry's.
    double size = static_cast<double>(entry.info.st_size);
    int fd = ::open(entry.posix.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0) size = static_cast<double>(info.st_size);
        ::close(fd);
    }
    results[0] = attributes(entry);
    results[1] = static_cast<int32_t>(creationTime(entry.posix, entry.info).tv_sec);
    results[2] = static_cast<int32_t>(entry.info.st_atim.tv_sec);
    results[3] = static_cast<int32_t>(entry.info.st_mtim.tv_sec);
    results[4] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(entry.info.st_size)));
    time_t written = entry.info.st_mtim.tv_sec;
    struct tm local {};
    if (::localtime_r(&written, &local)) {
        results[7] = local.tm_sec;
        results[8] = local.tm_min;
        results[9] = local.tm_hour;
        results[10] = local.tm_mday;
        results[11] = local.tm_mon + 1;
        results[12] = local.tm_year + 1900;
        results[13] = local.tm_wday;
        results[14] = local.tm_yday;
        results[15] = local.tm_isdst;
    }
    setFileError(ip, 0);
    result.setReal(size);
    return kOk;
}

void storeFileTime(interp::DataBlock* block, int index, int64_t fileTime) {
    auto low = static_cast<uint32_t>(static_cast<uint64_t>(fileTime));
    auto high = static_cast<uint32_t>(static_cast<uint64_t>(fileTime) >> 32);
    std::memcpy(block->bytes() + 4 * index, &low, 4);
    std::memcpy(block->bytes() + 4 * (index + 1), &high, 4);
}

int64_t loadFileTime(const interp::DataBlock* block, int index) {
    uint32_t low, high;
    std::memcpy(&low, block->bytes() + 4 * index, 4);
    std::memcpy(&high, block->bytes() + 4 * (index + 1), 4);
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
}

interp::Error getFileDate(Interpreter& ip, CallArgs& args, MCVal&) {
    interp::DataBlock** block = args.var(0).block;
    if (!*block || (*block)->elementType != interp::kElemInt32 || (*block)->count < 2) {
        if (!interp::resizeBlock(block, interp::kElemInt32, 2, 0)) return interp::kVectorNotCreated;
        (*block)->xSize = 2;
        (*block)->ySize = 1;
    }
    FileName file = fileName(ip, args.text(1));
    struct stat info {};
    if (!file.valid || ::stat(file.posix.c_str(), &info) != 0) {
        setFileError(ip, 2);
        return kOk;
    }
    storeFileTime(*block, 0, toFileTime(info.st_mtim));
    if ((*block)->count >= 6) {
        storeFileTime(*block, 2, toFileTime(creationTime(file.posix, info)));
        storeFileTime(*block, 4, toFileTime(info.st_atim));
    }
    setFileError(ip, 0);
    return kOk;
}

interp::Error setFileDate(Interpreter& ip, CallArgs& args, MCVal&) {
    const interp::DataBlock* block = *args.var(0).block;
    if (!block || block->elementType != interp::kElemInt32 || block->count < 2) return interp::kBadParameters;
    FileName file = fileName(ip, args.text(1));
    // The creation time cannot be set on POSIX file systems; it is left alone.
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    if (block->count >= 6) times[0] = fromFileTime(loadFileTime(block, 4));
    times[1] = fromFileTime(loadFileTime(block, 0));
    bool ok = file.valid && ::utimensat(AT_FDCWD, file.posix.c_str(), times, 0) == 0;
    setFileError(ip, ok ? 0 : 2);
    return kOk;
}

interp::Error getDiskSpace(Interpreter& ip, CallArgs& args, MCVal&) {
    FileName file = fileName(ip, args.text(2).empty() ? std::string_view(".") : args.text(2));
    struct statvfs info {};
    if (!file.valid || ::statvfs(file.posix.c_str(), &info) != 0) {
        setFileError(ip, 1);
        return kOk;
    }
    *args.var(0).number = static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize);
    *args.var(1).number = static_cast<double>(info.f_blocks) * static_cast<double>(info.f_frsize);
    setFileError(ip, 0);
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kFileInfoCommandsRows[] = {
    {interp::cmd::ExistFile, existFile},       {interp::cmd::FileExist, fileExist},
    {interp::cmd::IsDirectory, isDirectory},   {interp::cmd::FileSize, fileSize},
    {interp::cmd::GetFileDate, getFileDate},   {interp::cmd::SetFileDate, setFileDate},
    {interp::cmd::GetDiskSpace, getDiskSpace},
};

void registerFileInfoCommands(Interpreter& ip) { ip.install({"files/fileinfo", kFileInfoCommandsRows}); }

}  // namespace tvx::builtins
