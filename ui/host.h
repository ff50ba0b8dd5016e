// The program's user interface as the interpreter sees it: one implementation
// for both modes. On a desktop, boxes are real modal dialogs; in batch mode the
// same requests are printed as "[caption] text" and answered from a queue. Both
// share everything up to that last step, so the two modes cannot drift apart.
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "interp/api.h"
#include "platform/window/window.h"

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ui {

using interp::FileAnswer;
using interp::FileRequest;

class AppHost : public interp::Host {
public:
    enum class Mode { Batch, Desktop };
    explicit AppHost(Mode mode, std::FILE* out = stdout);
    ~AppHost() override;

    Mode mode() const { return mode_; }
    void setMode(Mode mode) { mode_ = mode; }
    // Parses "--answers": ok, cancel, yes, no, abort, retry, ignore, or =text.
    // Returns false (and names the bad item) for an unknown answer.
    bool setAnswers(std::string_view list, std::string& badItem);
    // Connects the host to the interpreter it serves (run options, the
    // message-box routine for the framework's own boxes).
    void attach(interp::Interpreter& ip);
    interp::Interpreter* interpreter() const { return ip_; }
    // The main window: a close or a menu command to it stops a running macro.
    void setMainWindow(platform::Hwnd hwnd) { main_ = hwnd; }
    platform::Hwnd mainWindow() const { return main_; }
    bool quitRequested() const { return quit_; }

    // Where answers come from once the --answers queue is empty: in the
    // terminal console, the person at the terminal. The reader shows the
    // prompt and reads one line; it returns false at the end of the input or
    // when the person interrupts (which cancels the box).
    using AnswerReader = std::function<bool(std::string_view prompt, std::string& line)>;
    void setAnswerReader(AnswerReader reader) { reader_ = std::move(reader); }
    // Asks the running macro to stop at its next line, as closing the main
    // window does (Ctrl-C in the console). Safe in a signal handler.
    void requestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
    void clearStop() { stopRequested_.store(false, std::memory_order_relaxed); }

    interp::BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned style) override;
    interp::BoxAnswer inputBox(interp::InputKind kind, std::string_view caption, std::string_view prompt,
                               std::string& text, bool withCancel) override;
    void consoleWrite(std::string_view text) override;
    void showValue(std::string_view expression, std::string_view value) override;
    bool pumpMessages(int budget) override;
    void waitWhilePaused(uint8_t& runState) override;
    void debugHalted() override {
        if (haltHandler_) haltHandler_();
    }

    // What the desktop program does when the debugger halts a macro (shows
    // where), and the keys it takes before any window sees them (the debug
    // keys): the filter returns true for a message it has handled.
    void setHaltHandler(std::function<void()> handler) { haltHandler_ = std::move(handler); }
    const std::function<void()>& haltHandler() const { return haltHandler_; }
    void setKeyFilter(std::function<bool(const platform::Msg&)> filter) { keyFilter_ = std::move(filter); }
    // Where the desktop program shows the failing place of an error box.
    void setErrorHandler(std::function<void(const interp::ErrorPlace&)> handler) {
        errorHandler_ = std::move(handler);
    }
    void errorShown(const interp::ErrorPlace& place) override {
        if (errorHandler_) errorHandler_(place);
    }
    // The console pane of the desktop program: console output and "?" lines go
    // there too (besides standard output) while a sink is set.
    void setConsoleSink(std::function<void(std::string_view)> sink) { consoleSink_ = std::move(sink); }
    bool hasConsoleSink() const { return static_cast<bool>(consoleSink_); }
    // Hands one message to the key filter, the modeless dialogs' keyboard
    // handling, or its window (what every message loop of the program does).
    void dispatch(const platform::Msg& msg);
    bool isKeyDown(int virtualKey) override;
    void postQuit() override;

    FileAnswer chooseFiles(const FileRequest& request) override;
    void logError(std::string_view text) override;

    // ---- Macro dialogs (ui/dialogs)
    struct DialogButton {
        int number = 0;  // the push button's number
        std::string text;
        bool isDefault = false;
    };
    // A modal macro dialog in batch mode: prints "[caption] dialog" and the
    // texts of its controls, one a line, and takes the next answer: "=n" names
    // the push button of number n, "=text" or a word (ok, yes, ...) the one of
    // that text (without its "&", in any case); cancel, or an answer that names
    // no button, presses none. With the queue empty the default button is
    // pressed. Returns the number of the button pressed, 0 for none.
    int answerDialog(std::string_view caption, const std::vector<std::string>& lines,
                     const std::vector<DialogButton>& buttons);

    // System interfaces (ipc/system)
    bool setRelativeMousePosition(int x, int y) override;
    bool answerSpeechInput(std::string& text) override;

private:
    struct Answer {
        int button = interp::kIdNone;
        bool hasText = false;
        std::string text;
    };
    // What a box asks for: the prompt of a typed answer, and whether the
    // line typed is a text (input boxes, file names) or names a button. A
    // message box takes only the words of the buttons its style offers.
    struct Ask {
        std::string_view prompt;
        bool text = false;
        bool messageBox = false;
        unsigned style = 0;
        bool noTyping = false;  // only the queue answers
    };
    // The next answer: from the queue, else typed (when a reader is set).
    // False when there is none: the box takes its default.
    bool nextAnswer(Answer& answer, const Ask& ask);
    bool typedAnswer(Answer& answer, const Ask& ask);
    void printBox(std::string_view caption, std::string_view text);
    void printLines(std::string_view text);

    Mode mode_;
    std::FILE* out_;
    std::deque<Answer> answers_;
    interp::Interpreter* ip_ = nullptr;
    platform::Hwnd main_ = 0;
    bool quit_ = false;
    AnswerReader reader_;
    std::function<void()> haltHandler_;
    std::function<bool(const platform::Msg&)> keyFilter_;
    std::function<void(const interp::ErrorPlace&)> errorHandler_;
    std::function<void(std::string_view)> consoleSink_;
    std::atomic<bool> stopRequested_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "requestStop is called from a signal handler");
};

// The button a message box of that style takes when nobody answers, and whether
// the style offers a button.
int defaultButton(unsigned style);
bool offersButton(unsigned style, int button);

}  // namespace tvx::ui
