// Registration of the file and memory families, their shared state, file
// names and the checks of macro-supplied addresses.
#include "builtins/files/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "builtins/files/fileinternal.h"
#include "interp/api.h"
#include "platform/memprobe.h"

namespace tvx::builtins {

using interp::Interpreter;

namespace {

interp::Error readFileStatus(Interpreter& ip, int code, int index, interp::StatusValue& value) {
    FileState& state = fileState(ip);
    if (code == interp::statvar::FileError) {
        value.number = state.fileError;
        state.fileError = 0;
    } else {
        value.number = index >= 0 && index < 4 ? state.progress[static_cast<size_t>(index)] : 0;
    }
    return interp::kOk;
}

// True when [address, address + size) starts inside the storage of a visible
// variable (a block's allocation, a string's buffer, a number); then inBlock
// tells whether it also stays within what the variable holds: the block's
// elements, the string's text with its NUL, the number's 8 bytes. A heap probe
// would pass the bytes behind them, which belong to other data.
bool insideKnownBlock(Interpreter& ip, uint64_t address, uint64_t size, bool& inBlock) {
    auto within = [&](uintptr_t start, uint64_t allocated, uint64_t held) {
        if (address < start || address >= start + allocated) return false;
        uint64_t end = start + held;
        inBlock = address <= end && size <= end - address;
        return true;
    };
    for (const interp::SymbolTable* table : {ip.symbols().macroTable, ip.symbols().localTable}) {
        if (!table) continue;
        int highest = table->highestIndex();
        for (int i = 1; i <= highest; ++i) {
            if (!table->isUsed(i)) continue;
            const interp::Variable& var = table->at(i);
            switch (var.valueKind()) {
            case interp::kKindBlock: {
                if (!var.block) break;
                auto start = reinterpret_cast<uintptr_t>(var.block);
                uint64_t allocated = static_cast<uint64_t>(var.block->capacityBytes & ~1);
                uint64_t elementsEnd = reinterpret_cast<uintptr_t>(var.block->bytes()) +
                                       static_cast<uint64_t>(var.block->payloadBytes) - start;
                if (within(start, allocated, elementsEnd)) return true;
                break;
            }
            case interp::kKindString:
                if (within(reinterpret_cast<uintptr_t>(var.text.data()), var.text.capacity() + 1,
                           var.text.size() + 1))
                    return true;
                break;
            case interp::kKindNumber:
                if (within(reinterpret_cast<uintptr_t>(&var.number), sizeof var.number, sizeof var.number))
                    return true;
                break;
            default: break;
            }
        }
    }
    return false;
}

// Writable without a byte being written: the kernel populates the pages for
// writing, which fails for pages a write would fault on. Kernels without that
// request fall back to the ordinary probe.
bool writableWithoutTouching(uintptr_t address, size_t size) {
    static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    uintptr_t first = address & ~(page - 1);
    uintptr_t end = (address + size + page - 1) & ~(page - 1);
    if (::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE) == 0) return true;
    if (errno == EINVAL) return platform::isWritable(reinterpret_cast<void*>(address), size);
    return false;
}

}  // namespace

void setFileError(Interpreter& ip, int code) { fileState(ip).fileError = static_cast<uint8_t>(code); }

std::string workingDirectory(Interpreter& ip) {
    std::string dir = ip.workingDirectory();
    if (dir.empty()) dir = platform::currentDirectory();
    if (!platform::isPathSeparator(dir.back())) dir += '/';
    return dir;
}

FileName fileName(Interpreter& ip, std::string_view macroName) {
    FileName f;
    if (macroName.empty() || macroName.size() > interp::kMaxFileName) return f;
    f.name = completedName(ip, macroName);
    if (f.name.size() > interp::kMaxFileName) return f;
    f.posix = interp::posixPathFor(f.name, ip.drives());
    f.valid = !f.posix.empty();
    return f;
}

std::string completedName(Interpreter& ip, std::string_view macroName) {
    return interp::isAbsoluteName(macroName) ? std::string(macroName)
                                             : workingDirectory(ip) + std::string(macroName);
}

namespace {

// The cached handle for reading or writing the named file, opened when it is not
// cached (or when a fresh open is forced).
int cachedHandle(Interpreter& ip, std::string_view macroName, unsigned options, bool write) {
    FileCache& cache = fileState(ip).cache;
    if (!(options & kOpenForceReopen)) {
        bool absolute = interp::isAbsoluteName(macroName);
        std::string_view directory = absolute ? std::string_view() : ip.workingDirectory();
        int fd = -1;
        if (!directory.empty() || absolute)
            fd = write ? cache.writeHandleNamed(directory, macroName)
                       : cache.readHandleNamed(directory, macroName);
        if (fd >= 0) return fd;
    }
    FileName file = fileName(ip, macroName);
    if (!file.valid) {
        errno = macroName.empty() ? ENOENT : ENAMETOOLONG;
        return -1;
    }
    return write ? cache.openWrite(file.name, file.posix, options)
                 : cache.openRead(file.name, file.posix, options);
}

}  // namespace

int readHandle(Interpreter& ip, std::string_view macroName, unsigned options) {
    return cachedHandle(ip, macroName, options, false);
}

int writeHandle(Interpreter& ip, std::string_view macroName, unsigned options) {
    return cachedHandle(ip, macroName, options, true);
}

bool writeFully(int fd, const void* data, size_t size, int64_t offset) {
    struct stat info {};
    int64_t start = offset >= 0 ? offset : ::lseek(fd, 0, SEEK_CUR);
    if (start < 0 || ::fstat(fd, &info) != 0) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, p + done, size - done, start + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int saved = n == 0 ? ENOSPC : errno;
            if (start >= info.st_size) (void)::ftruncate(fd, info.st_size);
            ::lseek(fd, start, SEEK_SET);
            errno = saved;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::lseek(fd, start + static_cast<int64_t>(size), SEEK_SET);
    return true;
}

int64_t readFully(int fd, void* data, size_t size, int64_t offset) {
    auto* p = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, p + done, size - done, offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

interp::Error checkAddress(Interpreter& ip, uint64_t address, uint64_t size, Access access,
                           unsigned char*& out) {
    out = nullptr;
    if (address == 0 || address > UINTPTR_MAX || size > UINTPTR_MAX - address) return interp::kBadAddress;
    bool inBlock = false;
    if (insideKnownBlock(ip, address, size, inBlock)) {
        // A variable's block: only its elements (a heap probe would pass the
        // bytes behind them, which belong to other data).
        if (!inBlock) return interp::kBadAddress;
    } else if (size > 0) {
        void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
        bool ok = access == Access::Read ? platform::isReadable(p, static_cast<size_t>(size))
                  : access == Access::Write
                      ? platform::isWritable(p, static_cast<size_t>(size))
                      : writableWithoutTouching(static_cast<uintptr_t>(address), static_cast<size_t>(size));
        if (!ok) return interp::kBadAddress;
    }
    out = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(address));
    return interp::kOk;
}

interp::Error checkMemory(Interpreter& ip, const interp::ArgSlot& arg, uint64_t size, Access access,
                          unsigned char*& out) {
    out = nullptr;
    if (arg.value && arg.value->type == interp::kValVarBlock && arg.value->pData) {
        const interp::DataBlock* block = arg.value->pData;
        if (size > static_cast<uint64_t>(block->payloadBytes)) return interp::kBadAddress;
        out = reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(arg.address));
        return interp::kOk;
    }
    return checkAddress(ip, arg.address, size, access, out);
}

interp::Error readTextAt(Interpreter& ip, const interp::ArgSlot& arg, std::string& out) {
    out.clear();
    if (arg.value && arg.value->type == interp::kValVarBlock && arg.value->pData) {
        const interp::DataBlock* block = arg.value->pData;
        const auto* data = reinterpret_cast<const char*>(block->bytes());
        auto size = static_cast<size_t>(block->payloadBytes);
        const void* nul = std::memchr(data, 0, size);
        out.assign(data, nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : size);
        return interp::kOk;
    }
    unsigned char* p;
    if (interp::Error err = checkAddress(ip, arg.address, 1, Access::Read, p)) return err;
    // Texts up to 16 MiB; a longer run without a NUL is no text.
    long length = platform::readableStringLength(reinterpret_cast<const char*>(p), size_t{1} << 24);
    if (length < 0) return interp::kBadAddress;
    out.resize(static_cast<size_t>(length));
    if (length > 0 && !platform::safeRead(out.data(), p, static_cast<size_t>(length)))
        return interp::kBadAddress;
    return interp::kOk;
}

constexpr interp::StatusRow kFileStatusRows[] = {
    {interp::statvar::FileError, readFileStatus},
    {interp::statvar::Progress, readFileStatus},
};

void registerFileCommands(Interpreter& ip) {
    // A file-size limit must turn into a failed write, not end the host.
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGXFSZ, SIG_IGN);
    ip.install({"files/status", {}, kFileStatusRows});
    registerFileInfoCommands(ip);
    registerTextFileCommands(ip);
    registerBinaryFileCommands(ip);
    registerDirectoryCommands(ip);
    registerMemoryCommands(ip);
}

}  // namespace tvx::builtins
