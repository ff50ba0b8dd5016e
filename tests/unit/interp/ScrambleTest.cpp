// The scrambled macro form: round trips for every variant, a fixed known answer,
// and texts too short for their header.
#include "interp/source/scramble.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <random>
#include <string>

using namespace tvx::interp;

namespace {

std::string fromHex(std::string_view hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(1 + gen() % 255);
    return s;
}

// Scrambles plain, checks the file layout, unscrambles and checks that the plain
// text comes back behind a comment header line.
void expectRoundTrip(const std::string& plain, int variant) {
    SCOPED_TRACE("variant " + std::to_string(variant) + ", size " + std::to_string(plain.size()));
    std::string file = scrambleMacroText(plain, variant);
    ASSERT_EQ(file.size(), kScrambleHeaderSize + plain.size());
    ASSERT_TRUE(isScrambledText(file));
    EXPECT_EQ(file.substr(0, 5), "!IPC" + std::to_string(variant));
    for (size_t i = 5; i < 14; ++i) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(file[i])));

    const std::string header = file.substr(0, 14);
    ASSERT_TRUE(unscrambleMacroText(file));
    EXPECT_EQ(file.substr(0, 14), ";" + header.substr(1));
    EXPECT_EQ(file.substr(14, 2), "\r\n");
    EXPECT_TRUE(file.substr(16) == plain);
}

}  // namespace

TEST(Scramble, RecognisesTheHeader) {
    EXPECT_TRUE(isScrambledText("!IPC0"));
    EXPECT_TRUE(isScrambledText("!IPC9 rest"));
    EXPECT_FALSE(isScrambledText("!IPC"));
    EXPECT_FALSE(isScrambledText("!IPCx0123456789ab"));
    EXPECT_FALSE(isScrambledText("!ipc1"));
    EXPECT_FALSE(isScrambledText(";IPC1"));
    EXPECT_FALSE(isScrambledText(""));
}

TEST(Scramble, EveryVariantRoundTrips) {
    std::string allBytes;
    for (int b = 1; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
    const std::string crlf = "a = 1\r\nif a == 1\r\n  MsgBox \"x\"; ok\r\nendif\r\n";
    const std::string big = randomBytes(1 << 20, 7);
    for (int v = 0; v <= 9; ++v) {
        expectRoundTrip("", v);
        expectRoundTrip("x", v);
        expectRoundTrip(" ", v);  // a byte that pass M changes
        expectRoundTrip(allBytes, v);
        expectRoundTrip(crlf, v);
        expectRoundTrip(big, v);
    }
}

TEST(Scramble, BodyIsScrambledExceptInVariants6And7) {
    const std::string plain = "Function Main\r\n  StrSet s, \"Hello, world\"\r\nEndFunction\r\n";
    for (int v = 0; v <= 9; ++v) {
        const std::string body = scrambleMacroText(plain, v).substr(kScrambleHeaderSize);
        // In 6 and 7 pass X undoes itself and runs four times, and M runs twice or not at all.
        EXPECT_EQ(body == plain, v == 6 || v == 7) << "variant " << v;
    }
    // Different variants of one text give different bodies.
    EXPECT_NE(scrambleMacroText(plain, 1).substr(16), scrambleMacroText(plain, 2).substr(16));
}

TEST(Scramble, NulBytesArePartOfTheText) {
    const std::string plain("a\0b\0\0c", 6);
    for (int v = 0; v <= 9; ++v) expectRoundTrip(plain, v);
}

// Derived once, by brute-force inversion of an independent implementation of the
// unscrambling algorithm over every 3-byte body. A change of a constant, of the
// order of the passes or of the running sum breaks these.
TEST(Scramble, KnownAnswer) {
    const unsigned char header0[12] = {'0', 'K', 'N', 'O', 'W', 'N', '1', '2', '3', '4', '\r', '\n'};
    EXPECT_EQ(scrambleKey(header0), 0xA0F1BCABu);

    struct Case {
        int variant;
        const char* body;
    };
    for (const Case& c : {Case{0, "263340"}, Case{1, "303364"}, Case{2, "78313d"}}) {
        SCOPED_TRACE(c.variant);
        const std::string header = "!IPC" + std::to_string(c.variant) + "KNOWN1234\r\n";
        std::string file = header + fromHex(c.body);
        ASSERT_TRUE(unscrambleMacroText(file));
        EXPECT_EQ(file, ";IPC" + std::to_string(c.variant) + "KNOWN1234\r\na=1");

        // And the scrambling direction produces the same body from the same header.
        std::string body = "a=1";
        const uint32_t key = scrambleKey(reinterpret_cast<const unsigned char*>(header.data()) + 4);
        ASSERT_TRUE(scrambleBytes(body.data(), body.size(), key, c.variant));
        EXPECT_EQ(body, fromHex(c.body));
    }
}

TEST(Scramble, RefusesTextsShorterThanTheirHeader) {
    for (std::string text : {"!IPC5", "!IPC5abc", "!IPC51234567890"}) {
        // An exact-size heap copy, so reading past it would be caught by the sanitizer.
        std::string before = text;
        EXPECT_FALSE(unscrambleMacroText(text));
        EXPECT_EQ(text, before);
    }
    std::string plain = "a = 1\r\n";
    EXPECT_FALSE(unscrambleMacroText(plain));
    EXPECT_EQ(plain, "a = 1\r\n");

    std::string headerOnly = "!IPC7abcdefghi\r\n";
    ASSERT_TRUE(unscrambleMacroText(headerOnly));
    EXPECT_EQ(headerOnly, ";IPC7abcdefghi\r\n");

    EXPECT_EQ(scrambleMacroText("x", -1), "");
    EXPECT_EQ(scrambleMacroText("x", 10), "");
}

// String scrambling passes any 32-bit flags; every byte-change mode must invert.
TEST(Scramble, RoutineInvertsForArbitraryFlags) {
    const std::string plain = randomBytes(3000, 3) + std::string("\0\t\n\r", 4);
    for (uint32_t v : {0x00u, 0x07u, 0x20u, 0x30u, 0x33u, 0x4Cu, 0x7Fu, 0xFFFFFFFFu, 0x12345678u}) {
        SCOPED_TRACE(v);
        std::string s = plain;
        ASSERT_TRUE(scrambleBytes(s.data(), s.size(), 0xDEADBEEF, v));
        unscrambleBytes(s.data(), s.size(), 0xDEADBEEF, v);
        EXPECT_TRUE(s == plain);
    }
}

TEST(Scramble, Mode10KeepsLineStructureOrRefuses) {
    // Unscrambling keeps NUL, tab, LF and CR in this mode (0x13: no reversal either).
    std::string kept("\0\t\n\r", 4);
    unscrambleBytes(kept.data(), kept.size(), 0x01020304, 0x13);
    EXPECT_EQ(kept, std::string("\0\t\n\r", 4));

    // Every plain byte either scrambles and comes back, or the call refuses and
    // leaves the text alone: never a text that unscrambles to something else.
    int refused = 0;
    for (uint32_t key = 0; key < 64; ++key) {
        std::string s;
        for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
        const std::string plain = s;
        if (!scrambleBytes(s.data(), s.size(), key * 0x9E3779B9u, 0x10)) {
            EXPECT_TRUE(s == plain);
            ++refused;
            continue;
        }
        unscrambleBytes(s.data(), s.size(), key * 0x9E3779B9u, 0x10);
        EXPECT_TRUE(s == plain);
    }
    EXPECT_GT(refused, 0);
}
