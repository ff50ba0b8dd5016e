// What the interpreter needs from the user interface. The interpreter never
// includes a toolkit: the desktop program and the batch mode implement this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvx::interp {

// Message-box styles and button codes, with their standard numeric values,
// because macros pass and receive them as numbers.
enum MessageBoxStyle : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbButtonsMask = 0xF,
    kMbIconHand = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconAsterisk = 0x40,
    kMbIconMask = 0xF0,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
};

enum ButtonCode : int {
    kIdNone = 0,
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};

enum ModifierKeys : unsigned {
    kModShift = 1,
    kModControl = 2,
    kModAlt = 4,
};

struct BoxAnswer {
    int button = kIdNone;
    unsigned modifiers = 0;  // keys held when the box was closed
};

enum class InputKind { Number, Text };

// A file chooser request as the FileDialog function builds it.
struct FileRequest {
    bool save = false;
    bool multiple = false;
    bool fileMustExist = false;
    bool pathMustExist = false;
    bool overwritePrompt = false;
    std::string title;
    std::string initialPath;   // as the macro wrote it: folder and name
    std::string initialPosix;  // the same as a POSIX path
    std::string directory;     // the folder as a POSIX path
    std::string fileName;
    std::vector<std::pair<std::string, std::string>> filters;  // description, patterns
    int filterIndex = 1;
    uint64_t owner = 0;  // the window handle that owns the chooser, or 0
};

struct FileAnswer {
    bool ok = false;
    // What was chosen: POSIX paths from a chooser, the texts as answered in batch mode.
    std::vector<std::string> paths;
    int filterIndex = 1;
};

// Where a macro error happened: the macro (its file name, "" for a macro given
// as text), the offset in its text where the failing statement's line starts
// (after its leading blanks), the 1-based line and the column the scanner had
// reached in that line.
struct ErrorPlace {
    std::string fileName;
    std::string path;  // the macro's directory
    size_t lineStart = 0;
    int line = 0;
    int column = 0;
};

class Host {
public:
    virtual ~Host() = default;

    // A modal message box; returns the button and the modifier keys held.
    virtual BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned style) = 0;

    // An input box for a number or a text. text holds the initial text and
    // receives the answer; withCancel offers a Cancel button. caption names the
    // box ("Input", "StrInput") where a caption can be shown.
    virtual BoxAnswer inputBox(InputKind kind, std::string_view caption, std::string_view prompt,
                               std::string& text, bool withCancel) = 0;

    // The console sink (Watch Window console, or standard output).
    virtual void consoleWrite(std::string_view text) = 0;

    // A "?expr" line: the expression's text and its value as the Watch Window shows it.
    virtual void showValue(std::string_view expression, std::string_view value) = 0;

    // Serves pending user-interface events, at most budget of them. Returns
    // false when the program is asked to quit or the macro to stop.
    virtual bool pumpMessages(int budget) = 0;

    // Called while the run state says paused (Stop, the debugger): serve the
    // user interface until the user continues, by clearing the paused bits of
    // runState or the running bit. Batch mode has nobody to continue: it resumes.
    virtual void waitWhilePaused(uint8_t& runState) { runState &= static_cast<uint8_t>(~0x24); }

    // The run loop has halted before a line for the debugger (single step, a
    // step or run target reached); waitWhilePaused follows.
    virtual void debugHalted() {}

    // True while the key with the given virtual-key code is held down.
    virtual bool isKeyDown(int virtualKey) {
        (void)virtualKey;
        return false;
    }

    // Ends the program's event loop (Terminate).
    virtual void postQuit() {}

    // A file chooser (FileDialog). Without a user interface nobody chooses.
    virtual FileAnswer chooseFiles(const FileRequest& request) {
        (void)request;
        return {};
    }

    // An error box of a macro line was closed (not for errors of typed text):
    // the desktop selects the failing place in its editor.
    virtual void errorShown(const ErrorPlace& place) { (void)place; }

    // An error box's text, also kept in the program's log (the protocol log).
    virtual void logError(std::string_view text) { (void)text; }

    // ---- System interfaces (ipc/system)

    // PositCursor while a scroll cross is dragged like a joystick (relative
    // mouse mode): sets the summed relative position and returns true; false
    // when the mode is off, and the mouse cursor moves instead.
    virtual bool setRelativeMousePosition(int x, int y) {
        (void)x, (void)y;
        return false;
    }
    // SpeechInput where nobody can speak (batch mode): the host answers as it
    // answers an input box and returns true; false where the microphone is
    // to be listened to.
    virtual bool answerSpeechInput(std::string& text) {
        (void)text;
        return false;
    }
};

}  // namespace tvx::interp
