// The window model on the screen: SDL's events feed the input queue, each top-level window
// shown gets a screen window that follows the model, and its composed frame is shown there when
// the loop runs dry. The source comes with the first top-level window shown (see
// set_event_source). Also the model's calls that need the screen: TranslateMessage and the caret.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/win/window.h"

namespace nuv::host::win {

// Posts the WM_CHAR (WM_SYSCHAR) messages of a key-down taken last: its control character, else
// the text SDL reported with it. True for any key message.
bool TranslateMessage(const MSG* msg);

// The caret: one per process, kept but never drawn; its place tells the input method where
// composition happens.
bool CreateCaret(HWND hwnd, int32_t width, int32_t height);
bool SetCaretPos(int32_t x, int32_t y);  // client coordinates of the caret's window
bool GetCaretPos(POINT* point);
bool DestroyCaret();

// Whether the test kit's input script (NUV_TEST_INPUT) ran out while the loop still waited for
// input: the loop is then given WM_QUIT with kReplayRanOut, so that a test waiting for more
// input ends and fails instead of hanging.
inline constexpr int32_t kReplayRanOut = 75;
bool replay_ran_out();
// The cursor the screen was last asked to show (0: none), and how many cursors it holds made.
HCURSOR screen_cursor();
size_t screen_cursors();
// The SDL id of a top-level window's screen window; 0 before it is first shown.
uint32_t screen_window_id(HWND hwnd);

}  // namespace nuv::host::win
