// Synthetic keyboard and mouse input (PostKeyString, PositCursor).
//
// PostKeyString's arguments become a list of actions first (typing a
// character, pressing or releasing a virtual key, a mouse button); an
// injector then carries them out: XTest on an X display, which reaches every
// program on it, or the program's own windows where there is no X server.
// On a Wayland desktop without X, programs may not inject input at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::ipc::input {

// Modifier bits of PostKeyString (as a negative mode) and of a key's shift state.
constexpr unsigned kShift = 1, kControl = 2, kAlt = 4;

// Virtual keys the injectors need by name.
enum VirtualKey : int {
    kVkBack = 0x08,
    kVkTab = 0x09,
    kVkReturn = 0x0D,
    kVkShift = 0x10,
    kVkControl = 0x11,
    kVkMenu = 0x12,
    kVkEscape = 0x1B,
    kVkSpace = 0x20,
};

struct Action {
    enum Kind { Type, Key, Mouse };
    Kind kind = Type;
    uint32_t character = 0;  // Type: the Unicode character
    bool forced = false;     // Type: modifiers replace the character's own shift state
    int code = 0;            // Key: the virtual key; Mouse: 1 left, 2 right, 4 middle
    unsigned modifiers = 0;  // Type (when forced) and Key: the modifiers (kShift, ...) held around it
    bool press = true;
    bool release = true;
    bool operator==(const Action&) const = default;
};

// The characters of a macro text: UTF-8 when the bytes are valid UTF-8, else
// Windows-1252 (the code page old macros were written in).
std::vector<uint32_t> decodeText(std::string_view bytes);
// A character in UTF-8.
std::string utf8Of(uint32_t character);

// What PostKeyString(text, mode) does:
// - text and mode >= 0: types each character (the first mode ones when mode > 0);
// - text and mode < 0: types each character with the modifiers -mode (1 Shift,
//   2 Ctrl, 4 Alt) in place of its own shift state;
// - no text and mode > 0: the virtual key in the low byte with the modifiers of
//   bits 8..10 (0x100 Shift, 0x200 Ctrl, 0x400 Alt), pressed and released, or
//   only pressed (bit 16) or only released (bit 17); the low byte 1, 2 or 4 is
//   the left, right or middle mouse button, 0 nothing.
std::vector<Action> plan(std::string_view text, int32_t mode);

// The key of a character on the US keyboard (the layout the program's own
// windows are typed on): the virtual key and its shift state (kShift, ...), or
// false when no key types it.
bool usKeyOf(uint32_t character, int& virtualKey, unsigned& shiftState);
// The character a virtual key types on that layout with the shift state (0: none).
uint32_t usCharacterOf(int virtualKey, unsigned shiftState);

class Injector {
public:
    virtual ~Injector() = default;
    // Types one character: with its own shift state, or (forced) with the
    // modifiers given instead. A character no key types is still typed (on X
    // through a spare key bound to it for the moment).
    virtual bool typeCharacter(uint32_t character, bool forced, unsigned modifiers) = 0;
    virtual bool key(int virtualKey, bool down) = 0;
    virtual bool mouseButton(int button, bool down) = 0;
    virtual bool moveCursor(int x, int y) = 0;
    // Called after each command: everything reaches the display now.
    virtual void flush() {}
};

// Carries out the actions; modifier keys held around Key actions are pressed
// before and released after the key (a press-only key leaves them held).
void perform(Injector& injector, const std::vector<Action>& actions);

// The program's own windows (the window layer).
std::unique_ptr<Injector> makeOwnWindowsInjector();
// XTest on the X display named by DISPLAY; nullptr when it cannot be opened
// or has no XTest (or the program was built without X11).
std::unique_ptr<Injector> makeX11Injector();

}  // namespace tvx::ipc::input
