#include "ipc/system/registry_hive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <unordered_set>

#include "ipc/system/winerror.h"

namespace tvx::ipc::registry {

namespace {

constexpr std::string_view kHeader = "Tolvex registry hive 1";
constexpr char kHex[] = "0123456789abcdef";

void appendQuoted(std::string& out, std::string_view name) {
    out += " \"";
    for (unsigned char c : name) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one blank and a quoted name at p; false when there is none.
bool readQuoted(std::string_view line, size_t& p, std::string& name) {
    if (p + 1 >= line.size() || line[p] != ' ' || line[p + 1] != '"') return false;
    p += 2;
    name.clear();
    while (p < line.size() && line[p] != '"') {
        char c = line[p++];
        if (c != '\\') {
            name += c;
            continue;
        }
        if (p >= line.size()) return false;
        char e = line[p++];
        if (e == '\\' || e == '"') {
            name += e;
        } else if (e == 'x' && p + 1 < line.size() && hexDigit(line[p]) >= 0 && hexDigit(line[p + 1]) >= 0) {
            name += static_cast<char>(hexDigit(line[p]) * 16 + hexDigit(line[p + 1]));
            p += 2;
        } else {
            return false;
        }
    }
    if (p >= line.size()) return false;
    ++p;  // the closing quote
    return true;
}

// The path's components folded and joined by backslashes (which no key name holds).
std::string pathKey(const std::vector<std::string>& path, size_t count) {
    std::string joined;
    for (size_t i = 0; i < count; ++i) {
        if (i) joined += '\\';
        joined += foldName(path[i]);
    }
    return joined;
}

}  // namespace

std::string formatSubtree(const Subtree& tree) {
    std::string out(kHeader);
    out += '\n';
    for (const Subtree::Key& key : tree.keys) {
        out += "key";
        for (const std::string& part : key.path) appendQuoted(out, part);
        out += '\n';
        for (const Value& v : key.values) {
            out += "value";
            appendQuoted(out, v.name);
            out += ' ';
            out += std::to_string(v.type);
            out += ' ';
            if (v.data.empty()) out += '-';
            for (unsigned char c : v.data) {
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            out += '\n';
        }
    }
    out += "end\n";
    return out;
}

bool parseSubtree(std::string_view text, Subtree& tree) {
    tree.keys.clear();
    Subtree parsed;
    std::unordered_set<std::string> known;  // the paths of the keys read so far
    bool headerSeen = false, ended = false;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (ended) {
            if (!line.empty()) return false;
            continue;
        }
        if (!headerSeen) {
            if (line != kHeader) return false;
            headerSeen = true;
            continue;
        }
        if (line == "end") {
            ended = true;
        } else if (line.substr(0, 3) == "key") {
            Subtree::Key key;
            size_t p = 3;
            std::string part;
            while (p < line.size()) {
                if (!readQuoted(line, p, part) || part.empty() || part.size() > kMaxKeyNameBytes ||
                    part.find('\\') != std::string::npos)
                    return false;
                key.path.push_back(part);
            }
            // The parent must be there already (the saved key has no parent).
            if (key.path.empty() ? !parsed.keys.empty() : parsed.keys.empty()) return false;
            if (!key.path.empty() && !known.count(pathKey(key.path, key.path.size() - 1))) return false;
            known.insert(pathKey(key.path, key.path.size()));
            parsed.keys.push_back(std::move(key));
        } else if (line.substr(0, 5) == "value") {
            if (parsed.keys.empty()) return false;
            Value v;
            size_t p = 5;
            if (!readQuoted(line, p, v.name) || v.name.size() > kMaxValueNameBytes) return false;
            if (p >= line.size() || line[p] != ' ') return false;
            size_t typeEnd = line.find(' ', ++p);
            if (typeEnd == std::string_view::npos || typeEnd == p || typeEnd - p > 10) return false;
            long long type = 0;
            for (size_t i = p; i < typeEnd; ++i) {
                if (line[i] < '0' || line[i] > '9') return false;
                type = type * 10 + (line[i] - '0');
            }
            if (type > 0xFFFFFFFFLL) return false;
            std::string_view hex = line.substr(typeEnd + 1);
            if (hex != "-") {
                if (hex.empty() || hex.size() % 2 || hex.size() / 2 > kMaxValueBytes) return false;
                v.data.reserve(hex.size() / 2);
                for (size_t i = 0; i < hex.size(); i += 2) {
                    int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
                    if (hi < 0 || lo < 0) return false;
                    v.data += static_cast<char>(hi * 16 + lo);
                }
            }
            v.type = static_cast<int>(static_cast<uint32_t>(type));
            parsed.keys.back().values.push_back(std::move(v));
        } else {
            return false;
        }
    }
    if (!ended) return false;
    tree = std::move(parsed);
    return true;
}

int writeHiveFile(const std::string& path, const Subtree& tree) {
    std::string text = formatSubtree(tree);
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return errno == ENOENT ? kErrPathNotFound : winErrorFromErrno(errno);
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return error == ENOSPC ? kErrCantWrite : winErrorFromErrno(error);
        }
        done += static_cast<size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(temp.c_str());
        return kErrCantWrite;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        return winErrorFromErrno(error);
    }
    return kErrSuccess;
}

int readHiveFile(const std::string& path, Subtree& tree) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return winErrorFromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxHiveFileBytes) {
        ::close(fd);
        return kErrRegistryCorrupt;
    }
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    text.resize(done);
    return parseSubtree(text, tree) ? kErrSuccess : kErrRegistryCorrupt;
}

}  // namespace tvx::ipc::registry
