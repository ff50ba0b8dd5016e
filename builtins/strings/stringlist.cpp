#include "builtins/strings/stringlist.h"

#include <algorithm>
#include <numeric>

namespace tvx::builtins {

namespace {

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c | 0x20 : c; }

uint64_t foldedHash(std::string_view text) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (char c : text) {
        h ^= fold(static_cast<unsigned char>(c));
        h *= 0x100000001B3ull;
    }
    return h;
}

bool equalText(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() != b.size()) return false;
    if (!ignoreCase) return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

long StringList::add(std::string_view text) {
    entries_.emplace_back(text);
    return static_cast<long>(entries_.size());
}

void StringList::clear() {
    entries_.clear();
    byText_.clear();
    indexed_ = 0;
}

void StringList::index() {
    for (; indexed_ < entries_.size(); ++indexed_)
        byText_.emplace(foldedHash(entries_[indexed_]), static_cast<uint32_t>(indexed_ + 1));
}

long StringList::find(std::string_view text, bool ignoreCase) {
    index();
    long best = -1;
    auto [first, last] = byText_.equal_range(foldedHash(text));
    for (auto it = first; it != last; ++it) {
        auto number = static_cast<long>(it->second);
        if ((best < 0 || number < best) && equalText(entries_[it->second - 1], text, ignoreCase))
            best = number;
    }
    return best;
}

std::vector<int32_t> StringList::sortedNumbers() const {
    std::vector<int32_t> numbers(entries_.size());
    std::iota(numbers.begin(), numbers.end(), 1);
    std::stable_sort(numbers.begin(), numbers.end(), [this](int32_t a, int32_t b) {
        const std::string& x = entries_[static_cast<size_t>(a - 1)];
        const std::string& y = entries_[static_cast<size_t>(b - 1)];
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
            return fold(static_cast<unsigned char>(p)) < fold(static_cast<unsigned char>(q));
        });
    });
    return numbers;
}

bool StringList::findInText(const std::vector<unsigned char>& visible, bool ignoreCase, size_t& position,
                            long& number, size_t& length) const {
    // Entries by their first character, so that each text position tries only
    // the entries that can start there.
    std::unordered_multimap<unsigned char, uint32_t> byFirst;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].empty()) continue;
        auto c = static_cast<unsigned char>(entries_[i][0]);
        byFirst.emplace(ignoreCase ? fold(c) : c, static_cast<uint32_t>(i + 1));
    }
    for (size_t pos = 0; pos < visible.size(); ++pos) {
        unsigned char c = ignoreCase ? fold(visible[pos]) : visible[pos];
        long best = -1;
        size_t bestLength = 0;
        auto [first, last] = byFirst.equal_range(c);
        for (auto it = first; it != last; ++it) {
            const std::string& entry = entries_[it->second - 1];
            if (entry.size() > visible.size() - pos) continue;
            bool match = true;
            for (size_t k = 0; k < entry.size() && match; ++k) {
                auto a = static_cast<unsigned char>(entry[k]);
                unsigned char b = visible[pos + k];
                match = ignoreCase ? fold(a) == fold(b) : a == b;
            }
            auto n = static_cast<long>(it->second);
            if (match && (entry.size() > bestLength || (entry.size() == bestLength && n < best))) {
                best = n;
                bestLength = entry.size();
            }
        }
        if (best > 0) {
            position = pos;
            number = best;
            length = bestLength;
            return true;
        }
    }
    return false;
}

}  // namespace tvx::builtins
