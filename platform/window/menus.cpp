// Menu records, system menus, and showing a menu through the toolkit.
#include <algorithm>
#include <map>

#include "platform/window/internal.h"
#include "platform/window/menu.h"

namespace tvx::platform {

using namespace win;
using detail::MenuItem;
using detail::MenuRecord;

namespace {

// Menu handles are numbers far from window handles, so that one is never taken
// for the other when a macro prints them.
constexpr Hmenu kFirstMenu = 0xC0000000u;

struct MenuState {
    std::map<Hmenu, MenuRecord> menus;
    Hmenu next = kFirstMenu;
};

MenuState& menus() {
    static MenuState* s = new MenuState;  // lives to the end, as the window records do
    return *s;
}

MenuRecord* record(Hmenu menu) {
    auto& map = menus().menus;
    auto it = map.find(menu);
    return it == map.end() ? nullptr : &it->second;
}

Hmenu newMenu(bool popup) {
    MenuState& s = menus();
    Hmenu h = s.next;
    s.next += 2;
    if (s.next < kFirstMenu) s.next = kFirstMenu;  // wrapped: numbers stay apart from windows
    MenuRecord r;
    r.handle = h;
    r.popup = popup;
    s.menus[h] = std::move(r);
    return h;
}

// The position of an item by command id (searching submenus too) or position.
struct Found {
    MenuRecord* menu = nullptr;
    size_t index = 0;
};
Found findItem(Hmenu handle, unsigned item, unsigned flags, int depth = 0) {
    MenuRecord* m = record(handle);
    if (!m || depth > 16) return {};
    if (flags & MF_BYPOSITION) {
        if (item < m->items.size()) return {m, item};
        return {};
    }
    for (size_t i = 0; i < m->items.size(); ++i) {
        const MenuItem& it = m->items[i];
        if (!(it.flags & (MF_POPUP | MF_SEPARATOR)) && it.id == item) return {m, i};
    }
    for (size_t i = 0; i < m->items.size(); ++i) {
        if (!(m->items[i].flags & MF_POPUP)) continue;
        Found f = findItem(m->items[i].popup, item, flags, depth + 1);
        if (f.menu) return f;
    }
    return {};
}

// True when inner is menu or lies somewhere below it.
bool contains(Hmenu menu, Hmenu inner, int depth = 0) {
    if (menu == inner) return true;
    const MenuRecord* m = record(menu);
    if (!m || depth > 16) return false;
    for (const MenuItem& it : m->items)
        if ((it.flags & MF_POPUP) && contains(it.popup, inner, depth + 1)) return true;
    return false;
}

bool ownedBySomeMenu(Hmenu popup) {
    for (const auto& [h, m] : menus().menus)
        for (const MenuItem& it : m.items)
            if ((it.flags & MF_POPUP) && it.popup == popup) return true;
    return false;
}

bool makeItem(unsigned flags, uintptr_t idOrPopup, std::string_view text, Hmenu into, MenuItem& out) {
    out = MenuItem{};
    out.flags = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR);
    if (flags & MF_SEPARATOR) {
        out.flags = MF_SEPARATOR;
        return true;
    }
    out.text = std::string(text);
    if (flags & MF_POPUP) {
        Hmenu popup = static_cast<Hmenu>(idOrPopup);
        // A submenu belongs to one menu, and no menu may hold itself.
        if (!record(popup) || contains(popup, into) || ownedBySomeMenu(popup)) return false;
        out.popup = popup;
        return true;
    }
    out.id = idOrPopup & 0xFFFFFFFFu;
    return true;
}

void destroyRecord(Hmenu menu, int depth = 0) {
    MenuRecord* m = record(menu);
    if (!m || depth > 16) return;
    std::vector<Hmenu> popups;
    for (const MenuItem& it : m->items)
        if (it.flags & MF_POPUP) popups.push_back(it.popup);
    menus().menus.erase(menu);
    for (Hmenu p : popups) destroyRecord(p, depth + 1);
}

// The standard entries, greyed as the window's style and state allow.
void refreshSystemEntries(Hmenu menu, const detail::Window& w) {
    auto set = [menu](unsigned id, bool enabled) {
        Found f = findItem(menu, id, MF_BYCOMMAND);
        if (!f.menu) return;
        unsigned& flags = f.menu->items[f.index].flags;
        flags = enabled ? flags & ~(MF_GRAYED | MF_DISABLED) : flags | MF_GRAYED;
    };
    bool normal = !w.minimized && !w.maximized;
    set(SC_RESTORE, !normal);
    set(SC_MOVE, !w.maximized);
    set(SC_SIZE, normal && (w.style & WS_THICKFRAME));
    set(SC_MINIMIZE, !w.minimized && (w.style & WS_MINIMIZEBOX));
    set(SC_MAXIMIZE, !w.maximized && (w.style & WS_MAXIMIZEBOX));
}

Hmenu buildSystemMenu() {
    Hmenu menu = newMenu(true);
    appendMenu(menu, MF_STRING, SC_RESTORE, "&Restore");
    appendMenu(menu, MF_STRING, SC_MOVE, "&Move");
    appendMenu(menu, MF_STRING, SC_SIZE, "&Size");
    appendMenu(menu, MF_STRING, SC_MINIMIZE, "Mi&nimize");
    appendMenu(menu, MF_STRING, SC_MAXIMIZE, "Ma&ximize");
    appendMenu(menu, MF_SEPARATOR, 0);
    appendMenu(menu, MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
    return menu;
}

}  // namespace

namespace detail {

const MenuRecord* menuRecord(Hmenu menu) { return record(menu); }

void windowMenusDestroyed(Window& window) {
    if (window.systemMenu) destroyRecord(window.systemMenu);
    window.systemMenu = 0;
}

}  // namespace detail

Hmenu createMenu() { return newMenu(false); }
Hmenu createPopupMenu() { return newMenu(true); }

bool destroyMenu(Hmenu menu) {
    if (!record(menu)) return false;
    // A menu still held by another, or serving as a window's system menu, is
    // taken out of there first.
    for (auto& [h, m] : menus().menus)
        m.items.erase(
            std::remove_if(m.items.begin(), m.items.end(),
                           [menu](const MenuItem& it) { return (it.flags & MF_POPUP) && it.popup == menu; }),
            m.items.end());
    for (Hwnd h : allWindows())
        if (detail::Window* w = detail::find(h); w && w->systemMenu == menu) w->systemMenu = 0;
    destroyRecord(menu);
    return true;
}

bool isMenu(Hmenu menu) { return record(menu) != nullptr; }

bool appendMenu(Hmenu menu, unsigned flags, uintptr_t idOrPopup, std::string_view text) {
    MenuRecord* m = record(menu);
    MenuItem item;
    if (!m || !makeItem(flags, idOrPopup, text, menu, item)) return false;
    m->items.push_back(std::move(item));
    return true;
}

bool insertMenu(Hmenu menu, unsigned item, unsigned flags, uintptr_t idOrPopup, std::string_view text) {
    MenuRecord* m = record(menu);
    MenuItem made;
    if (!m || !makeItem(flags, idOrPopup, text, menu, made)) return false;
    size_t at = m->items.size();
    if (flags & MF_BYPOSITION) {
        at = std::min<size_t>(item, m->items.size());
    } else {
        for (size_t i = 0; i < m->items.size(); ++i)
            if (!(m->items[i].flags & (MF_POPUP | MF_SEPARATOR)) && m->items[i].id == item) {
                at = i;
                break;
            }
    }
    m->items.insert(m->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(made));
    return true;
}

bool deleteMenu(Hmenu menu, unsigned item, unsigned flags) {
    Found f = findItem(menu, item, flags);
    if (!f.menu) return false;
    MenuItem gone = f.menu->items[f.index];
    f.menu->items.erase(f.menu->items.begin() + static_cast<std::ptrdiff_t>(f.index));
    if (gone.flags & MF_POPUP) destroyRecord(gone.popup);
    return true;
}

int menuItemCount(Hmenu menu) {
    const MenuRecord* m = record(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

int menuItemId(Hmenu menu, int position) {
    const MenuRecord* m = record(menu);
    if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return -1;
    const MenuItem& it = m->items[static_cast<size_t>(position)];
    if (it.flags & MF_POPUP) return -1;
    if (it.flags & MF_SEPARATOR) return 0;
    return static_cast<int>(it.id);
}

Hmenu subMenu(Hmenu menu, int position) {
    const MenuRecord* m = record(menu);
    if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return 0;
    const MenuItem& it = m->items[static_cast<size_t>(position)];
    return (it.flags & MF_POPUP) ? it.popup : 0;
}

std::string menuString(Hmenu menu, unsigned item, unsigned flags) {
    Found f = findItem(menu, item, flags);
    return f.menu ? f.menu->items[f.index].text : std::string();
}

unsigned menuState(Hmenu menu, unsigned item, unsigned flags) {
    Found f = findItem(menu, item, flags);
    return f.menu ? f.menu->items[f.index].flags : 0xFFFFFFFFu;
}

int checkMenuItem(Hmenu menu, unsigned item, unsigned flags) {
    Found f = findItem(menu, item, flags);
    if (!f.menu) return -1;
    unsigned& state = f.menu->items[f.index].flags;
    int previous = static_cast<int>(state & MF_CHECKED);
    state = (flags & MF_CHECKED) ? state | MF_CHECKED : state & ~MF_CHECKED;
    return previous;
}

int enableMenuItem(Hmenu menu, unsigned item, unsigned flags) {
    Found f = findItem(menu, item, flags);
    if (!f.menu) return -1;
    unsigned& state = f.menu->items[f.index].flags;
    int previous = static_cast<int>(state & (MF_GRAYED | MF_DISABLED));
    state = (state & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return previous;
}

Hmenu systemMenu(Hwnd hwnd, bool revert) {
    detail::Window* w = detail::find(hwnd);
    if (!w) return 0;
    if (revert) {
        detail::windowMenusDestroyed(*w);
        return 0;
    }
    if (!w->systemMenu) w->systemMenu = buildSystemMenu();
    return w->systemMenu;
}

int trackPopupMenu(Hmenu menu, unsigned flags, int x, int y, Hwnd owner) {
    if (!record(menu)) return 0;
    detail::Backend* b = detail::backend();
    if (!b) return 0;
    int id = b->popupMenu(menu, {x, y}, owner);
    if (flags & TPM_RETURNCMD) return id;
    if (id && owner && isWindow(owner) && !(flags & TPM_NONOTIFY))
        postMessage(owner, WM_COMMAND, makeWParam(static_cast<unsigned>(id), 0), 0);
    return id != 0;
}

int showSystemMenu(Hwnd hwnd, Point screen) {
    detail::Window* w = detail::find(hwnd);
    if (!w) return 0;
    Hmenu menu = systemMenu(hwnd);
    refreshSystemEntries(menu, *w);
    // The window may still change its entries: the system menu's popup notice.
    sendMessage(hwnd, WM_INITMENUPOPUP, menu, makeLParam(0, 1));
    if (!isMenu(menu) || !isWindow(hwnd)) return 0;
    detail::Backend* b = detail::backend();
    int id = b ? b->popupMenu(menu, screen, hwnd) : 0;
    if (id && isWindow(hwnd))
        postMessage(hwnd, WM_SYSCOMMAND, static_cast<WParam>(id), makeLParam(screen.x, screen.y));
    return id;
}

}  // namespace tvx::platform
