#include "builtins/strings/richtext.h"

namespace tvx::builtins {

namespace {

bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigitByte(unsigned char c) { return c >= '0' && c <= '9'; }
int hexValue(unsigned char c) {
    if (isDigitByte(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool RichTextDecoder::feed(unsigned char byte, uint64_t offset, VisibleChar& out) {
    if (!richText_) {
        out = {byte, offset, offset + 1};
        return true;
    }
    // A byte that ends a control word without belonging to it is read again as text.
    for (;;) {
        switch (state_) {
        case State::Text:
            if (byte == '\\') {
                state_ = State::Escape;
                start_ = offset;
                return false;
            }
            if (byte == '{' || byte == '}' || byte == '\r' || byte == '\n') return false;
            out = {byte, offset, offset + 1};
            return true;
        case State::Escape:
            if (isLetter(byte)) {
                state_ = State::Word;
                return false;
            }
            state_ = State::Text;
            if (byte == '\\' || byte == '{' || byte == '}') {
                out = {byte, start_, offset + 1};
                return true;
            }
            if (byte == '~') {
                out = {' ', start_, offset + 1};
                return true;
            }
            if (byte == '\'') {
                state_ = State::Hex1;
                return false;
            }
            return false;  // another control symbol: nothing visible
        case State::Word:
            if (isLetter(byte)) return false;
            if (isDigitByte(byte) || byte == '-') {
                state_ = State::Parameter;
                return false;
            }
            state_ = State::Text;
            if (byte == ' ') return false;  // the blank belongs to the control word
            continue;
        case State::Parameter:
            if (isDigitByte(byte)) return false;
            state_ = State::Text;
            if (byte == ' ') return false;
            continue;
        case State::Hex1: {
            int value = hexValue(byte);
            if (value < 0) {
                state_ = State::Text;
                continue;
            }
            hex_ = static_cast<unsigned>(value);
            state_ = State::Hex2;
            return false;
        }
        case State::Hex2: {
            int value = hexValue(byte);
            state_ = State::Text;
            if (value < 0) continue;
            out = {static_cast<unsigned char>(hex_ * 16 + static_cast<unsigned>(value)), start_, offset + 1};
            return true;
        }
        }
    }
}

std::vector<VisibleChar> visibleCharacters(std::string_view raw, bool richText) {
    std::vector<VisibleChar> out;
    out.reserve(raw.size());
    RichTextDecoder decoder(richText);
    VisibleChar ch;
    for (size_t i = 0; i < raw.size(); ++i)
        if (decoder.feed(static_cast<unsigned char>(raw[i]), i, ch)) out.push_back(ch);
    return out;
}

StreamSearch::StreamSearch(std::string_view pattern, bool ignoreBit5)
    : pattern_(pattern), ignoreBit5_(ignoreBit5), failure_(pattern.size() + 1, 0), starts_(pattern.size()) {
    for (char& c : pattern_) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    // failure_[i]: length of the longest proper border of pattern_[0, i).
    size_t k = 0;
    for (size_t i = 1; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k]) k = failure_[k];
        if (pattern_[i] == pattern_[k]) ++k;
        failure_[i + 1] = k;
    }
}

bool StreamSearch::push(const VisibleChar& ch) {
    if (pattern_.empty()) return false;
    const size_t m = pattern_.size();
    starts_[seen_ % m] = ch.rawStart;
    ++seen_;
    const char c = static_cast<char>(fold(ch.c));
    while (matched_ > 0 && pattern_[matched_] != c) matched_ = failure_[matched_];
    if (pattern_[matched_] == c) ++matched_;
    if (matched_ < m) return false;
    matchStart_ = starts_[(seen_ - m) % m];
    matched_ = failure_[m];
    return true;
}

}  // namespace tvx::builtins
