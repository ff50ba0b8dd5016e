// Menus: popup menus with commands, separators and submenus, a window's system
// menu, and showing a menu where the person can choose from it.
//
// A menu is a record of this layer behind an integer handle, like a window. The
// system menu of a window is its own copy of the standard entries (Restore,
// Move, Size, Minimize, Maximize, Close), made when first asked for; a program
// appends its own commands, and a command chosen there reaches the window as
// WM_SYSCOMMAND with the command's id in wParam. A command chosen from a menu
// shown by trackPopupMenu reaches the owner as WM_COMMAND (or is returned with
// TPM_RETURNCMD).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window/window.h"

namespace tvx::platform {

// A menu handle: never 0 for a menu, never reused while the program runs.
using Hmenu = uint32_t;

Hmenu createMenu();
Hmenu createPopupMenu();
// Destroys the menu and the submenus it holds.
bool destroyMenu(Hmenu menu);
bool isMenu(Hmenu menu);

// Appends an item: MF_STRING with a command id, MF_POPUP with a submenu handle in
// idOrPopup (the menu then owns the submenu), or MF_SEPARATOR; MF_GRAYED,
// MF_DISABLED and MF_CHECKED set its state. False for a missing menu, a missing
// submenu, or a submenu that would hold the menu itself.
bool appendMenu(Hmenu menu, unsigned flags, uintptr_t idOrPopup, std::string_view text = {});
// Inserts before the item named by item (a command id, or with MF_BYPOSITION a
// position; an unknown item or position appends).
bool insertMenu(Hmenu menu, unsigned item, unsigned flags, uintptr_t idOrPopup, std::string_view text = {});
// Removes an item (MF_BYCOMMAND or MF_BYPOSITION) and destroys its submenu.
bool deleteMenu(Hmenu menu, unsigned item, unsigned flags);

// Items: -1 for a missing menu; the id of a command, 0 for a separator and -1 for
// a submenu or a missing position; the submenu at a position (0 for none); the
// text; the state bits (MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_POPUP,
// MF_SEPARATOR), 0xFFFFFFFF for a missing item.
int menuItemCount(Hmenu menu);
int menuItemId(Hmenu menu, int position);
Hmenu subMenu(Hmenu menu, int position);
std::string menuString(Hmenu menu, unsigned item, unsigned flags);
unsigned menuState(Hmenu menu, unsigned item, unsigned flags);
// Set the check or enabled state; return the previous state bits of that kind,
// or -1 for a missing item.
int checkMenuItem(Hmenu menu, unsigned item, unsigned flags);
int enableMenuItem(Hmenu menu, unsigned item, unsigned flags);

// The window's system menu (GetSystemMenu). revert true destroys a changed copy
// and returns 0; the next call makes a fresh one. 0 for a missing window.
Hmenu systemMenu(Hwnd hwnd, bool revert = false);

// Shows the menu at the screen point and waits until the person chooses or
// dismisses it, serving the message queue meanwhile. With TPM_RETURNCMD the
// chosen id is returned (0 for none); otherwise WM_COMMAND with the id is posted
// to owner and the result is non-zero when something was chosen. Without a
// toolkit nothing can be chosen: 0.
int trackPopupMenu(Hmenu menu, unsigned flags, int x, int y, Hwnd owner);
// Shows the window's system menu (what Alt+Space and the menu key do); a choice
// is posted to the window as WM_SYSCOMMAND. Returns the id chosen, 0 for none.
int showSystemMenu(Hwnd hwnd, Point screen);

}  // namespace tvx::platform
