// A string list: texts in insertion order, numbered from 1, with a lookup of
// whole entries that is built when it is first needed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tvx::builtins {

class StringList {
public:
    // Appends text; returns its entry number.
    long add(std::string_view text);
    size_t size() const { return entries_.size(); }
    // Entry number (1..size()); callers check the range.
    const std::string& at(size_t number) const { return entries_[number - 1]; }
    void clear();

    // The first entry equal to text (letters in either case with ignoreCase),
    // or -1.
    long find(std::string_view text, bool ignoreCase);

    // Entry numbers sorted by their texts, letters compared without regard to
    // case; equal texts keep their order.
    std::vector<int32_t> sortedNumbers() const;

    // The first position in visible where an entry matches (the longest one
    // there); false when none does. number receives the entry, length the
    // characters it covers.
    bool findInText(const std::vector<unsigned char>& visible, bool ignoreCase, size_t& position,
                    long& number, size_t& length) const;

private:
    void index();

    std::vector<std::string> entries_;
    // Hash of the case-folded text -> entry numbers, for entries_[0, indexed_).
    std::unordered_multimap<uint64_t, uint32_t> byText_;
    size_t indexed_ = 0;
};

}  // namespace tvx::builtins
