// The list box: a column of text items in the order they were given, at most one selected,
// scrolled by its window's bars, the wheel and the keys, picked with the mouse. Indexes count
// from 0; an index out of range answers LB_ERR and changes nothing. The combo box's drop list is
// a list box in an owned popup. No language values.
#pragma once
#include <cstdint>
#include <string_view>

#include "host/controls/controls.h"

namespace nuv::host::controls {

enum : uint32_t {
    LB_ADDSTRING = 0x0180,     // lParam: NUL-ended text; answers its index
    LB_INSERTSTRING = 0x0181,  // wParam: the index (-1: the end); answers it
    LB_DELETESTRING = 0x0182,  // answers the items left
    LB_RESETCONTENT = 0x0184,
    LB_SETCURSEL = 0x0186,  // wParam: the index, -1 none; answers it (LB_ERR for -1)
    LB_GETCURSEL = 0x0188,
    LB_GETTEXT = 0x0189,     // lParam: room for LB_GETTEXTLEN units and the NUL; answers the length
    LB_GETTEXTLEN = 0x018A,
    LB_GETCOUNT = 0x018B,
    LB_GETTOPINDEX = 0x018E,
    LB_GETHORIZONTALEXTENT = 0x0193,
    LB_SETHORIZONTALEXTENT = 0x0194,  // wParam: the width in pixels the horizontal bar scrolls over
    LB_SETTOPINDEX = 0x0197,
    LB_GETITEMRECT = 0x0198,  // lParam: RECT* in client coordinates
    LB_GETITEMHEIGHT = 0x01A1,
    // lParam: a client point; answers the nearest item in the low word and 1 in the high word
    // when the point is outside the client area or below the last item.
    LB_ITEMFROMPOINT = 0x01A9,
};
enum : LRESULT { LB_OKAY = 0, LB_ERR = -1, LB_ERRSPACE = -2 };

// WM_COMMAND codes sent to the parent with LBS_NOTIFY.
enum : uint32_t { LBN_SELCHANGE = 1, LBN_SETFOCUS = 4, LBN_KILLFOCUS = 5 };

enum : uint32_t {
    LBS_NOTIFY = 0x0001,
    // Heights are never rounded to whole items; the style is taken and changes nothing.
    LBS_NOINTEGRALHEIGHT = 0x0100,
};

LRESULT listbox_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam);
// Makes the list a combo box's drop list: it asks the combo box's parent for its colours, on
// the combo box's behalf.
void listbox_serve_combo(HWND list, HWND combo);

// The item under a screen point, -1 when there is none. With auto_scroll a point above or below
// the list scrolls it one item towards the point (at most once per 100 ms of the clock) and
// answers -1.
int32_t LBItemFromPt(HWND list, POINT screen, bool auto_scroll);

// Items moved within the item stores of all list boxes so far: a run of n inserts or deletes at
// one place moves O(n) items, however long the list.
uint64_t listbox_item_moves();

// The size of a text on one line in a font, measured on the window's surface.
gfx::SIZE measure_text(HWND hwnd, HFONT font, std::u16string_view text);

}  // namespace nuv::host::controls
