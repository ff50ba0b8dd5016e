// Logical lines and path composition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/source/lines.h"
#include "interp/source/sources.h"

namespace tvx::interp {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    std::string line;
    LogicalLine where;
    while (readLogicalLine(text, pos, line, where) != LineStatus::End) {
        out.push_back(line);
        pos = where.next;
    }
    return out;
}

TEST(LogicalLines, SeparatorsCommentsAndContinuations) {
    EXPECT_EQ(lines("a = 1 | b = 2"), (std::vector<std::string>{"a = 1", "b = 2"}));
    EXPECT_EQ(lines("a = 1 : b = 2"), (std::vector<std::string>{"a = 1 : b = 2"}));
    EXPECT_EQ(lines("s = \"x;y|z\" ; note"), (std::vector<std::string>{"s = \"x;y|z\""}));
    EXPECT_EQ(lines("m = [1, 2; 3, 4] ; c"), (std::vector<std::string>{"m = [1, 2; 3, 4]"}));
    EXPECT_EQ(lines("c = '|' | d = ';'"), (std::vector<std::string>{"c = '|'", "d = ';'"}));
    EXPECT_EQ(lines("; comment\r\n  x = 1  \r\n\r\ny = 2"), (std::vector<std::string>{"x = 1", "y = 2"}));
    // The continuation's leading blanks are skipped like those of any line.
    EXPECT_EQ(lines("a = 1 + \\\n  2\nb"), (std::vector<std::string>{"a = 1 + 2", "b"}));
    EXPECT_EQ(lines("a\rb\x1A"
                    "c"),
              (std::vector<std::string>{"a", "b"}));  // Ctrl-Z ends the text
    EXPECT_EQ(lines("::: x"), (std::vector<std::string>{"x"}));
}

TEST(LogicalLines, LengthLimit) {
    std::string exact(511, 'a');
    std::string line;
    LogicalLine where;
    EXPECT_EQ(readLogicalLine(exact, 0, line, where), LineStatus::Line);
    EXPECT_EQ(readLogicalLine(exact + "b", 0, line, where), LineStatus::TooLong);
    // Joined continuations count together.
    std::string joined = std::string(300, 'a') + "\\\n" + std::string(212, 'b');
    EXPECT_EQ(readLogicalLine(joined, 0, line, where), LineStatus::TooLong);
    // A 10 MB line is cut, not copied whole, and the reader goes on after it.
    std::string huge(10 * 1024 * 1024, 'x');
    huge += "\ny";
    EXPECT_EQ(readLogicalLine(huge, 0, line, where), LineStatus::TooLong);
    EXPECT_EQ(line.size(), 511u);
    EXPECT_EQ(readLogicalLine(huge, where.next, line, where), LineStatus::Line);
    EXPECT_EQ(line, "y");
}

TEST(PathComposition, NamesAgainstABaseDirectory) {
    EXPECT_EQ(composePath("test", "/opt/tolvex/", "MAC"), "/opt/tolvex/test.MAC");
    EXPECT_EQ(composePath("..\\m\\test", "/opt/tolvex/bin/", "MAC"), "/opt/tolvex/m\\test.MAC");
    EXPECT_EQ(composePath("../../x.mac", "/a/b/c/", "MAC"), "/a/x.mac");
    EXPECT_EQ(composePath("\\\\host\\share\\m", "/opt/", "MAC"), "\\\\host\\share\\m.MAC");
    EXPECT_EQ(composePath("C:\\lab\\run", "/opt/", "MAC"), "C:\\lab\\run.MAC");
    EXPECT_EQ(composePath("\\lab\\run.txt", "D:\\base\\", "MAC"), "D:\\lab\\run.txt");
    EXPECT_EQ(composePath("/abs/run", "/opt/", "MAC"), "/abs/run.MAC");
    // The extension test looks at the file name, not at dots in directories.
    EXPECT_EQ(composePath("run", "/home/lab/.macros/", "MAC"), "/home/lab/.macros/run.MAC");
}

}  // namespace
}  // namespace tvx::interp
