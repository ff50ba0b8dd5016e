// Evaluation of text at run time: Val (an expression in a string, with its
// flags and its own error handling) and Cond (lazy choice between two
// expressions written after the condition).
#include <string>

#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using namespace interp;

namespace {

constexpr size_t kValTextLimit = 254;
// Val inside Val inside ...: bounded like other nestings of the interpreter.
constexpr int kMaxValNesting = 64;

enum ValFlags : int32_t {
    kValKeepType = 0x01,
    kValDecimalComma = 0x02,
    kValLookupOnly = 0x04,
    kValCreateNames = 0x08,
    kValRaiseErrors = 0x10,
};

struct ValState : FamilyState {
    int nesting = 0;
};

// The kind of a value as Val reports it in !Result[0].
int32_t resultKind(const MCVal& value) {
    if (value.isReal()) return 1;
    if (value.isComplex()) return 2;
    if (value.isBlock()) return 3;
    return 0;
}

// Val(text, flags, errorVariable)
Error valFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (ip.state<ValState>().nesting >= kMaxValNesting) return kOutOfMemory;
    int32_t flags = args.integer(1);
    double* errorVariable = args.present(2) ? args.var(2).number : nullptr;

    std::string text(args.text(0).substr(0, kValTextLimit));
    if (flags & kValDecimalComma) {
        for (size_t i = 1; i + 1 < text.size(); ++i)
            if (text[i] == ',' && isDigit(text[i - 1]) && isDigit(text[i + 1])) text[i] = '.';
    }

    uint8_t savedRunState = ip.runState();
    NameLookup lookup = (flags & kValCreateNames)  ? NameLookup::Create
                        : (flags & kValLookupOnly) ? NameLookup::FindOnly
                                                   : NameLookup::AsNow;
    MCVal value;
    int& nesting = ip.state<ValState>().nesting;
    ++nesting;
    Error err = ip.evaluateStandalone(text, lookup, value);
    --nesting;
    if (err == kStringOperand) err = kWrongDataType;

    if (err) {
        ip.results().values[0] = 0;
        if (flags & kValRaiseErrors) return err;
        ip.setRunState(savedRunState);
        // Reported as the message number (836 for an undefined name).
        ip.results().error = 800 + err;
        if (errorVariable) *errorVariable = 800 + err;
        result.setReal(0);
        return kOk;
    }
    ip.results().values[0] = resultKind(value);
    ip.results().error = 0;
    if (errorVariable) *errorVariable = 0;
    if ((flags & kValKeepType) && !value.isEmpty())
        result = std::move(value);
    else
        result.setReal(value.isEmpty() ? 0 : value.re);
    return kOk;
}

// The comma that ends the first alternative of Cond: commas inside brackets
// and strings belong to the alternative (calls with several arguments).
const char* alternativeEnd(const char* p, const char* end) {
    int depth = 0;
    bool inString = false;
    const char* begin = p;
    for (; p < end; ++p) {
        char c = *p;
        if (c == '"') inString = !inString;
        if (inString) continue;
        if (end - p >= 3 && isCharLiteral(begin, p)) {
            p += 2;  // a character literal's ',' or bracket
            continue;
        }
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
        else if (c == ',' && depth == 0)
            return p;
    }
    return nullptr;
}

// Cond(condition, first, second): only the chosen expression is evaluated.
Error condFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    std::string_view text = args.text(1);
    const char* p = text.data();
    const char* end = p + text.size();
    if (!args.present(1) || skipBlanks(p) >= end) return kBadParameters;
    if (args.number(0) == 0) {
        const char* comma = alternativeEnd(p, end);
        if (!comma) return kNotEnoughParameters;
        p = skipBlanks(comma + 1);
    }
    MCVal value;
    Error err = ip.evaluate(p, kLimitArgument, value);
    if (err == kStringOperand) err = kWrongDataType;
    if (err) return err;
    if (value.isEmpty()) return kNotEnoughParameters;
    result = std::move(value);
    return kOk;
}

}  // namespace

constexpr CommandRow kEvaluationFunctionsRows[] = {
    {cmd::Val, valFunction},
    {cmd::Cond, condFunction},
};

void registerEvaluationFunctions(Interpreter& ip) {
    ip.install({"numeric/evaluation", kEvaluationFunctionsRows});
}

}  // namespace tvx::builtins
