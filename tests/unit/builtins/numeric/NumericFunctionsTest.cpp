// The numeric functions where a macro cannot reach them directly: calls with
// hand-made argument records, the evaluator state around Val, identities of the
// complex functions, accuracy of the special functions, number texts and dates.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <thread>

#include "builtins/numeric/complexfunctions.h"
#include "builtins/numeric/numeric.h"
#include "builtins/strings/strings.h"
#include "interp/eval/evaluator.h"
#include "interp/interpreter.h"
#include "interp/values/handles.h"
#include "interp/values/numbertext.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins {
namespace {

using namespace interp;

class NumericFunctionsTest : public ::testing::Test {
protected:
    interp::testing::TestHost host;
    Interpreter ip{host};
    SymbolTable table{kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText};

    void SetUp() override {
        ip.symbols().macroTable = &table;
        registerNumericFunctions(ip);
    }

    int eval(const std::string& text, MCVal& out) {
        line_ = text;
        const char* p = line_.c_str();
        return ip.evaluate(p, kLimitAssignment, out);
    }
    double value(const std::string& text) {
        MCVal out;
        EXPECT_EQ(eval(text, out), 0) << text;
        return out.re;
    }
    void setNumber(const char* name, double v) {
        int index = table.create(name);
        table.at(index).setValueKind(kKindNumber);
        table.at(index).number = v;
    }

    // Calls the handler of a function the way the evaluator does after parsing
    // (slots the test left without a letter take the signature's).
    int call(const char* name, CallArgs& args, MCVal& result) {
        int code = ip.commands().lookup(name);
        EXPECT_GT(code, 0) << name;
        args.code = code;
        int k = 0;
        for (char c : ip.commands().signature(code)) {
            if (!((c >= 'a' && c <= 'z') || c == '$')) continue;
            if (args.slot(k).letter == 0) args.slot(k).letter = c;
            ++k;
        }
        args.count = std::max(args.count, k);  // the arguments left out are there, absent
        result.setReal(0);
        return ip.invoke(code, args, result);
    }
    // A block named directly as first argument (the record of a variable's block).
    static void blockArgument(CallArgs& args, DataBlock* block) {
        args.count = 1;
        args.slot(0).present = true;
        args.slot(0).form = kFormBlock;
        args.values[0].setBorrowedBlock(block, true);
        args.slot(0).value = &args.values[0];
        args.valueCount = 1;
    }
    static void integerArgument(CallArgs& args, int index, int32_t v) {
        args.count = std::max(args.count, index + 1);
        args.slot(index).present = true;
        args.slot(index).l = v;
        args.slot(index).number = v;
    }
    static DataBlock* doubles(std::initializer_list<double> values, int type = kElemDouble) {
        DataBlock* block = allocateBlock(type, static_cast<int64_t>(values.size()));
        int64_t i = 0;
        for (double v : values) storeElement(block, i++, v);
        return block;
    }

    std::string line_;
};

TEST_F(NumericFunctionsTest, SumOfAVariableBlockNamedDirectly) {
    DataBlock* block = doubles({1, 2, 3, 4, 5, 6});
    CallArgs args;
    MCVal result;
    blockArgument(args, block);
    integerArgument(args, 1, 2);
    integerArgument(args, 2, 3);
    ASSERT_EQ(call("Sum", args, result), kOk);
    EXPECT_EQ(result.re, 12);  // elements 2, 3, 4
    args.slot(2).l = 0;
    ASSERT_EQ(call("Sum", args, result), kOk);
    EXPECT_EQ(result.re, 18);
    args.slot(1).l = 6;
    ASSERT_EQ(call("Sum", args, result), kOk);
    EXPECT_EQ(result.re, 0);
    args.slot(1).l = -1;
    EXPECT_EQ(call("Sum", args, result), kNegativeParameter);
    freeBlock(block);

    // Complex elements are added as pairs.
    DataBlock* complex = doubles({1, 2, 3, 4, 5, 6}, kElemComplexMatrix);
    CallArgs cargs;
    blockArgument(cargs, complex);
    integerArgument(cargs, 1, 1);
    ASSERT_EQ(call("Sum", cargs, result), kOk);
    ASSERT_TRUE(result.isComplex());
    EXPECT_EQ(result.re, 8);
    EXPECT_EQ(result.im, 10);
    freeBlock(complex);
}

TEST_F(NumericFunctionsTest, ExtremePositionsSearchInTheirDirection) {
    DataBlock* block = doubles({3, 9, 1, 9, NAN, -2});
    auto position = [&](const char* name, int32_t start) {
        CallArgs args;
        MCVal result;
        blockArgument(args, block);
        integerArgument(args, 1, start);
        EXPECT_EQ(call(name, args, result), kOk);
        return result.re;
    };
    EXPECT_EQ(position("MaxLoc", 0), 1);  // the first of two equal maxima
    EXPECT_EQ(position("MaxLoc", 2), 3);
    EXPECT_EQ(position("MaxLoc", -1), 3);  // from the end downward: index 3 comes first
    EXPECT_EQ(position("MaxLoc", 4), 5);   // NaN is never chosen
    EXPECT_EQ(position("MinLoc", 0), 5);
    EXPECT_EQ(position("MinLoc", -3), 2);  // indexes 3, 2, 1, 0
    EXPECT_EQ(position("MaxLoc", -7), -1);
    EXPECT_EQ(position("MaxLoc", 6), -1);
    freeBlock(block);
    CallArgs scalar;
    MCVal result;
    integerArgument(scalar, 0, 5);
    scalar.slot(0).form = kFormNumber;
    EXPECT_EQ(call("MaxLoc", scalar, result), kWrongDataType);
}

TEST_F(NumericFunctionsTest, DirectCallsWithoutValueRecords) {
    CallArgs args;
    MCVal result;
    args.count = 2;
    args.slot(0).present = args.slot(1).present = true;
    args.slot(0).number = 2;
    args.slot(1).number = 10;
    ASSERT_EQ(call("Power", args, result), kOk);
    EXPECT_TRUE(result.isReal());
    EXPECT_EQ(result.re, 1024);
    args.count = 1;
    ASSERT_EQ(call("acosh", args, result), kOk);
    EXPECT_DOUBLE_EQ(result.re, std::acosh(2.0));
    ASSERT_EQ(call("Conj", args, result), kOk);
    EXPECT_TRUE(result.isReal());
}

TEST_F(NumericFunctionsTest, LenAndIsListAskTheStringLists) {
    double handle = initStringList(ip, 0);
    ASSERT_TRUE(isStringListHandle(handle));
    for (const char* text : {"a", "b", "c"}) addToStringList(ip, handle, text);
    setNumber("h", handle);
    EXPECT_EQ(value("Len(h)"), 3);
    EXPECT_EQ(value("IsList(h)"), 1);
    EXPECT_EQ(value("IsList(h + 0.4)"), 1);  // the integer round of the value
    EXPECT_EQ(value("IsList(h + 1)"), 0);    // a handle whose slot holds no list
    EXPECT_EQ(value("Len(h + 1)"), 0);
    EXPECT_EQ(value("IsList(1/0)"), 0);
}

TEST_F(NumericFunctionsTest, ValLeavesTheEvaluatorAsItFoundIt) {
    const char* marker = "position";
    const char* macroText = "3]";
    ip.setErrorPosition(marker);
    ip.evaluator().continuationText = macroText;
    ip.symbols().lookupOnly = true;
    // An open bracket inside the text must not read on in the macro text.
    EXPECT_EQ(value("Val(\"[1, \", 8)"), 0);
    EXPECT_EQ(ip.results().error, 800 + kBracket);
    EXPECT_TRUE(ip.symbols().lookupOnly);
    EXPECT_EQ(ip.errorPosition(), marker);
    EXPECT_EQ(ip.evaluator().continuationText, macroText);
    ip.symbols().lookupOnly = false;
    ip.evaluator().continuationText = nullptr;

    // With flag 16 the error is the caller's, and its position lies in the caller's line.
    MCVal out;
    EXPECT_EQ(eval("1 + Val(\"2 *\", 16)", out), kNotEnoughParameters);
    ASSERT_NE(ip.errorPosition(), nullptr);
    EXPECT_GE(ip.errorPosition(), line_.c_str());
    EXPECT_LE(ip.errorPosition(), line_.c_str() + line_.size());

    // A failing Val does not leave the run stopped.
    ip.setRunState(kRunRunning);
    EXPECT_EQ(value("Val(\"1 +\")"), 0);
    EXPECT_EQ(ip.runState(), kRunRunning);
}

TEST_F(NumericFunctionsTest, ComplexInversesGivePrincipalValues) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> part(-3, 3);
    auto near = [](Complex a, Complex b) {
        return std::hypot(a.re - b.re, a.im - b.im) < 1e-9 * (1 + std::hypot(b.re, b.im));
    };
    for (int i = 0; i < 500; ++i) {
        Complex z{part(rng), part(rng)};
        if (std::fabs(z.im) < 1e-3) continue;  // off the branch cuts
        EXPECT_TRUE(near(csin(casin(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ccos(cacos(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ctan(catan(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(csinh(casinh(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ccosh(cacosh(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ctanh(catanh(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ccot(cacot(z)), z)) << z.re << " " << z.im;
        EXPECT_TRUE(near(ccoth(cacoth(z)), z)) << z.re << " " << z.im;
        // Principal branches: the real part of acos in [0, pi], of asin and atan in
        // [-pi/2, pi/2]; the real part of acosh is not negative.
        Complex ac = cacos(z), as = casin(z), at = catan(z), ach = cacosh(z);
        EXPECT_GE(ac.re, -1e-12);
        EXPECT_LE(ac.re, std::numbers::pi + 1e-12);
        EXPECT_LE(std::fabs(as.re), std::numbers::pi / 2 + 1e-12);
        EXPECT_LE(std::fabs(at.re), std::numbers::pi / 2 + 1e-12);
        EXPECT_GE(ach.re, -1e-12);
    }
}

TEST_F(NumericFunctionsTest, SpecialFunctionsAgainstTheLibrary) {
    for (double x = 0.05; x < 80; x *= 1.07) {
        EXPECT_NEAR(gammaLog(x), std::lgamma(x), 1e-10 * (1 + std::fabs(std::lgamma(x)))) << x;
    }
    for (double x = -6; x <= 6; x += 0.01) {
        EXPECT_NEAR(errorFunction(x), std::erf(x), 5e-10) << x;
        EXPECT_NEAR(fastErrorFunction(x), std::erf(x), 2e-7) << x;
    }
    EXPECT_EQ(errorFunction(-0.0), 0);
    EXPECT_TRUE(std::isnan(errorFunction(NAN)));
}

TEST_F(NumericFunctionsTest, ScalarHelpersAtTheirLimits) {
    EXPECT_EQ(truncateToInteger(9.3e18), 9.3e18);
    EXPECT_EQ(truncateToInteger(-2.5), -2);
    EXPECT_TRUE(std::isnan(truncateToInteger(NAN)));
    // q + 0.5 would round 2^53 + 2 up to 2^53 + 4.
    EXPECT_EQ(roundToStep(9007199254740994.0, 1), 9007199254740994.0);
    EXPECT_EQ(roundToStep(0.49999999999999994, 1), 0);
    EXPECT_TRUE(std::isnan(roundToStep(NAN, 2)));
    EXPECT_EQ(roundToStep(-7.5, 5), -10);
}

TEST_F(NumericFunctionsTest, NumberTexts) {
    // Width below the digit count: d > 6 keeps d, 5 and 6 give d + 1, others 6.
    EXPECT_EQ(displayNumber(2.0 / 3, 6, 0), "0.666667");
    EXPECT_EQ(displayNumber(2.0 / 3, 8, 3), "0.66666667");
    EXPECT_EQ(displayNumber(2.0 / 3, 3, 0), "0.667");
    // Digits below the width: rounded first, then written with the width's precision.
    EXPECT_EQ(displayNumber(2.0 / 3, 3, 10), "0.667");
    EXPECT_EQ(displayNumber(123456789, 3, 0), "1.23e+08");
    EXPECT_EQ(displayNumber(123456789, 3, 10), "123000000");
    EXPECT_EQ(displayNumber(1.5, 300, 300), displayNumber(1.5, 44, 44));  // each taken modulo 256
    EXPECT_EQ(shortNumber(0.00123456789), "0.0012346");
    EXPECT_EQ(shortNumber(0.05), "0.05");
    EXPECT_EQ(shortNumber(0.0000999), "9.99e-05");
    EXPECT_EQ(shortNumber(1234567), "1.23457e+06");
    EXPECT_EQ(shortNumber(42), "42");
    EXPECT_EQ(shortNumber(-0.5), "-0.5");
}

TEST_F(NumericFunctionsTest, CalendarSelection) {
    CalendarTime t;
    auto packed = [](int day, int month, int years) { return day + (month << 5) + (years << 9); };
    EXPECT_FALSE(calendarTime(packed(31, 4, 100), t));  // 31 April
    EXPECT_FALSE(calendarTime(packed(29, 2, 0), t));    // 1900 is no leap year
    EXPECT_TRUE(calendarTime(packed(29, 2, 100), t));   // 2000 is one
    EXPECT_FALSE(calendarTime(packed(1, 13, 100), t));
    ASSERT_TRUE(calendarTime(packed(1, 1, 70), t));
    EXPECT_EQ(t.seconds, 0);
    EXPECT_EQ(t.weekday, 4);  // a Thursday
    EXPECT_EQ(t.yearDay, 0);
    ASSERT_TRUE(calendarTime(packed(31, 12, 124), t));
    EXPECT_EQ(t.yearDay, 365);
    EXPECT_EQ(t.month, 11);
    EXPECT_EQ(t.year, 124);

    std::string name = "x";
    int32_t weekday = -1;
    EXPECT_EQ(formatTimeText(packed(30, 2, 100), true, name, weekday), "0000/00/00 00:00:00");
    EXPECT_EQ(name, "??");
    EXPECT_EQ(formatTimeText(1048576, false, name, weekday), "13.01.1970 03:16:16");
    EXPECT_EQ(name, "Di");
    EXPECT_EQ(weekday, 2);

    CalendarTime local, universal;
    ASSERT_TRUE(calendarTime(0, local));
    ASSERT_TRUE(calendarTime(1, universal));
    double offset = local.seconds - universal.seconds;
    EXPECT_LT(std::fabs(offset / 900 - std::round(offset / 900)), 0.01);
}

TEST_F(NumericFunctionsTest, RelTimeRestartsWithIndexOne) {
    StatusValue v;
    (void)ip.readStatus(116, 1, v);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    (void)ip.readStatus(116, 0, v);
    EXPECT_GE(v.number, 0.029);
    EXPECT_LT(v.number, 5);
    (void)ip.readStatus(116, 1, v);
    EXPECT_GE(v.number, 0.029);  // the lap before the restart
    (void)ip.readStatus(116, 0, v);
    EXPECT_LT(v.number, 0.029);
}

TEST_F(NumericFunctionsTest, SystemTimeFillsTheResults) {
    StatusValue v;
    ip.results().values[15] = 99;
    ASSERT_EQ(ip.readStatus(119, 1048576, v), kOk);
    EXPECT_EQ(v.number, 1048576);
    EXPECT_EQ(ip.results().values[9], 13);
    EXPECT_EQ(ip.results().values[8], 3);
    EXPECT_EQ(ip.results().values[15], 0);
    // The file time counts 100 ns steps since 1601.
    uint64_t fileTime = static_cast<uint32_t>(ip.results().values[3]) |
                        (static_cast<uint64_t>(static_cast<uint32_t>(ip.results().values[4])) << 32);
    EXPECT_EQ(fileTime, (1048576ull + 11644473600ull) * 10000000ull);
    ASSERT_EQ(ip.readStatus(20, 1048576, v), kOk);
    EXPECT_EQ(v.text, "13.01.1970 03:16:16");
    EXPECT_EQ(ip.results().text, "Di");
}

}  // namespace
}  // namespace tvx::builtins
