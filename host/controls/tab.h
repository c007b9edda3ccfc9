// The tab control: a strip of tabs, one selected, over a framed display area that the pages
// placed on it fill. A click or an arrow key asks the parent first (TCN_SELCHANGING, a non-zero
// answer keeps the current tab) and tells it after (TCN_SELCHANGE); changes made with messages
// are silent. Indexes count from 0; one out of range answers -1 (or FALSE) and changes nothing.
// No language values.
#pragma once
#include <cstdint>

#include "host/controls/controls.h"

namespace nuv::host::controls {

enum : uint32_t {
    TCM_GETITEMCOUNT = 0x1304,
    TCM_DELETEITEM = 0x1308,  // answers TRUE, FALSE for an index out of range
    TCM_DELETEALLITEMS = 0x1309,
    TCM_GETITEMRECT = 0x130A,  // lParam: RECT* in client coordinates
    TCM_GETCURSEL = 0x130B,
    TCM_SETCURSEL = 0x130C,   // answers the tab selected before, -1 for an index out of range
    TCM_ADJUSTRECT = 0x1328,  // wParam FALSE: a window rectangle becomes its display area; TRUE: back
    TCM_GETCURFOCUS = 0x132F,
    TCM_SETCURFOCUS = 0x1330,  // the focused tab, which is also selected
    TCM_GETITEMW = 0x133C,     // lParam: TCITEMW* whose pszText has room for cchTextMax units
    TCM_INSERTITEMW = 0x133E,  // wParam: the index (0 .. count); lParam: TCITEMW*; answers it
};

enum : uint32_t { TCIF_TEXT = 0x0001 };

// A tab's fields; only those the mask names are read or written.
struct TCITEMW {
    uint32_t mask = 0;
    uint32_t dwState = 0, dwStateMask = 0;
    char16_t* pszText = nullptr;  // NUL-ended
    int32_t cchTextMax = 0;       // read: the room for the text with its NUL
    int32_t iImage = -1;
    intptr_t lParam = 0;
};


}  // namespace nuv::host::controls
