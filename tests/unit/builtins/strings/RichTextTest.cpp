// Searching text as its reader sees it: the rich-text decoder and the
// streaming search, fed whole or piece by piece.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "builtins/strings/richtext.h"

namespace tvx::builtins {
namespace {

std::string visibleText(std::string_view raw, bool richText) {
    std::string out;
    for (const VisibleChar& ch : visibleCharacters(raw, richText)) out.push_back(static_cast<char>(ch.c));
    return out;
}

TEST(RichText, ControlWordsBracesAndEscapesAreRead) {
    EXPECT_EQ(visibleText("{\\rtf1\\ansi\\deff0 Hi}", true), "Hi");
    // A parameter may be negative; one blank ends the word, a second is text.
    EXPECT_EQ(visibleText("a\\li-720  b", true), "a b");
    // A non-letter ends a control word and is read as text.
    EXPECT_EQ(visibleText("\\b1,x", true), ",x");
    EXPECT_EQ(visibleText("\\\\ \\{ \\} \\'41\\'4a", true), "\\ { } AJ");
    // A broken hex escape shows what follows it.
    EXPECT_EQ(visibleText("\\'4x", true), "x");
    EXPECT_EQ(visibleText("line\r\nend\\~!", true), "lineend !");
    EXPECT_EQ(visibleText("{\\*\\unknown}", true), "");
    // Plain text is taken as it is.
    EXPECT_EQ(visibleText("{\\b}", false), "{\\b}");
}

TEST(RichText, VisibleCharactersKnowTheirRawBytes) {
    std::vector<VisibleChar> v = visibleCharacters("x\\'41y", true);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1].c, 'A');
    EXPECT_EQ(v[1].rawStart, 1u);
    EXPECT_EQ(v[1].rawEnd, 5u);
    EXPECT_EQ(v[2].rawStart, 5u);
}

// Feeds raw text to a search in pieces of the given sizes; the raw offsets of
// every match (start, end).
std::vector<std::pair<uint64_t, uint64_t>> matches(std::string_view raw, std::string_view pattern,
                                                   bool ignoreCase, bool richText,
                                                   std::vector<size_t> pieces) {
    RichTextDecoder decoder(richText);
    StreamSearch search(pattern, ignoreCase);
    std::vector<std::pair<uint64_t, uint64_t>> found;
    size_t pos = 0, k = 0;
    while (pos < raw.size()) {
        size_t n = std::min(pieces.empty() ? raw.size() : pieces[k++ % pieces.size()], raw.size() - pos);
        for (size_t i = pos; i < pos + n; ++i) {
            VisibleChar ch;
            if (decoder.feed(static_cast<unsigned char>(raw[i]), i, ch) && search.push(ch))
                found.emplace_back(search.matchStart(), ch.rawEnd);
        }
        pos += n;
    }
    return found;
}

TEST(RichText, SearchFindsOverlappingMatchesAcrossPieces) {
    using Found = std::vector<std::pair<uint64_t, uint64_t>>;
    EXPECT_EQ(matches("aaaab", "aab", false, false, {}), (Found{{2, 5}}));
    EXPECT_EQ(matches("abababa", "aba", false, false, {1}), (Found{{0, 3}, {2, 5}, {4, 7}}));
    // Case is ignored by clearing bit 5 of every byte.
    EXPECT_EQ(matches("xHeLLo", "hello", true, false, {2}), (Found{{1, 6}}));
    EXPECT_TRUE(matches("xHeLLo", "hello", false, false, {2}).empty());
    // In rich text a match may span control words; its offsets are raw.
    EXPECT_EQ(matches("He\\b l\\b0 lo", "Hello", false, true, {3}), (Found{{0, 12}}));
}

TEST(RichText, PiecesDoNotChangeWhatIsFound) {
    std::mt19937 rng(7);
    const char alphabet[] = "ab\\'{} 4x";
    for (int round = 0; round < 200; ++round) {
        std::string raw;
        for (int i = 0; i < 60; ++i) raw.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
        for (bool rich : {false, true}) {
            auto whole = matches(raw, "ab", false, rich, {});
            std::vector<size_t> pieces{1 + rng() % 5, 1 + rng() % 7};
            EXPECT_EQ(matches(raw, "ab", false, rich, pieces), whole) << raw;
        }
    }
}

}  // namespace
}  // namespace tvx::builtins
