// Building a macro dialog: BeginDialog starts a template in a dialog slot, and
// each control command appends one control to it and ties it to a variable.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/window/dialog.h"
#include "ui/dialogs/state.h"
#include "ui/host.h"

namespace tvx::ui::dialogs {

using namespace platform::win;

namespace {

constexpr uint32_t kChildVisible = WS_CHILD | WS_VISIBLE;
// The style a dialog gets when the macro gives none (or only the low bits).
constexpr uint32_t kPopupCaption = WS_POPUP | WS_CAPTION;

int16_t clamp16(int value, int low, int high) { return static_cast<int16_t>(std::clamp(value, low, high)); }

// The average character width that turns pixels into dialog units. Here dialog
// units become pixels by one fixed base whatever font a dialog uses, so that
// base is the width: a width measured in the dialog's font then fits its text.
int averageCharWidth() { return static_cast<int>(platform::dialogBaseUnits() & 0xFFFF); }

// The width of a text in dialog units, measured with the dialog's font.
int textWidthUnits(MacroDialogs& dialogs, std::string_view text) {
    platform::startWindowSystem(false);
    AppHost* host = dialogs.appHost();
    Hwnd main = host && platform::isWindow(host->mainWindow()) ? host->mainWindow() : 0;
    platform::Hdc dc = platform::getDC(main);
    int pixels = 0, height = 0;
    if (dc) {
        platform::Hgdiobj font = dialogs.fonts[kMeasureFontSlot].font;
        platform::Hgdiobj old = font ? platform::selectObject(dc, font) : 0;
        platform::textExtent(dc, text, pixels, height);
        if (font) platform::selectObject(dc, old);
        platform::releaseDC(main, dc);
    }
    return (pixels * 4 + 4) / averageCharWidth();
}

// What this toolkit's check box and radio button draw beside their text
// beyond the 10 units the box takes in the dialogs these macros were written
// for: a larger indicator and a wider gap (about 7 pixels more).
constexpr int kToolkitBoxExtra = 5;

// What check boxes and radio buttons add to their text for the box: 10 units
// and a correction by the average character width.
int boxUnits() {
    int b = averageCharWidth();
    int correction = b <= 3    ? 10
                     : b == 4  ? 6
                     : b == 5  ? 4
                     : b == 6  ? 2
                     : b == 7  ? 1
                     : b <= 9  ? 0
                     : b <= 11 ? -1
                               : -2;
    return 10 + correction + kToolkitBoxExtra;
}

// Appends a control to the template of the current dialog; false when there is
// no template or it is full (the control is dropped).
bool appendControl(MacroDialogs& dialogs, uint32_t style, int x, int y, int cx, int cy, int id, uint16_t atom,
                   std::string_view text) {
    TemplateBuffer::Item item;
    item.style = style;
    item.x = static_cast<int16_t>(x);
    item.y = static_cast<int16_t>(y);
    item.cx = static_cast<int16_t>(cx);
    item.cy = static_cast<int16_t>(cy);
    item.id = static_cast<uint16_t>(id);
    item.atom = atom;
    item.text = text;
    return dialogs.dialogTemplate.append(item);
}

// Ties a control to a variable (at most 250 per dialog: the rest are shown untied).
Binding* bind(MacroDialogs& dialogs, Binding binding) {
    Slot& slot = dialogs.currentSlot();
    if (slot.bindings.size() >= kMaxBindings) return nullptr;
    slot.bindings.push_back(binding);
    return &slot.bindings.back();
}

int optionalInt(const CallArgs& args, int index, int fallback) {
    return args.present(index) && args.l(index) != 0 ? args.l(index) : fallback;
}

// ---- BeginDialog x, y, width, height, title; owner, style, background, font name, font size

// The slot for a new dialog, from the current one on: a free slot, or one that
// was built but never shown (its bindings go). A shown one is never taken.
int takeSlot(MacroDialogs& dialogs) {
    for (int tries = 0; tries < kSlotCount; ++tries) {
        Slot& slot = dialogs.slots[static_cast<size_t>((dialogs.current + tries) % kSlotCount)];
        if (slot.live || slot.hwnd()) continue;
        slot.bindings.clear();
        return slot.number;
    }
    return -1;
}

Hwnd ownerWindow(MacroDialogs& dialogs, int32_t owner) {
    switch (owner) {
    case 0: {
        AppHost* host = dialogs.appHost();
        return host ? host->mainWindow() : 0;
    }
    case 1: return platform::activeWindow();
    case -1: return 0;
    default: {
        Hwnd hwnd = static_cast<Hwnd>(static_cast<uint32_t>(owner));
        return platform::isWindow(hwnd) ? hwnd : 0;
    }
    }
}

Error beginDialog(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    dialogs.dialogTemplate.release();
    int number = takeSlot(dialogs);
    if (number < 0) return interp::kTooManyDialogs;

    uint32_t style = static_cast<uint32_t>(args.l(6));
    if (style < 0x10000) style |= kPopupCaption;
    std::string_view face = args.text(8);
    if (!face.empty()) style |= DS_SETFONT;
    int32_t size = args.l(9);
    int16_t points = static_cast<int16_t>(size > 0 ? (size & 0xFF) : size == 0 ? 10 : size);
    if (face.empty()) face = "System";

    TemplateBuffer::Header header;
    header.style = style;
    header.x = clamp16(args.i(0), -1024, 2048);
    header.y = clamp16(args.i(1), -1024, 2048);
    header.cx = clamp16(args.i(2), 0, 2048);
    header.cy = clamp16(args.i(3), 0, 2048);
    header.title = args.text(4);
    header.pointSize = points;
    header.faceName = face;
    // Without memory the dialog is silently not built: later controls find no
    // template and EndDialog shows nothing.
    dialogs.dialogTemplate.begin(header);
    if (style & DS_SETFONT)
        cachedFont(dialogs, logicalFont(face, points, 0, 0), kMeasureFontSlot);
    else
        dropFont(dialogs, kMeasureFontSlot);

    dialogs.ids = IdCounters{};
    dialogs.current = number;
    Slot& slot = dialogs.currentSlot();
    slot.background = args.l(7);
    slot.bindings.clear();
    slot.live = false;
    slot.modal = false;
    slot.endMode = 0;
    dialogs.owner = ownerWindow(dialogs, args.present(5) ? args.l(5) : 0);
    return kOk;
}

// ---- Texts and group boxes (tied to nothing)

// Text x, y, text; style, width, height
Error text(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    std::string_view caption = args.text(2);
    int width = args.l(4) != 0 ? args.l(4) : textWidthUnits(dialogs, caption);
    int height = optionalInt(args, 5, 8);
    uint32_t style = (static_cast<uint32_t>(args.l(3)) | SS_LEFT) ^ kChildVisible;
    appendControl(dialogs, style, args.i(0), args.i(1), width, height, kUntiedId, kAtomStatic, caption);
    return kOk;
}

// GroupBox x, y, width, height, text; style
Error groupBox(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    uint32_t style = (static_cast<uint32_t>(args.l(5)) | BS_GROUPBOX) ^ kChildVisible;
    appendControl(dialogs, style, args.i(0), args.i(1), args.i(2), args.i(3), kUntiedId, kAtomButton,
                  args.text(4));
    return kOk;
}

// FileBox: kept so that old macros run; it has no effect.
Error fileBox(Interpreter&, CallArgs&, MCVal&) { return kOk; }

// ---- Controls tied to strings

// Widens a string variable's room (the characters it holds, as StrDef sets
// it) to at least room; returns the room it has now.
size_t widenRoom(CallArgs& args, int index, size_t room) {
    const interp::VarSlot& slot = args.var(index).slot;
    if (!slot) return room;
    interp::Variable& var = slot.var();
    if (var.textRoom() < static_cast<int64_t>(room)) var.room = static_cast<int64_t>(room);
    return static_cast<size_t>(var.textRoom());
}

// VarText $, x, y, width, height; style: the string gets room for 260 characters.
Error varText(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    widenRoom(args, 0, kWideRoom);
    int id = dialogs.ids.text++;
    uint32_t style = (static_cast<uint32_t>(args.l(5)) | SS_LEFT) ^ kChildVisible;
    if (appendControl(dialogs, style, args.i(1), args.i(2), args.i(3), args.i(4), id, kAtomStatic,
                      *args.var(0).text))
        bind(dialogs, bindingFor(args, 0, id));
    return kOk;
}

// The style of an edit kind: 1 single line scrolling sideways, 2 multi-line,
// 3 multi-line with both scroll bars, anything else the style bits themselves.
uint32_t editStyle(int32_t kind) {
    constexpr uint32_t kMultiLine = ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN;
    uint32_t style = kind == 1   ? ES_AUTOHSCROLL
                     : kind == 2 ? kMultiLine
                     : kind == 3 ? kMultiLine | WS_VSCROLL | WS_HSCROLL
                                 : static_cast<uint32_t>(kind);
    return (style | WS_BORDER | WS_TABSTOP) ^ kChildVisible;
}

// EditText $, x, y, width, height; edit kind: a string with room for more
// than 19 characters gets room for 260.
Error editText(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    size_t room = widenRoom(args, 0, 0);
    if (room > 19) room = widenRoom(args, 0, kWideRoom);
    int32_t kind = args.l(5);
    int id = dialogs.ids.text++;
    if (!appendControl(dialogs, editStyle(kind), args.i(1), args.i(2), args.i(3), args.i(4), id, kAtomEdit,
                       *args.var(0).text))
        return kOk;
    Binding binding = bindingFor(args, 0, id);
    binding.option = kind;
    // Typing beyond the room cuts the text for a one-character variable and for
    // a multi-line edit of fewer than 21; other variables grow with the text.
    // (A variable given no room at all grows: cut to nothing it could take no text.)
    if (room == 1 || ((editStyle(kind) & ES_MULTILINE) && room > 0 && room < 21)) binding.cutAt = room;
    bind(dialogs, binding);
    return kOk;
}

// ---- Numbers

// EditNumber v, x, y, width, height; edit kind
Error editNumber(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    int32_t kind = args.l(5);
    int id = dialogs.ids.realEdit++;
    dialogs.ids.lastRealEdit = id;
    std::string shown = Interpreter::formatNumber(*args.var(0).number);
    if (!appendControl(dialogs, editStyle(kind), args.i(1), args.i(2), args.i(3), args.i(4), id, kAtomEdit,
                       shown))
        return kOk;
    Binding binding = bindingFor(args, 0, id);
    binding.option = kind == 1 || args.i(3) > 50 ? 2 : 0;
    bind(dialogs, binding);
    return kOk;
}

// ScrollBar x, y, width, height, minimum, maximum, step: the scroll bar of the
// most recent EditNumber, which carries the value.
Error scrollBar(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists() || !dialogs.ids.lastRealEdit) return kOk;
    ScrollScale scale = scrollScale(args.number(4), args.number(5), args.number(6));
    std::string range = scrollText(scale, kTrackClick);
    uint32_t style = (SBS_HORZ | WS_TABSTOP) ^ kChildVisible;
    appendControl(dialogs, style, args.i(0), args.i(1), args.i(2), args.i(3), dialogs.ids.lastRealEdit + 200,
                  kAtomScrollBar, range);
    return kOk;
}

// ScrollCross x variable, y variable, x, y, x minimum, x maximum, step; y minimum, y maximum
Error scrollCross(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    double xMinimum = args.number(4), xMaximum = args.number(5), step = args.number(6);
    double yMinimum = args.number(7), yMaximum = args.number(8);
    if (yMinimum == yMaximum) {
        yMinimum = xMinimum;
        yMaximum = xMaximum;
    }
    int id = dialogs.ids.cross;
    dialogs.ids.cross += 2;
    int x = args.i(2), y = args.i(3);
    uint32_t horizontal = (SBS_HORZ | WS_TABSTOP) ^ kChildVisible;
    uint32_t vertical = (SBS_VERT | WS_TABSTOP) ^ kChildVisible;
    std::string xText = scrollText(scrollScale(xMinimum, xMaximum, step), kJoystick);
    std::string yText = scrollText(scrollScale(yMinimum, yMaximum, step), kJoystick);
    if (appendControl(dialogs, horizontal, x, y + 8, 24, 8, id, kAtomScrollBar, xText))
        bind(dialogs, bindingFor(args, 0, id));
    if (appendControl(dialogs, vertical, x + 8, y, 8, 24, id + 1, kAtomScrollBar, yText))
        bind(dialogs, bindingFor(args, 1, id + 1));
    return kOk;
}

// ---- Buttons

// CheckBox v, x, y, text; style, width, height
Error checkBox(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    std::string_view caption = args.text(3);
    int width = args.l(5) != 0 ? args.l(5) : textWidthUnits(dialogs, caption) + boxUnits();
    int id = dialogs.ids.check++;
    uint32_t style = (static_cast<uint32_t>(args.l(4)) | BS_CHECKBOX) ^ (kChildVisible | WS_TABSTOP);
    if (appendControl(dialogs, style, args.i(1), args.i(2), width, optionalInt(args, 6, 10), id, kAtomButton,
                      caption))
        bind(dialogs, bindingFor(args, 0, id));
    return kOk;
}

// RadioButton v, x, y, text; style, width, height: buttons given one after the
// other with the same variable make one group (ids in a row), and the variable
// holds the index of the one chosen; a new group starts one id further on.
Error radioButton(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    IdCounters& ids = dialogs.ids;
    Binding binding = bindingFor(args, 0, 0);
    bool sameGroup = ids.radioGroup != 0 && sameVariable(ids.radioGroupBinding, binding);
    if (!sameGroup && ids.radioGroup != 0) ++ids.radio;  // one id left free between groups
    int id = ids.radio++;
    std::string_view caption = args.text(3);
    int width = args.l(5) != 0 ? args.l(5) : textWidthUnits(dialogs, caption) + boxUnits();
    uint32_t style =
        ((static_cast<uint32_t>(args.l(4)) | BS_RADIOBUTTON) ^ kChildVisible) | (sameGroup ? 0 : WS_TABSTOP);
    if (!appendControl(dialogs, style, args.i(1), args.i(2), width, optionalInt(args, 6, 10), id, kAtomButton,
                       caption))
        return kOk;
    if (!sameGroup) {
        binding.id = id;
        ids.radioGroup = id;
        ids.radioGroupBinding = binding;
        bind(dialogs, binding);
    }
    return kOk;
}

// PushButton v, x, y, width, height, text; number, style: the variable gets
// the button's number when it is pressed. Style bit 0 makes the default button.
Error pushButton(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    int32_t number = args.l(6);
    int32_t style = args.l(7);
    if (number == 0 && style >= 1 && style <= 10) {
        // The style given in the number's place: it is the number, and its
        // bit 0 still makes the default button.
        number = style;
        style &= BS_DEFPUSHBUTTON;
    }
    IdCounters& ids = dialogs.ids;
    int id;
    if (number >= 1 && number <= 1200) {
        id = 6999 + number;
    } else {
        id = ids.push;
        while (std::find(ids.pushIds.begin(), ids.pushIds.end(), id) != ids.pushIds.end()) ++id;
        ids.push = id + 1;
    }
    ids.pushIds.push_back(id);
    *args.var(0).number = 0;
    uint32_t bits = static_cast<uint32_t>(style) ^ (kChildVisible | WS_TABSTOP);
    if (!appendControl(dialogs, bits, args.i(1), args.i(2), args.i(3), args.i(4), id, kAtomButton,
                       args.text(5)))
        return kOk;
    Binding binding = bindingFor(args, 0, id);
    binding.option = style;
    bind(dialogs, binding);
    return kOk;
}

// ---- Lists

// The control handle number by which a macro names a control of a dialog slot.
double controlHandleNumber(int slot, int id) { return (kHandleBase + slot) * 65536.0 + id; }

// Appends a list or combo box: its state variable is tied, its handle
// variable gets the control handle number.
Error appendList(MacroDialogs& dialogs, CallArgs& args, uint32_t style, int id, uint16_t atom) {
    if (!appendControl(dialogs, style ^ kChildVisible, args.i(2), args.i(3), args.i(4), args.i(5), id, atom,
                       ""))
        return kOk;
    *args.var(1).number = controlHandleNumber(dialogs.current, id);
    bind(dialogs, bindingFor(args, 0, id));
    return kOk;
}

// ListBox state variable, handle variable, x, y, width, height; options
Error listBox(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    int options = args.i(6);
    int id = (options & 1) ? dialogs.ids.list2++ : dialogs.ids.list++;
    uint32_t style = LBS_NOTIFY | LBS_USETABSTOPS | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
    if (options & 2) style |= LBS_SORT;
    if (options & 4) style |= LBS_EXTENDEDSEL;
    if (options & 8) style |= LBS_MULTIPLESEL;
    if (options & 16) style |= LBS_MULTICOLUMN;
    return appendList(dialogs, args, style, id, kAtomListBox);
}

// ComboBox state variable, handle variable, x, y, width, height; options
Error comboBox(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    int options = args.i(6);
    int id = (options & 1) ? dialogs.ids.combo2++ : dialogs.ids.combo++;
    uint32_t style = WS_VSCROLL | WS_TABSTOP;
    if (options & 2) style |= CBS_SORT;
    switch (options & 0xC) {
    case 0: style |= CBS_DROPDOWN; break;
    case 8: style |= CBS_SIMPLE; break;
    default: style |= CBS_DROPDOWNLIST; break;
    }
    if (options & 16) style |= CBS_AUTOHSCROLL;
    return appendList(dialogs, args, style, id, kAtomComboBox);
}

constexpr interp::CommandRow kBuildRows[] = {
    {interp::cmd::BeginDialog, beginDialog}, {interp::cmd::Text, text},
    {interp::cmd::GroupBox, groupBox},       {interp::cmd::FileBox, fileBox},
    {interp::cmd::VarText, varText},         {interp::cmd::EditText, editText},
    {interp::cmd::EditNumber, editNumber},   {interp::cmd::ScrollBar, scrollBar},
    {interp::cmd::ScrollCross, scrollCross}, {interp::cmd::CheckBox, checkBox},
    {interp::cmd::RadioButton, radioButton}, {interp::cmd::PushButton, pushButton},
    {interp::cmd::ListBox, listBox},         {interp::cmd::ComboBox, comboBox},
};

}  // namespace

ScrollScale scrollScale(double minimum, double maximum, double step) {
    if (!std::isfinite(minimum)) minimum = 0;
    if (!std::isfinite(maximum)) maximum = 0;
    if (!std::isfinite(step) || step == 0) step = 1;
    // Positions must fit the 16-bit thumb position: the step grows 1, 2, 5, 10, 20, 50 ...
    static const double kCycle[] = {2, 2.5, 2};
    for (int k = 0; std::max(std::fabs(minimum), std::fabs(maximum)) / step > 32767 && k < 3000; ++k)
        step *= kCycle[k % 3];
    auto position = [step](double value) {
        double p = std::round(value / step);
        return static_cast<int>(std::isfinite(p) ? std::clamp(p, -2147483648.0, 2147483647.0) : 0);
    };
    ScrollScale scale;
    scale.step = step;
    scale.minimum = position(minimum);
    scale.maximum = position(maximum);
    scale.page = std::fabs(static_cast<double>(scale.maximum) - scale.minimum) < 1001 ? 10 : 100;
    return scale;
}

std::string scrollText(const ScrollScale& scale, unsigned flags) {
    char text[96];
    std::snprintf(text, sizeof text, "%d,%d,%x,%g,%d", scale.minimum, scale.maximum, flags, scale.step,
                  scale.page);
    return text;
}

void registerBuildCommands(Interpreter& ip) { ip.install({"ui/dialogs/building", kBuildRows}); }

}  // namespace tvx::ui::dialogs
