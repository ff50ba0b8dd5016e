#include "interp/interpreter.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/boxes.h"
#include "interp/exec/context.h"
#include "interp/exec/control.h"
#include "interp/exec/lineinterp.h"
#include "interp/exec/persistence.h"
#include "interp/exec/runner.h"
#include "interp/exec/status.h"
#include "interp/session.h"
#include "interp/source/filepaths.h"
#include "interp/stackguard.h"
#include "platform/clock.h"
#include "resources/resources.h"

namespace tvx::interp {

namespace {

uint64_t nextSerial() {
    static std::atomic<uint64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

// The codes that have no row but are handled like rows (internal statements).
bool isInternalCode(int code) {
    switch (code) {
#define TVX_INTERNAL(id, value) case value:
#include "resources/codes.inc"
#undef TVX_INTERNAL
        return true;
    default: return false;
    }
}

std::string hexCode(int code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%03X", code);
    return buffer;
}

}  // namespace

size_t nextFamilyStateIndex() {
    static std::atomic<size_t> next{0};
    return next++;
}

Interpreter::Interpreter(Host& host, RunnerConfig config)
    : host_(host),
      config_(std::move(config)),
      serial_(nextSerial()),
      startedAt_(platform::monotonicSeconds()),
      evaluator_(std::make_unique<Evaluator>(*this)),
      runner_(std::make_unique<Runner>(*this)) {
    noteStackTop();
    if (commands_.load(resources::commandTableRecords()) != kOk)
        installProblems_.push_back("the command table has a signature longer than 41 characters");
    statusVariables_.load(resources::statusVariableRecords());
    runner_->configure(config_);
    registerControlStatements(*this);
    registerScopeStatements(*this);
    registerBoxCommands(*this);
    registerRunStatus(*this);
}

Interpreter::~Interpreter() = default;

void Interpreter::reconfigure(RunnerConfig config) {
    config_ = std::move(config);
    runner_->configure(config_);
}

// ---- Families

void Interpreter::install(const Family& family) {
    for (const CommandRow& row : family.commands) {
        bool known = row.code > 0 && row.code < kCommandTableCapacity &&
                     (commands_.hasCode(row.code) || isInternalCode(row.code));
        if (!known || !row.handler) {
            installProblems_.push_back(std::string(family.name) + ": code " + hexCode(row.code) +
                                       (known ? " has no handler" : " is not in the command table"));
            continue;
        }
        CommandEntry& entry = handlers_[static_cast<size_t>(row.code)];
        if (entry.handler) {
            installProblems_.push_back(std::string(family.name) + ": " +
                                       std::string(commands_.name(row.code)) + " (" + hexCode(row.code) +
                                       ") is handled twice");
            continue;
        }
        entry = {row.handler, row.flags};
    }
    for (const StatusRow& row : family.statuses) {
        bool known =
            row.code > 0 && row.code < kStatusTableCapacity && !statusVariables_.name(row.code).empty();
        if (!known || !row.reader) {
            installProblems_.push_back(std::string(family.name) + ": status " + std::to_string(row.code) +
                                       (known ? " has no reader" : " is not in the status table"));
            continue;
        }
        StatusReader& reader = statusReaders_[static_cast<size_t>(row.code)];
        if (reader) {
            installProblems_.push_back(std::string(family.name) + ": !" +
                                       std::string(statusVariables_.name(row.code)) + " is given twice");
            continue;
        }
        reader = row.reader;
    }
    if (family.arrays) {
        if (arrays_.binary)
            installProblems_.push_back(std::string(family.name) + ": a second array engine");
        else
            arrays_ = *family.arrays;
    }
    if (family.stringLists) {
        if (stringLists_.add)
            installProblems_.push_back(std::string(family.name) + ": second string lists");
        else
            stringLists_ = *family.stringLists;
    }
}

bool Interpreter::hasHandler(int code) const {
    return code >= 0 && code < kCommandTableCapacity &&
           handlers_[static_cast<size_t>(code)].handler != nullptr;
}

bool Interpreter::hasStatusReader(int code) const {
    return code >= 0 && code < kStatusTableCapacity && statusReaders_[static_cast<size_t>(code)] != nullptr;
}

unsigned Interpreter::commandFlags(int code) const {
    return code >= 0 && code < kCommandTableCapacity ? handlers_[static_cast<size_t>(code)].flags : 0;
}

// ---- The one door

Error Interpreter::invoke(int code, CallArgs& args, MCVal& result) {
    CommandHandler handler = hasHandler(code) ? handlers_[static_cast<size_t>(code)].handler : nullptr;
    if (!handler) return kNotAvailable;
    try {
        return handler(*this, args, result);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const std::length_error&) {
        return kOutOfMemory;  // a container asked for more than it can hold
    } catch (...) {
        return kInternalError;
    }
}

Error Interpreter::readStatus(int code, int index, StatusValue& value) {
    value.isString = code < kFirstNumericStatusCode;
    value.number = 0;
    value.text.clear();
    if (!hasStatusReader(code)) return kNotAvailable;
    try {
        return statusReaders_[static_cast<size_t>(code)](*this, code, index, value);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kInternalError;
    }
}

std::string_view Interpreter::messageText(int number) const { return resources::messageText(number); }

// ---- Evaluation

Error Interpreter::evaluate(const char*& p, int limit, MCVal& out) {
    return evaluator_->numeric(p, limit, out);
}

Error Interpreter::evaluateString(const char*& p, std::string_view& out) {
    return evaluator_->stringToWorkArea(p, out);
}

Error Interpreter::evaluateText(std::string_view text, MCVal& out, std::string& stringOut, bool& isString) {
    std::string line(text);  // evaluation needs a NUL-terminated text
    const char* p = line.c_str();
    isString = false;
    Error err = evaluator_->numeric(p, kLimitAssignment, out);
    if (err == kStringOperand) {
        isString = true;
        err = evaluator_->stringExpression(p, stringOut);
    }
    if (err) return err;
    p = skipBlanks(p);
    if (*p != '\0') {
        errorPosition_ = nullptr;  // it would point into the copy
        return kExtraCharacters;
    }
    return kOk;
}

Error Interpreter::evaluateStandalone(std::string_view text, NameLookup lookup, MCVal& out) {
    Evaluator& ev = *evaluator_;
    bool savedLookupOnly = symbols_.lookupOnly;
    const char* savedErrorPosition = errorPosition_;
    const char* savedContinuation = ev.continuationText;
    const char* savedContinuedTo = ev.continuedTo;
    if (lookup == NameLookup::FindOnly) symbols_.lookupOnly = true;
    if (lookup == NameLookup::Create) symbols_.lookupOnly = false;
    // The text is complete in itself: a bracket left open must not read on in the macro.
    ev.continuationText = nullptr;
    std::string copy(text);
    const char* p = copy.c_str();
    Error err = ev.numeric(p, kLimitAssignment, out);
    symbols_.lookupOnly = savedLookupOnly;
    ev.continuationText = savedContinuation;
    ev.continuedTo = savedContinuedTo;
    // The scanner position pointed into the copied text, which is gone now.
    errorPosition_ = savedErrorPosition;
    return err;
}

Error Interpreter::combine(int op, MCVal& left, MCVal& right) {
    return evaluator_->combineValues(op, left, right);
}

Error Interpreter::findName(std::string_view name, Designator& out) {
    if (name.empty()) return kBadSymbolName;
    std::string copy(name);
    const char* p = copy.c_str();
    const char* savedErrorPosition = errorPosition_;
    bool savedLookupOnly = symbols_.lookupOnly;
    symbols_.lookupOnly = true;
    Error err = evaluator_->designate(p, Creation::Find, out);
    symbols_.lookupOnly = savedLookupOnly;
    errorPosition_ = savedErrorPosition;  // it may point into the copied name
    if (!err && *p != '\0') err = kExtraCharacters;
    return err;
}

// ---- Running lines and macros

Error Interpreter::executeImmediate(std::string_view text) { return runner_->executeImmediate(text); }

Error Interpreter::executeInMacro(std::string_view text, bool quiet) {
    MacroContext* ctx = runner_->current();
    std::string line(text);
    if (!ctx) {
        Error err = runner_->executeImmediate(line);
        return quiet ? err : kOk;
    }
    // While the macro skips lines (a false If, a label search) the line is only recognised.
    if (ctx->skipState) return LineInterpreter::skip(*this, *ctx, line.c_str());
    if (!quiet) return runner_->executeImmediate(line);
    std::string_view savedLine = ctx->currentLine;
    ctx->currentLine = line;
    Error err = LineInterpreter::execute(*this, *ctx, line.c_str(), true);
    ctx->currentLine = savedLine;
    return err;
}

Error Interpreter::executeFromOutside(std::string_view text) {
    MacroContext* ctx = runner_->current();
    if (!ctx) return executeInMacro(text, true);
    // The line runs even while the macro skips lines (a false If, a label
    // search): only recognising it would acknowledge a line that never ran.
    // The macro's skip state is kept aside meanwhile.
    uint16_t savedSkip = ctx->skipState;
    ctx->skipState = 0;
    Error err = executeInMacro(text, true);
    ctx->skipState = savedSkip;
    return err;
}

bool Interpreter::run(const StartRequest& request) { return runner_->run(request); }

bool Interpreter::debugPosition(DebugPosition& out) const { return runner_->debugPosition(out); }

std::vector<HistoryEntry> Interpreter::callHistory() const { return runner_->callHistory(); }

Error Interpreter::evaluateWatch(std::string_view text, MCVal& out, std::string& stringOut, bool& isString) {
    return runner_->evaluateWatch(text, out, stringOut, isString);
}

int lineNumberAt(std::string_view text, size_t pos) {
    if (pos > text.size()) pos = text.size();
    int line = 1;
    for (size_t i = 0; i < pos; ++i) {
        if (text[i] == '\n') {
            ++line;
        } else if (text[i] == '\r') {
            ++line;
            if (i + 1 < pos && text[i + 1] == '\n') ++i;
        }
    }
    return line;
}

size_t lineOffset(std::string_view text, int line) {
    if (line < 1) return SIZE_MAX;
    size_t pos = 0;
    for (int n = 1; n < line; ++n) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) return SIZE_MAX;
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return pos < text.size() || (pos == text.size() && line == 1) ? pos : SIZE_MAX;
}

bool Interpreter::hasMacro() const { return runner_->current() != nullptr; }

std::string Interpreter::currentLine() const {
    const MacroContext* ctx = runner_->current();
    return ctx ? std::string(ctx->currentLine) : std::string();
}

bool Interpreter::lineMayChangeType() const {
    const MacroContext* ctx = runner_->current();
    return ctx && (ctx->lineFlags & kLineMayChangeType);
}

void Interpreter::reportError(int n) { runner_->reportError(n); }

void Interpreter::reportTypedError(int n, std::string_view text) {
    runner_->reportErrorWithLine(n, Runner::kContinuable, text);
}

int Interpreter::messageBox(std::string_view text, std::string_view caption, unsigned style) {
    return runner_->messageBox(text, caption, style);
}

void Interpreter::pump(int budget) { runner_->pump(budget); }

void Interpreter::pause(double milliseconds) { runner_->pause(milliseconds); }

int Interpreter::errorBoxesShown() const { return runner_->errorBoxesShown(); }

void Interpreter::endOfRun() {
    for (auto& state : states_)
        if (state) state->endOfRun(*this);
    releaseSpareBlock();  // an idle program holds no memory for a loop that has ended
}

// ---- Paths

std::string Interpreter::appPath() const {
    const std::string& dir = config_.programDirectory;
    return dir.empty() ? dir : dir.substr(0, dir.size() - 1);
}

std::string Interpreter::posixPath(std::string_view macroPath) const {
    return posixPathFor(fullPathName(macroPath, config_.workingDirectory), config_.drives);
}

// ---- Inside the interpreter

CallArgs& Interpreter::acquireArgs() {
    if (argsDepth_ == argsPool_.size()) argsPool_.push_back(std::make_unique<CallArgs>());
    return *argsPool_[argsDepth_++];
}

void Interpreter::releaseArgs() {
    if (argsDepth_ > 0) --argsDepth_;
}

std::string Interpreter::formatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

#if defined(TOLVEX_CHECKED)
void checkArgumentLetter(const CallArgs& args, int index, std::string_view letters) {
    if (index >= 0 && index < args.count) {
        const ArgSlot& slot = args.slot(index);
        if (slot.flexible || letters.find(slot.letter) != std::string_view::npos) return;
        std::fprintf(stderr, "tolvex: command 0x%03X reads argument %d ('%c') as one of \"%.*s\"\n",
                     args.code, index + 1, slot.letter, static_cast<int>(letters.size()), letters.data());
    } else {
        std::fprintf(stderr, "tolvex: command 0x%03X reads argument %d, beyond its %d arguments\n", args.code,
                     index + 1, args.count);
    }
    std::abort();
}
#endif

void runInSession(Interpreter& ip, std::string_view text) { ip.runner().runInSession(text); }

void endSession(Interpreter& ip) { ip.runner().endSession(); }

}  // namespace tvx::interp
