// Binary files: bytes between files and memory or vectors.
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "builtins/files/fileinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

constexpr double kMaxFilePosition = 2e15;
constexpr int64_t kMaxVectorFileBytes = 2147418112;

// A position argument: rounded, its magnitude at most 2e15 (false beyond).
bool filePosition(double value, int64_t& position) {
    double rounded = std::round(value);
    if (!(std::fabs(rounded) <= kMaxFilePosition)) return false;
    position = static_cast<int64_t>(rounded);
    return true;
}

// Where a read starts (a negative position continues at the read position)
// and how many bytes the file still holds from there (-1: not a regular file).
void readExtent(Interpreter& ip, int fd, int64_t requested, int64_t& start, int64_t& available) {
    start = requested < 0 ? fileState(ip).cache.readPosition() : requested;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        available = -1;
        return;
    }
    available = std::max<int64_t>(0, info.st_size - start);
}

// ReadFileBin splf: n bytes from the file at pos into memory.
interp::Error readFileBin(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.results().values[0] = 0;
    int64_t position;
    if (!filePosition(args.number(3), position)) {
        setFileError(ip, 3);
        return kOk;
    }
    int fd = readHandle(ip, args.text(0));
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    int64_t start, available;
    readExtent(ip, fd, position, start, available);
    int32_t n = args.l(2);
    int64_t count =
        n >= 0 ? (available < 0 ? n : std::min<int64_t>(n, available)) : std::max<int64_t>(available, 0);
    // The memory must hold what was asked for (the rest of the file for n < 0).
    unsigned char* memory;
    if (interp::Error err =
            checkMemory(ip, args.slot(1), static_cast<uint64_t>(n >= 0 ? n : count), Access::Write, memory))
        return err;
    int64_t got = readFully(fd, memory, static_cast<size_t>(count), start);
    if (got < 0) {
        setFileError(ip, errno == EFAULT ? 4 : 1);
        return kOk;
    }
    fileState(ip).cache.setReadPosition(start + got);
    ip.results().values[0] = static_cast<int32_t>(got);
    setFileError(ip, got < count || (n >= 0 && got < n) ? 1 : 0);
    return kOk;
}

// WriteFileBin splf: n bytes from memory into the file at pos (a negative
// position continues at the write position).
interp::Error writeFileBin(Interpreter& ip, CallArgs& args, MCVal&) {
    int64_t position;
    if (!filePosition(args.number(3), position)) {
        setFileError(ip, 3);
        return kOk;
    }
    if (args.l(2) < 0) return interp::kBadParameters;
    auto n = static_cast<uint64_t>(args.l(2));
    unsigned char* memory;
    if (interp::Error err = checkMemory(ip, args.slot(1), n, Access::Read, memory)) return err;
    int fd = writeHandle(ip, args.text(0));
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    setFileError(ip, writeFully(fd, memory, static_cast<size_t>(n), position) ? 0 : 1);
    return kOk;
}

// VectReadFile ms.lf: the file from pos into a byte vector.
interp::Error vectReadFile(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.results().values[0] = 0;
    int64_t position = 0;
    if (args.present(3) && !filePosition(args.number(3), position)) {
        setFileError(ip, 3);
        return kOk;
    }
    int fd = readHandle(ip, args.text(1));
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    int64_t start, available;
    readExtent(ip, fd, position, start, available);
    if (available < 0) available = 0;
    int32_t n = args.present(2) ? args.l(2) : 0;
    int64_t count = n >= 1 && n < available ? n : available;
    if (count > kMaxVectorFileBytes) return interp::kOutOfMemory;
    interp::DataBlock** block = args.var(0).block;
    if (!*block || (*block)->payloadBytes != count) {
        if (!interp::resizeBlock(block, interp::kElemUInt8, count, 0)) return interp::kVectorNotCreated;
        (*block)->xSize = static_cast<int32_t>(count);
        (*block)->ySize = 1;
    }
    int64_t got = readFully(fd, (*block)->bytes(), static_cast<size_t>(count), start);
    if (got < 0) {
        setFileError(ip, 1);
        return kOk;
    }
    // A NUL behind the data where the block has room, so the bytes read as text.
    if (count + interp::kDataBlockHeaderBytes < ((*block)->capacityBytes & ~1)) (*block)->bytes()[count] = 0;
    fileState(ip).cache.setReadPosition(start + got);
    ip.results().values[0] = static_cast<int32_t>(got);
    setFileError(ip, got < count ? 1 : 0);
    return kOk;
}

// VectWriteFile ms.lf: the vector's bytes (or the first n) at pos. Position 0
// rewrites the file; the new contents replace the old ones only when all of
// them were written.
interp::Error vectWriteFile(Interpreter& ip, CallArgs& args, MCVal&) {
    const interp::DataBlock* block = *args.var(0).block;
    int64_t bytes = block ? block->payloadBytes : 0;
    if (args.present(2) && args.l(2) > 0 && args.l(2) < bytes) bytes = args.l(2);
    int64_t position = 0;
    if (args.present(3) && !filePosition(args.number(3), position)) {
        setFileError(ip, 3);
        return kOk;
    }
    FileName file = fileName(ip, args.text(1));
    if (!file.valid) {
        setFileError(ip, 2);
        return kOk;
    }
    FileCache& cache = fileState(ip).cache;
    bool ok;
    if (position == 0) {
        cache.closeFile(file.name, file.posix);
        ok = replaceFile(file.posix, [&](int fd) {
            return bytes == 0 || writeFully(fd, block->bytes(), static_cast<size_t>(bytes), 0);
        });
        if (!ok && errno != ENOSPC && errno != EFBIG && errno != EDQUOT && errno != EIO) {
            setFileError(ip, 2);
            return kOk;
        }
    } else {
        int fd = writeHandle(ip, args.text(1), kOpenNoSeekToEnd);
        if (fd < 0) {
            setFileError(ip, 2);
            return kOk;
        }
        ok = bytes == 0 ||
             writeFully(fd, block->bytes(), static_cast<size_t>(bytes), position < 0 ? 0 : position);
    }
    cache.closeWrite();
    setFileError(ip, ok ? 0 : 1);
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kBinaryFileCommandsRows[] = {
    {interp::cmd::ReadFileBin, readFileBin},
    {interp::cmd::WriteFileBin, writeFileBin},
    {interp::cmd::VectReadFile, vectReadFile},
    {interp::cmd::VectWriteFile, vectWriteFile},
};

void registerBinaryFileCommands(Interpreter& ip) { ip.install({"files/binfiles", kBinaryFileCommandsRows}); }

}  // namespace tvx::builtins
