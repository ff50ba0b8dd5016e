// The dialog framework behind every host dialog: a control's kind follows from
// its id, the values of a dialog's controls live in one control data block,
// typed numbers are committed, check boxes toggled, radio buttons grouped,
// scroll bars driven by the range in their window text, and each user action
// reaches the handler of the dialog's class number as a control event.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/dialog.h"
#include "platform/window/gdi.h"

namespace tvx::ui {

using platform::Hwnd;
using platform::LParam;
using platform::WParam;

// ---- Control-id ranges

enum ControlIds : int {
    kIdListFirst = 1411,
    kIdListLast = 1609,
    kIdComboFirst = 1610,
    kIdComboLast = 2009,
    kIdPushFirst = 7000,
    kIdPushLast = 8199,
    kIdRealEditFirst = 8200,
    kIdRealEditLast = 8399,
    kIdRealScrollFirst = 8400,
    kIdRealScrollLast = 8599,
    kIdCheckFirst = 8600,
    kIdCheckLast = 8799,
    kIdTextFirst = 8800,
    kIdTextLast = 8999,
    kIdIntEditFirst = 9500,
    kIdIntEditLast = 9539,
    kIdTextComboFirst = 9540,
    kIdTextComboLast = 9579,
    kIdIntScrollFirst = 9600,
    kIdIntScrollLast = 9639,
    kIdCrossFirst = 9680,
    kIdCrossLast = 9699,
    kIdRadioFixedFirst = 9820,
    kIdRadioFixedLast = 9859,
    kIdRadioRunFirst = 9860,
    kIdRadioRunLast = 9959,
    kIdResetEvent = 9998,
    kIdNotFramework = 9999,
};

// Most entries each array of the control data block holds.
constexpr int kMaxChecks = 200, kMaxCrossValues = 20, kMaxIntegers = 40, kMaxReals = 200,
              kMaxRadioGroups = 10, kMaxCombos = 40;
constexpr int kMaxModeless = 61;
// Live framework windows: the 32 macro-dialog slots, the watch window and the
// standard dialogs must fit at once.
constexpr int kMaxRegisteredContexts = 64;

// Private messages of the framework.
constexpr unsigned kMsgClose = 1200;       // wParam 1: OK
constexpr unsigned kMsgScroll = 1211;      // scrolling sent by the framework itself
constexpr unsigned kMsgColorRequest = 25;  // to the class handler: wParam is the colour message

// Block flags.
enum BlockFlags : uint32_t {
    kBlockInitialising = 0x08,
    kBlockCreated = 0x20,  // values were just created: read from the controls
    kBlockClearOnCreate = 0x100,
    kBlockColours = 0x0100 << 8,      // high byte 0x01: colour handling on
    kBlockFullDesktop = 0x0200 << 8,  // high byte 0x02
};

// The record of the last control event.
struct ControlEvent {
    int32_t button = 0;     // 1-based push-button number of the last press, 0 if none
    int32_t groupBase = 0;  // 7000 push, 8200 real edit, 8600 check, 9500 integer edit, 9540 combo,
                            // 9680 scroll cross, 9820 radio group
    int32_t index = 0;      // within the group (radio: the group's number)
    double newValue = 0;
    double oldValue = 0;
};

// The values of one dialog's controls. Its arrays are sized from the controls
// that exist in each id range when the dialog is initialised; an index past an
// array is refused with the "Array overflow" box, never written.
class ControlData {
public:
    ControlEvent event;
    uint32_t flags = 0;

    // Sizes the arrays for the ids present (sorted or not). Keeps the values when
    // the layout is the same as before (a dialog opened again); returns whether
    // the values are new.
    bool layout(const std::vector<int>& ids);
    size_t reservedBytes() const { return storage_.size(); }
    size_t layoutBytes() const;

    int checkCount() const { return counts_[kChecks]; }
    int crossCount() const { return counts_[kCross]; }
    int integerCount() const { return counts_[kIntegers]; }
    int realCount() const { return counts_[kReals]; }
    int radioGroupCount() const { return counts_[kRadios]; }
    int comboCount() const { return counts_[kCombos]; }

    // Accessors by index; false (and the overflow box) for an index past the array.
    bool check(int i, uint8_t& value) const;
    bool setCheck(int i, uint8_t value);
    bool crossValue(int i, int32_t& value) const;
    bool setCrossValue(int i, int32_t value);
    bool integer(int i, int32_t& value) const;
    bool setInteger(int i, int32_t value);
    bool real(int i, double& value) const;
    bool setReal(int i, double value);
    bool radio(int group, uint8_t& selected, uint16_t& first, uint16_t& last) const;
    bool setRadio(int group, uint8_t selected);
    bool setRadioRange(int group, uint16_t first, uint16_t last);
    bool combo(int i, uint8_t& selected, bool& hasText, std::string& text) const;
    bool setCombo(int i, uint8_t selected);
    bool setComboText(int i, std::string_view text);
    int32_t windowX() const { return windowX_; }
    int32_t windowY() const { return windowY_; }
    void setWindowPosition(int32_t x, int32_t y);
    bool hasWindowPosition() const { return hasPosition_; }

private:
    enum Array { kChecks, kCross, kIntegers, kReals, kRadios, kCombos, kArrays };
    size_t offset(Array a) const;
    bool inRange(Array a, int i) const;
    template <typename T>
    T read(size_t at) const;
    template <typename T>
    void write(size_t at, T value);

    std::array<int, kArrays> counts_{};
    std::vector<uint8_t> storage_;
    std::vector<int> ids_;
    int32_t windowX_ = 0, windowY_ = 0;
    bool hasPosition_ = false;
};

// What a class handler sees.
enum EventKind : int { kEventRaw = 0, kEventClosing = 1, kEventControl = 2 };

struct DialogContext {
    Hwnd hwnd = 0;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    ControlData* data = nullptr;  // the caller's block, or the context's own when null
    int eventKind = kEventRaw;
    int classNumber = 0;
    uint16_t flags = 0;    // 0x8000: the handler is busy
    void* user = nullptr;  // for the class handler
    bool modal = false;

    // Filled by the framework.
    ControlData ownData;
    int typingEdit = 0;     // an edit that is being typed in
    int lastScrollBar = 0;  // the bar whose scroll text was read last
    struct ScrollText {
        long minimum = 0, maximum = 100;
        unsigned flags = 0;
        double step = 1;
        int page = 10;
    } scrollText;
    uint32_t colourText = 0xFFFFFFFF;  // set by a handler on a colour request
    uint32_t colourBackground = 0xFFFFFFFF;
    ControlData& block() { return data ? *data : ownData; }
};
constexpr uint16_t kContextBusy = 0x8000;

// Returns 0 to let the framework go on (for a close: let the dialog close),
// non-zero to stop it; for a colour request 1 or 2 when it set a colour.
using ClassHandler = std::function<int(DialogContext& context)>;
void setClassHandler(int classNumber, ClassHandler handler);

// The message box the framework's own failures use (the host's routine, with
// its nesting limit); a platform box when none is set.
void setFrameworkMessageBox(
    std::function<int(std::string_view text, std::string_view caption, unsigned style)> box);

// Controls of built-in templates (platform/window/dialog.h).
using platform::templateItem;

// Creates a framework dialog from a template, with the context (kept by the
// caller until the dialog is gone). Modal: runs it and returns the result (1 OK,
// 0 otherwise, -1 when it could not be made). Modeless: returns the window (as a
// number) or 0; the window joins the modeless list.
intptr_t runModalDialog(const platform::DialogTemplate& dialog, Hwnd owner, DialogContext& context,
                        int classNumber);
Hwnd createModelessDialog(const platform::DialogTemplate& dialog, Hwnd owner, DialogContext& context,
                          int classNumber);
// The context of a framework window (null for none).
DialogContext* findContext(Hwnd hwnd);
int registeredContextCount();

// The modeless windows the message pump serves with the dialog manager (61 at
// most; a further one works but is not listed, and the program beeps).
const std::vector<Hwnd>& modelessWindows();

// ---- Colours

// The current colour from a colour code: 0 default, -1 and -4..-235 the button
// face, -2 the configured dialog colour, -3 none; other values as RGB. Returns
// false when the code selects no colour (the control keeps its default).
bool selectColor(int64_t code);
platform::Hgdiobj currentBrush();
platform::ColorRef currentColor();
void setConfiguredDialogColor(platform::ColorRef color);
// The colour a code stands for, without selecting it (kClrInvalid: none/default).
platform::ColorRef colorForCode(int64_t code);

// ---- Scroll texts: "%ld,%ld,%x,%f,%d" (minimum, maximum, flags, step, page)

bool parseScrollText(std::string_view text, DialogContext::ScrollText& out);

// ---- Relative mouse mode (joystick dragging of scroll crosses)

struct RelativeMouse {
    bool active = false;
    Hwnd dialog = 0;
    int x = 0, y = 0;  // summed relative position
    int minX = -32768, maxX = 32767, minY = -32768, maxY = 32767;
    uint32_t lastMoveTime = 0;
    unsigned buttons = 0;   // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON
    platform::Point pin;    // where the cursor is held
    platform::Point saved;  // where it was before
};
const RelativeMouse& relativeMouse();
void beginRelativeMouse(Hwnd dialog, int minX, int maxX, int minY, int maxY);
// A mouse move to the screen point; returns whether it was taken.
bool relativeMouseMove(platform::Point screen, unsigned buttons, uint32_t time);
// Sets the relative position (clamped to the bars' ranges), as PositCursor does
// while the mode is on; false when it is off.
bool setRelativeMousePosition(int x, int y);
void endRelativeMouse();

}  // namespace tvx::ui
