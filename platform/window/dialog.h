// Dialogs: the standard in-memory dialog template, dialog units, and dialog
// windows built from templates, modal and modeless, with the dialog manager's
// keyboard rules (Enter chooses the default button, Escape cancels).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace tvx::platform {

// ---- Templates (the standard, not extended, binary layout)

// A class given as ordinal: 0x80 Button, 0x81 Edit, 0x82 Static, 0x83 ListBox,
// 0x84 ScrollBar, 0x85 ComboBox.
struct DialogItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    std::string className;  // the class name (an ordinal becomes its name)
    std::string text;       // the title (ANSI); an ordinal title is kept in textOrdinal
    int textOrdinal = -1;
    std::vector<uint8_t> creationData;
};

struct DialogTemplate {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    std::string className;
    std::string title;
    uint16_t pointSize = 0;  // with DS_SETFONT
    std::string faceName;
    std::vector<DialogItem> items;
};

// A visible child control of a dialog template: class, style bits besides
// WS_CHILD | WS_VISIBLE, id, position and size in dialog units, text.
DialogItem templateItem(const char* className, uint32_t style, int id, int x, int y, int cx, int cy,
                        const char* text = "");

// Parses a template from bytes. Counts and sizes are checked against the bytes
// given, so a template that claims more items or longer texts than it holds is
// refused, and error receives the reason. Texts come back as utf16ToAnsi gives
// them.
bool parseDialogTemplate(std::span<const uint8_t> bytes, DialogTemplate& out, std::string& error);
// The binary form of a template (DWORD-aligned items, texts in UTF-16).
std::vector<uint8_t> buildDialogTemplate(const DialogTemplate& dialog);

// Converts an ANSI text (UTF-8 when valid, else Windows-1252) to UTF-16, and
// back: Windows-1252 when every character has a byte there, else UTF-8.
std::u16string ansiToUtf16(std::string_view text);
std::string utf16ToAnsi(std::u16string_view text);

// ---- Dialog units

// The fixed base that turns dialog units into pixels, so that every template
// looks as designed whatever font the desktop uses: x pixels = units * 6 / 4,
// y pixels = units * 13 / 8.
constexpr int kDialogBaseX = 6;
constexpr int kDialogBaseY = 13;
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);
Rect mapDialogRect(Rect units);
// (kDialogBaseY << 16) | kDialogBaseX, as GetDialogBaseUnits answers.
long dialogBaseUnits();

// ---- Dialog windows

// Creates a modeless dialog from a template (template bytes or a parsed one):
// the dialog window, then its controls, then WM_SETFONT and WM_INITDIALOG with
// initParam; shown when the template has WS_VISIBLE. 0 on failure (a template
// that does not parse, a procedure that destroyed the dialog).
Hwnd createDialogIndirect(std::span<const uint8_t> bytes, Hwnd owner, DialogProc proc, LParam initParam);
Hwnd createDialog(const DialogTemplate& dialog, Hwnd owner, DialogProc proc, LParam initParam);
// Runs a modal dialog: disables the owner, shows the dialog, serves messages until
// endDialog is called, and returns its result; -1 when the dialog cannot be made.
// A WM_QUIT that arrives meanwhile ends the dialog (result 0) and is posted again.
intptr_t dialogBoxIndirect(std::span<const uint8_t> bytes, Hwnd owner, DialogProc proc, LParam initParam);
intptr_t dialogBox(const DialogTemplate& dialog, Hwnd owner, DialogProc proc, LParam initParam);
// Ends a modal dialog with the result (the dialog is destroyed when its loop ends).
bool endDialog(Hwnd dialog, intptr_t result);
// The dialog manager's keyboard handling for msg when it belongs to dialog: Enter
// sends WM_COMMAND with the default id (IDOK when none; the focused push button
// when one has the focus) and lParam 0, Escape sends IDCANCEL with lParam 0.
// True when msg was consumed.
bool isDialogMessage(Hwnd dialog, const Msg& msg);
bool isDialog(Hwnd hwnd);
// The modal dialogs that are running, innermost last.
std::vector<Hwnd> modalDialogs();

// Dialog helpers that the framework uses.
bool setDialogItemText(Hwnd dialog, int id, std::string_view text);
std::string dialogItemText(Hwnd dialog, int id);
LResult sendDialogItemMessage(Hwnd dialog, int id, unsigned message, WParam wParam = 0, LParam lParam = 0);
bool checkDialogButton(Hwnd dialog, int id, unsigned state);
unsigned isDialogButtonChecked(Hwnd dialog, int id);
// Checks last..first's one button id and unchecks the others of the range.
bool checkRadioButton(Hwnd dialog, int firstId, int lastId, int checkId);

// ---- Scroll bars of controls (SB_CTL) and of windows (SB_HORZ, SB_VERT)

int setScrollPos(Hwnd hwnd, int bar, int position, bool redraw = true);
int scrollPos(Hwnd hwnd, int bar);
// Where the person last dragged the thumb (SIF_TRACKPOS): the whole position,
// where WM_HSCROLL and WM_VSCROLL carry only its low 16 bits.
int scrollTrackPos(Hwnd hwnd, int bar);
bool setScrollRange(Hwnd hwnd, int bar, int minimum, int maximum, bool redraw = true);
bool scrollRange(Hwnd hwnd, int bar, int& minimum, int& maximum);
// Page size of a bar (0: none); also shows or hides a window's own bar.
bool setScrollPage(Hwnd hwnd, int bar, unsigned page);
bool showScrollBar(Hwnd hwnd, int bar, bool show);

}  // namespace tvx::platform
