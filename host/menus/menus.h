// Menus: menu records with their items (text with an & mnemonic, command id, submenu, item data,
// separator, grayed and checked states), the menu bar a top-level window shows in its frame's
// strip, and the modal loop that tracks a bar or a popup menu with the mouse and the keyboard.
// A menu handle is never reused; every call with a stale handle fails. The loop tells the owner
// window what happens: WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP, WM_MENUSELECT on every
// highlight and 0xFFFF0000 with lParam 0 on close, WM_EXITMENULOOP, then the chosen WM_COMMAND.
// No language values; GUI thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "host/win/window.h"

namespace nuv::host::menus {

using win::HWND;
using win::RECT;
using HMENU = intptr_t;  // 0: none

enum : uint32_t { WM_ENTERMENULOOP = 0x0211, WM_EXITMENULOOP = 0x0212 };

// AppendMenu's flags, and the flags in the high word of WM_MENUSELECT's wParam.
enum : uint32_t {
    MF_STRING = 0x0000,
    MF_GRAYED = 0x0001,
    MF_DISABLED = 0x0002,
    MF_CHECKED = 0x0008,
    MF_POPUP = 0x0010,
    MF_HILITE = 0x0080,
    MF_SEPARATOR = 0x0800,
    MF_MOUSESELECT = 0x8000,
};
// What a MENUITEMINFO sets or asks for.
enum : uint32_t {
    MIIM_STATE = 0x0001,
    MIIM_ID = 0x0002,
    MIIM_SUBMENU = 0x0004,
    MIIM_DATA = 0x0020,
    MIIM_STRING = 0x0040,
    MIIM_FTYPE = 0x0100,
};
enum : uint32_t { MFT_STRING = 0x0000, MFT_SEPARATOR = 0x0800 };
enum : uint32_t { MFS_ENABLED = 0x0000, MFS_GRAYED = 0x0003, MFS_CHECKED = 0x0008 };

// One item as InsertMenuItem, SetMenuItemInfo and GetMenuItemInfo pass it: only the fields the
// mask names are read or written.
struct MENUITEMINFO {
    uint32_t fMask = 0;
    uint32_t fType = MFT_STRING;
    uint32_t fState = MFS_ENABLED;
    uint32_t wID = 0;
    HMENU hSubMenu = 0;
    uintptr_t dwItemData = 0;
    std::u16string text;
};

// A menu bar (CreateMenu) or a popup menu (CreatePopupMenu), empty.
HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and the submenus its items hold. False for a stale handle.
bool DestroyMenu(HMENU menu);
bool IsMenu(HMENU menu);
// The number of items; -1 for a stale handle.
int32_t GetMenuItemCount(HMENU menu);

// Appends an item: `item` is the command id, or the submenu's handle with MF_POPUP; a separator
// takes no text. False for a stale menu or submenu, or a submenu that holds the menu.
bool AppendMenu(HMENU menu, uint32_t flags, uintptr_t item, std::u16string_view text);
// By position (`item` up to the count; the count appends) or before the item with command id
// `item`, searched in the menu and its submenus. False, with nothing changed, for a position past
// the count, an unknown id, a stale submenu, a submenu that holds the menu, or an unknown type.
bool InsertMenuItem(HMENU menu, uint32_t item, bool by_position, const MENUITEMINFO& info);
bool SetMenuItemInfo(HMENU menu, uint32_t item, bool by_position, const MENUITEMINFO& info);
bool GetMenuItemInfo(HMENU menu, uint32_t item, bool by_position, MENUITEMINFO* info);

// Draws a top-level window's menu bar again after its items changed.
bool DrawMenuBar(HWND hwnd);
// The screen rectangle of an item: of the window's menu bar (hwnd names the window), or of a
// popup menu while it is shown (hwnd is ignored). False when the item is not on the screen.
bool GetMenuItemRect(HWND hwnd, HMENU menu, uint32_t position, RECT* rect);

enum : uint32_t { TPM_LEFTBUTTON = 0x0000, TPM_RIGHTBUTTON = 0x0002, TPM_RETURNCMD = 0x0100 };
// Shows the popup menu with its top-left at the screen point (kept on the display) in a window
// owned by `owner`, and runs the menu loop until an item is chosen or the menu is dismissed
// (Escape, a press outside, WM_QUIT, which is posted again, or the owner or menu destroyed).
// With TPM_RETURNCMD answers the chosen id (0 for none) and posts nothing; otherwise posts
// WM_COMMAND with the id to the owner and answers 1. 0 for a stale menu or owner, or while
// another menu loop runs. TPM_RIGHTBUTTON lets the right button choose as well.
int32_t TrackPopupMenuEx(HMENU menu, uint32_t flags, int32_t x, int32_t y, HWND owner);

}  // namespace nuv::host::menus
