#include "interp/interpreter.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/boxes.h"
#include "interp/exec/control.h"
#include "interp/exec/persistence.h"
#include "interp/exec/runner.h"
#include "interp/exec/status.h"
#include "interp/stackguard.h"
#include "platform/clock.h"
#include "resources/resources.h"

namespace tvx::interp {

namespace {

// !M and !Max read a 64-bit integer that nothing sets; while it holds its
// initial marker, a reading yields 2^30.
constexpr int64_t kUnsetMarker = INT64_MIN;
constexpr double kUnsetReading = 1073741824.0;

double factorial(int n) {
    if (n >= 41) return std::tgamma(static_cast<double>(n) + 1);
    double product = 1;
    for (int i = 2; i <= n; ++i) product *= i;
    return product;
}

uint64_t nextSerial() {
    static std::atomic<uint64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

size_t nextAreaStateIndex() {
    static std::atomic<size_t> next{0};
    return next++;
}

Interpreter::Interpreter(Host& host)
    : host_(host), serial_(nextSerial()), evaluator_(std::make_unique<Evaluator>(*this)), runner_(std::make_unique<Runner>(*this)) {
    noteStackTop();
    commands.load(resources::commandTableRecords());
    statusVariables.load(resources::statusVariableRecords());
    evaluator_->macroFunctionCall = [](Interpreter& ip, std::string_view name, std::string_view arguments,
                                       MCVal& result) { return ip.runner().callFunction(name, arguments, result); };
    registerControlStatements(*this);
    registerScopeStatements(*this);
    registerBoxCommands(*this);
    registerRunStatus(*this);
}

Interpreter::~Interpreter() = default;

void Interpreter::registerCommand(std::string_view name, CommandHandler handler) {
    int code = commands.lookup(name);
    if (code > 0) handlers[static_cast<size_t>(code)] = handler;
}

void Interpreter::registerCommand(int code, CommandHandler handler) {
    if (code >= 0 && code < kCommandTableCapacity) handlers[static_cast<size_t>(code)] = handler;
}

void Interpreter::registerStatus(int code, StatusReader reader) {
    if (code >= 0 && code < kStatusTableCapacity) statusReaders[static_cast<size_t>(code)] = reader;
}

int Interpreter::evaluate(const char*& p, int limit, MCVal& out) { return evaluator_->numeric(p, limit, out); }

int Interpreter::evaluateString(const char*& p, std::string_view& out) {
    return evaluator_->stringToWorkArea(p, out);
}

int Interpreter::evaluateText(std::string_view text, MCVal& out, std::string& stringOut, bool& isString) {
    std::string line(text);  // evaluation needs a NUL-terminated text
    const char* p = line.c_str();
    isString = false;
    int err = evaluator_->numeric(p, kLimitAssignment, out);
    if (err == kStringOperand) {
        isString = true;
        err = evaluator_->stringExpression(p, stringOut);
    }
    if (err) return err;
    p = skipBlanks(p);
    if (*p != '\0') {
        errorPosition = p;
        return kExtraCharacters;
    }
    return kOk;
}

CallArgs& Interpreter::acquireArgs() {
    if (argsDepth_ == argsPool_.size()) argsPool_.push_back(std::make_unique<CallArgs>());
    return *argsPool_[argsDepth_++];
}

void Interpreter::releaseArgs() {
    if (argsDepth_ > 0) --argsDepth_;
}

std::string_view Interpreter::messageText(int number) const { return resources::messageText(number); }

int Interpreter::readStatus(int code, int index, StatusValue& value) {
    value.isString = code < kFirstNumericStatusCode;
    value.number = 0;
    value.text.clear();
    if (StatusReader reader = statusReaders[static_cast<size_t>(code)]) return reader(*this, code, index, value);
    switch (code) {
    case 7:  // ErrorText
        if (index != 0) value.text = std::string(messageText(800 + index));
        break;
    case 9: value.text = symbols.groupName; break;
    case 12: {  // MacroWord
        std::string_view name = index > 0 ? commands.name(index) : statusVariables.name(-index);
        if (index <= 0 && !name.empty()) value.text.push_back('!');
        value.text.append(name);
        if (value.text.size() > 31) value.text.resize(31);
        break;
    }
    case 13: {  // MacroVarName
        VarSlot slot = symbols.byId(static_cast<uint32_t>(index));
        if (slot) value.text = std::string(slot.name());
        break;
    }
    case 19: value.text = strResult; break;
    case 51: value.number = platform::tickCount64Ms() * 0.001; break;
    case 66: value.number = 1.34; break;
    case 71: value.number = index >= 0 && index < 32 ? parameters[static_cast<size_t>(index)] : 0; break;
    case 80: value.number = index >= 0 && index < 32 ? results[static_cast<size_t>(index)] : 0; break;
    case 84: value.number = 3.141592653589793; break;
    case 85: value.number = std::numeric_limits<double>::infinity(); break;
    case 86: {
        uint64_t bits = 0xFFF8000000000000ull;
        std::memcpy(&value.number, &bits, sizeof bits);
        break;
    }
    case 99:  // Error: reading clears it
        value.number = statusError;
        statusError = 0;
        break;
    case 100: {  // MacroVarType
        VarSlot slot = symbols.byId(static_cast<uint32_t>(index));
        value.number = slot ? slot.var().kind : 0;
        break;
    }
    case 115: value.number = index == 1 ? matrixBase2 : matrixBase; break;
    case 120: value.number = static_cast<double>(platform::timeStampCounter()); break;
    case 201: value.number = factorial(index); break;
    case 202:
    case 203: value.number = mValue == kUnsetMarker ? kUnsetReading : static_cast<double>(mValue); break;
    default: break;  // a value whose owner has none to give
    }
    return kOk;
}

std::string Interpreter::formatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

}  // namespace tvx::interp
