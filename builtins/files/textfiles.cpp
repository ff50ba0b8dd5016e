// Text files through the cached handles: appending text, reading strings and
// numbers from the read position, searching plain and rich text, positions.
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "builtins/files/fileinternal.h"
#include "builtins/strings/richtext.h"
#include "builtins/strings/stringinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

// Positions beyond this are refused (they cannot be told apart in a double).
constexpr double kMaxFilePosition = 2e15;

int64_t readPosition(Interpreter& ip) { return fileState(ip).cache.readPosition(); }
void setReadPosition(Interpreter& ip, int64_t position) { fileState(ip).cache.setReadPosition(position); }

interp::Error writeFile(Interpreter& ip, CallArgs& args, MCVal&) {
    int fd = writeHandle(ip, args.text(0));
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    std::string_view text = args.text(1);
    setFileError(ip, writeFully(fd, text.data(), text.size()) ? 0 : 1);
    return kOk;
}

// ReadString $ss.ii: one piece ends behind the first separator character, at
// max characters, or at the end of the file.
interp::Error readString(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string& dest = *args.var(0).text;
    int fd = readHandle(ip, args.text(1));
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    std::string_view separators = args.text(2);
    // At most the room of the variable (StrDef), 4095 characters unless set.
    auto room = static_cast<size_t>(args.var(0).slot ? args.var(0).slot.var().textRoom()
                                                     : interp::kDefaultStringRoom);
    // 16-bit counts: 32768..65535 arrive as their bit pattern.
    size_t requested = args.present(3) ? static_cast<uint16_t>(args.i(3)) : 0;
    size_t max = requested > 0 ? std::min(requested, room) : room;
    int repeats = args.present(4) ? static_cast<uint16_t>(args.i(4)) : 0;
    int64_t position = readPosition(ip);
    std::string piece;
    bool endOfFile = false;
    std::vector<char> buffer(512);
    for (int round = 0; round <= repeats && !endOfFile; ++round) {
        piece.clear();
        bool ended = false;
        while (!ended && piece.size() < max) {
            size_t want = std::min(buffer.size(), max - piece.size());
            int64_t got = readFully(fd, buffer.data(), want, position);
            if (got <= 0) {
                endOfFile = piece.empty();
                break;
            }
            size_t used = 0;
            while (used < static_cast<size_t>(got)) {
                char c = buffer[used++];
                // A NUL cannot be part of a string; it is passed over.
                if (c != '\0') piece.push_back(c);
                if (c != '\0' && separators.find(c) != std::string_view::npos) {
                    ended = true;
                    break;
                }
            }
            position += static_cast<int64_t>(used);
        }
    }
    setReadPosition(ip, position);
    dest = piece;
    setFileError(ip, endOfFile ? 1 : 0);
    return kOk;
}

// A window on a file for reading numbers, over the read handle's read-ahead:
// the bytes stay between calls, so reading a file a number at a time costs one
// read per 64 KiB instead of one per number.
class FileWindow {
public:
    FileWindow(int fd, FileCache::ReadAhead& ahead) : fd_(fd), ahead_(ahead) {}

    // The byte at absolute position pos, or -1 at the end of the file.
    int at(int64_t pos) {
        if (!inHand(pos, 1) && !ensure(pos, 1)) return -1;
        return static_cast<unsigned char>(ahead_.bytes[static_cast<size_t>(pos - ahead_.base)]);
    }
    // The bytes from pos on, at least want of them unless the file ends first;
    // NUL-terminated.
    const char* from(int64_t pos, size_t want) {
        if (!inHand(pos, want)) ensure(pos, want);
        return ahead_.bytes.c_str() + (pos - ahead_.base);
    }
    bool failed() const { return failed_; }

private:
    static constexpr size_t kPiece = 65536;

    // True when the want bytes from pos on were read already and ensure()
    // would keep them where they are: most reads need nothing more.
    bool inHand(int64_t pos, size_t want) const {
        return pos >= ahead_.base && pos - ahead_.base < static_cast<int64_t>(kPiece) &&
               static_cast<size_t>(pos - ahead_.base) + want <= ahead_.bytes.size();
    }

    bool ensure(int64_t pos, size_t want) {
        std::string& bytes = ahead_.bytes;
        const int64_t end = ahead_.base + static_cast<int64_t>(bytes.size());
        if (pos < ahead_.base || pos > end) {
            // Elsewhere in the file (a new position was set): start afresh there.
            bytes.clear();
            ahead_.base = pos;
            ahead_.atEnd = false;
        } else if (pos - ahead_.base >= static_cast<int64_t>(kPiece)) {
            // Drop what lies before pos once it is no longer needed.
            bytes.erase(0, static_cast<size_t>(pos - ahead_.base));
            ahead_.base = pos;
        }
        while (static_cast<size_t>(pos - ahead_.base) + want > bytes.size() && !ahead_.atEnd) {
            const size_t old = bytes.size();
            bytes.resize(old + kPiece);
            int64_t got = readFully(fd_, bytes.data() + old, kPiece, ahead_.base + static_cast<int64_t>(old));
            bytes.resize(old + static_cast<size_t>(std::max<int64_t>(got, 0)));
            if (got < 0) failed_ = true;
            if (got <= 0) ahead_.atEnd = true;
        }
        return static_cast<size_t>(pos - ahead_.base) + want <= bytes.size();
    }

    int fd_;
    FileCache::ReadAhead& ahead_;
    bool failed_ = false;
};

bool isDigitByte(int c) { return c >= '0' && c <= '9'; }

// The number at p (a sign, digits with an optional point and exponent, in the
// C library's syntax); the characters taken, 0 when none.
size_t parseNumber(const char* p, double& value) {
    const char* q = p;
    bool negative = *q == '-';
    if (negative) ++q;
    if (!isDigitByte(*q) && !(*q == '.' && isDigitByte(q[1]))) return 0;
    const char* end = interp::parseDecimal(q, value);
    if (end == q) return 0;
    if (negative) value = -value;
    return static_cast<size_t>(end - p);
}

// ReadAscii vvs.ii: the next number from the read position. Numbers are read
// whole even where they cross the end of a 128-byte piece.
interp::Error readAscii(Interpreter& ip, CallArgs& args, MCVal&) {
    int fd = readHandle(ip, args.text(2));
    if (fd < 0) {
        *args.var(1).number = 0;
        setFileError(ip, 2);
        return kOk;
    }
    int skip = args.present(3) ? static_cast<uint16_t>(args.i(3)) : 0;
    int separator = args.present(4) ? static_cast<unsigned char>(args.i(4) & 0xFF) : 0;
    FileState& files = fileState(ip);
    int64_t position = files.cache.readPosition();
    FileWindow window(fd, files.cache.readAhead(fd));
    for (;;) {
        int c = window.at(position);
        if (c < 0) break;
        if (!isDigitByte(c) && c != '-' && c != '.') {
            ++position;
            continue;
        }
        double value = 0;
        size_t length = parseNumber(window.from(position, 400), value);
        if (length == 0) {
            ++position;
            continue;
        }
        position += static_cast<int64_t>(length);
        int following = window.at(position);
        if (separator != 0 && following != separator) continue;
        if (skip > 0) {
            --skip;
            continue;
        }
        files.cache.setReadPosition(position);
        *args.var(0).number = value;
        *args.var(1).number = following;
        files.fileError = 0;
        return kOk;
    }
    files.cache.setReadPosition(position);
    *args.var(1).number = 0;
    files.fileError = 1;
    return kOk;
}

// Searches the file from the read position; on success the position goes
// just behind the match. limit 0: to the end.
interp::Error searchFile(Interpreter& ip, std::string_view name, std::string_view text, bool ignoreCase,
                         bool richText, int64_t limit) {
    int fd = readHandle(ip, name);
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    int64_t start = readPosition(ip);
    if (text.empty()) {
        setFileError(ip, 0);
        return kOk;
    }
    RichTextDecoder decoder(richText);
    StreamSearch search(text, ignoreCase);
    std::vector<unsigned char> buffer(65536);
    int64_t position = start;
    while (limit <= 0 || position - start < limit) {
        size_t want = buffer.size();
        if (limit > 0)
            want =
                static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), start + limit - position));
        int64_t got = readFully(fd, buffer.data(), want, position);
        if (got <= 0) break;
        for (int64_t i = 0; i < got; ++i) {
            VisibleChar ch;
            if (!decoder.feed(buffer[static_cast<size_t>(i)], static_cast<uint64_t>(position + i), ch))
                continue;
            if (search.push(ch)) {
                setReadPosition(ip, static_cast<int64_t>(ch.rawEnd));
                setFileError(ip, 0);
                return kOk;
            }
        }
        position += got;
    }
    setFileError(ip, 1);
    return kOk;
}

interp::Error findFReadPos(Interpreter& ip, CallArgs& args, MCVal&) {
    bool ignoreCase = args.present(2) && args.i(2) != 0;
    int64_t limit = args.present(3) && args.l(3) > 0 ? args.l(3) : 0;
    return searchFile(ip, args.text(0), args.text(1), ignoreCase, false, limit);
}

interp::Error findRtfReadPos(Interpreter& ip, CallArgs& args, MCVal&) {
    bool ignoreCase = args.present(2) && args.i(2) != 0;
    return searchFile(ip, args.text(0), args.text(1), ignoreCase, true, 0);
}

interp::Error setFReadPos(Interpreter& ip, CallArgs& args, MCVal&) {
    int fd = readHandle(ip, args.text(0));
    if (fd < 0) {
        setFileError(ip, 1);
        return kOk;
    }
    // Positions are unsigned 32-bit numbers.
    setReadPosition(ip, static_cast<uint32_t>(args.l(1)));
    setFileError(ip, 0);
    return kOk;
}

interp::Error fReadPos(Interpreter& ip, CallArgs& args, MCVal& result) {
    FileName file = fileName(ip, args.text(0));
    int fd = file.valid ? fileState(ip).cache.readHandleFor(file.name, file.posix) : -1;
    result.setReal(fd >= 0 ? static_cast<double>(readPosition(ip)) : 0);
    return kOk;
}

interp::Error fWritePos(Interpreter& ip, CallArgs& args, MCVal& result) {
    int fd = writeHandle(ip, args.text(0));
    result.setReal(fd >= 0 ? static_cast<double>(::lseek(fd, 0, SEEK_CUR)) : 0);
    return kOk;
}

// GetFileHandle s.l: bit 0 chooses the write handle, bit 2 asks for a handle
// only when it is open already; the sharing bits pass through.
interp::Error getFileHandle(Interpreter& ip, CallArgs& args, MCVal& result) {
    int32_t flags = args.present(1) ? args.l(1) : 0;
    unsigned options =
        static_cast<unsigned>(flags) & (kOpenNoSeekToEnd | kOpenShareReadOnly | kOpenNoReadShare);
    if (flags & 4) options |= kOpenIfCachedOnly;
    int fd = (flags & 1) ? writeHandle(ip, args.text(0), options) : readHandle(ip, args.text(0), options);
    // Whoever reads through the descriptor starts where the macro stands.
    if (fd >= 0 && !(flags & 1)) fileState(ip).cache.syncReadPosition();
    result.setReal(fd >= 0 ? fd : 0);
    return kOk;
}

interp::Error closeFiles(Interpreter& ip, CallArgs&, MCVal&) {
    fileState(ip).cache.closeAll();
    return kOk;
}

interp::Error writeEndOfFile(Interpreter& ip, CallArgs& args, MCVal&) {
    double position = std::round(args.number(1));
    if (!(std::fabs(position) <= kMaxFilePosition)) {
        setFileError(ip, 3);
        return kOk;
    }
    int fd = writeHandle(ip, args.text(0), kOpenNoSeekToEnd);
    if (fd < 0) {
        setFileError(ip, 2);
        return kOk;
    }
    bool ok = position >= 0 && ::ftruncate(fd, static_cast<off_t>(position)) == 0;
    setFileError(ip, ok ? 0 : 1);
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kTextFileCommandsRows[] = {
    {interp::cmd::WriteFile, writeFile},
    {interp::cmd::ReadString, readString},
    {interp::cmd::ReadAscii, readAscii},
    {interp::cmd::FindFReadPos, findFReadPos},
    {interp::cmd::FindRTFReadPos, findRtfReadPos},
    {interp::cmd::SetFReadPos, setFReadPos},
    {interp::cmd::FReadPos, fReadPos},
    {interp::cmd::FWritePos, fWritePos},
    {interp::cmd::GetFileHandle, getFileHandle},
    {interp::cmd::CloseFiles, closeFiles},
    {interp::cmd::WriteEndOfFile, writeEndOfFile},
};

void registerTextFileCommands(Interpreter& ip) { ip.install({"files/textfiles", kTextFileCommandsRows}); }

}  // namespace tvx::builtins
