// Managing files and directories: deleting, creating, renaming and copying.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "builtins/files/fileinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

constexpr size_t kMaxDeletePath = 509;
constexpr int kMaxDeleteDepth = 256;
constexpr size_t kCopyChunk = size_t{1} << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

interp::Error deleteFile(Interpreter& ip, CallArgs& args, MCVal&) {
    FileName file = fileName(ip, args.text(0));
    if (!file.valid) {
        setFileError(ip, 255);
        return kOk;
    }
    fileState(ip).cache.closeFile(file.name, file.posix);
    setFileError(ip, ::unlink(file.posix.c_str()) == 0 ? 0 : 255);
    return kOk;
}

// Deletes everything inside the open directory dirfd without following a
// symbolic link (a link is removed, never entered). Returns 0, 2 when an entry
// could not be deleted, 255 when the directory could not be read.
int deleteContents(int dirfd, bool makeWritable, int depth) {
    if (depth > kMaxDeleteDepth) return 255;
    if (makeWritable) {
        struct stat self {};
        if (::fstat(dirfd, &self) == 0) ::fchmod(dirfd, self.st_mode | S_IRWXU);
    }
    int listFd = ::dup(dirfd);
    if (listFd < 0) return 255;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return 255;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    int status = 0;
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(dirfd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            status = 2;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                status = 2;
                continue;
            }
            int inner = deleteContents(sub, makeWritable, depth + 1);
            ::close(sub);
            if (inner == 255) return 255;
            if (inner) status = inner;
            if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0) status = 2;
            continue;
        }
        // A file without write permission is read-only: deleted only when asked to.
        bool readOnly = S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR);
        if (readOnly) {
            if (!makeWritable) {
                status = 2;
                continue;
            }
            ::fchmodat(dirfd, name.c_str(), info.st_mode | S_IWUSR, 0);
        }
        if (::unlinkat(dirfd, name.c_str(), 0) != 0) status = 2;
    }
    return status;
}

// Only absolute paths with something below the root are accepted: "C:\x"
// (either separator) or "/x".
bool isDeletablePath(std::string_view path) {
    if (path.size() >= 4 && isDriveLetter(path[0]) && path[1] == ':' && platform::isPathSeparator(path[2]))
        return true;
    return path.size() >= 2 && path[0] == '/' && path[1] != '/';
}

interp::Error deleteDirectory(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string_view path = args.text(0);
    int32_t flags = args.present(1) ? args.l(1) : 0;
    if (!isDeletablePath(path)) {
        setFileError(ip, 254);
        return kOk;
    }
    if (path.size() > kMaxDeletePath) {
        setFileError(ip, 255);
        return kOk;
    }
    FileName file = fileName(ip, path);
    std::string posix = interp::normaliseDots(file.posix);
    while (posix.size() > 1 && posix.back() == '/') posix.pop_back();
    // What remains must name something below the root ("C:\.." is no such thing).
    if (!file.valid || posix.empty() || posix == "/" || posix[0] != '/') {
        setFileError(ip, 254);
        return kOk;
    }
    fileState(ip).cache.closeAll();
    bool makeWritable = flags & 2;
    int status = 0;
    if (flags & 1) {
        int dirfd = ::open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dirfd >= 0) {
            status = deleteContents(dirfd, makeWritable, 0);
            ::close(dirfd);
        }
    }
    if (status == 0 && ::rmdir(posix.c_str()) != 0) {
        bool removed = false;
        struct stat info {};
        if (makeWritable && ::lstat(posix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            ::chmod(posix.c_str(), info.st_mode | S_IWUSR);
            removed = ::rmdir(posix.c_str()) == 0;
        }
        if (!removed) status = 1;
    }
    setFileError(ip, status);
    return kOk;
}

interp::Error makeDir(Interpreter& ip, CallArgs& args, MCVal&) {
    FileName file = fileName(ip, args.text(0));
    setFileError(ip, file.valid && ::mkdir(file.posix.c_str(), 0777) == 0 ? 0 : 255);
    return kOk;
}

interp::Error removeDir(Interpreter& ip, CallArgs& args, MCVal&) {
    FileName file = fileName(ip, args.text(0));
    setFileError(ip, file.valid && ::rmdir(file.posix.c_str()) == 0 ? 0 : 255);
    return kOk;
}

// The length of the root of a completed path ("C:\", "/", "\\host\share\").
bool isRootOnly(std::string_view path) {
    if (path.empty()) return true;
    if (path.size() <= 3 && path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') return true;
    for (char c : path)
        if (!platform::isPathSeparator(c)) return false;
    return true;
}

bool createPath(Interpreter& ip, std::string_view path, int depth) {
    if (depth > 256 || isRootOnly(path)) return false;
    std::string posix = interp::posixPathFor(path, ip.drives());
    if (platform::directoryExists(posix)) return true;
    if (::mkdir(posix.c_str(), 0777) == 0) return true;
    if (errno != ENOENT) return false;
    // Create the parent (up to the previous separator), then try again.
    size_t cut = path.size();
    while (cut > 0 && !platform::isPathSeparator(path[cut - 1])) --cut;
    if (cut == 0) return false;
    std::string_view parent = path.substr(0, cut);
    while (parent.size() > 1 && platform::isPathSeparator(parent.back()) && !isRootOnly(parent))
        parent.remove_suffix(1);
    if (!createPath(ip, parent, depth + 1)) return false;
    posix = interp::posixPathFor(path, ip.drives());
    return ::mkdir(posix.c_str(), 0777) == 0 || platform::directoryExists(posix);
}

interp::Error createPathCommand(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string_view path = args.text(0);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    while (path.size() > 1 && platform::isPathSeparator(path.back()) && !isRootOnly(path))
        path.remove_suffix(1);
    std::string completed = completedName(ip, path);
    bool ok = !path.empty() && completed.size() <= interp::kMaxFileName && createPath(ip, completed, 0);
    setFileError(ip, ok ? 0 : 1);
    return kOk;
}

// Rename never replaces an existing file (as on the platform the macros come
// from, where the C library's rename refuses an existing target).
interp::Error renameCommand(Interpreter& ip, CallArgs& args, MCVal&) {
    FileName from = fileName(ip, args.text(0));
    FileName to = fileName(ip, args.text(1));
    if (!from.valid || !to.valid) {
        setFileError(ip, 255);
        return kOk;
    }
    FileCache& cache = fileState(ip).cache;
    cache.closeFile(from.name, from.posix);
    cache.closeFile(to.name, to.posix);
    int rc = ::renameat2(AT_FDCWD, from.posix.c_str(), AT_FDCWD, to.posix.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace flag: check first.
        struct stat info {};
        if (::lstat(to.posix.c_str(), &info) == 0)
            errno = EEXIST;
        else
            rc = ::rename(from.posix.c_str(), to.posix.c_str());
    }
    setFileError(ip, rc == 0 ? 0 : 255);
    return kOk;
}

// Progress reports of CopyFileEx: every 200 ms at most, the first one after the
// first chunk.
struct CopyProgress {
    Interpreter* ip = nullptr;
    std::string_view line;        // a macro line to run, or empty
    std::string_view expression;  // a non-zero value cancels the copy
    std::chrono::steady_clock::time_point last{};
    bool started = false;

    // False when the copy is to be cancelled.
    bool report(double done, double total) {
        auto now = std::chrono::steady_clock::now();
        if (started && now - last < kProgressInterval) return true;
        started = true;
        last = now;
        auto& progress = fileState(*ip).progress;
        progress = {done, total, done, total};
        if (!line.empty()) {
            (void)ip->executeImmediate(line);  // its errors are shown
            if (!ip->running() && ip->hasMacro()) return false;
        }
        if (expression.empty()) return true;
        MCVal value;
        std::string text;
        bool isString = false;
        interp::Error err = ip->evaluateText(expression, value, text, isString);
        if (err) {
            ip->setErrorPosition(nullptr);
            ip->reportError(err);
            return false;
        }
        return isString || !(value.isReal() || value.isComplex()) || value.re == 0;
    }
};

// Copies source onto target; both handles of both files are closed first. A
// failed or cancelled copy leaves the target as it was.
int copyFile(Interpreter& ip, std::string_view sourceName, std::string_view targetName,
             CopyProgress* progress) {
    FileName source = fileName(ip, sourceName);
    FileName target = fileName(ip, targetName);
    if (!source.valid || !target.valid) return 1;
    FileCache& cache = fileState(ip).cache;
    cache.closeFile(source.name, source.posix);
    cache.closeFile(target.name, target.posix);
    int in = ::open(source.posix.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return 1;
    struct stat from {
    }, to{};
    if (::fstat(in, &from) != 0 || !S_ISREG(from.st_mode)) {
        ::close(in);
        return 1;
    }
    // A file copied onto itself is left alone.
    if (::stat(target.posix.c_str(), &to) == 0 && to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
        ::close(in);
        return 0;
    }
    std::vector<unsigned char> buffer(kCopyChunk);
    auto total = static_cast<double>(from.st_size);
    bool ok = replaceFile(target.posix, [&](int out) {
        int64_t done = 0;
        for (;;) {
            int64_t got = readFully(in, buffer.data(), buffer.size(), done);
            if (got < 0) return false;
            if (got == 0) break;
            if (!writeFully(out, buffer.data(), static_cast<size_t>(got), done)) return false;
            done += got;
            if (progress && !progress->report(static_cast<double>(done), total)) {
                errno = ECANCELED;
                return false;
            }
        }
        return true;
    });
    ::close(in);
    return ok ? 0 : 1;
}

interp::Error copyFileCommand(Interpreter& ip, CallArgs& args, MCVal&) {
    setFileError(ip, copyFile(ip, args.text(0), args.text(1), nullptr));
    return kOk;
}

interp::Error copyFileEx(Interpreter& ip, CallArgs& args, MCVal&) {
    CopyProgress progress;
    progress.ip = &ip;
    progress.line = args.text(2);
    progress.expression = args.text(3);
    fileState(ip).progress = {};
    setFileError(ip, copyFile(ip, args.text(0), args.text(1), &progress));
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kDirectoryCommandsRows[] = {
    {interp::cmd::DeleteFile, deleteFile},
    {interp::cmd::DeleteDirectory, deleteDirectory},
    {interp::cmd::MakeDir, makeDir},
    {interp::cmd::RemoveDir, removeDir},
    {interp::cmd::CreatePath, createPathCommand},
    {interp::cmd::Rename, renameCommand},
    {interp::cmd::CopyFile, copyFileCommand},
    {interp::cmd::CopyFileEx, copyFileEx},
};

void registerDirectoryCommands(Interpreter& ip) { ip.install({"files/directories", kDirectoryCommandsRows}); }

}  // namespace tvx::builtins
