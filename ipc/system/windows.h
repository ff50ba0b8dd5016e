// Window search (FindChildWindow) over two trees of windows: the program's
// own windows (the window layer's handles) and, on an X display, the other
// programs' windows (X window ids). Both hang below one stand-in desktop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tvx::ipc::windows {

// The desktop window: an odd number, which the window layer never hands out.
constexpr uint32_t kDesktop = 0x10001;

// A tree of windows that FindChildWindow can walk.
class WindowSource {
public:
    virtual ~WindowSource() = default;
    // True when the handle is a window of this source.
    virtual bool owns(uint32_t handle) = 0;
    // The top-level windows (parent kDesktop) or the children of a window,
    // the topmost first.
    virtual std::vector<uint32_t> children(uint32_t parent) = 0;
    virtual std::string className(uint32_t handle) = 0;
    virtual std::string text(uint32_t handle) = 0;
    virtual bool visible(uint32_t handle) = 0;
    virtual bool enabled(uint32_t handle) = 0;
    // The parent window, kDesktop for a top-level window.
    virtual uint32_t parent(uint32_t handle) = 0;
    // A space key pressed and released in the window (WM_KEYDOWN twice, WM_KEYUP).
    virtual void pressSpace(uint32_t handle) = 0;
};

// The window layer's windows.
std::unique_ptr<WindowSource> makeLayerWindows();
// The windows of the X display named by DISPLAY, without this program's own
// (the layer has those); nullptr without a display.
std::unique_ptr<WindowSource> makeX11Windows();

struct SearchRequest {
    int32_t parent = 0;
    std::string text;       // "" matches every text
    std::string className;  // "" matches every class
    uint32_t flags = 0;
};

struct SearchResult {
    uint32_t handle = 0;
    bool enabled = false;
    int depth = 0;
    uint32_t chain[8] = {};  // the window, its parent, ... up to the search's parent
    std::string text;        // the text (or class, or an ancestor's text) reported
};

// FindChildWindow's search (its flags are described in windows.cpp); false
// when nothing matches or the parent is invisible.
bool findChildWindow(const std::vector<WindowSource*>& sources, const SearchRequest& request,
                     SearchResult& result);

}  // namespace tvx::ipc::windows
