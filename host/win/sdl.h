// SDL2 for the whole host layer: the library is loaded on first need (never at start-up), and
// its video is started once, under one driver rule, for the clipboard, the displays and the
// windows alike. Everything here runs on the language thread.
#pragma once
#include <SDL2/SDL.h>

namespace nuv::host::sdl {

// The SDL2 entries the host calls, by their declared signatures.
struct Library {
    decltype(&::SDL_InitSubSystem) init_sub_system;
    decltype(&::SDL_SetHint) set_hint;
    decltype(&::SDL_free) free;
    decltype(&::SDL_GetCurrentVideoDriver) current_video_driver;
    decltype(&::SDL_GetClipboardText) get_clipboard_text;
    decltype(&::SDL_SetClipboardText) set_clipboard_text;
    decltype(&::SDL_GetNumVideoDisplays) num_video_displays;
    decltype(&::SDL_GetDisplayBounds) display_bounds;
    decltype(&::SDL_GetGlobalMouseState) global_mouse_state;
};

// The loaded library, or nullptr when it (or one of its entries) is missing; tried once.
const Library* library();

// Starts video on first call: SDL_VIDEODRIVER as set, else SDL's own choice when there is a
// display, falling back to the offscreen driver (which keeps the clipboard in the process).
// False when SDL2 is missing or no driver starts; the answer of the first call stands.
bool start_video();
// Whether video has been started (never starts it).
bool video_running();
// How many times this process has started video (at most one).
int video_starts();

}  // namespace nuv::host::sdl
