// The expression evaluators: numeric expressions on MCVal values (a recursive
// precedence-climbing evaluator over the line text), string expressions, number
// formats, matrix literals, and the argument parser driven by signatures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "interp/eval/arguments.h"
#include "interp/stackguard.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

class Interpreter;
struct StatusValue;

// Evaluation limits: the caller's level; binary operators of a lower level are taken.
constexpr int kLimitAssignment = 99;
constexpr int kLimitArgument = 100;
constexpr int kLimitMatrixElement = 101;  // blank-separated elements
constexpr int kLimitBracket = 20;
constexpr int kLimitUnary = 1;
constexpr int kLimitSingleOperand = 3;

// What a name designates.
struct Designator {
    enum Form : uint8_t {
        kNothing,     // lookup-only mode and the name does not exist
        kVariable,    // a whole variable
        kElement,     // element `position` of the variable's data block
        kCharacter,   // character `position` of a string (past the end: a scratch 0)
        kSubstring,   // characters position..end-1 of a string
        kStatus,      // a status variable
    };
    Form form = kNothing;
    VarSlot slot;              // the variable, references followed
    int64_t position = 0;
    int64_t end = 0;
    int statusCode = 0;
    int statusIndex = 0;
    bool created = false;      // the variable did not exist before
};

// How designate() treats names that do not exist yet.
enum class Creation { Find, Create };

// A call of a macro function: installed by the line interpreter. name is the
// function's name as written (it may be "object.name"), argumentText the raw
// text between the parentheses.
using MacroFunctionCall = int (*)(Interpreter& ip, std::string_view name, std::string_view argumentText,
                                  MCVal& result);

class Evaluator {
public:
    explicit Evaluator(Interpreter& ip);

    // Numeric evaluation (see the limits above). Returns 0, an error number, or
    // kStringOperand with p left at the start of the string operand.
    int numeric(const char*& p, int limit, MCVal& out);
    // Numeric evaluation that insists on a real number.
    int real(const char*& p, int limit, double& out);

    // A string expression: terms joined by '+'. The text is built in buffer.
    int stringExpression(const char*& p, std::string& buffer);
    // The same, stored in the work area.
    int stringToWorkArea(const char*& p, std::string_view& out);

    // Reads the name at p (with '!', members and index groups) and says what it designates.
    int designate(const char*& p, Creation creation, Designator& out);
    // The numeric value of a designator: a number, complex, block, or kStringOperand.
    int readValue(const Designator& designator, MCVal& out);
    // The text of a designator that holds a string; false when it holds none.
    bool readText(const Designator& designator, std::string& out);

    // Parses the arguments of a command by its signature. With parenthesised,
    // p stands after the '(' and the list must end with ')'. Returns an error number.
    int parseArguments(const char*& p, std::string_view signature, CallArgs& args, bool parenthesised);
    // Writes back element and character updates after a statement (error 813 for a 17th).
    int flushPendingWrites(CallArgs& args);

    // left = left op right, for any two values (scalar, complex, block).
    int combineValues(int op, MCVal& left, MCVal& right) { return combine(op, left, right); }
    int combineReals(int op, double a, double b, double& result) { return combineReal(op, a, b, result); }

    // Calls the built-in function with the given code; p stands at its '('.
    int callBuiltin(const char*& p, int code, MCVal& out);

    MacroFunctionCall macroFunctionCall = nullptr;

    // For the matrix-literal continuation: the macro text after the current
    // logical line, and where the line store should continue when a literal
    // ran past the line. Set by the line interpreter.
    const char* continuationText = nullptr;
    const char* continuedTo = nullptr;

private:
    int operand(const char*& p, int limit, MCVal& out);
    int nameOperand(const char*& p, int limit, MCVal& out);
    int stringOperandOrComparison(const char*& p, MCVal& out);
    int combine(int op, MCVal& left, MCVal& right);
    int combineReal(int op, double a, double b, double& result);
    int combineComplex(int op, MCVal& left, const MCVal& right);
    int negate(MCVal& value);
    int matrixLiteral(const char*& p, MCVal& out);
    int formatTerm(const char*& p, std::string& out);
    int stringTerm(const char*& p, std::string& out);
    int addressOperand(const char*& p, MCVal& out);
    int indexGroup(const char*& p, Designator& d, std::string& familySuffix);
    int statusDesignator(const char*& p, Designator& d);
    int objectOf(VarSlot holder, Creation creation, SymbolTable*& table);
    int parseOneArgument(const char*& p, char letter, bool flexible, bool parenthesised, ArgSlot& slot,
                         CallArgs& args);
    int variableArgument(const char*& p, char letter, bool flexible, ArgSlot& slot, CallArgs& args);

    Interpreter& ip_;
};

}  // namespace tvx::interp
