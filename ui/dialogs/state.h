// The state of the dialogs that macros build, kept per interpreter: 32 dialog
// slots with the controls tied to macro variables, the template being built,
// the id counters, the event word and flag byte, and the font cache. Shared by
// the files of ui/dialogs only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "interp/api.h"
#include "platform/window/gdi.h"
#include "platform/window/window.h"
#include "ui/dialogs/template_buffer.h"
#include "ui/framework.h"

namespace tvx::ui {
class AppHost;
}

namespace tvx::ui::dialogs {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;
using platform::Hwnd;

constexpr int kSlotCount = 32;
// Only the dialogs of the first eight slots report to the macro; further ones
// are shown, but their events are ignored.
constexpr int kReportingSlots = 8;
constexpr size_t kMaxBindings = 250;
// Dialog handle numbers are 31696 + slot; control handle numbers are the dialog
// handle number times 65536 plus the control id.
constexpr int kHandleBase = 31696;
constexpr int kFirstDialogClass = 64;
// The id of controls that are tied to nothing (texts, group boxes).
constexpr int kUntiedId = 9999;
// Room that VarText and wide EditText variables are given.
constexpr size_t kWideRoom = 260;

// The event word (!DlgEvent) and the dialog flag byte (!DlgFlags).
enum EventBits : uint32_t {
    kEventPushed = 0x0108,
    kEventValueChanged = 0x0104,
    kEventCommand = 0x1000,
    kEventTextChanged = 0x1300,
    kEventListNote = 0x0500,
    kEventComboNote = 0x0900,
    kEventPaint = 0x2000,
    kEventRelativeMouse = 0x4000,
};
enum FlagBits : uint8_t {
    kFlagPaint = 0x01,
    kFlagMouse = 0x02,
    kFlagValue = 0x04,
    kFlagPushed = 0x08,
};

// Private messages a macro dialog sends itself, to act once its handler has
// returned (the framework ignores messages that arrive while the handler runs).
constexpr unsigned kMsgApplyColors = platform::win::WM_USER + 0x3A0;
constexpr unsigned kMsgBatchAnswer = platform::win::WM_USER + 0x3A1;

// One control tied to a macro variable.
struct Binding {
    int id = 0;
    uint32_t variable = 0;  // the variable id, low 30 bits
    // The table the variable lived in when it was tied (compared, never read):
    // an id found in another table (a called macro's) is not the tied variable.
    const void* table = nullptr;
    int64_t element = -1;   // an element of the variable's data block, -1 for the whole variable
    int32_t textColor = 0;  // colour codes, 0 = default
    int32_t backColor = 0;
    uint32_t flags = 0;  // kBindingChanged
    int32_t option = 0;  // the edit kind, or the push button's style
    size_t cutAt = 0;    // string-tied edits that cut a longer text to this length (0: the variable grows)
};
constexpr uint32_t kBindingChanged = 0x1;

class MacroDialogs;

struct Slot {
    int number = 0;
    MacroDialogs* owner = nullptr;
    std::vector<Binding> bindings;
    int32_t background = 0;  // colour code of the dialog, 0 = default
    DialogContext context;   // the framework's context of the slot's window
    bool live = false;       // shown modeless and kept
    bool modal = false;      // its window is a modal dialog that runs now
    int endMode = 0;         // of a modal dialog: which push buttons end it
    int draggedCross = 0;    // the x bar of the scroll cross dragged in relative mouse mode

    Hwnd hwnd() const { return context.hwnd; }
    // A slot is taken while it has bindings or a window.
    bool occupied() const { return !bindings.empty() || context.hwnd != 0; }
    Binding* bindingOfControl(int id);
    Binding* bindingOfVariable(uint32_t variable);
    // The binding of the n-th radio group (radio groups are counted by their bindings).
    Binding* radioBinding(int group);
    int radioGroupOf(int id) const;
};

// The running id counters of the dialog being built.
struct IdCounters {
    int realEdit = kIdRealEditFirst;
    int check = kIdCheckFirst;
    int push = kIdPushFirst;
    int radio = kIdRadioRunFirst;
    int text = kIdTextFirst;
    int list = kIdListFirst;
    int list2 = 1511;
    int combo = kIdComboFirst;
    int combo2 = 1810;
    int cross = kIdCrossFirst;
    int lastRealEdit = 0;       // the most recent EditNumber, which a ScrollBar pairs with
    int radioGroup = 0;         // the first id of the radio group being filled, 0 before the first
    Binding radioGroupBinding;  // the variable of that group
    std::vector<int> pushIds;
};

struct CachedFont {
    platform::Hgdiobj font = 0;
    platform::LogFont description;
};
constexpr int kFontSlots = 9;
constexpr int kMeasureFontSlot = 8;

class MacroDialogs : public interp::FamilyState {
public:
    MacroDialogs();
    ~MacroDialogs() override;
    MacroDialogs(const MacroDialogs&) = delete;
    MacroDialogs& operator=(const MacroDialogs&) = delete;

    // The top-level macro ended: its dialogs close, the template goes.
    void endOfRun(Interpreter& ip) override;

    Interpreter* ip = nullptr;
    std::array<Slot, kSlotCount> slots;
    int current = 0;
    TemplateBuffer dialogTemplate;
    IdCounters ids;
    // Written on the user-interface thread, read (and cleared) by whoever reads
    // the status variables, which another thread may do.
    std::atomic<uint32_t> eventWord{0};
    std::atomic<uint8_t> flagByte{0};
    bool systemClose = false;  // the person closed a dialog through its frame
    int fullDesktopSlot = -1;  // the dialog in full-desktop state, -1 for none
    platform::WindowPlacement savedPlacement;
    Hwnd owner = 0;  // the owner of the dialog being built
    std::array<CachedFont, kFontSlots> fonts;
    uint32_t lastMouseMove = 0;  // tick count of the last mouse move over a macro dialog

    Slot& currentSlot() { return slots[static_cast<size_t>(current)]; }
    // ORs bits into the event word and the flag byte; a macro waiting on the
    // wake-up event resumes when the new bits meet its mask.
    void addEvent(uint32_t bits, uint8_t flags);
    // Closes the slot's window (sending it Cancel first when asked) and frees its bindings.
    void closeSlot(Slot& slot, bool sendCancel);
    void closeAll();
    // The host, when it is the program's own (batch answers, the main window).
    AppHost* appHost() const;
};

// The state of ip's macro dialogs.
MacroDialogs& macroDialogs(Interpreter& ip);

// The slot a dialog argument names: a dialog handle number (31696 + slot) or
// the window of a macro dialog; 0, an omitted argument or anything else is the
// current dialog.
Slot& designatedSlot(MacroDialogs& dialogs, const interp::CallArgs& args, int index);

// A control designated by its tied variable (and an index), as ShowControl,
// SetControl, GetControl, ControlHandle and SetScrollBar find it.
struct ControlLookup {
    Hwnd control = 0;
    int id = 0;
    Binding* binding = nullptr;  // the binding found for the variable, or null
};
ControlLookup lookUpControl(Slot& slot, interp::CallArgs& args, int variableIndex, int index);

// The window of a control handle number, 0 when it names none.
Hwnd controlOfHandleNumber(MacroDialogs& dialogs, int64_t number);

// ---- The variables tied to controls (under the variable-access lock, as
// another thread may read or write variables meanwhile)

bool readNumber(Interpreter& ip, const Binding& binding, double& value);
void writeNumber(Interpreter& ip, const Binding& binding, double value);
// A string variable's text and its room (the characters it holds, as StrDef sets it).
bool readText(Interpreter& ip, const Binding& binding, std::string& text, size_t* room = nullptr);
void writeText(Interpreter& ip, const Binding& binding, std::string_view text);
// A binding of the variable (or element) that argument index names.
Binding bindingFor(interp::CallArgs& args, int index, int id);
// Whether two bindings tie the same variable (or element).
bool sameVariable(const Binding& a, const Binding& b);
// Whether a binding ties the variable (or element) that argument index names.
bool bindsArgument(const Binding& binding, interp::CallArgs& args, int index);

// ---- Setting controls without the framework reporting it back

// Sets the busy flag of the slot's context while it lives, so that the
// notifications the changes cause are not taken as user input.
class QuietControls {
public:
    explicit QuietControls(Slot& slot);
    ~QuietControls();
    QuietControls(const QuietControls&) = delete;
    QuietControls& operator=(const QuietControls&) = delete;

private:
    DialogContext& context_;
    uint16_t before_;
};

// Puts every tied variable's value into its control and into the framework's
// control data block (SetDialog, and the dialog's initialisation).
void refreshControls(Interpreter& ip, Slot& slot);

// ---- Scroll bars: the range a macro gives, scaled to positions the bar can hold

struct ScrollScale {
    int minimum = 0;  // positions
    int maximum = 0;
    double step = 1;  // value = position * step
    int page = 10;
};
// Scroll-text flags: 0x01 a click on the track moves the thumb there, 0x02 and
// 0x08 joystick dragging of a scroll cross, 0x04 a track click is a command.
constexpr unsigned kTrackClick = 0x1;
constexpr unsigned kJoystick = 0xF;
// The step (0 counts as 1) grows 1, 2, 5, 10, 20, 50 ... until the larger of
// |minimum| and |maximum| is at most 32767 steps; the page is 10 positions, or
// 100 when the range spans 1001 positions or more.
ScrollScale scrollScale(double minimum, double maximum, double step);
// The window text of a framework scroll bar: "min,max,flags(hex),step,page".
std::string scrollText(const ScrollScale& scale, unsigned flags);

// ---- The font cache

// The logical font for a face, a size (points; negative: the logical height;
// with bit 0x4000: the logical height in the low 14 bits), style bits (bold,
// italic, underline, strike-out, orientation, escapement) and a width.
platform::LogFont logicalFont(std::string_view face, int size, int style, int width);
// A font from the cache: a slot holding the same description is reused; else
// the font is made into the slot asked for (0: the first free one, 7 when none
// is free), replacing the font that was there. 0 when it cannot be made.
platform::Hgdiobj cachedFont(MacroDialogs& dialogs, const platform::LogFont& font, int slot);
// Empties a slot of the cache (its font is deleted).
void dropFont(MacroDialogs& dialogs, int slot);

// A modal dialog in batch mode: prints it, presses the button the answer queue
// names, and ends it.
void answerInBatch(Slot& slot);

// ---- Registration of the families of ui/dialogs

void registerBuildCommands(Interpreter& ip);
void registerShowCommands(Interpreter& ip);
void registerControlCommands(Interpreter& ip);
void registerFontCommands(Interpreter& ip);
void registerDialogStatus(Interpreter& ip);
// The handler of the framework classes 64..95.
int handleDialogEvent(DialogContext& context);

}  // namespace tvx::ui::dialogs
