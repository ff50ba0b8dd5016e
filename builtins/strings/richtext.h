// Text searches that see rich text as its reader does: control words, braces
// and escapes are read, so that a search matches the visible characters, while
// every position reported is an offset in the raw text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::builtins {

// A visible character and the raw bytes [rawStart, rawEnd) it came from.
struct VisibleChar {
    unsigned char c = 0;
    uint64_t rawStart = 0;
    uint64_t rawEnd = 0;
};

// Turns raw rich-text bytes into visible characters, one byte at a time, so a
// file can be decoded piece by piece. Control words (a backslash, letters, an
// optional signed number, one blank taken as their end), group braces and line
// ends are invisible; the escapes \\ \{ \} give their character, \'hh the byte
// hh and \~ a blank. Without richText every byte is visible as it is.
class RichTextDecoder {
public:
    explicit RichTextDecoder(bool richText) : richText_(richText) {}

    // Feeds the byte at raw offset; true when a visible character is complete.
    bool feed(unsigned char byte, uint64_t offset, VisibleChar& out);

private:
    enum class State : uint8_t { Text, Escape, Word, Parameter, Hex1, Hex2 };
    bool richText_;
    State state_ = State::Text;
    uint64_t start_ = 0;
    unsigned hex_ = 0;
};

// The visible characters of a whole text.
std::vector<VisibleChar> visibleCharacters(std::string_view raw, bool richText);

// Finds a pattern in a stream of visible characters (Knuth-Morris-Pratt).
// With ignoreBit5 every byte is compared without its bit 5 (0x20), which makes
// letters match in either case.
class StreamSearch {
public:
    StreamSearch(std::string_view pattern, bool ignoreBit5);

    // Takes the next visible character; true when the pattern ends with it.
    // matchStart() is then the raw offset of the match's first character.
    bool push(const VisibleChar& ch);
    uint64_t matchStart() const { return matchStart_; }
    bool empty() const { return pattern_.empty(); }

private:
    unsigned char fold(unsigned char c) const { return ignoreBit5_ ? c & 0xDF : c; }

    std::string pattern_;
    bool ignoreBit5_;
    std::vector<size_t> failure_;
    std::vector<uint64_t> starts_;  // raw starts of the last pattern-length characters
    size_t matched_ = 0;
    uint64_t seen_ = 0;
    uint64_t matchStart_ = 0;
};

}  // namespace tvx::builtins
