#include "interp/symbols/symboltable.h"

#include <algorithm>
#include <atomic>

namespace tvx::interp {

namespace {

// The entry part of a table (8 bytes per entry, 4 per bucket, 48 more) must
// stay below 16 MiB.
constexpr int64_t kMaxEntryPartBytes = 16 * 1024 * 1024;

// Names of a cleared table remembered at most (see SymbolTable::stamp).
constexpr int kMaxRememberedLayout = 64;

bool entryPartFits(int64_t entries, int64_t buckets) {
    return entries * 8 + buckets * 4 + 48 < kMaxEntryPartBytes;
}

uint64_t nextStamp() {
    static std::atomic<uint64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

SymbolTable::SymbolTable(int space, int capacity, int bucketCount, int textBytes)
    : space_(space),
      names_(capacity, bucketCount),
      textLimit_(static_cast<size_t>(textBytes)),
      stamp_(nextStamp()) {}

SymbolTable::~SymbolTable() { clear(); }

bool SymbolTable::growIfNearlyFull() {
    // Grown when fewer than 20 entries or fewer than 4000 text bytes remain.
    bool entriesLow = names_.freeEntries() < 20;
    bool textLow = names_.textBytes() + 4000 > textLimit_;
    if (!entriesLow && !textLow) return true;
    if (textLow) textLimit_ *= 2;
    if (!entriesLow) return true;
    int64_t capacity =
        static_cast<int64_t>(names_.capacity()) + std::max<int64_t>(names_.capacity(), growthStep_);
    int64_t buckets = static_cast<int64_t>(names_.bucketCount()) * 2 + 1;
    // Other spaces address at most 2^14 entries through their ids.
    if (space_ != kMacroSpace && capacity > kMaxIndexInOtherSpace + 1) capacity = kMaxIndexInOtherSpace + 1;
    if (capacity <= names_.capacity() || !entryPartFits(capacity, buckets)) return false;
    names_.grow(static_cast<int>(capacity), static_cast<int>(buckets));
    return true;
}

int SymbolTable::create(std::string_view name, uint16_t nameHash) {
    if (!growIfNearlyFull() && names_.freeEntries() < 1) return 0;
    int index = names_.add(name, nameHash, 0);
    if (index <= 0) return 0;
    bool repeats = repeatingLayout_ && static_cast<size_t>(index) == layoutRepeated_ + 1 &&
                   layoutRepeated_ < layout_.size() && layout_[layoutRepeated_] == name;
    repeatingLayout_ = repeats;
    if (repeats && ++layoutRepeated_ == layout_.size())
        stamp_ = layoutStamp_;
    else
        stamp_ = nextStamp();
    if (vars_.size() <= static_cast<size_t>(index)) vars_.resize(static_cast<size_t>(index) + 1);
    // A variable of an earlier use of the table is reused (local spaces are
    // cleared and refilled on every call).
    std::unique_ptr<Variable>& slot = vars_[static_cast<size_t>(index)];
    if (slot)
        *slot = Variable{};
    else
        slot = std::make_unique<Variable>();
    return index;
}

bool SymbolTable::reserve(int64_t entries, int64_t step) {
    int64_t capacity = std::max<int64_t>(names_.capacity(), entries);
    if (space_ != kMacroSpace) capacity = std::min<int64_t>(capacity, kMaxIndexInOtherSpace + 1);
    if (capacity > names_.capacity()) {
        if (!entryPartFits(capacity, names_.bucketCount())) return false;
        names_.grow(static_cast<int>(capacity), names_.bucketCount());
    }
    growthStep_ = std::max(growthStep_, step > 0 ? step : capacity / 16);
    return true;
}

uint32_t SymbolTable::idOf(int index) const {
    if (space_ == kMacroSpace) return static_cast<uint32_t>(index);
    return makeSpaceId(space_, index);
}

void SymbolTable::clear() {
    int highest = names_.highestIndex();
    if (highest == 0) return;  // nothing to clear: the names and the stamp stay
    // The names being left, unless they are those remembered already. Only a
    // small table's names are worth keeping (a function's local space).
    if (stamp_ != layoutStamp_) {
        layout_.clear();
        layoutStamp_ = 0;
        if (highest <= kMaxRememberedLayout) {
            for (int index = 1; index <= highest; ++index) layout_.emplace_back(names_.nameAt(index));
            layoutStamp_ = stamp_;
        }
    }
    layoutRepeated_ = 0;
    repeatingLayout_ = layoutStamp_ != 0;
    // The variables' storage is kept for reuse; their values are freed.
    for (auto& var : vars_)
        if (var) var->clearValue();
    names_.clear();
    stamp_ = nextStamp();
}

}  // namespace tvx::interp
