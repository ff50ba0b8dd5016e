// String lists: lookups of whole entries, sorting, entries found inside a
// text, and the slots behind the handles.
#include <gtest/gtest.h>

#include "builtins/strings/stringlist.h"
#include "builtins/strings/strings.h"
#include "interp/interpreter.h"
#include "interp/values/handles.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins {
namespace {

TEST(StringList, LookupSeesEntriesAddedAfterEarlierLookups) {
    StringList list;
    list.add("one");
    EXPECT_EQ(list.find("one", false), 1);
    list.add("Two");
    list.add("two");
    list.add("one");
    EXPECT_EQ(list.find("two", false), 3);
    EXPECT_EQ(list.find("TWO", true), 2);
    EXPECT_EQ(list.find("TWO", false), -1);
    // The first of equal entries.
    EXPECT_EQ(list.find("one", false), 1);
    EXPECT_EQ(list.find("", false), -1);
    list.add("");
    EXPECT_EQ(list.find("", false), 5);
    list.clear();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.find("one", false), -1);
}

TEST(StringList, SortIgnoresCaseAndKeepsTheOrderOfEqualTexts) {
    StringList list;
    for (const char* text : {"b", "A", "c", "a", "B", "", "ab"}) list.add(text);
    EXPECT_EQ(list.sortedNumbers(), (std::vector<int32_t>{6, 2, 4, 7, 1, 5, 3}));
}

TEST(StringList, EntriesInTextTakeTheFirstPlaceAndTheLongestEntry) {
    StringList list;
    list.add("cat");
    list.add("at");
    list.add("catalog");
    std::string text = "the catalogue";
    std::vector<unsigned char> visible(text.begin(), text.end());
    size_t position = 0, length = 0;
    long number = 0;
    ASSERT_TRUE(list.findInText(visible, false, position, number, length));
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(length, 7u);
    text = "THAT";
    visible.assign(text.begin(), text.end());
    EXPECT_FALSE(list.findInText(visible, false, position, number, length));
    ASSERT_TRUE(list.findInText(visible, true, position, number, length));
    EXPECT_EQ(position, 2u);
    EXPECT_EQ(number, 2);
}

TEST(StringListSlots, HandlesComeRoundRobinForEachInterpreter) {
    interp::testing::TestHost host;
    interp::Interpreter ip{host};
    registerStringCommands(ip);
    double first = initStringList(ip, 0);
    EXPECT_EQ(first, interp::kFirstStringListHandle);
    EXPECT_EQ(addToStringList(ip, first, "x"), 1);
    EXPECT_EQ(addToStringList(ip, first, "y"), 2);
    EXPECT_EQ(stringListSize(ip, first), 2);
    // A handle of the range whose slot holds no list yet gets one.
    EXPECT_EQ(stringListSize(ip, first + 5), -1);
    EXPECT_EQ(addToStringList(ip, first + 5, "z"), 1);
    EXPECT_EQ(addToStringList(ip, 12, "z"), -1);
    EXPECT_EQ(stringListSize(ip, first + 0.5), -1);
    for (int i = 1; i < 32; ++i) EXPECT_EQ(initStringList(ip, 0), first + i);
    // The 33rd list reuses slot 0, emptied.
    EXPECT_EQ(initStringList(ip, -1), first);
    EXPECT_EQ(stringListSize(ip, first), 0);
    // Another interpreter has lists of its own.
    interp::testing::TestHost otherHost;
    interp::Interpreter other{otherHost};
    registerStringCommands(other);
    EXPECT_EQ(stringListSize(other, first + 5), -1);
    EXPECT_EQ(stringListSize(ip, first + 5), 0);
}

}  // namespace
}  // namespace tvx::builtins
