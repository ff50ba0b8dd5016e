// Interpreter error numbers. A failing operation returns n (1..99, or 100 and
// more for internal errors); the user sees message 800 + n.
#pragma once

namespace tvx::interp {

enum Error : int {
    kOk = 0,
    kUnknownCommand = 1,
    kBadSymbolName = 2,
    kLabelRedefined = 3,
    kDivideByZero = 4,
    kTooManyLoops = 5,
    kTooManyGoSub = 6,
    kLineTooLong = 7,
    kMisplacedOnOff = 8,
    kNotEnoughParameters = 9,
    kTooManyParameters = 10,
    kIntegerOverflow = 11,
    kReturnWithoutGoSub = 12,
    kOutOfMemory = 13,
    kStringOverflow = 14,
    kBracket = 15,
    kNegativeIndex = 16,
    kUnknownOperator = 17,
    kParameterBufferOverflow = 18,
    kWrongDataType = 19,
    kSymbolsOutsideMacro = 20,
    kMissingControls = 21,
    kBadAddress = 22,
    kInternalPointer = 23,
    kLibraryNotFound = 24,
    kLibraryFunctionNotFound = 25,
    kEndLoopWithoutLoop = 26,
    kMatchingLoopMissing = 27,
    kLabelNotFound = 28,
    kUnexpectedEnd = 29,
    kLoopWithoutEndLoop = 30,
    kIfWithoutEndIf = 31,
    kTooManyNestedMacros = 32,
    kCannotChangeGroupName = 33,
    kTooManyDialogs = 34,
    kAtOnlyInCalledMacros = 35,
    kUndefinedVariable = 36,
    kVectorNotCreated = 37,
    kBadParameters = 38,
    kLogarithmDomain = 39,
    kNegativeParameter = 40,
    kExtraCharacters = 41,
    kCommaExpected = 42,
    kMatrixSizes = 43,
    kMatrixOperation = 44,
    kSingularMatrix = 45,
    kBadIndex = 46,
    kUndefinedFunction = 47,
    kChainingNotAllowed = 48,
    kIllegalChaining = 49,
    kInternalError = 50,
    kReferenceNeedsVariable = 51,
    kTooManyNestedFunctions = 52,
    kReservedFunctionName = 53,
    kCannotChangeType = 54,
    kAssignmentNotAllowed = 55,
    kWrongSeparator = 56,
    kAssertionFailed = 57,

    kSignatureTooLong = 100,  // internal: a command-table row with a signature over 41 characters
};

// Not an error: the numeric evaluator met a string operand and hands the
// position back to its caller, which may read it as a string expression.
constexpr int kStringOperand = -1;

}  // namespace tvx::interp
