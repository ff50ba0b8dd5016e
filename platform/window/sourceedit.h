// The source editor control: a multi-line edit of the class "TolvexSource"
// with a line-number margin, colouring of the language's words, comments and
// strings, breakpoint marks in the margin and a mark for the line a halted
// macro stands at. Everything else (text, selection, EM_* messages, EN_CHANGE)
// is the edit control's.
//
// A click in the margin does not change the marks by itself: the editor's
// parent receives WM_COMMAND with SEN_MARGINCLICK and reads the clicked line
// with sourceMarginLine(), then sets the marks it keeps. The marks stay with
// their lines while the person edits (SEN_MARKSMOVED tells the parent); a new
// text (WM_SETTEXT) keeps them at their numbers.
#pragma once

#include <string>
#include <vector>

#include "platform/window/window.h"

namespace tvx::platform {

constexpr const char* kSourceEditClass = "TolvexSource";
// WM_COMMAND notification of a click in the margin.
constexpr unsigned SEN_MARGINCLICK = 0x0710;
// WM_COMMAND notification: typing moved the marks with their lines (lines
// added or removed above them; a removed line takes its mark along).
constexpr unsigned SEN_MARKSMOVED = 0x0711;

// Command keys: the editor does not act on the function keys and on Ctrl with
// a letter; it queues them as WM_KEYDOWN for its window (the program's key
// filter takes them), with these bits in lParam telling the modifiers held.
constexpr int64_t kSourceKeyShift = int64_t{1} << 32;
constexpr int64_t kSourceKeyControl = int64_t{1} << 33;

// The words the editor colours, matched without regard to case: statements,
// functions and status variables (written without their "!").
struct SourceWords {
    std::vector<std::string> statements;
    std::vector<std::string> functions;
    std::vector<std::string> statusVariables;
};
// Sets the words of every source editor (shown from the next repaint on).
void setSourceWords(SourceWords words);
const SourceWords& sourceWords();

// What a word is to the editor's colouring: 0 nothing, 1 statement, 2 function,
// 3 status variable (with its leading "!").
int sourceWordKind(std::string_view word);

// The 1-based lines marked as breakpoints (sorted, without repeats).
bool setSourceMarks(Hwnd editor, std::vector<int> lines);
std::vector<int> sourceMarks(Hwnd editor);
// The 1-based line a halted macro stands at (0: none).
bool setSourceCurrentLine(Hwnd editor, int line);
int sourceCurrentLine(Hwnd editor);
// The line of the last click in the margin (0: none yet).
int sourceMarginLine(Hwnd editor);
// What a click in the margin at that 1-based line does: records the line and
// notifies the parent. The toolkit calls it; tests may too.
void clickSourceMargin(Hwnd editor, int line);
// True for a window of the source editor class.
bool isSourceEditor(Hwnd hwnd);

}  // namespace tvx::platform
