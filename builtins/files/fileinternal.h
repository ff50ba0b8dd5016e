// Shared by the file and memory commands: their per-interpreter state, file
// names, !FileError, and the checks of macro-supplied addresses.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "builtins/files/filecache.h"
#include "interp/api.h"
#include "platform/replacefile.h"

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

struct FileState : interp::FamilyState {
    FileCache cache;
    uint8_t fileError = 0;             // !FileError: read and cleared by the macro
    std::array<double, 4> progress{};  // !Progress[0..3] of CopyFileEx
    // Files a macro opened are closed when its top-level run ends.
    void endOfRun(interp::Interpreter&) override { cache.closeAll(); }
};

inline FileState& fileState(interp::Interpreter& ip) { return ip.state<FileState>(); }

// Sets !FileError (a byte: -1 reads as 255).
void setFileError(interp::Interpreter& ip, int code);

// A file name given to a file command.
struct FileName {
    std::string name;    // completed against the working directory, as written otherwise
    std::string posix;   // where it lies
    bool valid = false;  // false for an empty name or one beyond interp::kMaxFileName
};

// Completes a macro's file name (relative names against the working directory)
// and maps it to a POSIX path.
FileName fileName(interp::Interpreter& ip, std::string_view macroName);

// The completed form of a macro's file name alone (no file-system access).
std::string completedName(interp::Interpreter& ip, std::string_view macroName);

// The cached read or write handle for a macro's file name (FileCache options);
// -1 with errno set when it cannot be opened.
int readHandle(interp::Interpreter& ip, std::string_view macroName, unsigned options = 0);
int writeHandle(interp::Interpreter& ip, std::string_view macroName, unsigned options = 0);

// Writes size bytes at offset (at the descriptor's position when offset < 0).
// A write that fails part-way leaves the file at its old length when the
// write started at or beyond its end, so no half-written text remains; false
// then, with errno set.
bool writeFully(int fd, const void* data, size_t size, int64_t offset = -1);

// Files given new contents whole (platform/replacefile.h).
using platform::replaceFile;

// Reads up to size bytes at offset; the count read, or -1 with errno set.
int64_t readFully(int fd, void* data, size_t size, int64_t offset);

// The working directory with a trailing separator.
std::string workingDirectory(interp::Interpreter& ip);

// ---- Macro-supplied addresses

// Atomic: writable, found out without writing (the write-back of a probe
// could undo a concurrent update of a counter shared with another thread).
enum class Access { Read, Write, Atomic };

// Checks size bytes at the address of a 'p' argument. A vector passed by name
// bounds the range by its elements; an address inside a variable's block is
// bounded by that block's elements too; anything else must be mapped with the
// access asked for. Returns 0 and the address in out, or 22 (Bad Address).
interp::Error checkMemory(interp::Interpreter& ip, const interp::ArgSlot& arg, uint64_t size, Access access,
                          unsigned char*& out);
// The same for a raw address that did not come from an argument slot.
interp::Error checkAddress(interp::Interpreter& ip, uint64_t address, uint64_t size, Access access,
                           unsigned char*& out);

// The NUL-terminated text at the address of a 'p' argument (a vector passed by
// name ends with its elements); 22 when it cannot be read.
interp::Error readTextAt(interp::Interpreter& ip, const interp::ArgSlot& arg, std::string& out);

// Registration of the parts.
void registerFileInfoCommands(interp::Interpreter& ip);
void registerTextFileCommands(interp::Interpreter& ip);
void registerBinaryFileCommands(interp::Interpreter& ip);
void registerDirectoryCommands(interp::Interpreter& ip);
void registerMemoryCommands(interp::Interpreter& ip);

}  // namespace tvx::builtins
