// The macro dialogs' state: slots and bindings, finding dialogs and controls,
// the tied variables, and refreshing controls from them.
#include "ui/dialogs/state.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/window/dialog.h"
#include "ui/host.h"

namespace tvx::ui::dialogs {

using namespace platform::win;
using interp::Variable;
using interp::VarSlot;

namespace {

bool in(int id, int first, int last) { return id >= first && id <= last; }

// The variable behind a binding, when it is still the one that was tied.
Variable* tiedVariable(Interpreter& ip, const Binding& binding) {
    VarSlot slot = ip.symbols().byId(binding.variable);
    if (!slot || slot.table != binding.table) return nullptr;
    return &slot.var();
}

// A scroll position for a value, whatever the value (NaN, infinities, huge).
int positionFor(double value, double step) {
    double position = value / (step == 0 ? 1 : step);
    if (!std::isfinite(position)) return 0;
    return static_cast<int>(std::clamp(std::round(position), -2147483648.0, 2147483647.0));
}

int32_t wholeValue(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
}

// The first and last id of the radio group that starts at first.
int lastRadioOf(Hwnd dialog, int first) {
    int last = first;
    while (last < kIdRadioRunLast && platform::dialogItem(dialog, last + 1)) ++last;
    return last;
}

}  // namespace

// ---- Slots

Binding* Slot::bindingOfControl(int id) {
    for (Binding& b : bindings)
        if (b.id == id) return &b;
    return nullptr;
}

Binding* Slot::bindingOfVariable(uint32_t variable) {
    for (Binding& b : bindings)
        if (b.variable == variable) return &b;
    return nullptr;
}

Binding* Slot::radioBinding(int group) {
    int n = 0;
    for (Binding& b : bindings)
        if (in(b.id, kIdRadioFixedFirst, kIdRadioRunLast) && n++ == group) return &b;
    return nullptr;
}

int Slot::radioGroupOf(int id) const {
    int n = 0;
    for (const Binding& b : bindings) {
        if (!in(b.id, kIdRadioFixedFirst, kIdRadioRunLast)) continue;
        if (b.id == id) return n;
        ++n;
    }
    return -1;
}

MacroDialogs::MacroDialogs() {
    for (int i = 0; i < kSlotCount; ++i) {
        Slot& slot = slots[static_cast<size_t>(i)];
        slot.number = i;
        slot.owner = this;
        slot.context.user = &slot;
    }
}

MacroDialogs::~MacroDialogs() {
    // The windows go first, while their handler can still find this state.
    closeAll();
    ip = nullptr;
    for (Slot& slot : slots) slot.context.user = nullptr;
    for (CachedFont& cached : fonts)
        if (cached.font) platform::deleteObject(cached.font);
}

void MacroDialogs::endOfRun(Interpreter&) {
    closeAll();
    dialogTemplate.release();
    current = 0;
    systemClose = false;
    eventWord = 0;
    flagByte = 0;
}

void MacroDialogs::addEvent(uint32_t bits, uint8_t flags) {
    eventWord.fetch_or(bits);
    flagByte.fetch_or(flags);
    if (ip) ip->wakeUp().signalIfMeets(bits);
}

void MacroDialogs::closeSlot(Slot& slot, bool sendCancel) {
    Hwnd hwnd = slot.hwnd();
    if (hwnd && sendCancel) platform::sendMessage(hwnd, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 1);
    // A modal dialog ends through its own loop (the Cancel posted its end);
    // a modeless one goes now.
    hwnd = slot.hwnd();
    if (hwnd && !slot.modal && platform::isWindow(hwnd)) platform::destroyWindow(hwnd);
    slot.bindings.clear();
    slot.bindings.shrink_to_fit();
    if (!slot.hwnd()) slot.live = false;
}

void MacroDialogs::closeAll() {
    for (Slot& slot : slots) {
        if (slot.modal && slot.hwnd()) platform::endDialog(slot.hwnd(), 0);
        closeSlot(slot, false);
    }
}

AppHost* MacroDialogs::appHost() const { return ip ? dynamic_cast<AppHost*>(&ip->host()) : nullptr; }

MacroDialogs& macroDialogs(Interpreter& ip) {
    MacroDialogs& dialogs = ip.state<MacroDialogs>();
    if (!dialogs.ip) dialogs.ip = &ip;
    return dialogs;
}

// ---- Designation

Slot& designatedSlot(MacroDialogs& dialogs, const CallArgs& args, int index) {
    if (!args.present(index)) return dialogs.currentSlot();
    int64_t value = args.l(index);
    if (value >= kHandleBase && value < kHandleBase + kSlotCount)
        return dialogs.slots[static_cast<size_t>(value - kHandleBase)];
    Hwnd hwnd = static_cast<Hwnd>(static_cast<uint32_t>(value));
    if (value != 0 && platform::isWindow(hwnd)) {
        for (Slot& slot : dialogs.slots)
            if (slot.hwnd() == hwnd) return slot;
    }
    return dialogs.currentSlot();
}

Hwnd controlOfHandleNumber(MacroDialogs& dialogs, int64_t number) {
    if (number < 0) return 0;
    int64_t dialog = number >> 16;
    if (dialog < kHandleBase || dialog >= kHandleBase + kSlotCount) return 0;
    Hwnd hwnd = dialogs.slots[static_cast<size_t>(dialog - kHandleBase)].hwnd();
    return hwnd ? platform::dialogItem(hwnd, static_cast<int>(number & 0xFFFF)) : 0;
}

Binding bindingFor(CallArgs& args, int index, int id) {
    const interp::VarArg& var = args.var(index);
    Binding binding;
    binding.id = id;
    binding.variable = var.slot.id() & 0x3FFFFFFF;
    binding.table = var.slot.table;
    if (var.pending() >= 0) {
        const interp::PendingWrite& pending = args.pending[static_cast<size_t>(var.pending())];
        // A character of a string cannot hold a control's value: its element stays unknown.
        binding.element = pending.character ? INT64_MAX : pending.position;
    }
    return binding;
}

bool sameVariable(const Binding& a, const Binding& b) {
    return a.variable == b.variable && a.table == b.table && a.element == b.element;
}

bool bindsArgument(const Binding& binding, CallArgs& args, int index) {
    return sameVariable(binding, bindingFor(args, index, 0));
}

ControlLookup lookUpControl(Slot& slot, CallArgs& args, int variableIndex, int index) {
    ControlLookup found;
    Binding* first = nullptr;
    for (Binding& b : slot.bindings) {
        if (bindsArgument(b, args, variableIndex)) {
            first = &b;
            break;
        }
    }
    if (first) {
        int id = first->id;
        if (index > 0) {
            if (in(id, kIdRealEditFirst, kIdRealEditLast))
                id += 200;  // the paired scroll bar
            else if (in(id, kIdPushFirst, kIdPushLast))
                id = std::max<int>(kIdPushFirst, 6999 + index);  // the push button of that number
            else
                id += index;
        }
        found.id = id;
        found.binding = index > 0 ? slot.bindingOfControl(id) : first;
        found.control = slot.hwnd() ? platform::dialogItem(slot.hwnd(), id) : 0;
        return found;
    }
    // No binding: a window handle in the index's high byte, or in the variable.
    Hwnd candidate = 0;
    if (index & 0xFF00) {
        candidate = static_cast<Hwnd>(static_cast<uint16_t>(index));
    } else if (args.form(variableIndex) == interp::kFormNumber) {
        double value = args.number(variableIndex);
        if (std::isfinite(value) && std::fabs(value - std::round(value)) < 1e-20 && value != -1 &&
            value >= 0 && value <= 4294967295.0) {
            auto number = static_cast<int64_t>(value);
            // A control handle number (as ListBox and ComboBox hand out) names its control.
            candidate = controlOfHandleNumber(*slot.owner, number);
            if (!candidate) candidate = static_cast<Hwnd>(number);
        }
    }
    if (candidate && platform::isWindow(candidate)) {
        found.control = candidate;
        found.id = platform::controlId(candidate);
    }
    return found;
}

// ---- Tied variables

bool readNumber(Interpreter& ip, const Binding& binding, double& value) {
    std::lock_guard<std::recursive_mutex> lock(ip.variableAccess());
    Variable* var = tiedVariable(ip, binding);
    if (!var) return false;
    if (binding.element >= 0) {
        if (var->valueKind() != interp::kKindBlock || !var->block || binding.element >= var->block->count)
            return false;
        value = interp::readElement(var->block, binding.element);
        return true;
    }
    if (var->valueKind() != interp::kKindNumber) return false;
    value = var->number;
    return true;
}

void writeNumber(Interpreter& ip, const Binding& binding, double value) {
    std::lock_guard<std::recursive_mutex> lock(ip.variableAccess());
    Variable* var = tiedVariable(ip, binding);
    if (!var) return;
    if (binding.element >= 0) {
        if (var->valueKind() == interp::kKindBlock && var->block && binding.element < var->block->count &&
            !var->block->isText())
            interp::storeElement(var->block, binding.element, value);
        return;
    }
    if (var->valueKind() != interp::kKindNumber && var->valueKind() != interp::kKindNone) return;
    var->setValueKind(interp::kKindNumber);
    var->number = value;
}

bool readText(Interpreter& ip, const Binding& binding, std::string& text, size_t* room) {
    std::lock_guard<std::recursive_mutex> lock(ip.variableAccess());
    Variable* var = tiedVariable(ip, binding);
    if (!var || var->valueKind() != interp::kKindString) return false;
    text = var->text;
    if (room) *room = static_cast<size_t>(var->textRoom());
    return true;
}

void writeText(Interpreter& ip, const Binding& binding, std::string_view text) {
    std::lock_guard<std::recursive_mutex> lock(ip.variableAccess());
    Variable* var = tiedVariable(ip, binding);
    if (!var) return;
    if (var->valueKind() != interp::kKindString && var->valueKind() != interp::kKindNone) return;
    var->setValueKind(interp::kKindString);
    var->text.assign(text.substr(0, static_cast<size_t>(interp::kMaxVariableText)));
}

// ---- Refreshing

QuietControls::QuietControls(Slot& slot) : context_(slot.context), before_(slot.context.flags) {
    context_.flags |= kContextBusy;
}

QuietControls::~QuietControls() {
    context_.flags = static_cast<uint16_t>((context_.flags & ~kContextBusy) | (before_ & kContextBusy));
}

void refreshControls(Interpreter& ip, Slot& slot) {
    Hwnd dialog = slot.hwnd();
    if (!dialog) return;
    QuietControls quiet(slot);
    ControlData& data = slot.context.block();
    Hwnd focus = platform::focusWindow();
    int radioGroup = 0;
    for (Binding& b : slot.bindings) {
        int id = b.id;
        bool radio = in(id, kIdRadioFixedFirst, kIdRadioRunLast);
        int group = radio ? radioGroup++ : -1;
        Hwnd control = platform::dialogItem(dialog, id);
        if (!control) continue;
        bool textControl = in(id, kIdTextFirst, kIdTextLast);
        // The control that is being typed in keeps what the person typed.
        if (control == focus && (slot.context.typingEdit == id ||
                                 (textControl && platform::sendMessage(control, EM_GETMODIFY, 0, 0) != 0)))
            continue;
        if (textControl) {
            std::string text;
            size_t room = 0;
            if (!readText(ip, b, text, &room)) continue;
            if (room > 1 && platform::windowText(control) != text) platform::setWindowText(control, text);
            continue;
        }
        double value = 0;
        if (!readNumber(ip, b, value)) continue;
        if (in(id, kIdRealEditFirst, kIdRealEditLast)) {
            platform::setWindowText(control, Interpreter::formatNumber(value));
            if (Hwnd bar = platform::dialogItem(dialog, id + 200)) {
                DialogContext::ScrollText st;
                parseScrollText(platform::windowText(bar), st);
                platform::setScrollPos(bar, SB_CTL, positionFor(value, st.step));
            }
            if (id - kIdRealEditFirst < data.realCount()) data.setReal(id - kIdRealEditFirst, value);
            slot.context.lastScrollBar = 0;
        } else if (radio) {
            int last = lastRadioOf(dialog, id);
            int index = wholeValue(value);
            bool inGroup = index >= 0 && index <= last - id;
            platform::checkRadioButton(dialog, id, last, inGroup ? id + index : 0);
            if (group < data.radioGroupCount())
                data.setRadio(group, static_cast<uint8_t>(inGroup ? index : 0));
        } else if (in(id, kIdCheckFirst, kIdCheckLast)) {
            uint8_t checked = value != 0 ? 1 : 0;
            platform::checkDialogButton(dialog, id, checked);
            if (id - kIdCheckFirst < data.checkCount()) data.setCheck(id - kIdCheckFirst, checked);
        } else if (in(id, kIdCrossFirst, kIdCrossLast)) {
            DialogContext::ScrollText st;
            parseScrollText(platform::windowText(control), st);
            platform::setScrollPos(control, SB_CTL, positionFor(value, st.step));
            if (id - kIdCrossFirst < data.crossCount())
                data.setCrossValue(id - kIdCrossFirst, wholeValue(value));
        }
    }
}

}  // namespace tvx::ui::dialogs
