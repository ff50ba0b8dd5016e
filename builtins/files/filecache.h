// The two cached file handles behind the file commands: one open for reading
// and one for writing, each with the name of its file, so that a macro that
// reads or writes a file piece by piece does not reopen it every time.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tvx::builtins {

// Options of a cache request.
enum FileOpenOptions : unsigned {
    kOpenIfCachedOnly = 0x01,   // give the handle only when it is open for this file already
    kOpenNoSeekToEnd = 0x02,    // a write handle keeps position 0 instead of going to the end
    kOpenForceReopen = 0x04,    // close and reopen even when the names agree
    kOpenShareReadOnly = 0x10,  // sharing requests: kept for old macros, POSIX has no
    kOpenNoReadShare = 0x20,    // mandatory sharing modes
};

class FileCache {
public:
    FileCache() = default;
    ~FileCache() { closeAll(); }
    FileCache(const FileCache&) = delete;
    FileCache& operator=(const FileCache&) = delete;

    // The descriptor of the read handle for the file (name: the completed
    // macro-level name; posix: where it lies). Opening closes the write handle
    // first when it belongs to the same file. -1 with errno set when the file
    // does not exist, is a directory or cannot be opened.
    int openRead(const std::string& name, const std::string& posix, unsigned options = 0);
    // The write handle: an existing file is opened at its end (position 0 with
    // kOpenNoSeekToEnd), a missing one created.
    int openWrite(const std::string& name, const std::string& posix, unsigned options = 0);

    // The descriptor of a handle opened under exactly this name, else -1 (the
    // quick test of a command that reads one file piece by piece).
    // The name is given in two parts (directory and file), so that nothing needs
    // to be put together for the test.
    int readHandleNamed(std::string_view directory, std::string_view file) const {
        return read_.fd >= 0 && sameName(read_.name, directory, file) ? read_.fd : -1;
    }
    int writeHandleNamed(std::string_view directory, std::string_view file) const {
        return write_.fd >= 0 && sameName(write_.name, directory, file) ? write_.fd : -1;
    }

    // The descriptors when they belong to the file, else -1.
    int readHandleFor(const std::string& name, const std::string& posix) const;
    int writeHandleFor(const std::string& name, const std::string& posix) const;

    // The read position is kept here, not in the descriptor, which saves two
    // system calls on every piece read; syncReadPosition hands it to the
    // descriptor before the descriptor itself is given out.
    int64_t readPosition() const { return read_.position; }
    void setReadPosition(int64_t position) { read_.position = position; }
    void syncReadPosition();

    // Bytes read ahead on the read handle, for commands that read a file a number
    // at a time (ReadAscii): kept while the file keeps its size and modification
    // time, so that a changed file is read afresh. Under a read lease nobody can
    // have changed the file since the last check, and the check is left out.
    struct ReadAhead {
        int64_t base = 0;  // file offset of bytes[0]
        std::string bytes;
        bool atEnd = false;  // bytes reach the end of the file
        int64_t fileSize = -1;
        int64_t modifiedNs = -1;
    };
    // The read-ahead of the read handle fd, emptied first when the file changed.
    ReadAhead& readAhead(int fd);

    void closeRead() { close(read_); }
    void closeWrite() { close(write_); }
    void closeAll();
    // Closes each handle that belongs to the file.
    void closeFile(const std::string& name, const std::string& posix);

private:
    struct Handle {
        int fd = -1;
        std::string name;
        std::string posix;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t position = 0;  // read handle only
        ReadAhead ahead;       // read handle only
        bool leased = false;   // read handle only: holds the process's read lease
        int leaseRetry = 0;    // read-ahead requests until the next try for a lease
    };
    static bool sameName(const std::string& name, std::string_view directory, std::string_view file) {
        // The sizes are checked first, so both parts can be compared directly
        // (an empty part may have no data at all).
        return name.size() == directory.size() + file.size() &&
               (directory.empty() || std::memcmp(name.data(), directory.data(), directory.size()) == 0) &&
               (file.empty() || std::memcmp(name.data() + directory.size(), file.data(), file.size()) == 0);
    }
    static bool belongs(const Handle& h, const std::string& name, const std::string& posix);
    static void close(Handle& h);
    int open(Handle& mine, Handle& other, bool forWrite, const std::string& name, const std::string& posix,
             unsigned options);

    Handle read_;
    Handle write_;
};

}  // namespace tvx::builtins
