// What the image windows gather for the caller: the last click, the cursor, the
// focus, and the last key, library-wide (the last event in any image window).
#pragma once

#include "platform/window/window.h"

namespace tvx::imagelib {

struct InputState {
    double cursorX = 0;
    double cursorY = 0;
    int cursorButtons = 0;  // the key-state word of the last mouse message
    int cursorWindow = 0;   // image number of that message's window
    double clickX = 0;
    double clickY = 0;
    int clickValue = 0;
    int clickCode = 0;  // image number + 0x1000 right, 0x2000 middle, 0x4000 / 0x8000 wheel
    int clickCount = 0;
    int focusCode = 0;  // image number + 0x10000 focus, + 0x20000 frame double click
    int lastChar = 0;
    int lastKey = 0;
    platform::Hwnd infoWindows[4] = {};  // x, y, value, summary
};

InputState& inputState();

constexpr int kClickRight = 0x1000;
constexpr int kClickMiddle = 0x2000;
constexpr int kClickWheelForward = 0x4000;
constexpr int kClickWheelBack = 0x8000;
constexpr int kFocusGained = 0x10000;
constexpr int kFrameDoubleClick = 0x20000;

// A mouse message at image coordinates (x, y) in window number.
void recordCursor(int number, double x, double y, int buttons);
// A counted click; the info windows show a left click (code = the image number).
void recordClick(int number, double x, double y, int code);
// WM_CHAR and WM_KEYDOWN seen by an image window or the library's pump.
void recordKey(unsigned message, platform::WParam wParam);

}  // namespace tvx::imagelib
