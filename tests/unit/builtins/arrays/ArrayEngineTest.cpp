// The array engine where a macro cannot see it directly: variables' blocks are
// never changed by an expression, blocks shorter than their dimensions, the
// element-wise application of a function handler, views and the write-back of
// what is stored into them, and requests too large for memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/arrays/arrays.h"
#include "builtins/numeric/numeric.h"
#include "interp/api.h"
#include "interp/display.h"
#include "interp/eval/evaluator.h"
#include "interp/interpreter.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins {
namespace {

using namespace interp;

class ArrayEngineTest : public ::testing::Test {
protected:
    interp::testing::TestHost host;
    Interpreter ip{host};
    SymbolTable table{kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText};

    void SetUp() override {
        ip.symbols().macroTable = &table;
        registerNumericFunctions(ip);
        registerArrayEngine(ip);
    }

    int eval(const std::string& text, MCVal& out) {
        lines_.push_back(text);  // kept: error positions point into it
        const char* p = lines_.back().c_str();
        return ip.evaluate(p, kLimitAssignment, out);
    }
    double value(const std::string& text) {
        MCVal out;
        EXPECT_EQ(eval(text, out), 0) << text;
        return out.re;
    }
    int error(const std::string& text) {
        MCVal out;
        return eval(text, out);
    }
    // The elements of a block result (real parts).
    std::vector<double> elements(const std::string& text) {
        MCVal out;
        EXPECT_EQ(eval(text, out), 0) << text;
        std::vector<double> result;
        if (!out.isBlock()) {
            result.push_back(out.re);
            return result;
        }
        bool complex = out.pData->elementType == kElemComplexMatrix;
        for (int64_t i = 0; i < out.pData->count; i += complex ? 2 : 1)
            result.push_back(readElement(out.pData, i));
        return result;
    }
    DataBlock* setBlock(const char* name, std::vector<double> values, int32_t nx, int32_t ny,
                        int type = kElemRealMatrix, bool matrix = true) {
        int index = table.find(name);
        if (!index) index = table.create(name);
        Variable& var = table.at(index);
        var.clearValue();
        var.setValueKind(kKindBlock);
        var.block = allocateBlock(type, static_cast<int64_t>(values.size()));
        for (size_t i = 0; i < values.size(); ++i)
            storeElement(var.block, static_cast<int64_t>(i), values[i]);
        var.block->xSize = nx;
        var.block->ySize = ny;
        if (matrix) var.block->shapeFlags |= kShapeMatrix;
        return var.block;
    }
    DataBlock* blockOf(const char* name) { return table.at(table.find(name)).block; }

    std::vector<std::string> lines_;
};

std::vector<unsigned char> bytesOf(const DataBlock* block) {
    const auto* p = reinterpret_cast<const unsigned char*>(block);
    return {p, p + kDataBlockHeaderBytes + block->payloadBytes};
}

TEST_F(ArrayEngineTest, ExpressionsNeverChangeAVariablesBlock) {
    DataBlock* a = setBlock("a", {1, 2, 3, 4, 5, 6}, 3, 2);
    a->shapeFlags |= kShapeTransient;  // a logical mark must survive as well
    DataBlock* s = setBlock("s", {1, 0, 2, 2, 0, 1, 1, 1}, 2, 2, kElemComplexMatrix);
    DataBlock* i16 = setBlock("w", {5, -7, 300}, 3, 1, kElemInt16, false);
    setBlock("q", {2, 1, 1, 3}, 2, 2);
    const auto aBefore = bytesOf(a), sBefore = bytesOf(s), wBefore = bytesOf(i16),
               qBefore = bytesOf(blockOf("q"));
    const char* expressions[] = {
        "a + 1",    "1 - a",         "a .* a",        "a * Transp(a)", "a'",
        "-a",       "a / 2",         "2 / a",         "a ^ 2",         "a .^ 0.5",
        "sin(a)",   "Sum(a, 1)",     "Sum(a + 0, 1)", "CumSum(a, 2)",  "Reshape(a, 2, 3)",
        "Find(a)",  "Max(a, 3)",     "a < 3",         "a == a",        "a AND 1",
        "a FMOD 2", "Complex(a, 1)", "a = a",         "a .* (a + 1)",  "s * s",
        "s'",       "s + 1",         "1 / s",         "s ^ 2",         "s ^ -1",
        "abs(s)",   "Det(s)",        "w * 2",         "w + w",         "w'",
        "w < 0",    "Bool(w)",       "q ^ -1",        "q \\ [1; 2]",   "[1 2] / q",
        "Det(q)",   "q ^ 2",         "Transp(q)",     "a[0:1, 1]",     "w[1:2] * 3"};
    for (const char* text : expressions) {
        MCVal out;
        eval(text, out);  // some fail (2 / a: 843); the operands stay as they were either way
        EXPECT_EQ(bytesOf(a), aBefore) << text;
        EXPECT_EQ(bytesOf(s), sBefore) << text;
        EXPECT_EQ(bytesOf(i16), wBefore) << text;
        EXPECT_EQ(bytesOf(blockOf("q")), qBefore) << text;
    }
    EXPECT_EQ(elements("a .* (a + 1)"), (std::vector<double>{2, 6, 12, 20, 30, 42}));
}

TEST_F(ArrayEngineTest, TemporariesAreTransformedInPlaceCorrectly) {
    EXPECT_EQ(elements("([1 2; 3 4] + 0)'"), (std::vector<double>{1, 3, 2, 4}));
    EXPECT_EQ(elements("([1 2 3] + 0)'"), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(elements("([1 2 3; 4 5 6] + 0)'"), (std::vector<double>{1, 4, 2, 5, 3, 6}));
    EXPECT_EQ(elements("([1 2; 3 4] + 0) * 2 - 1"), (std::vector<double>{1, 3, 5, 7}));
    EXPECT_EQ(elements("([1 2; 3 4] + 0) < ([4 3; 2 1] + 0)"), (std::vector<double>{1, 1, 0, 0}));
    MCVal out;
    ASSERT_EQ(eval("([1 2; 3 4] + 0)'", out), 0);
    EXPECT_EQ(out.pData->xSize, 2);
    ASSERT_EQ(eval("([1 2 3; 4 5 6] + 0)'", out), 0);
    EXPECT_EQ(out.pData->xSize, 2);
    EXPECT_EQ(out.pData->ySize, 3);
}

TEST_F(ArrayEngineTest, IntegerBlocksKeepTheirTypeInArithmetic) {
    setBlock("w", {5, -7, 300}, 3, 1, kElemInt16, false);
    MCVal out;
    ASSERT_EQ(eval("w / 2", out), 0);
    EXPECT_EQ(out.pData->elementType, kElemInt16);
    EXPECT_EQ(readElement(out.pData, 0), 3);   // 2.5 rounds half away from zero
    EXPECT_EQ(readElement(out.pData, 1), -4);  // -3.5
    ASSERT_EQ(eval("w < 0", out), 0);
    EXPECT_EQ(out.pData->elementType, kElemRealMatrix);
    EXPECT_TRUE(out.pData->shapeFlags & kShapeTransient);
    ASSERT_EQ(eval("w * Complex(0, 1)", out), 0);  // a complex factor promotes
    EXPECT_EQ(out.pData->elementType, kElemComplexMatrix);
    EXPECT_EQ(out.pData->doubles()[1], 5);
}

TEST_F(ArrayEngineTest, LogicalMarkFollowsComparisonsThroughIntegerOperators) {
    setBlock("v", {1, -2, 3}, 3, 1);
    MCVal out;
    ASSERT_EQ(eval("(v > 0) AND (v < 2)", out), 0);
    EXPECT_TRUE(out.pData->shapeFlags & kShapeTransient);
    EXPECT_EQ(elements("(v > 0) AND (v < 2)"), (std::vector<double>{1, 0, 0}));
    ASSERT_EQ(eval("(v > 0) AND 1", out), 0);
    EXPECT_FALSE(out.pData->shapeFlags & kShapeTransient);
    ASSERT_EQ(eval("(v > 0) + 0", out), 0);
    EXPECT_FALSE(out.pData->shapeFlags & kShapeTransient);
}

TEST_F(ArrayEngineTest, BlocksShorterThanTheirDimensionsFailWith850) {
    DataBlock* a = setBlock("a", {1, 2, 3, 4}, 3, 2);  // 6 elements described, 4 held
    const auto before = bytesOf(a);
    for (const char* text :
         {"a + 1", "1 + a", "a * a", "[1 2 3 4] + a", "a'", "Transp(a)", "sin(a)", "Det(a)", "1 / a",
          "Max(a)", "Find(a)", "a = a", "Reshape(a, 2, 2)", "a[0:1, 0]"}) {
        EXPECT_EQ(error(text), kInternalError) << text;
    }
    EXPECT_EQ(value("Len(a)"), 4);  // Len answers for such a block
    // Sum of a variable named directly adds the elements it holds, by count.
    EXPECT_EQ(value("Sum(a)"), 10);
    EXPECT_EQ(bytesOf(a), before);
    setBlock("c", {1, 2, 3}, 2, 1, kElemComplexMatrix);  // 2 complex elements need 4 doubles
    EXPECT_EQ(error("c * 2"), kInternalError);
}

// A handler put in place of a scalar function: it records its calls, fails on
// a negative element, and returns a complex value for a complex argument.
struct Recorder {
    static inline std::vector<std::string> calls;
    static Error handler(Interpreter&, CallArgs& args, MCVal& result) {
        const ArgSlot& first = args.slot(0);
        std::string call =
            first.value && first.value->isComplex()
                ? "(" + std::to_string(first.value->re) + "," + std::to_string(first.value->im) + ")"
                : std::to_string(first.number);
        if (args.present(1)) call += " " + std::to_string(args.number(1));
        calls.push_back(call);
        if (first.number < 0) return kBadParameters;
        if (first.value && first.value->isComplex())
            result.setComplex(first.value->re * 10, first.value->im * 10);
        else
            result.setReal(first.number * 10 + (args.present(1) ? args.number(1) : 0));
        return kOk;
    }
};

// The recorder is installed for Round (f.f) before the numeric functions, whose
// own Round is then refused as a second handler of the code.
class RecordedRoundTest : public ArrayEngineTest {
protected:
    static constexpr CommandRow kRecorderRows[] = {{interp::cmd::Round, Recorder::handler}};
    void SetUp() override {
        ip.symbols().macroTable = &table;
        ip.install({"recorder", kRecorderRows});
        registerNumericFunctions(ip);
        registerArrayEngine(ip);
        ASSERT_EQ(ip.installProblems().size(), 1u) << ip.installProblems().back();
        EXPECT_NE(ip.installProblems()[0].find("Round"), std::string::npos);
    }
};

TEST_F(RecordedRoundTest, ScalarFunctionsApplyToEachElementThroughTheirHandler) {
    Recorder::calls.clear();
    EXPECT_EQ(elements("Round([1 2 3], 0.5)"), (std::vector<double>{10.5, 20.5, 30.5}));
    EXPECT_EQ(Recorder::calls,
              (std::vector<std::string>{"1.000000 0.500000", "2.000000 0.500000", "3.000000 0.500000"}));
    // The first failing element stops the loop with its error.
    Recorder::calls.clear();
    EXPECT_EQ(error("Round([1 -2 3])"), kBadParameters);
    EXPECT_EQ(Recorder::calls.size(), 2u);
    // Reversed operand order: the scalar stays first, each element is second.
    Recorder::calls.clear();
    EXPECT_EQ(elements("Round(4, [1 2])"), (std::vector<double>{41, 42}));
    EXPECT_EQ(Recorder::calls.front(), "4.000000 1.000000");
    // Two blocks are paired element by element; different counts do not fit.
    EXPECT_EQ(elements("Round([1 2], [5 6])"), (std::vector<double>{15, 26}));
    EXPECT_EQ(error("Round([1 2], [5 6 7])"), kMatrixSizes);
    // Complex elements arrive as complex records; a complex answer keeps the
    // imaginary parts even where the function's result would be real.
    Recorder::calls.clear();
    MCVal out;
    ASSERT_EQ(eval("Round([Complex(1, 2), 3])", out), 0);
    EXPECT_EQ(Recorder::calls.front(), "(1.000000,2.000000)");
    ASSERT_EQ(out.pData->elementType, kElemComplexMatrix);
    EXPECT_EQ(out.pData->doubles()[1], 20);
    // Elements of a 16-bit block arrive as numbers; the result is real.
    setBlock("w", {-0.0, 7}, 2, 1, kElemInt16, false);
    ASSERT_EQ(eval("Round(w)", out), 0);
    EXPECT_EQ(out.pData->elementType, kElemRealMatrix);
    EXPECT_EQ(readElement(out.pData, 1), 70);
}

TEST_F(ArrayEngineTest, NumericFunctionsElementWise) {
    std::vector<double> r = elements("sqrt([4 9 -1])");
    EXPECT_EQ(r[0], 2);
    EXPECT_EQ(r[1], 3);
    EXPECT_TRUE(std::isnan(r[2]));  // NaN flows through, no error
    EXPECT_EQ(elements("Power(2, [1 2 3])"), (std::vector<double>{2, 4, 8}));
    EXPECT_EQ(elements("Power([1 2 3], 2)"), (std::vector<double>{1, 4, 9}));
    MCVal out;
    ASSERT_EQ(eval("sqrt([Complex(-4, 0)])", out), 0);  // a 1 by 1 complex block
    ASSERT_TRUE(out.isBlock());
    EXPECT_NEAR(out.pData->doubles()[1], 2, 1e-12);
    // Power with a complex second argument gives a complex block.
    ASSERT_EQ(eval("Power([1 4], Complex(0.5, 0))", out), 0);
    EXPECT_EQ(out.pData->elementType, kElemComplexMatrix);
}

TEST_F(ArrayEngineTest, ViewsReadRangesByTheIndexBase) {
    setBlock("v", {0, 10, 20, 30, 40}, 5, 1);
    setBlock("m", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 3);
    EXPECT_EQ(elements("v[1:3]"), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(elements("v[:1]"), (std::vector<double>{0, 10}));
    EXPECT_EQ(elements("v[3:]"), (std::vector<double>{30, 40}));
    EXPECT_EQ(elements("v[3:1]"), (std::vector<double>{30, 40, 0, 10}));  // wraps around the end
    EXPECT_EQ(elements("m[1:2, 0:1]"), (std::vector<double>{2, 3, 5, 6}));
    EXPECT_EQ(elements("m[:, 2]"), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(value("v[2:2]"), 20);
    EXPECT_EQ(error("v[-1:2]"), kNegativeIndex);
    EXPECT_EQ(error("v[1:5]"), kBadIndex);
    EXPECT_EQ(error("v[1:2:3]"), kExtraCharacters);
    EXPECT_EQ(error("m[0:1, 0, 1]"), kExtraCharacters);
    EXPECT_EQ(error("m[0:1, 3]"), kBadIndex);
    ip.matrix().base = 1;
    EXPECT_EQ(elements("v[1:2]"), (std::vector<double>{0, 10}));
    EXPECT_EQ(error("v[0:2]"), kNegativeIndex);
    ip.matrix().rowFirst = true;  // the row is named first
    EXPECT_EQ(elements("m[1, 2:3]"), (std::vector<double>{2, 3}));
    MCVal out;
    ASSERT_EQ(eval("m[2:3, 1]", out), 0);
    EXPECT_EQ(out.pData->xSize, 1);
    EXPECT_EQ(out.pData->ySize, 2);
}

TEST_F(ArrayEngineTest, WritesIntoAViewReachTheOriginalBlock) {
    setBlock("v", {0, 10, 20, 30, 40}, 5, 1);
    // What a command does with a block argument: designate it and write.
    std::string text = "v[1:2]";
    const char* p = text.c_str();
    size_t mark = ip.work().mark();
    Designator d;
    ASSERT_EQ(ip.evaluator().designate(p, Creation::Create, d), 0);
    ASSERT_EQ(d.form, Designator::kVariable);
    DataBlock* view = d.slot.var().block;
    ASSERT_TRUE(view->blockFlags & kBlockFixed);  // an assignment cannot resize it
    storeElement(view, 1, 99);
    // The original is updated before anything can read it.
    EXPECT_EQ(elements("v"), (std::vector<double>{0, 10, 99, 30, 40}));
    // A later change of the original is not undone by the settled view.
    ip.work().release(mark);  // the statement is over
    blockOf("v")->doubles()[2] = 5;
    EXPECT_EQ(value("v[4:4]"), 40);
    EXPECT_EQ(elements("v"), (std::vector<double>{0, 10, 5, 30, 40}));
    // A view of a variable that is gone writes nowhere.
    p = text.c_str();
    ASSERT_EQ(ip.evaluator().designate(p, Creation::Create, d), 0);
    view = d.slot.var().block;
    storeElement(view, 0, 77);
    table.at(table.find("v")).clearValue();
    table.at(table.find("v")).setValueKind(kKindNumber);
    EXPECT_EQ(value("v"), 0);
}

TEST_F(ArrayEngineTest, ComplexViewWrites) {
    setBlock("c", {1, 1, 2, 2, 3, 3}, 3, 1, kElemComplexMatrix);
    std::string text = "c[1:2]";
    const char* p = text.c_str();
    Designator d;
    ASSERT_EQ(ip.evaluator().designate(p, Creation::Create, d), 0);
    DataBlock* view = d.slot.var().block;
    ASSERT_EQ(view->count, 4);
    view->doubles()[1] = -5;  // imaginary part of element 1
    value("0");               // no name: nothing settles yet
    EXPECT_EQ(blockOf("c")->doubles()[3], 2);
    elements("c");
    EXPECT_EQ(blockOf("c")->doubles()[3], -5);
}

TEST_F(ArrayEngineTest, ManyViewsInOneExpressionStayReadable) {
    // Seventeen views of two elements: the first slot is reused while the
    // first operand still refers to its block (AddressSanitizer would see a
    // use after free).
    std::vector<double> values;
    for (int i = 0; i < 20; ++i) values.push_back(i);
    setBlock("v", values, 20, 1);
    std::string text = "v[0:1]";
    double first = 0, second = 1;
    for (int i = 1; i < 17; ++i) {
        text += " + (v[" + std::to_string(i) + ":" + std::to_string(i + 1) + "]";
        first += i;
        second += i + 1;
    }
    text += std::string(16, ')');
    EXPECT_EQ(elements(text), (std::vector<double>{first, second}));
    // Many more in a row, each reading the right elements.
    for (int i = 0; i < 40; ++i) EXPECT_EQ(value("v[" + std::to_string(i % 20) + ":19]"), i % 20);
}

TEST_F(ArrayEngineTest, HugeRequestsFailCleanly) {
    EXPECT_EQ(error("Matrix(100000, 100000)"), kVectorNotCreated);
    EXPECT_EQ(error("Matrix(46341, 46341, 1)"), kVectorNotCreated);
    EXPECT_EQ(error("Array(4294967295, 2)"), kVectorNotCreated);
    EXPECT_EQ(error("Vector(-1)"), kNegativeParameter);
    EXPECT_EQ(error("Index2D(Matrix(70000, 1, 1, 2), Matrix(70000, 1, 1, 2), 70000, 70000)"),
              kVectorNotCreated);
    EXPECT_EQ(error("Index2D(1, 1, -3)"), kNegativeParameter);
    // Nothing was left behind: a normal request still works.
    EXPECT_EQ(value("Sum(Matrix(1000, 1000, 1) + 0)"), 1e6);
}

TEST_F(ArrayEngineTest, DisplayListsAtMost3000Elements) {
    auto lines = [&](const std::string& text) {
        MCVal out;
        EXPECT_EQ(eval(text, out), 0) << text;
        std::string shown = displayValue(ip, out);
        return std::count(shown.begin(), shown.end(), '\n') + 1;
    };
    EXPECT_EQ(lines("Vector(5000)"), 3001);
    EXPECT_EQ(lines("Matrix(100, 50)"), 3001);
    EXPECT_EQ(lines("Matrix(2, 2)"), 5);
    MCVal out;
    ASSERT_EQ(eval("Matrix(2, 1, 1, 2)", out), 0);
    EXPECT_EQ(displayValue(ip, out), "Matrix 2 * 1 [x * y]\n0,0: 0\n1,0: 1");
    ip.matrix().rowFirst = true;
    ip.matrix().base = 1;
    EXPECT_EQ(displayValue(ip, out), "Matrix 1 * 2 [row * col]\n1,1: 0\n1,2: 1");
    ASSERT_EQ(eval("Array(2, 1, 1, 2)", out), 0);
    EXPECT_EQ(displayValue(ip, out), "Array 2 * 1\n0,0: 0\n1,0: 1");
}

TEST_F(ArrayEngineTest, NaNAndInfinityFlowThrough) {
    std::vector<double> r = elements("[1 0 -1] / 0");
    EXPECT_EQ(r[0], INFINITY);
    EXPECT_TRUE(std::isnan(r[1]));
    EXPECT_EQ(r[2], -INFINITY);
    r = elements("[1 2] * (0/0)");
    EXPECT_TRUE(std::isnan(r[0]) && std::isnan(r[1]));
    // The element-wise inverse turns 0 into 1e150, not an infinity.
    EXPECT_EQ(elements("[1 2] ./ [0 4]"), (std::vector<double>{1e150, 0.5}));
    EXPECT_TRUE(std::isnan(value("Det([1 2; 3 0/0] + 0)")));
    r = elements("1 / [1 0/0; 2 1]");  // no trap inside the inverse
    EXPECT_EQ(r.size(), 4u);
}

// What an expression gives, bit for bit: error, type, shape and elements.
struct Outcome {
    int error = 0;
    int type = 0, xSize = 0, ySize = 0, shapeFlags = 0;
    std::vector<uint64_t> bits;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "error " << o.error << ", type " << o.type << ", " << o.xSize << " by " << o.ySize << ", shape "
        << o.shapeFlags << ":";
    for (uint64_t u : o.bits) {
        double d;
        std::memcpy(&d, &u, sizeof d);
        *os << " " << d;
    }
}

TEST_F(ArrayEngineTest, OnePassGivesTheStepByStepElements) {
    const double inf = INFINITY, nan = NAN;
    setBlock("a", {1, 0, -2.5, 1e300, nan, inf}, 3, 2);
    setBlock("b", {0.5, 0, 4, -1e10, 2, 0}, 3, 2);
    setBlock("v", {3, -1, 0, 7, 0.25, -8}, 6, 1, kElemDouble, false);
    auto outcome = [this](const std::string& text) {
        Outcome o;
        MCVal out;
        o.error = eval(text, out);
        if (o.error || !out.isBlock()) return o;
        o.type = out.pData->elementType;
        o.xSize = out.pData->xSize;
        o.ySize = out.pData->ySize;
        o.shapeFlags = out.pData->shapeFlags;
        for (int64_t i = 0; i < out.pData->count; ++i) {
            double d = readElement(out.pData, i);
            uint64_t u;
            std::memcpy(&u, &d, sizeof u);
            o.bits.push_back(u);
        }
        return o;
    };
    // The bracketed form takes the steps one by one (the second operation
    // binds no more strongly than the first, so the brackets change nothing else).
    struct Family {
        std::vector<const char*> firsts, seconds;
    } families[] = {
        {{"a .* b", "a ./ b", "a * 3", "a / 4", "2 ./ a", "a .* v", "v ./ a", "(a + 0) .* b", "a * b",
          "a / b", "3 / a", "a .^ b", "a .* [1 2]"},
         {"+ 2", "- 0.5", "* 3", ".* 3", "/ 4", "./ 0", "+ 2 * 3", "+ 1 - 1", "* 2 ^ 2", "+ 2 .* b",
          "- 1e300"}},
        {{"a + b", "a - b", "3 - a", "a - (b + 0)", "(a < 1) + b", "a + [1 2]"},
         {"+ 2", "- 0.5", "+ 2 * 3", "+ 1 - 1", "- 2 .* b", "+ 0"}},
    };
    for (const Family& family : families) {
        for (const char* first : family.firsts) {
            for (const char* second : family.seconds) {
                std::string together = std::string(first) + " " + second;
                std::string stepwise = "(" + std::string(first) + ") " + second;
                EXPECT_EQ(outcome(together), outcome(stepwise)) << together;
            }
        }
    }
}

class OnePassTest : public ArrayEngineTest {
protected:
    // left op right continued by next, as the evaluator asks for it.
    int onward(int op, MCVal& left, MCVal& right, const ArrayContinuation& next, bool& handled) {
        return ip.arrays().binaryOnward(ip, op, left, right, next, handled);
    }
    static MCVal borrowed(DataBlock* block) {
        MCVal value;
        value.setBorrowedBlock(block, false);
        return value;
    }
    static std::vector<double> contents(const DataBlock* block) {
        return {block->doubles(), block->doubles() + block->count};
    }
};

TEST_F(OnePassTest, TheTargetTakesTheResultWhereItCan) {
    DataBlock* a = setBlock("a", {1, 2, 3, 4}, 4, 1, kElemDouble, false);
    DataBlock* b = setBlock("b", {0.5, 0, -2, 8}, 4, 1, kElemDouble, false);
    DataBlock* c = setBlock("c", {9, 9, 9, 9, 9, 9}, 3, 2);
    c->shapeFlags |= kShapeTransient;
    const uint32_t handle = c->memoryHandle;

    MCVal left = borrowed(a), right = borrowed(b);
    bool handled = false;
    ASSERT_EQ(onward(kOpMultiply + kElementWise, left, right, {kOpAdd, 2, c}, handled), 0);
    ASSERT_TRUE(handled);
    EXPECT_EQ(left.pData, c);
    EXPECT_FALSE(left.ownsBlock());  // the variable keeps it
    EXPECT_EQ(left.re, 2.5);
    EXPECT_EQ(contents(c), (std::vector<double>{2.5, 2, -4, 34}));
    // The header as the assignment of a new block would leave it.
    EXPECT_EQ(c->memoryHandle, handle);
    EXPECT_EQ(c->elementType, kElemDouble);
    EXPECT_EQ(c->xSize, 4);
    EXPECT_EQ(c->ySize, 1);
    EXPECT_EQ(c->shapeFlags, a->shapeFlags);
    EXPECT_EQ(contents(a), (std::vector<double>{1, 2, 3, 4}));

    // The target as an operand of its own value; no continuation.
    MCVal self = borrowed(c), other = borrowed(b);
    ASSERT_EQ(onward(kOpSubtract, self, other, {0, 0, c}, handled), 0);
    ASSERT_TRUE(handled);
    EXPECT_EQ(self.pData, c);
    EXPECT_EQ(contents(c), (std::vector<double>{2, 2, -2, 26}));
}

TEST_F(OnePassTest, ATargetThatCannotTakeTheResultIsLeftAlone) {
    std::vector<double> ramp(40), halves(40, 0.5), expected(40);
    for (size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<double>(i);
        expected[i] = ramp[i] * 0.5 + 2;
    }
    DataBlock* a = setBlock("a", ramp, 40, 1, kElemDouble, false);
    DataBlock* b = setBlock("b", halves, 40, 1, kElemDouble, false);
    DataBlock* fixed = setBlock("f", std::vector<double>(40, 7), 40, 1, kElemDouble, false);
    fixed->blockFlags |= kBlockFixed;
    DataBlock* small = setBlock("s", {7}, 1, 1, kElemDouble, false);  // too short: moved
    DataBlock* big =
        setBlock("g", std::vector<double>(400, 7), 400, 1, kElemDouble, false);  // shrunk by a copy
    // A block whose elements lie inside the target's (as a block placed at an address could).
    DataBlock* host = setBlock("h", std::vector<double>(64, 7), 64, 1, kElemDouble, false);
    auto* inside = reinterpret_cast<DataBlock*>(host->doubles() + 4);
    *inside = *b;
    inside->capacityBytes = 0;  // placed, not allocated
    std::memcpy(inside->doubles(), b->doubles(), static_cast<size_t>(b->payloadBytes));

    struct Case {
        const char* name;
        DataBlock* target;
        DataBlock* second;
    } cases[] = {{"fixed", fixed, b}, {"small", small, b}, {"big", big, b}, {"overlapping", host, inside}};
    for (const Case& test : cases) {
        const auto before = bytesOf(test.target);
        MCVal left = borrowed(a), right = borrowed(test.second);
        bool handled = false;
        ASSERT_EQ(onward(kOpMultiply + kElementWise, left, right, {kOpAdd, 2, test.target}, handled), 0)
            << test.name;
        EXPECT_TRUE(handled) << test.name;  // one pass all the same
        EXPECT_TRUE(left.ownsBlock()) << test.name;
        EXPECT_EQ(contents(left.pData), expected) << test.name;
        EXPECT_EQ(bytesOf(test.target), before) << test.name;
        // Without a continuation there is nothing to gain: binary() does it.
        MCVal l2 = borrowed(a), r2 = borrowed(test.second);
        EXPECT_EQ(onward(kOpAdd, l2, r2, {0, 0, test.target}, handled), 0);
        EXPECT_FALSE(handled) << test.name;
    }
}

TEST_F(OnePassTest, OnlyElementWiseArithmeticOnRealDoublesGoesInOnePass) {
    DataBlock* m = setBlock("m", {1, 2, 3, 4}, 2, 2);
    DataBlock* w = setBlock("w", {5, -7, 300}, 3, 1, kElemInt16, false);
    DataBlock* z = setBlock("z", {1, 0, 2, 2}, 2, 1, kElemComplexMatrix);
    DataBlock* target = setBlock("c", {0, 0, 0, 0}, 4, 1, kElemDouble, false);
    struct Case {
        const char* name;
        int op;
        DataBlock* left;
        DataBlock* right;  // null: a number, complex when complexNumber
        bool complexNumber;
        int then;
    } cases[] = {
        {"matrix product", kOpMultiply, m, m, false, kOpAdd},
        {"power", kOpPower + kElementWise, m, nullptr, false, kOpAdd},
        {"then a power", kOpAdd, m, m, false, kOpPower},
        {"16-bit", kOpAdd, w, w, false, kOpAdd},
        {"complex block", kOpAdd, z, z, false, kOpAdd},
        {"complex number", kOpAdd, m, nullptr, true, kOpAdd},
        {"comparison", kOpLess, m, m, false, kOpAdd},
    };
    for (const Case& test : cases) {
        const auto leftBefore = bytesOf(test.left), targetBefore = bytesOf(target);
        MCVal left = borrowed(test.left);
        MCVal right;
        if (test.right)
            right.setBorrowedBlock(test.right, false);
        else if (test.complexNumber)
            right.setComplex(1, 1);
        else
            right.setReal(2);
        bool handled = true;
        EXPECT_EQ(onward(test.op, left, right, {test.then, 3, target}, handled), 0) << test.name;
        EXPECT_FALSE(handled) << test.name;
        EXPECT_EQ(left.pData, test.left) << test.name;
        EXPECT_EQ(bytesOf(test.left), leftBefore) << test.name;
        EXPECT_EQ(bytesOf(target), targetBefore) << test.name;
    }
    // A number divided by a matrix inverts it: not element-wise.
    MCVal dividend, divisor = borrowed(m);
    dividend.setReal(2);
    bool handled = true;
    EXPECT_EQ(onward(kOpDivide, dividend, divisor, {kOpAdd, 1, target}, handled), 0);
    EXPECT_FALSE(handled);
}

}  // namespace
}  // namespace tvx::builtins
