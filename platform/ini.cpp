// INI profile files: a line index over the file's bytes, hashed lookups, and
// edits that splice only the bytes they change.
#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace tvx::platform {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool hasLineEnd(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// The value as read: quotes of a matching pair removed.
std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

long long parseProfileInt(std::string_view v) {
    size_t i = 0;
    while (i < v.size() && isBlank(v[i])) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    unsigned base = 10;
    if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    // Accumulate the magnitude with saturation, then apply the sign.
    const unsigned long long limit = negative ? 0ull - static_cast<unsigned long long>(LLONG_MIN)
                                              : static_cast<unsigned long long>(LLONG_MAX);
    unsigned long long magnitude = 0;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') {
            digit = static_cast<unsigned>(lowerAscii(c) - 'a' + 10);
        } else {
            break;
        }
        if (magnitude > (limit - digit) / base) {
            magnitude = limit;
        } else {
            magnitude = magnitude * base + digit;
        }
    }
    if (!negative) return static_cast<long long>(magnitude);
    if (magnitude == limit) return LLONG_MIN;
    return -static_cast<long long>(magnitude);
}

// --- parsing -------------------------------------------------------------------------------

IniDocument::Line IniDocument::classify(std::string_view text, size_t pos) {
    Line line;
    line.start = pos;
    size_t eol = text.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = text.size();
    line.contentEnd = line.end = eol;
    if (eol < text.size()) {
        line.end = (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') ? eol + 2 : eol + 1;
    }
    // Offsets of parts a line does not have point at its start, so shifting them is harmless.
    line.nameStart = line.nameEnd = line.valueStart = line.valueEnd = pos;

    // A UTF-8 byte-order mark is not part of the first line's content.
    size_t p = (pos == 0 && text.substr(0, 3) == "\xEF\xBB\xBF") ? 3 : pos;
    while (p < eol && isBlank(text[p])) ++p;
    const std::string_view content = text.substr(p, eol - p);
    const size_t bracket = content.find(']');
    const size_t eq = content.find('=');
    if (content.empty()) {
        line.kind = LineKind::Blank;
    } else if (content.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (content.front() == '[' && bracket != std::string_view::npos) {
        line.kind = LineKind::Header;
        const std::string_view name = trim(content.substr(1, bracket - 1));
        line.nameStart = name.empty() ? p + 1 : static_cast<size_t>(name.data() - text.data());
        line.nameEnd = line.nameStart + name.size();
    } else if (eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        const std::string_view name = trim(content.substr(0, eq));
        line.nameStart = name.empty() ? p : static_cast<size_t>(name.data() - text.data());
        line.nameEnd = line.nameStart + name.size();
        const std::string_view value = trim(content.substr(eq + 1));
        // An empty value sits at the line's end, so "key = " becomes "key = new".
        line.valueStart = value.empty() ? eol : static_cast<size_t>(value.data() - text.data());
        line.valueEnd = line.valueStart + value.size();
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

void IniDocument::parse() {
    lines_.clear();
    sections_.assign(1, Section{});
    sectionIndex_.clear();
    sectionIndex_.emplace(std::string(), 0);

    const std::string_view text(text_);
    for (size_t pos = 0; pos < text.size();) {
        const Line line = classify(text, pos);
        const size_t index = lines_.size();
        lines_.push_back(line);
        if (line.kind == LineKind::Header) {
            sections_.back().endLine = index;
            sections_.push_back(Section{index, index, {}});
            sectionIndex_.emplace(lowerCopy(nameOf(line)), sections_.size() - 1);
        } else if (line.kind == LineKind::Key) {
            sections_.back().keys.emplace(lowerCopy(nameOf(line)), index);
        }
        pos = line.end;
    }
    sections_.back().endLine = lines_.size();
}

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

}  // namespace

template <typename OnKey>
void IniDocument::scanSection(std::string_view text, std::string_view section, OnKey onKey) {
    // The rules of get(), in one pass and without an index: the first section of
    // that name (lines before any header form the section ""). onKey(name, value)
    // sees every key line of it in file order and returns false to stop.
    section = trim(section);
    bool inSection = section.empty();
    bool seen = inSection;
    for (size_t pos = 0; pos < text.size();) {
        const Line line = classify(text, pos);
        pos = line.end;
        const std::string_view name = text.substr(line.nameStart, line.nameEnd - line.nameStart);
        if (line.kind == LineKind::Header) {
            if (inSection) return;  // the first section of that name has ended
            inSection = !seen && equalNoCase(name, section);
            seen = seen || inSection;
        } else if (inSection && line.kind == LineKind::Key) {
            if (!onKey(name, text.substr(line.valueStart, line.valueEnd - line.valueStart))) return;
        }
    }
}

bool IniDocument::find(std::string_view text, std::string_view section, std::string_view key,
                       std::string* value) {
    key = trim(key);
    bool found = false;
    scanSection(text, section, [&](std::string_view name, std::string_view raw) {
        if (!equalNoCase(name, key)) return true;
        if (value) *value = std::string(unquote(raw));
        found = true;
        return false;
    });
    return found;
}

std::vector<std::pair<std::string, std::string>> IniDocument::entries(std::string_view text,
                                                                      std::string_view section) {
    std::vector<std::pair<std::string, std::string>> out;
    std::unordered_set<std::string> seen;
    scanSection(text, section, [&](std::string_view name, std::string_view raw) {
        if (!seen.insert(lowerCopy(name)).second) return true;  // the first of equal keys wins
        out.emplace_back(std::string(name), std::string(unquote(raw)));
        return true;
    });
    return out;
}

std::string_view IniDocument::nameOf(const Line& line) const {
    return std::string_view(text_).substr(line.nameStart, line.nameEnd - line.nameStart);
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const {
    const auto it = sectionIndex_.find(lowerCopy(trim(section)));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

std::string_view IniDocument::lineEnd() const {
    // The file's own style, from its first line end; CR LF for a file without one.
    const size_t eol = text_.find_first_of("\r\n");
    if (eol == std::string::npos) return "\r\n";
    if (text_[eol] == '\n') return "\n";
    return (eol + 1 < text_.size() && text_[eol + 1] == '\n') ? "\r\n" : "\r";
}

// --- reading -------------------------------------------------------------------------------

bool IniDocument::get(std::string_view section, std::string_view key, std::string* value) const {
    const Section* s = findSection(section);
    if (!s) return false;
    const auto it = s->keys.find(lowerCopy(trim(key)));
    if (it == s->keys.end()) return false;
    if (value) {
        const Line& line = lines_[it->second];
        *value = std::string(
            unquote(std::string_view(text_).substr(line.valueStart, line.valueEnd - line.valueStart)));
    }
    return true;
}

std::vector<std::string> IniDocument::sections() const {
    std::vector<std::string> names;
    for (size_t i = 1; i < sections_.size(); ++i) {
        std::string name(nameOf(lines_[sections_[i].firstLine]));
        if (sectionIndex_.at(lowerCopy(name)) == i) names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> IniDocument::keys(std::string_view section) const {
    std::vector<std::string> names;
    const Section* s = findSection(section);
    if (!s) return names;
    for (size_t i = s->firstLine; i < s->endLine; ++i) {
        const Line& line = lines_[i];
        if (line.kind != LineKind::Key) continue;
        std::string name(nameOf(line));
        if (s->keys.at(lowerCopy(name)) == i) names.push_back(std::move(name));
    }
    return names;
}

// --- editing -------------------------------------------------------------------------------

void IniDocument::replaceValue(size_t lineIndex, std::string_view value) {
    // Only bytes inside one line change: shift the offsets instead of re-parsing.
    Line& line = lines_[lineIndex];
    const size_t from = line.valueStart;
    const size_t to = line.valueEnd;
    text_.replace(from, to - from, value);
    const size_t grow = value.size();
    const size_t shrink = to - from;
    auto shift = [&](size_t& offset) { offset = offset + grow - shrink; };
    line.valueEnd = from + value.size();
    shift(line.contentEnd);
    shift(line.end);
    for (size_t i = lineIndex + 1; i < lines_.size(); ++i) {
        Line& later = lines_[i];
        for (size_t* offset : {&later.start, &later.contentEnd, &later.end, &later.nameStart, &later.nameEnd,
                               &later.valueStart, &later.valueEnd}) {
            shift(*offset);
        }
    }
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    if (key.empty() || key.find('=') != std::string_view::npos || hasLineEnd(key) || key.front() == '[' ||
        key.front() == ';' || hasLineEnd(section) || section.find(']') != std::string_view::npos ||
        hasLineEnd(value)) {
        return false;
    }

    const Section* s = findSection(section);
    if (s) {
        if (const auto it = s->keys.find(lowerCopy(key)); it != s->keys.end()) {
            // Keep the key and the blanks around '=' as the file has them.
            replaceValue(it->second, value);
            return true;
        }
        // After the last non-blank line of the section, so blank lines that
        // separate it from the next section stay where they are.
        size_t anchor = s->endLine;
        for (size_t i = s->endLine; i > s->firstLine; --i) {
            if (lines_[i - 1].kind != LineKind::Blank) {
                anchor = i - 1;
                break;
            }
        }
        const std::string entry = std::string(key) + "=" + std::string(value);
        if (anchor == s->endLine) {
            // The nameless part with nothing in it: the top of the file (after a byte-order mark).
            text_.insert(text_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0, entry + std::string(lineEnd()));
        } else if (const Line& line = lines_[anchor]; line.end > line.contentEnd) {
            text_.insert(line.end, entry + std::string(lineEnd()));
        } else {
            // The last line of a file without a final newline: keep it without one.
            text_.insert(line.contentEnd, std::string(lineEnd()) + entry);
        }
        parse();
        return true;
    }

    const std::string eol(lineEnd());
    std::string add;
    if (!lines_.empty()) {
        const Line& last = lines_.back();
        if (last.end == last.contentEnd) add += eol;
        if (last.kind != LineKind::Blank) add += eol;  // a blank line before the new section
    }
    add += "[" + std::string(section) + "]" + eol;
    add += std::string(key) + "=" + std::string(value) + eol;
    text_ += add;
    parse();
    return true;
}

void IniDocument::removeRanges(std::vector<std::pair<size_t, size_t>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
        text_.erase(it->first, it->second - it->first);
    }
    parse();
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) {
    const Section* s = findSection(section);
    if (!s) return false;
    const std::string wanted = lowerCopy(trim(key));
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t i = s->firstLine; i < s->endLine; ++i) {
        const Line& line = lines_[i];
        if (line.kind != LineKind::Key || lowerCopy(nameOf(line)) != wanted) continue;
        // The last line without a line end takes the previous line's end with it,
        // so the file still ends the way it did.
        if (line.end == line.contentEnd && i > 0) {
            ranges.emplace_back(lines_[i - 1].contentEnd, line.end);
        } else {
            ranges.emplace_back(line.start, line.end);
        }
    }
    if (ranges.empty()) return false;
    removeRanges(std::move(ranges));
    return true;
}

bool IniDocument::removeSection(std::string_view section) {
    const std::string wanted = lowerCopy(trim(section));
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t i = 0; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        const std::string name = i == 0 ? std::string() : lowerCopy(nameOf(lines_[s.firstLine]));
        if (name != wanted) continue;
        if (s.firstLine == s.endLine) continue;  // an empty nameless part
        size_t from = lines_[s.firstLine].start;
        const size_t to = lines_[s.endLine - 1].end;
        if (to == text_.size()) {
            // The last section: the blank lines that separated it go too.
            size_t first = s.firstLine;
            while (first > 0 && lines_[first - 1].kind == LineKind::Blank) --first;
            from = first == 0 ? 0 : lines_[first].start;
        }
        ranges.emplace_back(from, to);
    }
    if (ranges.empty()) return false;
    removeRanges(std::move(ranges));
    return true;
}

// --- files ---------------------------------------------------------------------------------

bool IniDocument::load(const std::string& path, int* error) {
    int err = 0;
    const bool ok = readFile(path, &text_, &err);
    parse();
    if (error) *error = err;
    return ok;
}

bool IniDocument::readFile(const std::string& path, std::string* out, int* error) {
    std::string& text = *out;
    text.clear();
    int err = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
    } else {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            err = errno;
        } else if (!S_ISREG(st.st_mode)) {
            err = EISDIR;
        } else if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
            err = EFBIG;
        } else {
            text.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            for (;;) {
                if (got == text.size()) {
                    // The file may have grown since fstat.
                    if (text.size() >= kMaxFileSize) break;
                    text.resize(std::min(kMaxFileSize, text.size() + 4096));
                }
                const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    err = errno;
                    break;
                }
                if (n == 0) break;
                got += static_cast<size_t>(n);
            }
            text.resize(got);
        }
        ::close(fd);
    }
    if (err != 0) text.clear();
    if (error) *error = err;
    return err == 0;
}

bool IniDocument::save(const std::string& path) const {
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points to, not the link.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return false;
        target = real;
        std::free(real);
    }
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0) return false;
        exists = true;
    } else if (errno != ENOENT) {
        return false;
    }

    static std::atomic<unsigned> counter{0};
    const std::string tmpBase = directoryOf(target) + "/.tvxini." + std::to_string(::getpid()) + ".";
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = tmpBase + std::to_string(counter.fetch_add(1));
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = writeAll(fd, text_.data(), text_.size());
    if (ok && exists) {
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only the owner's group may differ; keeping our own is the best we can do.
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here does not undo the write.
    const int dirFd = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// --- free functions ------------------------------------------------------------------------

namespace {

// A lookup reads the file and scans it once, without building the document's
// index: a settings file of millions of keys answers a few lookups fast.
//
// A large file (from 1 MiB) is kept in memory between lookups while it keeps its
// identity, size and modification time: start-up asks a settings file for a
// dozen keys, and reading tens of megabytes a dozen times is what made a huge
// file slow. Small files are read afresh each time, as before.
constexpr size_t kCachedFromBytes = size_t{1} << 20;

struct CachedText {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    int64_t modifiedNs = -1;
    std::shared_ptr<const std::string> text;
};

std::mutex cachedTextLock;
CachedText cachedText;

std::shared_ptr<const std::string> readForLookup(const std::string& path) {
    struct stat st {};
    const bool known = ::stat(path.c_str(), &st) == 0;
    const int64_t modified = known ? int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec : -1;
    if (known && static_cast<size_t>(st.st_size) >= kCachedFromBytes) {
        std::lock_guard<std::mutex> lock(cachedTextLock);
        if (cachedText.text && cachedText.path == path && cachedText.device == st.st_dev &&
            cachedText.inode == st.st_ino && cachedText.size == st.st_size &&
            cachedText.modifiedNs == modified)
            return cachedText.text;
    }
    auto text = std::make_shared<std::string>();
    if (!IniDocument::readFile(path, text.get())) return nullptr;
    if (known && text->size() >= kCachedFromBytes && static_cast<off_t>(text->size()) == st.st_size) {
        std::lock_guard<std::mutex> lock(cachedTextLock);
        cachedText = CachedText{path, st.st_dev, st.st_ino, st.st_size, modified, text};
    }
    return text;
}

bool lookUp(const std::string& path, std::string_view section, std::string_view key, std::string* value) {
    const std::shared_ptr<const std::string> text = readForLookup(path);
    return text && IniDocument::find(*text, section, key, value);
}

}  // namespace

std::string iniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def) {
    std::string value;
    if (lookUp(path, section, key, &value)) return value;
    while (!def.empty() && isBlank(def.back())) def.remove_suffix(1);
    return std::string(def);
}

std::vector<std::pair<std::string, std::string>> iniSectionEntries(const std::string& path,
                                                                   std::string_view section) {
    const std::shared_ptr<const std::string> text = readForLookup(path);
    if (!text) return {};
    return IniDocument::entries(*text, section);
}

long long iniGetInt(const std::string& path, std::string_view section, std::string_view key, long long def) {
    std::string value;
    if (!lookUp(path, section, key, &value) || value.empty()) return def;
    return parseProfileInt(value);
}

namespace {

// Load, change, save; an unreadable file is never replaced by a fresh one.
template <typename Change>
bool editFile(const std::string& path, Change change) {
    IniDocument doc;
    int error = 0;
    if (!doc.load(path, &error) && error != ENOENT) return false;
    const std::string before = doc.text();
    const bool existed = error == 0;
    if (!change(doc)) return false;
    if (existed && doc.text() == before) return true;
    return doc.save(path);
}

}  // namespace

bool iniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
    return editFile(path, [&](IniDocument& doc) { return doc.set(section, key, value); });
}

bool iniDeleteKey(const std::string& path, std::string_view section, std::string_view key) {
    IniDocument doc;
    int error = 0;
    if (!doc.load(path, &error)) return error == ENOENT;
    if (!doc.removeKey(section, key)) return true;
    return doc.save(path);
}

bool iniDeleteSection(const std::string& path, std::string_view section) {
    IniDocument doc;
    int error = 0;
    if (!doc.load(path, &error)) return error == ENOENT;
    if (!doc.removeSection(section)) return true;
    return doc.save(path);
}

std::vector<std::string> iniSectionNames(const std::string& path) {
    IniDocument doc;
    doc.load(path);
    return doc.sections();
}

std::vector<std::string> iniSectionKeys(const std::string& path, std::string_view section) {
    IniDocument doc;
    doc.load(path);
    return doc.keys(section);
}

}  // namespace tvx::platform
