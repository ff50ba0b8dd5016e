// The window of an image slot: zoom, scroll, placement, the system menu, mouse and
// keyboard reporting, full screen, and painting through paint.h.
//
// One ImageWindow per slot at most. The slot keeps the window handle
// (Slot::window) and the zoom state; the object keeps what only a window has
// (scroll position and range, the full-screen state). The object goes away with
// its window, whoever closes it.
#pragma once

#include "imagelib/markers/marker_list.h"
#include "imagelib/window/zoom.h"
#include "platform/window/window.h"

#include <cstdint>
#include <string>

namespace tvx::imagelib {

struct Slot;

class ImageWindow {
public:
    static constexpr const char* kClassName = "PixoryImageWindow";

    // The window of slot number (0..31), null when it has none.
    static ImageWindow* of(int number);
    static ImageWindow* ofHandle(platform::Hwnd hwnd);
    // Opens the slot's window with the parent (owner) and title, or re-titles the
    // window it has; then lays it out. Null when no window could be made.
    static ImageWindow* open(int number, platform::Hwnd parent, const std::string& title);
    // Destroys the slot's window (the image stays).
    static void close(int number);
    static void closeAll();
    // The image number whose window is hwnd or holds it, -1 for none.
    static int numberOf(platform::Hwnd hwnd);

    platform::Hwnd hwnd() const
    {
        return hwnd_;
    }
    int number() const
    {
        return number_;
    }
    Slot& slot() const;

    // Zoomed size, bars, scroll range and page after a zoom, DIB or size change.
    void recomputeLayout();
    // how bit 0 erases, bit 1 paints at once (WM_PAINT), bit 2 paints directly.
    void repaint(int how);
    // The zoom now in force and the one that fits the client area.
    double zoom() const;
    double fitZoom() const;
    // Stores a zoom (> 0, kept within the limits); true when it changed. Lays out
    // and repaints unless updates are suppressed.
    bool setZoom(double zoom);
    // One zoom step in or out about a client point (the centre for steps out).
    void zoomStep(bool in, platform::Point about, bool wheel);

    // The window's markers, drawn over the picture and moved with the mouse.
    MarkerList& markers()
    {
        return markers_;
    }
    // Repaints after the markers changed, unless updates are suppressed.
    void markersChanged();

    // Scroll offset of the client area in screen pixels.
    int64_t scrollX() const
    {
        return scrollX_;
    }
    int64_t scrollY() const
    {
        return scrollY_;
    }
    // Scrolls to (x, y) screen pixels; with enlarge the range grows to reach it.
    void scrollTo(int64_t x, int64_t y, bool enlarge);

    // Placement from the settings record; a given size or position overrides it.
    struct PlacementRequest {
        bool useStoredSize = false;
        bool hasSize = false;
        int width = 0;
        int height = 0;
        bool hasPosition = false;
        int left = 0;
        int top = 0;
    };
    void restorePlacement(const PlacementRequest& request);
    bool placed() const
    {
        return placed_;
    }

    // Full screen: the window covers its monitor (or with workArea that monitor's
    // work area, as maximising does) with its frame outside.
    bool fullScreen() const
    {
        return fullScreen_;
    }
    void enterFullScreen(bool workArea);
    void leaveFullScreen();

    // The window procedure (the class's).
    static platform::LResult proc(platform::Hwnd hwnd, unsigned message, platform::WParam wParam,
                                  platform::LParam lParam);

private:
    template <class, int>
    friend class WindowTable;
    explicit ImageWindow(int number) : number_(number) {}

    platform::LResult dispatch(unsigned message, platform::WParam wParam, platform::LParam lParam,
                               bool& done);
    void paint();
    void onScroll(int bar, unsigned code, unsigned position);
    void onMouse(unsigned message, platform::WParam wParam, platform::LParam lParam);
    void onWheel(platform::WParam wParam, platform::LParam lParam);
    bool onSysCommand(platform::WParam wParam);
    void savePlacement();
    void extendSystemMenu();
    MarkerView markerView() const
    {
        return {zoom(), scrollX_, scrollY_};
    }
    double imageX(int clientX) const;
    double imageY(int clientY) const;
    platform::Rect clientArea() const;

    int number_;
    platform::Hwnd hwnd_ = 0;
    int64_t scrollX_ = 0, scrollY_ = 0;
    int64_t rangeX_ = 0, rangeY_ = 0;
    int pageX_ = 1, pageY_ = 1;
    int zoomedWidth_ = 512, zoomedHeight_ = 512;
    bool barH_ = false, barV_ = false;
    bool inLayout_ = false;
    bool opening_ = false;
    bool placed_ = false;
    FitMemory fitMemory_;
    // Full screen and the state to return to.
    bool fullScreen_ = false;
    bool fullByMaximise_ = false;
    platform::WindowPlacement normalPlacement_;
    double fullZoom_ = 1.0;
    double fullImageX_ = 0, fullImageY_ = 0;
    std::string lastRecord_;  // the placement text last written
    MarkerList markers_;
};

}  // namespace tvx::imagelib
