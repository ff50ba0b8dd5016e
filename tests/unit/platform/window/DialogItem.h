// A control of a dialog template, in dialog units, as the dialog tests build them.
#pragma once

#include <cstdint>

#include "platform/window/dialog.h"
#include "platform/window/messages.h"

namespace tvx::platform::test {

inline DialogItem templateItem(const char* cls, uint32_t style, int id, int x, int y, int cx, int cy,
                               const char* caption = "") {
    DialogItem i;
    i.className = cls;
    i.style = win::WS_CHILD | win::WS_VISIBLE | style;
    i.id = static_cast<uint16_t>(id);
    i.x = static_cast<int16_t>(x);
    i.y = static_cast<int16_t>(y);
    i.cx = static_cast<int16_t>(cx);
    i.cy = static_cast<int16_t>(cy);
    i.text = caption;
    return i;
}

}  // namespace tvx::platform::test
