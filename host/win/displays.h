// The displays of the window model, the pointer's screen position, system metrics and colours.
// While video is down the displays come from NUV_TEST_SCREENS, else one display at (0,0) with
// NUV_TEST_DPI (else 96) dots per inch, and asking for a display's handle or DPI never starts
// video; listing the displays or the screen's size starts it. NUV_TEST_SCREENS, when set and
// valid, stands in for SDL's displays throughout.
#pragma once
#include <cstdint>

#include "host/win/messages.h"

namespace nuv::host::win {

// A display: its index + 1; 0 is none.
using HMONITOR = uint32_t;
// Called for each display with its bounds and the caller's data; false stops the walk.
using MONITORENUMPROC = bool (*)(HMONITOR, const RECT& bounds, intptr_t data);

// Walks the displays in order; false when the walk was stopped.
bool EnumDisplayMonitors(MONITORENUMPROC proc, intptr_t data);
// The display holding the point or rectangle (the one sharing the most of it), else the nearest.
HMONITOR MonitorFromPoint(POINT point);
HMONITOR MonitorFromRect(const RECT& rect);
// The display's dots per inch in both directions; false for a handle that names no display.
bool GetDpiForMonitor(HMONITOR monitor, uint32_t* dpi_x, uint32_t* dpi_y);
// The display of the window's rectangle (as MonitorFromRect); 0 for a stale id.
HMONITOR MonitorFromWindow(uint32_t hwnd);
// The DPI of the window's display; 0 for a stale id.
uint32_t GetDpiForWindow(uint32_t hwnd);
// The pointer's position on the screen.
bool GetCursorPos(POINT* point);
// Records where the pointer is, from the input the model has seen, for when SDL cannot tell
// (video down or offscreen).
void note_cursor_pos(POINT point);

enum SystemMetric : int {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CYVSCROLL = 20,
    SM_CXHSCROLL = 21,
    SM_CXDOUBLECLK = 36,
    SM_CYDOUBLECLK = 37,
};
// The metric at the first display's DPI (the screen's size is that display's); 0 for others.
int GetSystemMetrics(int metric);

enum SystemColor : int {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
};
// The colour as 0x00BBGGRR; 0 for colours the model does not keep.
uint32_t GetSysColor(int color);

}  // namespace nuv::host::win
