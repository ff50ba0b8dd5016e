#include "interp/names/nametable.h"

#include <algorithm>

namespace tvx::interp {

NameTable::NameTable(int capacity, int bucketCount)
    : capacity_(capacity > 1 ? capacity : 2),
      buckets_(static_cast<size_t>(bucketCount > 0 ? bucketCount : 1), 0) {}

uint16_t NameTable::hash(const char* name, size_t length) {
    uint16_t h = 0;
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        unsigned folded = c < 64 ? c : (c | 0x20u);
        h = static_cast<uint16_t>(((h << 1) | (h >> 15)) + folded);
    }
    return h;
}

bool NameTable::namesMatch(const char* searched, const char* stored, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        auto a = static_cast<unsigned char>(searched[i]);
        auto b = static_cast<unsigned char>(stored[i]);
        if (a > 64) {
            a |= 0x20;
            b |= 0x20;
        }
        if (a != b) return false;
    }
    return true;
}

int NameTable::find(std::string_view name, uint16_t nameHash) const {
    for (int index = buckets_[nameHash % buckets_.size()]; index != 0;
         index = entries_[static_cast<size_t>(index)].next) {
        const Entry& entry = entries_[static_cast<size_t>(index)];
        if (entry.nameLength == name.size() &&
            namesMatch(name.data(), text_.data() + entry.nameOffset, name.size()))
            return index;
    }
    return 0;
}

int NameTable::add(std::string_view name, int index) { return add(name, hash(name), index); }

int NameTable::add(std::string_view name, uint16_t nameHash, int index) {
    if (index == 0) index = highest_ + 1;
    if (index < 0 || index >= capacity()) return -1;
    if (static_cast<size_t>(index) >= entries_.size()) entries_.resize(static_cast<size_t>(index) + 1);
    // A name entered again at a used index replaces the old one (a chain must
    // never hold an entry twice).
    if (entries_[static_cast<size_t>(index)].used) unlink(index);
    Entry& entry = entries_[static_cast<size_t>(index)];
    entry.nameOffset = static_cast<uint32_t>(text_.size());
    entry.nameLength = static_cast<uint32_t>(name.size());
    entry.used = true;
    text_.append(name);
    text_.push_back('\0');
    if (index > highest_) highest_ = index;
    // A nameless entry (the command table's head, internal rows) is never found.
    if (!name.empty()) link(index, nameHash);
    return index;
}

void NameTable::link(int index, uint16_t nameHash) {
    int32_t& head = buckets_[nameHash % buckets_.size()];
    entries_[static_cast<size_t>(index)].next = head;
    head = index;
}

void NameTable::unlink(int index) {
    const Entry& entry = entries_[static_cast<size_t>(index)];
    if (entry.nameLength == 0) return;
    int32_t* link = &buckets_[hash(text_.data() + entry.nameOffset, entry.nameLength) % buckets_.size()];
    while (*link != 0 && *link != index) link = &entries_[static_cast<size_t>(*link)].next;
    if (*link == index) *link = entry.next;
}

std::string_view NameTable::nameAt(int index) const {
    if (!isUsed(index)) return {};
    const Entry& entry = entries_[static_cast<size_t>(index)];
    return {text_.data() + entry.nameOffset, entry.nameLength};
}

bool NameTable::isUsed(int index) const {
    return index > 0 && static_cast<size_t>(index) < entries_.size() &&
           entries_[static_cast<size_t>(index)].used;
}

void NameTable::grow(int newCapacity, int newBucketCount) {
    if (newCapacity > capacity_) capacity_ = newCapacity;
    if (newBucketCount > bucketCount()) {
        buckets_.assign(static_cast<size_t>(newBucketCount), 0);
        // Relink in index order: as when entered in that order, the later entry
        // of a chain comes first.
        for (int index = 1; index <= highest_; ++index) {
            Entry& entry = entries_[static_cast<size_t>(index)];
            entry.next = 0;
            if (entry.used && entry.nameLength > 0)
                link(index, hash(text_.data() + entry.nameOffset, entry.nameLength));
        }
    }
}

void NameTable::clear() {
    entries_.clear();
    std::fill(buckets_.begin(), buckets_.end(), 0);
    text_.clear();
    highest_ = 0;
}

}  // namespace tvx::interp
