#include "interp/names/commandtable.h"

#include <cstring>

#include "interp/errors.h"

namespace tvx::interp {

namespace {

constexpr int kBuckets = 503;

// Reads one NUL-terminated text at pos; false when the records end first.
bool readText(std::span<const uint8_t> records, size_t& pos, std::string_view& text) {
    const void* end = std::memchr(records.data() + pos, 0, records.size() - pos);
    if (!end) return false;
    size_t length = static_cast<const uint8_t*>(end) - (records.data() + pos);
    text = {reinterpret_cast<const char*>(records.data() + pos), length};
    pos += length + 1;
    return true;
}

bool readCode(std::span<const uint8_t> records, size_t& pos, int& code) {
    if (pos + 2 > records.size()) return false;
    code = records[pos] | (records[pos + 1] << 8);
    pos += 2;
    return true;
}

}  // namespace

CommandTable::CommandTable() : names_(kCommandTableCapacity, kBuckets), signatures_(kCommandTableCapacity) {}

Error CommandTable::load(std::span<const uint8_t> records) {
    size_t pos = 0;
    int highest = -1;
    for (int record = 0; record < kCommandTableCapacity + 100; ++record) {
        int code;
        std::string_view name, signature;
        if (!readCode(records, pos, code) || code == 0xFFFF) break;
        if (!readText(records, pos, name)) break;
        // A '#' in a signature carries two more bytes, which may be anything.
        size_t start = pos;
        while (pos < records.size() && records[pos] != 0) pos += records[pos] == '#' ? 3 : 1;
        if (pos >= records.size()) break;
        signature = {reinterpret_cast<const char*>(records.data() + start), pos - start};
        ++pos;
        if (signature.size() > kMaxSignatureLength) return kSignatureTooLong;
        if (code == 0) code = highest + 1;
        if (code >= kCommandTableCapacity) continue;  // beyond the capacity: not entered
        if (code > highest) highest = code;
        if (code == 0) {
            // The head row has no name; it cannot be entered into a chain.
            signatures_[0] = std::string(signature);
        } else {
            names_.add(name, code);
            signatures_[static_cast<size_t>(code)] = std::string(signature);
        }
        ++rows_;
    }
    return kOk;
}

int CommandTable::lookup(std::string_view name) const { return lookup(name, NameTable::hash(name)); }

int CommandTable::lookup(std::string_view name, uint16_t nameHash) const {
    if (name.empty()) return -1;
    int code = names_.find(name, nameHash);
    return code > 0 ? code : -1;
}

std::string_view CommandTable::signature(int code) const {
    if (code < 0 || code >= kCommandTableCapacity) return {};
    return signatures_[static_cast<size_t>(code)];
}

StatusVariableTable::StatusVariableTable() : names_(kStatusTableCapacity, kBuckets) {}

void StatusVariableTable::load(std::span<const uint8_t> records) {
    size_t pos = 0;
    int highest = -1;
    for (int record = 0; record < kStatusTableCapacity + 100; ++record) {
        int code;
        std::string_view name;
        if (!readCode(records, pos, code) || code == 0xFFFF) break;
        if (!readText(records, pos, name)) break;
        if (code == 0) code = highest + 1;
        if (code >= kStatusTableCapacity) continue;
        if (code > highest) highest = code;
        names_.add(name, code);
        ++rows_;
    }
}

int StatusVariableTable::lookup(std::string_view name) const {
    int code = names_.find(name);
    return code > 0 ? code : -1;
}

}  // namespace tvx::interp
