// The one message loop: blocking until WM_QUIT, or one message at a time; the pre-dispatch step
// that turns every window's key and mouse messages into events before translation; the loop
// depth and pending exits that decide which nested loop a quit ends; the platform's
// do-event-loop and exit-event-loop, and the runtime's `wait` hook. GUI thread only; loops nest.
#pragma once
#include <cstdint>

#include "host/win/window.h"

namespace nuv::gui::loop {

using host::win::HWND;
using host::win::MSG;

struct LoopState {
    int32_t depth = 0;          // +1 as each blocking loop starts; -1 as a view's last window closes
    int32_t pending_exits = 0;  // +1 as a view's last window closes; -1 as a blocking loop ends, never below 0
    intptr_t last_mouse_lparam = -1;  // the last move turned into an event; -1 after a leave
    HWND last_mouse_window = 0;       // its window
    HWND hover_window = 0;            // the window the pointer was last seen over
};
inline LoopState g_loop;

// Back to the state before start-up, and the runtime's `wait` hook installed. Boot step `gui-names`.
void reset();

// Runs the loop: with `no_wait` one message at most, without waiting; else until WM_QUIT. Answers
// whether a message was processed. Allocates.
bool do_events(bool no_wait);

// Turns a key or mouse message into events; 0 swallows the message, 1 or more lets the loop
// translate and dispatch it. Allocates.
int32_t pre_dispatch(const MSG& msg);

// The last window of a view closed (destroy-view with `empty?` true): the loop depth drops and
// one more exit is pending, so the loop that owns the view ends when the handler returns.
void last_window_closed();

// Ends the innermost blocking loop (WM_QUIT).
void exit_loop();

// Forgets the move filter, so that the next move raises `over` again.
void reset_move_filter();

// The platform routines `do-event-loop` and `exit-event-loop`.
uint64_t do_event_loop_routine(const uint64_t* args);
uint64_t exit_event_loop_routine(const uint64_t* args);

}  // namespace nuv::gui::loop
