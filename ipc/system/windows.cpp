// FindChildWindow: the search and the window layer as a window source.
#include "ipc/system/windows.h"

#include <algorithm>

#include "interp/api.h"
#include "ipc/system/system.h"
#include "platform/window/window.h"

namespace tvx::ipc {

namespace windows {

namespace {

// The flags word of FindChildWindow.
enum SearchFlags : uint32_t {
    kOccurrenceMask = 0xFFFF,  // matches to skip
    kAncestorShift = 16,       // bits 16..18: report the text of that ancestor
    kReportClass = 0x80000,    // report the class name instead of the text
    kInvisibleToo = 0x100000,  // consider invisible windows (and an invisible parent)
    kPressSpace = 0x1000000,   // press the space key in the window found
};

constexpr int kMaxDepth = 7;
constexpr int kMaxWindows = 10000;

class LayerWindows : public WindowSource {
public:
    bool owns(uint32_t handle) override { return platform::isWindow(handle); }
    std::vector<uint32_t> children(uint32_t parent) override {
        if (parent != kDesktop) return platform::childrenOf(parent);
        // Top-level windows, the most recently made first (as the newest is on top).
        std::vector<uint32_t> tops;
        for (platform::Hwnd h : platform::allWindows())
            if (!platform::parentOf(h)) tops.push_back(h);
        std::reverse(tops.begin(), tops.end());
        return tops;
    }
    std::string className(uint32_t handle) override { return platform::className(handle); }
    std::string text(uint32_t handle) override { return platform::windowText(handle); }
    bool visible(uint32_t handle) override { return platform::isWindowVisible(handle); }
    bool enabled(uint32_t handle) override { return platform::isWindowEnabled(handle); }
    uint32_t parent(uint32_t handle) override {
        platform::Hwnd p = platform::parentOf(handle);
        return p ? p : kDesktop;
    }
    void pressSpace(uint32_t handle) override {
        using namespace platform::win;
        platform::sendMessage(handle, WM_KEYDOWN, VK_SPACE, 0x00390001);
        platform::sendMessage(handle, WM_KEYDOWN, VK_SPACE, 0x40390001);
        platform::sendMessage(handle, WM_KEYUP, VK_SPACE, static_cast<platform::LParam>(0xC0390001));
    }
};

WindowSource* sourceOf(const std::vector<WindowSource*>& sources, uint32_t handle) {
    for (WindowSource* s : sources)
        if (s->owns(handle)) return s;
    return nullptr;
}

std::vector<uint32_t> childrenOf(const std::vector<WindowSource*>& sources, uint32_t parent) {
    std::vector<uint32_t> all;
    if (parent == kDesktop) {
        for (WindowSource* s : sources) {
            std::vector<uint32_t> tops = s->children(kDesktop);
            all.insert(all.end(), tops.begin(), tops.end());
        }
        return all;
    }
    WindowSource* s = sourceOf(sources, parent);
    return s ? s->children(parent) : all;
}

bool isVisible(const std::vector<WindowSource*>& sources, uint32_t handle) {
    if (handle == kDesktop) return true;
    WindowSource* s = sourceOf(sources, handle);
    return s && s->visible(handle);
}

struct Walk {
    const std::vector<WindowSource*>& sources;
    const SearchRequest& request;
    int maxDepth;
    int skip;
    int visited = 0;
    uint32_t found = 0;
    int foundDepth = 0;

    bool matches(WindowSource& s, uint32_t h) const {
        if (!(request.flags & kInvisibleToo) && !s.visible(h)) return false;
        if (!request.className.empty() && s.className(h) != request.className) return false;
        return request.text.empty() || s.text(h) == request.text;
    }
    // Depth first below parent; true when the window is found (or the walk must end).
    bool below(uint32_t parent, int depth) {
        for (uint32_t h : childrenOf(sources, parent)) {
            if (++visited > kMaxWindows) return true;
            WindowSource* s = sourceOf(sources, h);
            if (!s) continue;
            if (matches(*s, h) && skip-- == 0) {
                found = h;
                foundDepth = depth;
                return true;
            }
            if (depth < maxDepth && below(h, depth + 1)) return true;
        }
        return false;
    }
};

void describe(const std::vector<WindowSource*>& sources, const SearchRequest& request, uint32_t top,
              uint32_t handle, int depth, SearchResult& result) {
    WindowSource* s = sourceOf(sources, handle);
    result.handle = handle;
    result.depth = depth;
    result.enabled = s && s->enabled(handle);
    uint32_t h = handle;
    for (int i = 0; i < 8; ++i) {
        result.chain[i] = h;
        if (h == top || h == kDesktop) {
            for (int k = i + 1; k < 8; ++k) result.chain[k] = 0;
            break;
        }
        WindowSource* owner = sourceOf(sources, h);
        h = owner ? owner->parent(h) : kDesktop;
    }
    int ancestor = static_cast<int>((request.flags >> kAncestorShift) & 7);
    uint32_t reported = ancestor > 0 ? result.chain[ancestor] : handle;
    WindowSource* rs = reported ? sourceOf(sources, reported) : nullptr;
    result.text = !rs                              ? std::string()
                  : (request.flags & kReportClass) ? rs->className(reported)
                                                   : rs->text(reported);
    if (result.text.size() > 255) result.text.resize(255);
}

}  // namespace

std::unique_ptr<WindowSource> makeLayerWindows() { return std::make_unique<LayerWindows>(); }

// Parent -13 is the desktop; -1 with occurrence 0 finds a top-level window
// (visible or not) by class and text, with an occurrence the desktop's direct
// children are searched; 0 is the desktop, 1 the first top-level dialog. The
// walk goes depth first down to 7 levels and through at most 10000 windows;
// a window counts when it is visible (or kInvisibleToo) and its class and text
// equal the filters; the occurrence number skips that many matches.
bool findChildWindow(const std::vector<WindowSource*>& sources, const SearchRequest& request,
                     SearchResult& result) {
    result = SearchResult{};
    int occurrence = static_cast<int>(request.flags & kOccurrenceMask);
    uint32_t parent = 0;
    int maxDepth = kMaxDepth;
    SearchRequest effective = request;
    switch (request.parent) {
    case -13: result.handle = kDesktop; return true;
    case -1:
        parent = kDesktop;
        maxDepth = 1;
        if (occurrence == 0) effective.flags |= kInvisibleToo;  // FindWindow sees hidden windows too
        break;
    case 0: parent = kDesktop; break;
    case 1:
        for (uint32_t h : childrenOf(sources, kDesktop)) {
            WindowSource* s = sourceOf(sources, h);
            if (s && s->className(h) == "#32770") {
                parent = h;
                break;
            }
        }
        if (!parent) return false;
        break;
    default:
        parent = static_cast<uint32_t>(request.parent);
        if (parent != kDesktop && !sourceOf(sources, parent)) return false;
    }
    if (!(request.flags & kInvisibleToo) && !isVisible(sources, parent)) return false;
    Walk walk{sources, effective, maxDepth, occurrence};
    walk.below(parent, 1);
    if (!walk.found) return false;
    describe(sources, effective, parent, walk.found, walk.foundDepth, result);
    if (request.flags & kPressSpace) {
        if (WindowSource* s = sourceOf(sources, walk.found)) s->pressSpace(walk.found);
    }
    return true;
}

}  // namespace windows

namespace {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

struct WindowSearchState : interp::FamilyState {
    std::unique_ptr<windows::WindowSource> layer = windows::makeLayerWindows();
    std::unique_ptr<windows::WindowSource> x11;
    bool x11Tried = false;
};

// FindChildWindow(parent, text; class, flags): the window's handle, 0 when
// none. !Result[0] = enabled, [1] = depth, [2..9] = the handles from the
// window up to the parent; !StrResult = its text (see the flags).
Error findChildWindowFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    WindowSearchState& state = ip.state<WindowSearchState>();
    if (!state.x11Tried) {
        state.x11Tried = true;
        state.x11 = windows::makeX11Windows();
    }
    windows::SearchRequest request;
    request.parent = args.l(0);
    request.text = std::string(args.text(1));
    request.className = std::string(args.present(2) ? args.text(2) : std::string_view());
    request.flags = args.present(3) ? static_cast<uint32_t>(args.l(3)) : 0;
    if (request.text == "NULL") request.text.clear();
    if (request.className == "NULL") request.className.clear();
    if (request.className == "(Dialog)") request.className = "#32770";
    std::vector<windows::WindowSource*> sources{state.layer.get()};
    if (state.x11) sources.push_back(state.x11.get());
    windows::SearchResult found;
    result.setReal(0);
    if (!windows::findChildWindow(sources, request, found)) return kOk;
    result.setReal(found.handle);
    if (request.parent == -13) return kOk;
    auto& words = ip.results().values;
    words[0] = found.enabled ? 1 : 0;
    words[1] = found.depth;
    for (int i = 0; i < 8; ++i) words[static_cast<size_t>(2 + i)] = static_cast<int32_t>(found.chain[i]);
    ip.results().text = found.text;
    return kOk;
}

constexpr interp::CommandRow kWindowRows[] = {
    {interp::cmd::FindChildWindow, findChildWindowFunction},
};

}  // namespace

void registerWindowSearchCommands(Interpreter& ip) { ip.install({"system/windows", kWindowRows}); }

}  // namespace tvx::ipc
