// The DPI model of the GUI backend: the current DPI, which every conversion between the units of
// faces and the pixels of windows goes through, switched to a window's DPI around the work done
// on it and restored through a nesting counter. Displays are the host window model's
// (host/win/displays.h): reading a display's DPI never starts video.
#pragma once
#include <cstdint>

namespace nuv::gui::dpi {

struct Current {
    uint32_t x = 96, y = 96;  // as the display reports them
    float value = 96.0f;
    float scale = 1.0f;       // value / 96
    int32_t nesting = 0;      // open enter_window calls
};
inline Current g_current;

// Back to 96 DPI and no nesting: the state before start-up.
void reset();
void set_current(uint32_t dpi);
// The DPI of the window's top-level ancestor's display; the current DPI when it has none.
uint32_t window_dpi(uint32_t hwnd);
void use_window(uint32_t hwnd);
// Opens a nesting level and answers the DPI to give back to leave_window; with a window (not 0)
// its DPI becomes current.
uint32_t enter_window(uint32_t hwnd);
// Closes a level: the saved DPI becomes current again, or, when the outermost level closes, the
// active window's while it is visible.
void leave_window(uint32_t saved);
// The DPI of the display nearest the pointer becomes current.
void init_from_cursor();
// Settles the current DPI on the display of a rectangle given in units (at most 4 rounds, since
// each round converts at the DPI the last one found), else the pointer's display.
void for_rectangle(float x, float y, float width, float height);

// Units to pixels, rounded half up; pixels to units.
inline float to_pixels(float units) { return static_cast<float>(static_cast<int32_t>(units * g_current.scale + 0.5f)); }
inline float to_units(float pixels) { return pixels / g_current.scale; }

}  // namespace nuv::gui::dpi
