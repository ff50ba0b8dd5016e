// The expression evaluators: numeric expressions on MCVal values (a recursive
// precedence-climbing evaluator over the line text), string expressions, number
// formats, matrix literals, and the argument parser driven by signatures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "interp/interpreter.h"
#include "interp/stackguard.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

class ExpressionCache;
class Interpreter;
struct ScannedOperator;
struct StatusValue;

// How designate() treats names that do not exist yet.
enum class Creation { Find, Create };

// The variable that holds what Decl declared for a function name.
std::string declarationName(std::string_view function);

class Evaluator {
public:
    explicit Evaluator(Interpreter& ip);
    ~Evaluator();

    // Whether expressions met again are evaluated from a compiled form (on by default).
    void compileExpressions(bool on) { compileExpressions_ = on; }

    // Numeric evaluation (see the limits above). Returns 0, an error number, or
    // kStringOperand with p left at the start of the string operand.
    Error numeric(const char*& p, int limit, MCVal& out);
    // numeric() for the whole right side of `target = ...`: the last operation
    // on a data block may leave its result in the target's block (which the
    // assignment then finds in place) instead of in a new one.
    Error assignedValue(const char*& p, const Designator& target, MCVal& out);
    // Numeric evaluation that insists on a real number.
    Error real(const char*& p, int limit, double& out);

    // A string expression: terms joined by '+'. The text is built in buffer.
    Error stringExpression(const char*& p, std::string& buffer);
    // A string variable named alone whose text is longer than the work area
    // (a long string), with p moved past the name; null for anything else.
    const std::string* wholeStringVariable(const char*& p);
    // The same, stored in the work area.
    Error stringToWorkArea(const char*& p, std::string_view& out);

    // Reads the name at p (with '!', members and index groups) and says what it designates.
    Error designate(const char*& p, Creation creation, Designator& out);
    // The numeric value of a designator: a number, complex, block, or kStringOperand.
    Error readValue(const Designator& designator, MCVal& out);
    // The text of a designator that holds a string; false when it holds none.
    bool readText(const Designator& designator, std::string& out);

    // Parses the arguments of a command by its signature. With parenthesised,
    // p stands after the '(' and the list must end with ')'. Returns an error number.
    Error parseArguments(const char*& p, std::string_view signature, CallArgs& args, bool parenthesised);
    // Writes back element and character updates after a statement (error 813 for a 17th).
    Error flushPendingWrites(CallArgs& args);

    // left = left op right, for any two values (scalar, complex, block).
    Error combineValues(int op, MCVal& left, MCVal& right) { return combine(op, left, right); }
    Error combineReals(int op, double a, double b, double& result) { return combineReal(op, a, b, result); }

    // Calls the built-in function with the given code; p stands at its '('.
    Error callBuiltin(const char*& p, int code, MCVal& out);

    // The variable "Fn_" + name that Decl made (null when there is none, or no
    // family calls declared functions).
    const Variable* declarationOf(std::string_view name);
    // A declared name with an integer index ("cos[1]"): appends the index to
    // name as a family member's name and sets after past the ']'.
    static bool declaredIndexName(const char* p, std::string& name, const char*& after);
    // Calls a declared function: the arguments at p are parsed by the
    // declaration's letters (with parenthesised, p stands after the '(').
    Error callDeclared(const char*& p, std::string_view name, const Variable& declaration, bool parenthesised,
                       MCVal& out);

    // For the matrix-literal continuation: the macro text after the current
    // logical line, and where the line store should continue when a literal
    // ran past the line. Set by the line interpreter.
    const char* continuationText = nullptr;
    const char* continuedTo = nullptr;

private:
    Error numericUntil(const char*& p, int limit, MCVal& out, ScannedOperator& stop, const char*& stopAt,
                       const Designator* target = nullptr);
    bool combineOnward(int op, MCVal& out, MCVal& right, int limit, const Designator* target, const char*& p,
                       ScannedOperator& next, const char*& nextAt, Error& err);
    Error operand(const char*& p, int limit, MCVal& out);
    Error nameOperand(const char*& p, int limit, MCVal& out);
    Error stringOperandOrComparison(const char*& p, MCVal& out);
    Error combine(int op, MCVal& left, MCVal& right);
    Error combineReal(int op, double a, double b, double& result);
    Error combineComplex(int op, MCVal& left, const MCVal& right);
    Error negate(MCVal& value);
    Error matrixLiteral(const char*& p, MCVal& out);
    Error formatTerm(const char*& p, std::string& out);
    Error stringTerm(const char*& p, std::string& out);
    Error addressOperand(const char*& p, MCVal& out);
    Error indexGroup(const char*& p, Designator& d, std::string& familySuffix);
    Error statusDesignator(const char*& p, Designator& d);
    Error objectOf(VarSlot holder, Creation creation, SymbolTable*& table);
    Error parseOneArgument(const char*& p, char letter, bool flexible, bool parenthesised, ArgSlot& slot,
                           CallArgs& args);
    Error variableArgument(const char*& p, char letter, bool flexible, ArgSlot& slot, CallArgs& args);

    Interpreter& ip_;
    std::unique_ptr<ExpressionCache> expressions_;  // compiled forms of expressions met again
    bool compileExpressions_ = true;
    const Designator* assignmentTarget_ = nullptr;  // for the next numeric() only
};

}  // namespace tvx::interp
