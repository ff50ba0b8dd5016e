#include "interp/exec/context.h"

namespace tvx::interp {

namespace {
// Label ids double as skip states below 0xFFC0.
constexpr int kMaxLabels = 0xFF00;
}  // namespace

int LabelTable::idOf(std::string_view name) {
    if (int id = names_.find(name)) return id;
    if (names_.freeEntries() < 1) {
        int capacity = names_.capacity() * 2;
        if (capacity > kMaxLabels) capacity = kMaxLabels;
        if (capacity <= names_.capacity()) return 0;
        names_.grow(capacity, names_.bucketCount() * 2 + 1);
    }
    int id = names_.add(name);
    return id > 0 ? id : 0;
}

void LabelTable::setPosition(int id, size_t position) {
    if (id <= 0) return;
    if (positions_.size() <= static_cast<size_t>(id))
        positions_.resize(static_cast<size_t>(id) + 1, SIZE_MAX);
    positions_[static_cast<size_t>(id)] = position;
    ++changes_;
}

void LabelTable::markFunction(int id) {
    if (id <= 0) return;
    if (functions_.size() <= static_cast<size_t>(id)) functions_.resize(static_cast<size_t>(id) + 1, false);
    if (!functions_[static_cast<size_t>(id)]) ++changes_;
    functions_[static_cast<size_t>(id)] = true;
}

void LabelTable::clear() {
    ++generation_;
    names_.clear();
    positions_.clear();
    functions_.clear();
}

}  // namespace tvx::interp
