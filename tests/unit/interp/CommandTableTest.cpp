// The name tables and the built-in command and status-variable tables.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "interp/errors.h"
#include "interp/exec/control.h"
#include "interp/names/commandtable.h"
#include "interp/names/nametable.h"
#include "resources/resources.h"

namespace tvx::interp {
namespace {

TEST(NameTable, HashFoldsLettersOnly) {
    EXPECT_EQ(NameTable::hash("Loop"), NameTable::hash("LOOP"));
    EXPECT_EQ(NameTable::hash("loop"), NameTable::hash("lOoP"));
    // h = rotl16(h, 1) + c: "ab" = (0x61 << 1) + 0x62
    EXPECT_EQ(NameTable::hash("ab"), (0x61 << 1) + 0x62);
    // Characters below 64 are not folded: '!' (0x21) differs from 0x01.
    EXPECT_NE(NameTable::hash("!"), NameTable::hash("\x01"));
    // The rotation wraps within 16 bits.
    std::string longName(40, 'z');
    EXPECT_LE(NameTable::hash(longName), 0xFFFF);
}

TEST(ReservedFunctionNames, TheOperatorWordsInAnyCaseAndNothingElse) {
    for (const char* word :
         {"and", "or", "xor", "div", "mod", "fmod", "mul", "AND", "Or", "xOR", "FMod", "MUL"})
        EXPECT_TRUE(isReservedFunctionName(word)) << word;
    for (const char* word : {"", "o", "an", "ands", "fmo", "fmods", "mo", "odd", "Fib", "modx", "mu1", "or ",
                             "Dec", "fmod2"})
        EXPECT_FALSE(isReservedFunctionName(word)) << word;
}

TEST(NameTable, WholeWordCaseInsensitiveLookup) {
    NameTable table(16, 7);
    int index = table.add("EndLoop");
    ASSERT_GT(index, 0);
    EXPECT_EQ(table.find("endloop"), index);
    EXPECT_EQ(table.find("ENDLOOP"), index);
    EXPECT_EQ(table.find("EndLoo"), 0);  // no abbreviations
    EXPECT_EQ(table.find("EndLoops"), 0);
    // Digits and '_' compare exactly ("a_1" vs "A_1" still match through the letter).
    int other = table.add("a_1");
    EXPECT_EQ(table.find("A_1"), other);
    EXPECT_EQ(table.find("a 1"), 0);
}

TEST(NameTable, ChainsSurviveGrowing) {
    NameTable table(4, 3);
    for (int i = 0; i < 3; ++i) ASSERT_GT(table.add("n" + std::to_string(i)), 0);
    EXPECT_EQ(table.add("full"), -1);  // beyond the capacity
    table.grow(64, 31);
    for (int i = 3; i < 40; ++i) ASSERT_GT(table.add("n" + std::to_string(i)), 0);
    for (int i = 0; i < 40; ++i) EXPECT_GT(table.find("N" + std::to_string(i)), 0) << i;
}

// The rows of the readable source, read independently of the generator.
struct Row {
    int code;
    std::string name;
    std::string signature;
};

std::vector<Row> sourceRows() {
    std::ifstream in(TOLVEX_SOURCE_DIR "/resources/commands.tbl");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Row row;
        std::string code;
        words >> code >> row.name >> row.signature;
        if (code == "internal") continue;  // a code without a row
        row.code = std::stoi(code, nullptr, 16);
        if (row.name[0] == '~') row.name.clear();  // "~Id": no name, Id names the code in the source
        rows.push_back(row);
    }
    return rows;
}

TEST(CommandTable, HoldsEveryRowWithItsCodeAndSignature) {
    CommandTable table;
    ASSERT_EQ(table.load(resources::commandTableRecords()), 0);
    std::vector<Row> rows = sourceRows();
    ASSERT_EQ(rows.size(), 332u);  // 330 commands, the table head, and the parameter statement
    EXPECT_EQ(table.rowCount(), 332);
    for (const Row& row : rows) {
        EXPECT_EQ(table.signature(row.code), row.signature) << row.name;
        if (row.name.empty()) continue;
        EXPECT_EQ(table.lookup(row.name), row.code) << row.name;
        EXPECT_EQ(table.name(row.code), row.name);
    }
}

TEST(CommandTable, KnownRowsAndCodeRanges) {
    CommandTable table;
    ASSERT_EQ(table.load(resources::commandTableRecords()), 0);
    EXPECT_EQ(table.signature(0), "i");  // the nameless head
    EXPECT_EQ(table.lookup("msgbox"), 0x281);
    EXPECT_TRUE(isFunctionCode(0x281));  // a function, though among the message boxes
    EXPECT_EQ(table.signature(0x281), "s.si");
    EXPECT_TRUE(isStatementCode(table.lookup("LockedMemAddB")));
    EXPECT_TRUE(isStatementCode(table.lookup("TestOLE")));
    EXPECT_TRUE(isFunctionCode(table.lookup("sin")));
    EXPECT_EQ(table.signature(table.lookup("Global")), "?v.?v?v?v?v?v?v?v?v?v?v?v?v?v?v?v?v?v?v?v");
    EXPECT_EQ(table.signature(0x239), "ff");  // nameless function row
    EXPECT_EQ(table.lookup(""), -1);
    EXPECT_EQ(table.lookup("endi"), -1);
    EXPECT_EQ(table.signature(table.lookup("End")), "&");
    EXPECT_EQ(table.signature(table.lookup("ElseIf")), "l");
    EXPECT_EQ(table.signature(table.lookup("BreakLoop")), ".l");
}

TEST(CommandTable, LoaderRules) {
    // code 0 takes the next index; a signature over 41 characters is refused.
    std::vector<uint8_t> records = {0, 0, 0, 'i', 0, 0x10, 0, 'A', 0, 'f', 0, 0, 0, 'B', 0, 'l', 0};
    std::string longSignature(42, 'f');
    records.insert(records.end(), {0x20, 0, 'C', 0});
    records.insert(records.end(), longSignature.begin(), longSignature.end());
    records.push_back(0);
    records.insert(records.end(), {0xFF, 0xFF});
    CommandTable table;
    EXPECT_EQ(table.load(records), kSignatureTooLong);
    EXPECT_EQ(table.lookup("A"), 0x10);
    EXPECT_EQ(table.lookup("B"), 0x11);
    EXPECT_EQ(table.lookup("C"), -1);

    // Truncated records end the loading without reading past the end.
    std::vector<uint8_t> cut = {0x10, 0, 'A', 'B'};
    CommandTable truncated;
    EXPECT_EQ(truncated.load(cut), 0);
    EXPECT_EQ(truncated.lookup("AB"), -1);
}

TEST(StatusVariables, TableAndMessages) {
    StatusVariableTable table;
    table.load(resources::statusVariableRecords());
    EXPECT_EQ(table.rowCount(), 57);
    EXPECT_EQ(table.lookup("pi"), 84);
    EXPECT_EQ(table.lookup("LOOPINDEX"), 59);
    EXPECT_EQ(table.lookup("Max"), 203);
    EXPECT_EQ(table.lookup("nope"), -1);
    EXPECT_EQ(resources::messageText(801), "Unknown command");
    EXPECT_EQ(resources::messageText(848),
              "Chaining using ' : ' or ' , ' is not allowed with this instruction, use ' | ' instead");
    EXPECT_EQ(resources::messageText(857), "Assertion failed");
    EXPECT_EQ(resources::messageText(858), "Not available on this system yet");
    EXPECT_EQ(resources::messageText(859), "");
}

}  // namespace
}  // namespace tvx::interp

namespace tvx::interp {
namespace {

TEST(NameTable, EnteringAnIndexAgainReplacesItsName) {
    // Found by fuzzing: a duplicate row linked an entry to itself, and a
    // lookup that reached it never ended.
    NameTable table(16, 1);  // one bucket: every name in the same chain
    ASSERT_EQ(table.add("first", 5), 5);
    ASSERT_EQ(table.add("second", 6), 6);
    ASSERT_EQ(table.add("again", 5), 5);
    EXPECT_EQ(table.find("first"), 0);
    EXPECT_EQ(table.find("again"), 5);
    EXPECT_EQ(table.find("second"), 6);
    EXPECT_EQ(table.find("missing"), 0);  // ends
}

}  // namespace
}  // namespace tvx::interp
