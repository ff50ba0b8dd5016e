// The scrambled storage form of macro texts ("!IPC" files) and the byte
// scrambling routine behind it, which string scrambling uses as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tvx::interp {

// A scrambled text starts with a 16-byte header line: "!IPC", the variant
// digit, nine free bytes, and two bytes that unscrambling turns into CR LF.
inline constexpr size_t kScrambleHeaderSize = 16;

// True when text starts with "!IPC" and a digit (the loader then unscrambles it).
bool isScrambledText(std::string_view text);

// Unscrambles a whole scrambled file in place: the body (byte 16 to the end of
// text; bytes of value 0 are part of it) becomes plain text, byte 0 becomes ';'
// and bytes 14 and 15 become CR LF, so the header reads as a comment line.
// Returns false, leaving text unchanged, when text is not a scrambled text or
// is shorter than its header.
bool unscrambleMacroText(std::string& text);

// The inverse: "!IPC", the variant digit (0..9), a header derived from plain,
// and the scrambled body, so that unscrambleMacroText gives back
// ";IPC<digit><9 bytes>\r\n" followed by plain. The nine header bytes are
// letters and digits. Returns an empty string for a variant outside 0..9.
// Variants 6 and 7 leave the body readable: their passes undo each other (pass
// X is its own inverse there and runs four times), so choose another variant
// when the text should not be legible.
std::string scrambleMacroText(std::string_view plain, int variant);

// The 32-bit key of a scrambled text, computed from its 12 header bytes
// (bytes 4 to 15 of the file).
uint32_t scrambleKey(const unsigned char* header12);

// The scrambling routine: byte-mapping pass M and pass X with the fixed table,
// in the order and number the variant flags select (every bit of variant is
// significant, not only the values 0..9 of macro files). unscrambleBytes is the
// direction the file loader uses; scrambleBytes is its exact inverse.
//
// Byte-change mode (variant & 0x30) 0x10 keeps bytes 0, 9, 10 and 13 and
// changes the others within their groups; some texts cannot be encoded in that
// mode (a byte would have to become 9, 10 or 13), and scrambleBytes then
// returns false and leaves the bytes unchanged. It returns true otherwise.
void unscrambleBytes(char* bytes, size_t size, uint32_t key, uint32_t variant);
[[nodiscard]] bool scrambleBytes(char* bytes, size_t size, uint32_t key, uint32_t variant);

}  // namespace tvx::interp
