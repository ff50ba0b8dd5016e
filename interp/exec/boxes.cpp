// The simple interactive commands: OkBox, YesNoBox, MsgBox, Input, StrInput.
// The host shows them (a dialog, or a printed and answered box in batch mode).
#include "interp/exec/boxes.h"

#include "interp/codes.h"
#include "interp/eval/scanner.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"

namespace tvx::interp {

namespace {

constexpr size_t kMaxInputText = 80;

// Context flag bit 0 (SetBreak bit 0): boxes offer Cancel, and Cancel ends the macro.
bool cancelStops(const Interpreter& ip) { return (ip.runOptions() & kOptCancelStops) != 0; }

void stopMacro(Interpreter& ip) { ip.setRunState(ip.runState() & (static_cast<uint8_t>(~kRunRunning))); }

Error okBoxStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    bool withCancel = cancelStops(ip);
    int button = ip.runner().messageBox(args.text(0), "Macro", withCancel ? 65 : 64);
    if (button == kIdCancel) stopMacro(ip);
    return kOk;
}

Error yesNoBoxStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    bool withCancel = cancelStops(ip);
    int button = ip.runner().messageBox(args.text(1), "Macro", withCancel ? 35 : 36);
    if (button == kIdCancel) {
        stopMacro(ip);
        return kOk;
    }
    *args.var(0).number = button == kIdYes ? 1 : 0;
    return kOk;
}

Error msgBoxFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    std::string caption;
    if (args.present(1)) {
        caption = std::string(args.text(1));
    } else if (MacroContext* ctx = ip.runner().current()) {
        caption = ctx->fileName;
    }
    unsigned style = args.present(2) ? static_cast<uint16_t>(args.i(2)) : 0;
    result.setReal(ip.runner().messageBox(args.text(0), caption, style));
    return kOk;
}

// Option bits 0..1: 0 decided by the macro (Cancel offered and stopping when
// bit 0 of the context flags is set), 1 without Cancel, 2 or 3 with Cancel; with a
// non-zero option a Cancel never stops the macro.
struct InputChoice {
    bool withCancel;
    bool cancelEndsMacro;
};

InputChoice inputChoice(const Interpreter& ip, const CallArgs& args, int optionIndex) {
    int option = args.present(optionIndex) ? (args.l(optionIndex) & 3) : 0;
    if (option == 0) return {cancelStops(ip), cancelStops(ip)};
    return {option >= 2, false};
}

void recordOutcome(Interpreter& ip, bool ok, const InputChoice& choice) {
    ip.results().values[0] = ok ? 1 : 0;
    if (ok) {
        ip.results().error = 0;
    } else if (choice.cancelEndsMacro) {
        stopMacro(ip);
    } else {
        ip.results().error = 1;
    }
}

Error inputStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    InputChoice choice = inputChoice(ip, args, 2);
    double& target = *args.var(0).number;
    std::string text = Interpreter::formatNumber(target);
    BoxAnswer answer = ip.host().inputBox(InputKind::Number, "Input", args.text(1), text, choice.withCancel);
    bool ok = answer.button == kIdOk;
    if (ok) {
        const char* p = skipBlanks(text.c_str());
        bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        double value = 0;
        parseDecimal(p, value);
        target = negative ? -value : value;
    }
    recordOutcome(ip, ok, choice);
    return kOk;
}

Error strInputStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    InputChoice choice = inputChoice(ip, args, 2);
    std::string& target = *args.var(0).text;
    std::string text = target.substr(0, kMaxInputText);
    BoxAnswer answer = ip.host().inputBox(InputKind::Text, "StrInput", args.text(1), text, choice.withCancel);
    bool ok = answer.button == kIdOk;
    if (ok) target = text.substr(0, kMaxInputText);
    recordOutcome(ip, ok, choice);
    return kOk;
}

}  // namespace

constexpr CommandRow kBoxCommandsRows[] = {
    {cmd::OkBox, okBoxStatement}, {cmd::YesNoBox, yesNoBoxStatement}, {cmd::MsgBox, msgBoxFunction},
    {cmd::Input, inputStatement}, {cmd::StrInput, strInputStatement},
};

void registerBoxCommands(Interpreter& ip) { ip.install({"exec/boxes", kBoxCommandsRows}); }

}  // namespace tvx::interp
