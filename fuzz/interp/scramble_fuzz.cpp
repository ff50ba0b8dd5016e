// Fuzzes the reader of scrambled macro files: any bytes unscrambled as the
// loader does, and scrambling a text then unscrambling it gives it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interp/source/scramble.h"

using namespace tvx::interp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (isScrambledText(bytes)) (void)unscrambleMacroText(bytes);
    if (size == 0) return 0;
    const int variant = data[0] % 10;
    std::string_view plain(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string scrambled = scrambleMacroText(plain, variant);
    if (!unscrambleMacroText(scrambled)) std::abort();
    if (std::string_view(scrambled).substr(kScrambleHeaderSize) != plain) std::abort();
    return 0;
}
