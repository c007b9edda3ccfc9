// The combo box: a selection field with a button that drops a list of its items, the list a
// list box in a popup it owns. A drop-down combo (CBS_DROPDOWN) edits its text in an "EDIT"
// child; a drop-list one (CBS_DROPDOWNLIST) shows the selected item. Indexes count from 0; an
// index out of range answers CB_ERR and changes nothing. No language values.
#pragma once
#include <cstdint>

#include "host/controls/controls.h"

namespace nuv::host::controls {

enum : uint32_t {
    CB_ADDSTRING = 0x0143,  // lParam: NUL-ended text; answers its index
    CB_DELETESTRING = 0x0144,
    CB_GETCOUNT = 0x0146,
    CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148,  // lParam: room for CB_GETLBTEXTLEN units and the NUL
    CB_GETLBTEXTLEN = 0x0149,
    CB_INSERTSTRING = 0x014A,  // wParam: the index (-1: the end)
    CB_RESETCONTENT = 0x014B,
    CB_SETCURSEL = 0x014E,     // wParam: the index, -1 none; answers it (CB_ERR for -1)
    CB_SHOWDROPDOWN = 0x014F,  // wParam: TRUE drops the list, FALSE closes it
    CB_GETDROPPEDSTATE = 0x0157,
    CB_GETHORIZONTALEXTENT = 0x015D,
    CB_SETHORIZONTALEXTENT = 0x015E,
};
enum : LRESULT { CB_OKAY = 0, CB_ERR = -1, CB_ERRSPACE = -2 };

// WM_COMMAND codes sent to the parent: a selection the user made (picked in the list or moved
// by the keys), the focus gained and lost by the combo box and its parts, the user's edit.
enum : uint32_t { CBN_SELCHANGE = 1, CBN_SETFOCUS = 3, CBN_KILLFOCUS = 4, CBN_EDITCHANGE = 5 };

enum : uint32_t {
    CBS_SIMPLE = 0x0001,  // taken as CBS_DROPDOWN: the list always drops
    CBS_DROPDOWN = 0x0002,
    CBS_DROPDOWNLIST = 0x0003,
    CBS_AUTOHSCROLL = 0x0040,  // the edit scrolls its text instead of stopping at its width
    CBS_HASSTRINGS = 0x0200,   // items are always texts; the style is taken and changes nothing
};


// The popup list of a combo box, and the combo box of such a list (0 for any other window).
HWND combo_drop_list(HWND combo);
HWND combo_of_drop_list(HWND list);

}  // namespace nuv::host::controls
