// Name tables: the hashed, case-insensitive tables behind the command table,
// the status variables, the symbol tables and the source cache.
//
// Entries are addressed by index; index 0 never holds a name, so that 0 can end
// a hash chain and mean "not found".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::interp {

class NameTable {
public:
    NameTable(int capacity, int bucketCount);

    // The name hash: h = rotl16(h, 1) + c', with c' = c for c < 64 and c | 0x20
    // otherwise, so letters hash without regard to case.
    static uint16_t hash(const char* name, size_t length);
    static uint16_t hash(std::string_view name) { return hash(name.data(), name.size()); }

    // Same length and every byte equal, where both bytes are OR-ed with 0x20 when
    // the searched byte is above 64.
    static bool namesMatch(const char* searched, const char* stored, size_t length);

    // The index of name, or 0.
    int find(std::string_view name) const { return find(name, hash(name)); }
    int find(std::string_view name, uint16_t nameHash) const;

    // Enters name at index (0: one above the highest index used so far).
    // Returns the index, or -1 when the index is beyond the capacity.
    int add(std::string_view name, int index = 0);
    int add(std::string_view name, uint16_t nameHash, int index);

    std::string_view nameAt(int index) const;
    bool isUsed(int index) const;

    int capacity() const { return capacity_; }
    int bucketCount() const { return static_cast<int>(buckets_.size()); }
    int highestIndex() const { return highest_; }
    int freeEntries() const { return capacity() - 1 - highest_; }
    size_t textBytes() const { return text_.size(); }

    // Enlarges the table (entries keep their indexes) and rehashes it.
    void grow(int newCapacity, int newBucketCount);
    // Removes every name; the capacity stays.
    void clear();

private:
    struct Entry {
        uint32_t nameOffset = 0;
        uint32_t nameLength = 0;
        int32_t next = 0;  // next entry of the hash chain, 0 = end
        bool used = false;
    };
    void link(int index, uint16_t nameHash);
    void unlink(int index);

    // Entries are allocated as indexes are used, up to the capacity, so that
    // many small tables (one per called macro) stay cheap.
    int capacity_;
    std::vector<Entry> entries_;
    std::vector<int32_t> buckets_;  // first entry of each chain, 0 = empty
    std::string text_;
    int highest_ = 0;
};

}  // namespace tvx::interp
