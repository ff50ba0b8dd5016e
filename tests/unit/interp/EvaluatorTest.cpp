// The expression evaluators: values, error numbers and the scanner position kept on errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "TestHost.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"

namespace tvx::interp {
namespace {

class EvaluatorTest : public ::testing::Test {
protected:
    testing::TestHost host;
    Interpreter ip{host};
    SymbolTable table{kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText};

    void SetUp() override { ip.symbols().macroTable = &table; }

    // Evaluates text; returns the error number and leaves the value in value.
    int eval(const std::string& text, double& value) {
        line_ = text;
        const char* p = line_.c_str();
        MCVal result;
        int err = ip.evaluate(p, kLimitAssignment, result);
        if (!err && !result.isReal()) return -100;
        value = result.re;
        end_ = static_cast<int>(p - line_.c_str());
        return err;
    }
    double value(const std::string& text) {
        double v = NAN;
        EXPECT_EQ(eval(text, v), 0) << text;
        return v;
    }
    int error(const std::string& text) {
        double v;
        return eval(text, v);
    }
    // Column of the last error in the evaluated text.
    long errorColumn() const { return ip.errorPosition() ? ip.errorPosition() - line_.c_str() : -1; }
    std::string text(const std::string& expression) {
        line_ = expression;
        const char* p = line_.c_str();
        std::string out;
        EXPECT_EQ(ip.evaluator().stringExpression(p, out), 0) << expression;
        return out;
    }

    std::string line_;
    int end_ = 0;
};

TEST_F(EvaluatorTest, ExpressionEndsWhereNoOperatorFollows) {
    EXPECT_EQ(value("1 + 2 3"), 3);
    EXPECT_EQ(end_, 5);
    EXPECT_EQ(value("a b"), 0);  // "b" is no operator
    EXPECT_EQ(end_, 1);
    EXPECT_EQ(value("2 mod1"), 2);  // a word operator stands alone
}

TEST_F(EvaluatorTest, ErrorsKeepTheScannerPosition) {
    EXPECT_EQ(error("3 =< 4"), kUnknownOperator);
    EXPECT_EQ(errorColumn(), 2);
    EXPECT_EQ(error("1 >< 2"), kUnknownOperator);
    EXPECT_EQ(error("1 => 2"), kUnknownOperator);
    EXPECT_EQ(error("1 .. 2"), kUnknownOperator);
    EXPECT_EQ(error("1 <<= 2"), kUnknownOperator);
    EXPECT_EQ(error("(1 + 2"), kBracket);
    EXPECT_EQ(errorColumn(), 6);
    EXPECT_EQ(error("2 * (3 + (4)"), kBracket);
    EXPECT_EQ(error("1 +"), kNotEnoughParameters);
    EXPECT_EQ(error("-"), kNotEnoughParameters);
    EXPECT_EQ(error("1 + \"a\""), kWrongDataType);
    EXPECT_EQ(error("-\"a\""), kWrongDataType);
    EXPECT_EQ(error("\"a\" == \"a\""), kUnknownOperator);
    EXPECT_EQ(error("\"a\" >< \"a\""), kUnknownOperator);
    EXPECT_EQ(error("!nosuch"), kBadSymbolName);
    EXPECT_EQ(errorColumn(), 0);
}

TEST_F(EvaluatorTest, StringOperandIsHandedBack) {
    double v;
    EXPECT_EQ(eval("\"abc\"", v), kStringOperand);
    EXPECT_EQ(end_, 0);  // the caller reads it again as a string
    EXPECT_EQ(eval("!MacroWord[1]", v), kStringOperand);
}

TEST_F(EvaluatorTest, StringWorkAreaOverflow) {
    std::string line = "\"" + std::string(3000, 'x') + "\" + \"" + std::string(1200, 'y') + "\"";
    line_ = line;
    const char* p = line_.c_str();
    std::string out;
    EXPECT_EQ(ip.evaluator().stringExpression(p, out), kStringOverflow);
    // Formats with more than 276 digits are refused, not written past a buffer.
    EXPECT_EQ(error("#" + std::string(300, '#') + "1 = 0"), kStringOverflow);
}

TEST_F(EvaluatorTest, VariablesAreCreatedOnFirstUse) {
    EXPECT_EQ(value("newName + 1"), 1);
    EXPECT_GT(table.find("NEWNAME"), 0);  // names differ only in case: the same variable
    ip.symbols().lookupOnly = true;
    EXPECT_EQ(error("otherName"), kUndefinedVariable);
    EXPECT_EQ(table.find("otherName"), 0);
    ip.symbols().lookupOnly = false;
}

// An expression met again at the same address is evaluated from a compiled
// form; whatever changed there, in the text or in the names, decides.
TEST_F(EvaluatorTest, ExpressionsMetAgainFollowTheirTextAndNames) {
    auto setNumber = [&](const char* name, double v) {
        int index = table.find(name);
        if (index <= 0) index = table.create(name);
        table.at(index).setValueKind(kKindNumber);
        table.at(index).number = v;
    };
    setNumber("x", 3);
    setNumber("y", 1);
    char buffer[64];
    auto at = [&](const char* text, int limit, double& v) {
        std::snprintf(buffer, sizeof buffer, "%s", text);
        const char* p = buffer;
        MCVal result;
        int err = ip.evaluate(p, limit, result);
        v = result.isReal() ? result.re : NAN;
        end_ = static_cast<int>(p - buffer);
        return err;
    };
    double v;
    for (int pass = 0; pass < 3; ++pass) {
        ASSERT_EQ(at(" x * 2 + y", kLimitAssignment, v), 0);
        EXPECT_EQ(v, 7);
        EXPECT_EQ(end_, 10);
    }
    setNumber("y", 10);  // a new value is read
    ASSERT_EQ(at(" x * 2 + y", kLimitAssignment, v), 0);
    EXPECT_EQ(v, 16);
    // Other text at the same address: longer, shorter, or the same text with
    // an operator behind it.
    ASSERT_EQ(at(" x * 2 + y ^ 2", kLimitAssignment, v), 0);
    EXPECT_EQ(v, 106);
    ASSERT_EQ(at(" x * 2 + z", kLimitAssignment, v), 0);
    EXPECT_EQ(v, 6);
    EXPECT_GT(table.find("z"), 0);  // created by the text, as on first reading
    ASSERT_EQ(at(" x * 2", kLimitAssignment, v), 0);
    EXPECT_EQ(v, 6);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(at("x - 1, 5", kLimitArgument, v), 0);
        EXPECT_EQ(v, 2);
        EXPECT_EQ(end_, 5);
    }
    ASSERT_EQ(at("x - 1 * 5", kLimitArgument, v), 0);
    EXPECT_EQ(v, -2);
    EXPECT_EQ(end_, 9);
    // A variable that holds a text now: the same error, at the same place, as
    // where the text is read for the first time.
    for (int pass = 0; pass < 2; ++pass) ASSERT_EQ(at("x + y", kLimitAssignment, v), 0);
    int x = table.find("x");
    table.at(x).setValueKind(kKindString);
    table.at(x).text = "abc";
    std::string firstTime = "x + y";
    const char* p = firstTime.c_str();
    MCVal result;
    int expected = ip.evaluate(p, kLimitAssignment, result);
    EXPECT_NE(expected, 0);
    EXPECT_EQ(at("x + y", kLimitAssignment, v), expected);
    EXPECT_EQ(end_, p - firstTime.c_str());
    // Names that went away are created again by the text.
    setNumber("w", 2);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(at("w * 4", kLimitAssignment, v), 0);
        EXPECT_EQ(v, 8);
    }
    table.clear();
    ASSERT_EQ(at("w * 4", kLimitAssignment, v), 0);
    EXPECT_EQ(v, 0);
}

TEST_F(EvaluatorTest, FamiliesOfIndexedNames) {
    int index = table.create("a[3]");
    table.at(index).setValueKind(kKindNumber);
    table.at(index).number = 5;
    EXPECT_EQ(value("a[3]"), 5);
    EXPECT_EQ(value("a[1+2]"), 5);
    EXPECT_EQ(value("a[2.6]"), 5);  // rounded
    EXPECT_EQ(table.find("a"), 0);  // the base name itself is not created
}

TEST_F(EvaluatorTest, HugeAndHostileInput) {
    EXPECT_EQ(value("1e308 * 10"), INFINITY);
    EXPECT_TRUE(std::isnan(value("0/0")));
    EXPECT_EQ(value("1e-400"), 0);
    std::string deep(5000, '(');
    EXPECT_NE(error(deep), 0);  // bounded depth, an error number, no crash
    std::string minus(5000, '-');
    EXPECT_EQ(value(minus + "1"), 1);  // deep, but within the stack
    std::string brackets(200000, '(');
    EXPECT_EQ(error(brackets + "1"), kOutOfMemory);  // deeper than the stack allows: refused
    // Found by fuzzing: a comparison scan read past the end of the text.
    std::string atEnd = "##.#-###.#-#2#5";
    double ignored;
    eval(atEnd, ignored);
    std::string garbage;
    for (int i = 1; i < 256; ++i) garbage.push_back(static_cast<char>(i));
    double v;
    eval(garbage, v);  // any outcome but a crash
}

TEST_F(EvaluatorTest, MatrixLiteralShapes) {
    line_ = "[1, 2; 3]";
    const char* p = line_.c_str();
    MCVal m;
    ASSERT_EQ(ip.evaluate(p, kLimitAssignment, m), 0);
    ASSERT_TRUE(m.isBlock());
    EXPECT_EQ(m.pData->xSize, 2);
    EXPECT_EQ(m.pData->ySize, 2);
    EXPECT_EQ(readElement(m.pData, 3), 0);  // the short row is filled with zeros

    auto count = [&](const std::string& literal) {
        line_ = literal;
        const char* q = line_.c_str();
        MCVal v;
        int err = ip.evaluate(q, kLimitAssignment, v);
        return err ? -err : (v.isBlock() ? v.pData->count : -1000);
    };
    EXPECT_EQ(count("[1:5]"), 5);
    EXPECT_EQ(count("[0:0.5:2]"), 5);
    EXPECT_EQ(count("[7:*3]"), 3);
    EXPECT_EQ(count("[5:1]"), 0);
    EXPECT_EQ(count("[1 -2]"), 2);
    EXPECT_EQ(count("[1 - 2]"), 1);
    EXPECT_EQ(count("[1-2]"), 1);
    EXPECT_EQ(count("[1:2:3:4]"), -kTooManyParameters);
    EXPECT_EQ(count("[1:2:*3]"), -kTooManyParameters);
    EXPECT_EQ(count("[1, 2"), -kBracket);
    EXPECT_EQ(count("[1:1e12]"), -kVectorNotCreated);  // refused before any memory is taken
    EXPECT_EQ(count("[1, \"a\"]"), -kWrongDataType);
}

TEST_F(EvaluatorTest, StringTerms) {
    EXPECT_EQ(text("\"a\" + $66 + #3#7"), "aB  7");
    EXPECT_EQ(text("#b8#255"), "377");
    EXPECT_EQ(text("#B16####-1"), "FFFF");
    EXPECT_EQ(text("#x#-1"), "ffffffff");
    int index = table.create("s");
    table.at(index).setValueKind(kKindString);
    table.at(index).text = "hello";
    EXPECT_EQ(text("s[1:2] + s[4:]"), "elo");
}

}  // namespace
}  // namespace tvx::interp

namespace tvx::interp {
namespace {

TEST(NumberLiterals, FastPathAgreesWithTheGeneralConversion) {
    // Every literal must read as the C library reads it.
    const char* cases[] = {"0",
                           "7",
                           "2.5",
                           "0.1",
                           "0.3",
                           "123456789012345",
                           "1234567890123456",
                           "3.14159265358979",
                           "0.000000000000001",
                           "99999999999999.9",
                           "1.",
                           "000012.50",
                           "1e5",
                           "2.5e-3",
                           "123456789012345678",
                           "0.1234567890123456789",
                           "1234567890123456789012345.75",
                           "0.0000000000000001",
                           "00000000000000000000001.5",
                           "9007199254740993",
                           ".5",
                           "12.5e",
                           "4e+",
                           "6.25E+2x"};
    for (const char* text : cases) {
        double fast;
        const char* end = parseDecimal(text, fast);
        char* expectedEnd;
        EXPECT_EQ(fast, std::strtod(text, &expectedEnd)) << text;
        EXPECT_EQ(end, expectedEnd) << text;
    }
}

}  // namespace
}  // namespace tvx::interp
