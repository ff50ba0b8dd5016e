// Exports: the message pump for macros that loop, and posting wheel steps.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/window/image_window.h"
#include "imagelib/window/input_state.h"
#include "platform/clock.h"
#include "platform/window/window.h"

#include <set>
#include <utility>

using namespace tvx::imagelib;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

constexpr int kStopAtOthers = 0x40000000;
constexpr uint32_t kTickMs = 16;  // as the wheel handler counts ticks
uint32_t gLastPostTick = 0xFFFFFFFFu;

int processMessages(int count)
{
    const bool all = count == -1;
    const int limit = all ? 0 : (count & 0xFFFFFF);
    const bool stopAtOthers = !all && (count & kStopAtOthers);
    int dispatched = 0;
    // A timer is served once per call: one due again by then waits for the next
    // call, so a short interval cannot keep the pump from returning.
    std::set<std::pair<Hwnd, uintptr_t>> timersServed;
    Msg msg;
    while (peekMessage(msg, 0, 0, 0, kPeekNoRemove)) {
        const bool ours = ImageWindow::numberOf(msg.hwnd) >= 0;
        if (stopAtOthers && !ours)
            return -2;
        if (msg.message == WM_QUIT)
            return -1;
        if (msg.message == WM_TIMER &&
            !timersServed.insert({msg.hwnd, static_cast<uintptr_t>(msg.wParam)}).second)
            break;
        // Take that very message: input that arrived meanwhile queues behind it.
        const Msg seen = msg;
        if (!peekMessage(msg, seen.hwnd, seen.message, seen.message, kPeekRemove))
            break;
        recordKey(msg.message, msg.wParam);
        translateMessage(msg);
        dispatchMessage(msg);
        ++dispatched;
        if (limit > 0 && dispatched >= limit)
            break;
    }
    return dispatched;
}

}  // namespace

PX_EXPORT int pxProcessMessages(int count)
{
    return guarded(0, [&] { return processMessages(count); });
}

PX_EXPORT int pxPostMouseWheelEvent(int delta, int maskLow, int maskHigh)
{
    return guarded(0, [&] {
        const bool every = maskHigh < 0 || (maskLow == 0 && maskHigh == 0);
        const uint64_t mask =
            (static_cast<uint64_t>(static_cast<uint32_t>(maskHigh)) << 32) | static_cast<uint32_t>(maskLow);
        const Point cursor = cursorPos();
        auto holdsCursor = [&](int n) -> ImageWindow* {
            if (!every && !(n < 64 && (mask >> n) & 1))
                return nullptr;
            ImageWindow* w = ImageWindow::of(n);
            if (!w || !isWindowVisible(w->hwnd()))
                return nullptr;
            const Point p = screenToClient(w->hwnd(), cursor);
            const Rect c = clientRect(w->hwnd());
            return p.x >= 0 && p.y >= 0 && p.x < c.width() && p.y < c.height() ? w : nullptr;
        };
        ImageWindow* chosen = holdsCursor(currentImage());
        for (int n = 0; n < kSlotCount && !chosen; ++n)
            chosen = holdsCursor(n);
        if (!chosen || !(chosen->slot().changeFactor > 1.0))
            return 0;
        const uint32_t tick = tickCountMs() / kTickMs;
        if (tick == gLastPostTick)
            return 1;
        gLastPostTick = tick;
        postMessage(chosen->hwnd(), WM_MOUSEWHEEL, makeWParam(0, static_cast<unsigned>(delta & 0xFFFF)),
                    makeLParam(cursor.x, cursor.y));
        return 1;
    });
}
