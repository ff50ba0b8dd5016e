// PostKeyString, PositCursor and GrabCursor; the actions of PostKeyString
// and the program's own windows as their injector.
#include "ipc/system/input.h"

#include <cstdlib>

#include "interp/api.h"
#include "ipc/system/system.h"
#include "platform/window/window.h"

namespace tvx::ipc {

namespace input {

namespace {

// Windows-1252's characters 0x80..0x9F (0 where the code page has none).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool decodeUtf8(std::string_view bytes, std::vector<uint32_t>& out) {
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= bytes.size()) return false;
        uint32_t cp = extra == 0 ? c : c & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char n = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
            if ((n & 0xC0) != 0x80) return false;
            cp = cp << 6 | (n & 0x3F);
        }
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

// The US layout: the unshifted and shifted character of each virtual key
// that types one.
struct UsKey {
    int vk;
    char plain;
    char shifted;
};
constexpr UsKey kUsKeys[] = {
    {'0', '0', ')'},   {'1', '1', '!'},      {'2', '2', '@'},  {'3', '3', '#'},   {'4', '4', '$'},
    {'5', '5', '%'},   {'6', '6', '^'},      {'7', '7', '&'},  {'8', '8', '*'},   {'9', '9', '('},
    {0xBA, ';', ':'},  {0xBB, '=', '+'},     {0xBC, ',', '<'}, {0xBD, '-', '_'},  {0xBE, '.', '>'},
    {0xBF, '/', '?'},  {0xC0, '`', '~'},     {0xDB, '[', '{'}, {0xDC, '\\', '|'}, {0xDD, ']', '}'},
    {0xDE, '\'', '"'}, {kVkSpace, ' ', ' '},
};

}  // namespace

std::vector<uint32_t> decodeText(std::string_view bytes) {
    std::vector<uint32_t> out;
    if (decodeUtf8(bytes, out)) return out;
    out.clear();
    for (unsigned char c : bytes) {
        uint32_t cp = c;
        if (c >= 0x80 && c < 0xA0) cp = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
        out.push_back(cp);
    }
    return out;
}

std::string utf8Of(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::vector<Action> plan(std::string_view text, int32_t mode) {
    std::vector<Action> actions;
    if (!text.empty()) {
        std::vector<uint32_t> characters = decodeText(text);
        size_t count = characters.size();
        if (mode > 0 && static_cast<size_t>(mode) < count) count = static_cast<size_t>(mode);
        for (size_t i = 0; i < count; ++i) {
            Action a;
            a.kind = Action::Type;
            a.character = characters[i];
            if (mode < 0) {
                a.forced = true;
                a.modifiers = static_cast<unsigned>(-static_cast<int64_t>(mode)) & 7;
            }
            actions.push_back(a);
        }
        return actions;
    }
    if (mode <= 0) return actions;
    Action a;
    a.code = mode & 0xFF;
    if (a.code == 0) return actions;
    a.modifiers = (mode & 0x100 ? kShift : 0) | (mode & 0x200 ? kControl : 0) | (mode & 0x400 ? kAlt : 0);
    // Bit 16 alone presses, bit 17 alone releases; otherwise both.
    bool pressOnly = (mode & 0x10000) && !(mode & 0x20000);
    bool releaseOnly = (mode & 0x20000) && !(mode & 0x10000);
    a.press = !releaseOnly;
    a.release = !pressOnly;
    a.kind = a.code == 1 || a.code == 2 || a.code == 4 ? Action::Mouse : Action::Key;
    actions.push_back(a);
    return actions;
}

bool usKeyOf(uint32_t character, int& virtualKey, unsigned& shiftState) {
    shiftState = 0;
    if (character >= 'a' && character <= 'z') {
        virtualKey = static_cast<int>(character - 'a' + 'A');
        return true;
    }
    if (character >= 'A' && character <= 'Z') {
        virtualKey = static_cast<int>(character);
        shiftState = kShift;
        return true;
    }
    switch (character) {
    case '\r': virtualKey = kVkReturn; return true;
    case '\n':
        // A line feed is Ctrl+Enter on a Windows keyboard.
        virtualKey = kVkReturn;
        shiftState = kControl;
        return true;
    case '\t': virtualKey = kVkTab; return true;
    case '\b': virtualKey = kVkBack; return true;
    case 27: virtualKey = kVkEscape; return true;
    default: break;
    }
    for (const UsKey& k : kUsKeys) {
        if (static_cast<unsigned char>(k.plain) == character) {
            virtualKey = k.vk;
            return true;
        }
        if (static_cast<unsigned char>(k.shifted) == character) {
            virtualKey = k.vk;
            shiftState = kShift;
            return true;
        }
    }
    return false;
}

uint32_t usCharacterOf(int virtualKey, unsigned shiftState) {
    if (shiftState & (kControl | kAlt)) return 0;
    bool shift = shiftState & kShift;
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return static_cast<uint32_t>(shift ? virtualKey : virtualKey + 32);
    if (virtualKey == kVkReturn) return '\r';
    if (virtualKey == kVkTab) return '\t';
    for (const UsKey& k : kUsKeys)
        if (k.vk == virtualKey) return static_cast<unsigned char>(shift ? k.shifted : k.plain);
    return 0;
}

void perform(Injector& injector, const std::vector<Action>& actions) {
    static constexpr struct {
        unsigned bit;
        int vk;
    } kModifierKeys[] = {{kShift, kVkShift}, {kControl, kVkControl}, {kAlt, kVkMenu}};
    for (const Action& a : actions) {
        switch (a.kind) {
        case Action::Type: injector.typeCharacter(a.character, a.forced, a.modifiers); break;
        case Action::Mouse:
            if (a.press) injector.mouseButton(a.code, true);
            if (a.release) injector.mouseButton(a.code, false);
            break;
        case Action::Key:
            if (a.press) {
                for (const auto& m : kModifierKeys)
                    if (a.modifiers & m.bit) injector.key(m.vk, true);
                injector.key(a.code, true);
            }
            if (a.release) {
                injector.key(a.code, false);
                for (const auto& m : kModifierKeys)
                    if (a.modifiers & m.bit) injector.key(m.vk, false);
            }
            break;
        }
    }
    injector.flush();
}

namespace {

// The program's own windows, typed on the US layout: keys go to the focus
// window with the modifiers this injector holds down.
class OwnWindowsInjector : public Injector {
public:
    bool typeCharacter(uint32_t character, bool forced, unsigned modifiers) override {
        int vk = 0;
        unsigned shift = 0;
        bool hasKey = usKeyOf(character, vk, shift);
        unsigned mods = forced ? modifiers : shift;
        // A forced shift state types what the key types with it; a character
        // without a key is typed as itself.
        std::string text;
        if (!forced || !hasKey)
            text = character >= 0x20 && character != 0x7F ? utf8Of(character) : std::string();
        else if (uint32_t c = usCharacterOf(vk, mods))
            text = utf8Of(c);
        pressModifiers(mods, true);
        bool ok = platform::injectKey(hasKey ? vk : 0, true, mods, text);
        platform::injectKey(hasKey ? vk : 0, false, mods, {});
        pressModifiers(mods, false);
        return ok;
    }
    bool key(int vk, bool down) override {
        if (vk == kVkShift || vk == kVkControl || vk == kVkMenu) {
            unsigned bit = vk == kVkShift ? kShift : vk == kVkControl ? kControl : kAlt;
            held_ = down ? held_ | bit : held_ & ~bit;
        }
        uint32_t c = usCharacterOf(vk, held_);
        return platform::injectKey(vk, down, held_, down && c >= 0x20 ? utf8Of(c) : std::string());
    }
    bool mouseButton(int button, bool down) override { return platform::injectMouseButton(button, down); }
    bool moveCursor(int x, int y) override { return platform::setCursorPos(x, y); }

private:
    void pressModifiers(unsigned mods, bool down) {
        if (mods & kShift) key(kVkShift, down);
        if (mods & kControl) key(kVkControl, down);
        if (mods & kAlt) key(kVkMenu, down);
    }
    unsigned held_ = 0;
};

}  // namespace

std::unique_ptr<Injector> makeOwnWindowsInjector() { return std::make_unique<OwnWindowsInjector>(); }

}  // namespace input

namespace {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

// The injector of an interpreter, chosen on first use.
struct InputState : interp::FamilyState {
    std::unique_ptr<input::Injector> injector;
    bool chosen = false;
    bool refused = false;  // a Wayland desktop: said once per run
    bool refusalShown = false;
    // Keys and buttons a press-only call left down are let go when the run ends.
    std::vector<input::Action> held;

    void endOfRun(Interpreter&) override {
        if (injector) {
            for (auto it = held.rbegin(); it != held.rend(); ++it) {
                input::Action up = *it;
                up.press = false;
                up.release = true;
                input::perform(*injector, {up});
            }
        }
        held.clear();
        refusalShown = false;
    }
};

bool waylandOnly() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland && *wayland && platform::windowSystemVisible();
}

input::Injector* injectorFor(Interpreter& ip) {
    InputState& state = ip.state<InputState>();
    if (!state.chosen) {
        state.chosen = true;
        state.injector = input::makeX11Injector();
        if (!state.injector && waylandOnly())
            state.refused = true;
        else if (!state.injector)
            state.injector = input::makeOwnWindowsInjector();
    }
    if (state.refused && !state.refusalShown) {
        state.refusalShown = true;
        ip.messageBox(
            "Synthetic keyboard and mouse input is not allowed on this Wayland desktop.\r\n"
            "Run Tolvex in an X11 session (or under XWayland with DISPLAY set) for PostKeyString and "
            "PositCursor.",
            "Tolvex", 0x30);
    }
    return state.injector.get();
}

// PostKeyString text; mode
Error postKeyString(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t mode = args.present(1) ? args.l(1) : 0;
    std::vector<input::Action> actions = input::plan(args.text(0), mode);
    if (actions.empty()) return kOk;
    input::Injector* injector = injectorFor(ip);
    if (!injector) {
        ip.results().error = 5;  // ERROR_ACCESS_DENIED
        return kOk;
    }
    input::perform(*injector, actions);
    InputState& state = ip.state<InputState>();
    for (const input::Action& a : actions) {
        if (a.kind == input::Action::Type) continue;
        if (a.press && !a.release) state.held.push_back(a);
        if (a.release && !a.press)
            std::erase_if(state.held,
                          [&](const input::Action& h) { return h.kind == a.kind && h.code == a.code; });
    }
    return kOk;
}

// PositCursor x, y: in relative mouse mode (a scroll cross dragged like a
// joystick) the relative position, else the mouse cursor.
Error positCursor(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t x = args.l(0), y = args.l(1);
    if (ip.host().setRelativeMousePosition(x, y)) return kOk;
    input::Injector* injector = injectorFor(ip);
    if (injector) {
        injector->moveCursor(x, y);
        injector->flush();
    } else {
        ip.results().error = 5;
    }
    return kOk;
}

// GrabCursor mode: accepted; it has no effect.
Error grabCursor(Interpreter&, CallArgs&, MCVal&) { return kOk; }

constexpr interp::CommandRow kInputRows[] = {
    {interp::cmd::PostKeyString, postKeyString},
    {interp::cmd::PositCursor, positCursor},
    {interp::cmd::GrabCursor, grabCursor},
};

}  // namespace

void registerInputCommands(Interpreter& ip) { ip.install({"system/input", kInputRows}); }

}  // namespace tvx::ipc
