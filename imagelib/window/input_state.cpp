// Click, cursor, focus and key information, and the exports that hand it out.
#include "imagelib/window/input_state.h"

#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/pixory.h"
#include "platform/memprobe.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tvx::imagelib {

using namespace tvx::platform;

InputState& inputState()
{
    static InputState state;
    return state;
}

void recordCursor(int number, double x, double y, int buttons)
{
    InputState& s = inputState();
    s.cursorX = x;
    s.cursorY = y;
    s.cursorButtons = buttons;
    s.cursorWindow = number;
}

namespace {

int pixelValueAt(int number, double x, double y)
{
    const Slot* slot = filledSlot(number);
    if (!slot || !(x >= 0) || !(y >= 0) || x >= slot->width() || y >= slot->height())
        return -1;
    return pxGetPixelValue(number, static_cast<int>(x), static_cast<int>(y));
}

void showInInfoWindows(double x, double y, int value)
{
    const InputState& s = inputState();
    char text[96];
    const char* formats[3] = {"%g", "%g", "%d"};
    for (int i = 0; i < 3; ++i) {
        if (!s.infoWindows[i] || !isWindow(s.infoWindows[i]))
            continue;
        if (i < 2)
            std::snprintf(text, sizeof text, formats[i], i == 0 ? x : y);
        else
            std::snprintf(text, sizeof text, formats[i], value);
        setWindowText(s.infoWindows[i], text);
    }
    if (s.infoWindows[3] && isWindow(s.infoWindows[3])) {
        std::snprintf(text, sizeof text, "x=%g,  y=%g,  Wert=%d", x, y, value);
        setWindowText(s.infoWindows[3], text);
    }
}

}  // namespace

void recordClick(int number, double x, double y, int code)
{
    InputState& s = inputState();
    s.clickX = x;
    s.clickY = y;
    s.clickValue = pixelValueAt(number, x, y);
    s.clickCode = code;
    ++s.clickCount;
    if (code == number)
        showInInfoWindows(x, y, s.clickValue);
}

void recordKey(unsigned message, WParam wParam)
{
    if (message == win::WM_CHAR)
        inputState().lastChar = static_cast<int>(wParam & 0xFFFFFFFF);
    else if (message == win::WM_KEYDOWN)
        inputState().lastKey = static_cast<int>(wParam & 0xFFFFFFFF);
}

}  // namespace tvx::imagelib

using namespace tvx::imagelib;
using tvx::platform::isWritable;

PX_EXPORT int pxSetInfoWindow(void* x, void* y, void* value, void* summary)
{
    InputState& s = inputState();
    void* given[4] = {x, y, value, summary};
    for (int i = 0; i < 4; ++i)
        s.infoWindows[i] = windowHandleFrom(given[i]);
    return 0;
}

PX_EXPORT int pxGetClickInfo(double* x, double* y, int* code, int* count)
{
    const InputState& s = inputState();
    storeResult(x, s.clickX);
    storeResult(y, s.clickY);
    if (code && isWritable(code, sizeof *code))
        *code = *code == 0x10000 ? s.focusCode : s.clickCode;
    storeResult(count, s.clickCount);
    return s.clickValue;
}

PX_EXPORT int pxGetCursorInfo(double* x, double* y, int* window)
{
    const InputState& s = inputState();
    storeResult(x, s.cursorX);
    storeResult(y, s.cursorY);
    storeResult(window, s.cursorWindow);
    return s.cursorButtons;
}

PX_EXPORT int pxGetLastKey(int number)
{
    const Slot* slot = slotFor(number);
    if (!slot || !slot->window)
        return 0;
    InputState& s = inputState();
    const int result = static_cast<int>((static_cast<uint32_t>(s.lastKey) << 16) |
                                        (static_cast<uint32_t>(s.lastChar) & 0xFFFF));
    s.lastKey = 0;
    s.lastChar = 0;
    return result;
}
