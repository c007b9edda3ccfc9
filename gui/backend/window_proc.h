// The window procedure of the backend's own face windows ("NuvWindow", "NuvPanel"): the
// messages that do not pass through the loop's pre-dispatch become events here (moves and
// resizes, activation, closing, window-state changes, timers, scroll bars, commands and
// notifications of the controls inside), faces with a draw block are painted through the draw
// engine, and colours, cursors, capture, size limits, DPI and display changes are answered.
// Messages for a window that belongs to no face go to the default procedure. GUI thread only.
#pragma once
#include <cstdint>

#include "gui/backend/event.h"
#include "host/win/window.h"
#include "runtime/cell.h"

typedef struct _cairo cairo_t;

namespace nuv::gui::backend {

using host::win::HWND;
using host::win::LRESULT;

// The private message that carries a window command: wParam is the command's event type id
// (event::Type: `minimize`, `maximize` or `restore`).
inline constexpr uint32_t WM_WINDOW_COMMAND = 0x402;

// Facet positions of a face object that the window procedure reads.
enum FaceFacet : int32_t {
    kFacetType = 0,
    kFacetOffset = 1,
    kFacetSize = 2,
    kFacetText = 3,
    kFacetColor = 5,
    kFacetData = 7,
    kFacetSelected = 10,
    kFacetFlags = 11,
    kFacetParent = 13,
    kFacetPane = 14,
    kFacetState = 15,
    kFacetRate = 16,
    kFacetPara = 18,
    kFacetFont = 19,
    kFacetDraw = 22,
};

// WindowExtra::flag_word bits.
inline constexpr uint32_t kFlagSizeIsPair = 0x10;
// WindowExtra::companion of a window that closes without raising `close`.
inline constexpr intptr_t kCloseWithoutEvent = -1;

// The window procedure of "NuvWindow" and "NuvPanel".
LRESULT window_procedure(HWND window, uint32_t message, intptr_t wParam, intptr_t lParam);

// `minimize` and `maximize` ask the window to change its state; `restore` shows a minimised or
// maximised window normally again and brings a face's window to the front. Other words do
// nothing.
void window_command(HWND window, event::Type type);

// A window face's WM_MOVE or WM_SIZE: the face's `offset` (the window's outer position) or
// `size` set from the packed client point, in units, a pair! for a size given as one. Answers
// the packed point in pixels (the outer position for a move). Allocates nothing.
intptr_t store_move_or_size(HWND window, const Cell* face, uint32_t message, intptr_t packed);

// Fills the client area with the face's `color` (the button-face colour without one, except for a
// child window, which is then left as it is). Answers whether it filled.
bool paint_background(HWND window, cairo_t* dc);

// The timer procedure of a face's `rate`: raises `time` on the window.
void timer_procedure(HWND window, uint32_t message, uintptr_t id, uint32_t time);

// Places every window of the faces in the pane (a block) anew at the current DPI, recursing into
// their panes, and makes their fonts again once each. Allocates.
void relayout_pane(const Cell* pane);

// 1 between the start and the end of a window face's interactive move or resize.
inline int32_t g_in_size_move = 0;

}  // namespace nuv::gui::backend
