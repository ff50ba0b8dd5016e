// The windows of one kind that the library keeps, one per number: the object of
// a window found from its handle, a window being made bound to its object by its
// first message, and the object of a destroyed window kept until none of its
// code runs any more (windows are destroyed from inside their own procedures).
#pragma once

#include "platform/window/window.h"

#include <memory>
#include <vector>

namespace tvx::imagelib {

// Window keeps its handle in hwnd_ and serves messages through
// dispatch(message, wParam, lParam, done); both may be private if it befriends
// WindowTable.
template <class Window, int Count>
class WindowTable {
public:
    static WindowTable& instance()
    {
        static WindowTable table;
        return table;
    }

    // Marks work on the windows: objects retired meanwhile are freed when the
    // outermost mark ends.
    struct Busy {
        Busy()
        {
            ++instance().depth_;
        }
        ~Busy()
        {
            WindowTable& t = instance();
            if (--t.depth_ == 0)
                t.gone_.clear();
        }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
    };

    // The object of number n, with or without its window (null for none).
    Window* entry(int n) const
    {
        return n >= 0 && n < Count ? entries_[n].get() : nullptr;
    }
    // The object of number n while it has a window.
    Window* of(int n) const
    {
        Window* w = entry(n);
        return w && w->hwnd_ ? w : nullptr;
    }
    // The number whose window is hwnd, -1 for none.
    int indexOf(platform::Hwnd hwnd) const
    {
        for (int n = 0; n < Count && hwnd; ++n)
            if (entries_[n] && entries_[n]->hwnd_ == hwnd)
                return n;
        return -1;
    }

    // Makes object the entry of n and calls make(), which creates its window; the
    // window's first message binds it to the object. The object when it got its
    // window, else null (the object is retired).
    template <class Make>
    Window* create(int n, std::unique_ptr<Window> object, Make make)
    {
        Busy busy;
        Window* w = object.get();
        entries_[n] = std::move(object);
        binding_ = n;
        const platform::Hwnd hwnd = make();
        binding_ = -1;
        if (!hwnd || !platform::isWindow(hwnd) || !w->hwnd_) {
            retire(n, w);
            return nullptr;
        }
        return w;
    }

    // The window procedure of the class: the message goes to its window's object.
    platform::LResult dispatch(platform::Hwnd hwnd, unsigned message, platform::WParam wParam,
                               platform::LParam lParam)
    {
        Window* w = entry(indexOf(hwnd));
        if (!w && binding_ >= 0 && entries_[binding_] && !entries_[binding_]->hwnd_) {
            w = entries_[binding_].get();
            w->hwnd_ = hwnd;
        }
        if (!w)
            return platform::defWindowProc(hwnd, message, wParam, lParam);
        Busy busy;
        bool done = true;
        const platform::LResult result = w->dispatch(message, wParam, lParam, done);
        return done ? result : platform::defWindowProc(hwnd, message, wParam, lParam);
    }

    // Destroys the window of n (its object goes with it).
    void close(int n)
    {
        Busy busy;
        if (Window* w = of(n))
            platform::destroyWindow(w->hwnd_);
    }
    void closeAll()
    {
        Busy busy;
        for (int n = 0; n < Count; ++n)
            close(n);
    }

    // The object of n leaves the table (its window is gone); it is freed once
    // nothing of it runs.
    void retire(int n, const Window* object)
    {
        if (n >= 0 && n < Count && entries_[n].get() == object)
            gone_.push_back(std::move(entries_[n]));
        if (depth_ == 0)
            gone_.clear();
    }

private:
    std::unique_ptr<Window> entries_[Count];
    std::vector<std::unique_ptr<Window>> gone_;
    int depth_ = 0;
    int binding_ = -1;  // the number whose window is being made
};

}  // namespace tvx::imagelib
