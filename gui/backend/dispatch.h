// Event creation and dispatch: one window message becomes the one shared event value, the
// current event record, which goes to system/view/awake; its answer decides whether the message
// goes on or is swallowed. Also the facets of such an operating-system event, computed from its
// message record when a script reads them, the key and mouse flags, the virtual keys' words, and
// the sending of a made event back as a window message. GUI thread only; re-entrant: a handler
// may run a nested loop, during which further messages rewrite the current event record.
#pragma once
#include <cstdint>

#include "gui/backend/event.h"
#include "host/win/window.h"
#include "runtime/cell.h"

namespace nuv::gui::dispatch {

using host::win::HWND;
using host::win::MSG;

// The input state of the process.
struct InputState {
    int32_t special_key = -1;         // the virtual key of the last key without a character; -1: it had one
    uint32_t pending_char = 0;        // a high surrogate awaiting its low half, then the joined code point
    int64_t forced_key_flags = -1;    // flags standing in for the keyboard's during a sent key; -1: none
    bool ime_composing = false;       // an input-method composition is under way
    host::win::POINT menu_point{};    // client point of the last right-button press
    const MSG* current_message = nullptr;  // the message the loop is dispatching, null outside
};
inline InputState g_input;

// Back to the state before start-up; installs the facets and the sending that event values
// borrow (event::g_dispatch). Run by the boot step `gui-names`.
void reset();

// The keyboard's modifier flags (control, shift, alt) and, unless `modifiers_only`, the mouse
// buttons held.
uint32_t key_state_flags(bool modifiers_only);
// The flags of a mouse message's wParam (MK_*).
uint32_t mouse_key_flags(intptr_t wparam);
// The flags a key event carries: the forced ones while a sent key is handled, else the keyboard's.
uint32_t key_flags();

// The `flags` of a `menu` event: the menu item's symbol, kept whole, or this for none.
inline constexpr uint32_t kNoMenuItem = 0xFFFFFFFF;

// Fills the current event record for the message (kept in the message ring) as an event of
// `type` and hands it to system/view/awake; answers 1 to let the message go on, 0 when it was answered
// `stop`. Errors and throws of the handlers are dropped (the answer is then 1). When a handler
// closed the last window of a view (the loop depth dropped), WM_QUIT is posted. Allocates.
int32_t make_event(const MSG& msg, event::Type type, uint32_t flags);
// The same for a message a window procedure handles, its time and point those of the message the
// loop took last.
int32_t make_event(HWND hwnd, uint32_t message, intptr_t wparam, intptr_t lparam, event::Type type, uint32_t flags);
// The same with the type's id.
inline int32_t make_event(HWND hwnd, uint32_t message, intptr_t wparam, intptr_t lparam, int32_t type,
                          uint32_t flags) {
    return make_event(hwnd, message, wparam, lparam, static_cast<event::Type>(type), flags);
}

// A facet of an operating-system event that needs the window model (face, window, offset, key or
// picked; none for any other), pushed on the argument stack and answered. Allocates.
const Cell* os_facet(const Cell* event, event::Facet facet);

// The current event record: the one cell every operating-system event rewrites.
const Cell* current_event();

// The face in a window's resource slot, or null. Valid until the next allocation.
const Cell* window_face(HWND hwnd);

// The key word of a virtual key without a character, or nullptr.
const Cell* key_word(uint32_t vk);

// gui/OS-send-event: a made event whose face has a window becomes that window's message, posted
// when `queued`, else pre-dispatched and dispatched at once. False when it has no window or its
// type cannot be sent. Allocates.
bool send_event(const Cell* event, bool queued);

}  // namespace nuv::gui::dispatch
