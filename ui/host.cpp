#include "ui/host.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "interp/api.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/window/dialog.h"
#include "platform/window/stddialogs.h"
#include "ui/framework.h"
#include "ui/inputdialogs.h"
#include "ui/protocol.h"

namespace tvx::ui {

using namespace platform;
using namespace platform::win;
using interp::BoxAnswer;

constexpr unsigned kStartMacroMessage = 0x467;
constexpr unsigned kStopTimer = 1961;

int defaultButton(unsigned style) {
    unsigned buttons = style & interp::kMbButtonsMask;
    int index = (style & interp::kMbDefButton3) ? 2 : (style & interp::kMbDefButton2) ? 1 : 0;
    static const int kButtons[][3] = {
        {interp::kIdOk, interp::kIdOk, interp::kIdOk},
        {interp::kIdOk, interp::kIdCancel, interp::kIdCancel},
        {interp::kIdAbort, interp::kIdRetry, interp::kIdIgnore},
        {interp::kIdYes, interp::kIdNo, interp::kIdCancel},
        {interp::kIdYes, interp::kIdNo, interp::kIdNo},
        {interp::kIdRetry, interp::kIdCancel, interp::kIdCancel},
    };
    if (buttons > 5) return interp::kIdOk;
    return kButtons[buttons][index];
}

bool offersButton(unsigned style, int button) {
    switch (style & interp::kMbButtonsMask) {
    case interp::kMbOk: return button == interp::kIdOk;
    case interp::kMbOkCancel: return button == interp::kIdOk || button == interp::kIdCancel;
    case interp::kMbAbortRetryIgnore:
        return button == interp::kIdAbort || button == interp::kIdRetry || button == interp::kIdIgnore;
    case interp::kMbYesNoCancel:
        return button == interp::kIdYes || button == interp::kIdNo || button == interp::kIdCancel;
    case interp::kMbYesNo: return button == interp::kIdYes || button == interp::kIdNo;
    case interp::kMbRetryCancel: return button == interp::kIdRetry || button == interp::kIdCancel;
    default: return button == interp::kIdOk;
    }
}

AppHost::AppHost(Mode mode, std::FILE* out) : mode_(mode), out_(out) {}

AppHost::~AppHost() { setFrameworkMessageBox(nullptr); }

namespace {

// The caption of the interpreter's error box.
constexpr std::string_view kErrorBoxCaption = "Macro Error";

// The words that answer for a button, on the command line and at the terminal.
const struct {
    std::string_view word;
    int button;
} kWords[] = {
    {"ok", interp::kIdOk},         {"cancel", interp::kIdCancel}, {"yes", interp::kIdYes},
    {"no", interp::kIdNo},         {"abort", interp::kIdAbort},   {"retry", interp::kIdRetry},
    {"ignore", interp::kIdIgnore},
};

int buttonOfWord(std::string_view word) {
    for (const auto& w : kWords)
        if (word == w.word) return w.button;
    return interp::kIdNone;
}

std::string lowerTrimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    std::string out(text.substr(first, last - first + 1));
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "ok/cancel" for the buttons a message box of that style offers.
std::string offeredWords(unsigned style) {
    std::string words;
    for (const auto& w : kWords) {
        if (!offersButton(style, w.button)) continue;
        if (!words.empty()) words += '/';
        words += w.word;
    }
    return words;
}

}  // namespace

bool AppHost::setAnswers(std::string_view list, std::string& badItem) {
    answers_.clear();
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        Answer answer;
        if (!item.empty() && item[0] == '=') {
            // "=text" takes the rest up to the next comma.
            answer.button = interp::kIdOk;
            answer.hasText = true;
            answer.text = std::string(item.substr(1));
        } else {
            answer.button = buttonOfWord(item);
            if (answer.button == interp::kIdNone) {
                badItem = std::string(item);
                return false;
            }
        }
        answers_.push_back(std::move(answer));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return true;
}

void AppHost::attach(interp::Interpreter& ip) {
    ip_ = &ip;
    setFrameworkMessageBox([this](std::string_view text, std::string_view caption, unsigned style) {
        return ip_ ? ip_->messageBox(text, caption, style) : messageBox(text, caption, style).button;
    });
}

bool AppHost::nextAnswer(Answer& answer, const Ask& ask) {
    if (answers_.empty()) return reader_ && !ask.noTyping && typedAnswer(answer, ask);
    answer = std::move(answers_.front());
    answers_.pop_front();
    return true;
}

// A typed line is the text itself where a text is wanted; otherwise a button
// word, or (for a dialog) the number or text of one of its buttons. An empty
// line is no answer; the end of the input or an interruption is Cancel.
bool AppHost::typedAnswer(Answer& answer, const Ask& ask) {
    answer = Answer{};
    std::string line;
    while (true) {
        if (!reader_(ask.prompt, line)) {
            answer.button = interp::kIdCancel;
            return true;
        }
        if (ask.text) {
            if (line.empty()) return false;
            answer.button = interp::kIdOk;
            answer.hasText = true;
            answer.text = std::move(line);
            return true;
        }
        std::string word = lowerTrimmed(line);
        if (word.empty()) return false;
        answer.button = buttonOfWord(word);
        if (!ask.messageBox) {
            if (answer.button == interp::kIdNone) {
                answer.hasText = true;
                answer.text = std::move(word);
            }
            return true;
        }
        if (offersButton(ask.style, answer.button)) return true;
        // Not one of this box's buttons: asked again.
    }
}

void AppHost::printLines(std::string_view text) {
    // CR LF, CR and LF all become one newline.
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            std::fputc('\n', out_);
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            std::fputc(c, out_);
        }
    }
}

void AppHost::printBox(std::string_view caption, std::string_view text) {
    std::fputc('[', out_);
    printLines(caption);
    std::fputs("] ", out_);
    printLines(text);
    std::fputc('\n', out_);
    std::fflush(out_);
}

BoxAnswer AppHost::messageBox(std::string_view text, std::string_view caption, unsigned style) {
    if (mode_ == Mode::Desktop) {
        StandardAnswer shown = messageBoxDialog(activeWindow(), text, caption, style);
        return {shown.button, shown.modifiers};
    }
    printBox(caption, text);
    BoxAnswer answer{defaultButton(style), 0};
    Answer next;
    std::string prompt = offeredWords(style) + "? ";
    // Typed answers are asked for where there is a choice. An error box is
    // only shown: at a terminal the next line typed is the next command.
    Ask ask{prompt, false, true, style};
    ask.noTyping = (style & interp::kMbButtonsMask) == interp::kMbOk || caption == kErrorBoxCaption;
    if (nextAnswer(next, ask) && !next.hasText && offersButton(style, next.button))
        answer.button = next.button;
    return answer;
}

BoxAnswer AppHost::inputBox(interp::InputKind kind, std::string_view caption, std::string_view prompt,
                            std::string& text, bool withCancel) {
    if (mode_ == Mode::Desktop) {
        InputDialogState state;
        state.caption = std::string(caption);
        state.prompt = std::string(prompt);
        bool number = kind == interp::InputKind::Number;
        if (number)
            state.value = std::strtod(text.c_str(), nullptr);
        else
            state.text = text;
        InputDialog which = number ? (withCancel ? InputDialog::Number : InputDialog::NumberNoCancel)
                                   : (withCancel ? InputDialog::Text : InputDialog::TextNoCancel);
        if (!runInputDialog(which, activeWindow(), state)) return {interp::kIdCancel, 0};
        if (number) {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", state.value);
            text = buffer;
        } else {
            text = state.text;
        }
        return {interp::kIdOk, 0};
    }
    printBox(caption, prompt);
    BoxAnswer answer{interp::kIdOk, 0};
    Answer next;
    std::string typePrompt = "[" + text + "]? ";
    if (nextAnswer(next, Ask{typePrompt, true})) {
        // Cancel works without a Cancel button too: it is the Escape key.
        if (next.hasText)
            text = std::move(next.text);
        else if (next.button == interp::kIdCancel)
            answer.button = interp::kIdCancel;
    }
    return answer;
}

// ---- Macro dialogs in batch mode

namespace {

// A button's text as a person reads it: without the "&" that marks its key, in lower case.
std::string plainButtonText(std::string_view text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    }
    return plain;
}

}  // namespace

int AppHost::answerDialog(std::string_view caption, const std::vector<std::string>& lines,
                          const std::vector<DialogButton>& buttons) {
    printBox(caption, "dialog");
    for (const std::string& line : lines) {
        printLines(line);
        std::fputc('\n', out_);
    }
    std::fflush(out_);
    int fallback = 0;
    for (const DialogButton& b : buttons)
        if (b.isDefault && !fallback) fallback = b.number;
    Answer next;
    if (!nextAnswer(next, Ask{"button? "})) return fallback;
    static const char* const kWords[] = {"", "ok", "cancel", "abort", "retry", "ignore", "yes", "no"};
    std::string wanted = next.hasText ? next.text : kWords[std::clamp(next.button, 0, 7)];
    bool number = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    if (number && wanted.size() < 6) {
        int n = std::atoi(wanted.c_str());
        for (const DialogButton& b : buttons)
            if (b.number == n) return n;
    }
    std::string plain = plainButtonText(wanted);
    for (const DialogButton& b : buttons)
        if (plainButtonText(b.text) == plain) return b.number;
    return 0;
}

void AppHost::logError(std::string_view text) { protocolLog().writeErrorBox(text); }

FileAnswer AppHost::chooseFiles(const FileRequest& request) {
    FileAnswer answer;
    if (mode_ == Mode::Desktop) {
        FileChooserRequest chooser;
        chooser.save = request.save;
        chooser.multiple = request.multiple;
        chooser.fileMustExist = request.fileMustExist;
        chooser.overwritePrompt = request.overwritePrompt;
        chooser.title = request.title;
        chooser.directory = request.directory;
        chooser.fileName = request.fileName;
        chooser.filters = request.filters;
        chooser.filterIndex = request.filterIndex;
        chooser.owner = request.owner ? request.owner : activeWindow();
        FileChooserResult result = fileChooserDialog(chooser);
        answer.ok = result.ok && !result.paths.empty();
        answer.paths = result.paths;
        answer.filterIndex = result.filterIndex;
        return answer;
    }
    // Batch mode: "[title] initial path", answered by "=path" ("|" between the
    // paths of a multiple selection) or cancel; with no answer, OK with the
    // initial path, unless it names no file where one must exist.
    std::string title = request.title.empty() ? (request.save ? "Save As" : "Open") : request.title;
    printBox(title, request.initialPath);
    answer.filterIndex = request.filterIndex;
    Answer next;
    if (nextAnswer(next, Ask{"path? ", true})) {
        if (!next.hasText) {
            if (next.button == interp::kIdCancel) return answer;
            answer.ok = true;
            answer.paths.push_back(request.initialPath);
            return answer;
        }
        std::string_view rest(next.text);
        while (true) {
            size_t bar = rest.find('|');
            std::string_view one = rest.substr(0, bar);
            if (!one.empty()) answer.paths.emplace_back(one);
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
        answer.ok = !answer.paths.empty();
        return answer;
    }
    answer.ok = !request.initialPath.empty() && (!request.fileMustExist || fileExists(request.initialPosix));
    if (answer.ok) answer.paths.push_back(request.initialPath);
    return answer;
}

void AppHost::consoleWrite(std::string_view text) {
    // The console pane shows it; standard output still gets it (for scripts and logs).
    if (consoleSink_) consoleSink_(text);
    printLines(text);
    std::fflush(out_);
}

void AppHost::showValue(std::string_view expression, std::string_view value) {
    if (consoleSink_) consoleSink_(std::string(expression) + " = " + std::string(value) + "\n");
    printLines(expression);
    std::fputs(" = ", out_);
    printLines(value);
    std::fputc('\n', out_);
    std::fflush(out_);
}

bool AppHost::pumpMessages(int budget) {
    if (quit_) return false;
    // A stop from the terminal (Ctrl-C) is taken once: the macro ends, the program goes on.
    if (stopRequested_.exchange(false, std::memory_order_relaxed)) return false;
    // Nothing can wait for a program that has no windows.
    if (!windowSystemStarted() && queuedMessageCount() == 0) return true;
    uint32_t options = ip_ ? ip_->runOptions() : 0;
    Msg msg;
    for (int served = 0; budget < 0 || served < budget; ++served) {
        if (!peekMessage(msg)) break;
        if (msg.message == WM_QUIT) {
            // The program's own loop ends when it sees the quit message again.
            postQuitMessage(static_cast<int>(msg.wParam));
            quit_ = true;
            return false;
        }
        bool toMain = main_ && msg.hwnd == main_;
        if (toMain && (msg.message == WM_CLOSE ||
                       (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == SC_CLOSE))) {
            postMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
            return false;
        }
        if (toMain && (msg.message == WM_COMMAND || msg.message == kStartMacroMessage)) {
            unsigned id = loWord(msg.wParam);
            if ((id >= 700 && id <= 31003) || (options & interp::kOptAnyCommandStops)) {
                postMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
                return false;
            }
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && (options & interp::kOptEscapeStops) &&
            !platform::isKeyDown(VK_SHIFT) && !platform::isKeyDown(VK_CONTROL) &&
            !platform::isKeyDown(VK_MENU))
            return false;
        if (toMain && msg.message == WM_TIMER && msg.wParam == kStopTimer) {
            killTimer(main_, kStopTimer);
            break;
        }
        dispatch(msg);
    }
    return !quit_;
}

void AppHost::dispatch(const Msg& msg) {
    if (keyFilter_ && keyFilter_(msg)) return;
    for (Hwnd dialog : modelessWindows())
        if (isDialogMessage(dialog, msg)) return;
    translateMessage(msg);
    dispatchMessage(msg);
}

void AppHost::waitWhilePaused(uint8_t& runState) {
    if (mode_ == Mode::Batch) {
        runState &= static_cast<uint8_t>(~(interp::kRunPaused | interp::kRunCommandPending));
        return;
    }
    while ((runState & (interp::kRunPaused | interp::kRunCommandPending)) &&
           (runState & interp::kRunRunning)) {
        if (!pumpMessages(1000)) {
            runState &= static_cast<uint8_t>(~interp::kRunRunning);
            return;
        }
        if (platform::isKeyDown(VK_F5)) runState &= static_cast<uint8_t>(~interp::kRunPaused);
        waitMessage(10);
    }
}

bool AppHost::isKeyDown(int virtualKey) { return platform::isKeyDown(virtualKey); }

// ---- System interfaces (ipc/system)

bool AppHost::setRelativeMousePosition(int x, int y) { return ui::setRelativeMousePosition(x, y); }

// Batch mode: "[SpeechInput] Listening", answered by "=text" (anything else,
// or no answer, is silence: nothing recognised).
bool AppHost::answerSpeechInput(std::string& text) {
    if (mode_ == Mode::Desktop) return false;
    printBox("SpeechInput", "Listening");
    text.clear();
    Answer next;
    if (nextAnswer(next, Ask{"words? ", true}) && next.hasText) text = std::move(next.text);
    return true;
}

void AppHost::postQuit() {
    quit_ = true;
    if (windowSystemStarted()) postQuitMessage(0);
}

}  // namespace tvx::ui
