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
    // Events and the screen windows (host/win/sdl_source.cpp).
    decltype(&::SDL_PollEvent) poll_event;
    decltype(&::SDL_WaitEventTimeout) wait_event_timeout;
    decltype(&::SDL_PushEvent) push_event;
    decltype(&::SDL_RegisterEvents) register_events;
    decltype(&::SDL_CreateWindow) create_window;
    decltype(&::SDL_DestroyWindow) destroy_window;
    decltype(&::SDL_GetWindowID) window_id;
    decltype(&::SDL_SetWindowPosition) set_window_position;
    decltype(&::SDL_SetWindowSize) set_window_size;
    decltype(&::SDL_SetWindowTitle) set_window_title;
    decltype(&::SDL_ShowWindow) show_window;
    decltype(&::SDL_HideWindow) hide_window;
    decltype(&::SDL_MinimizeWindow) minimize_window;
    decltype(&::SDL_RestoreWindow) restore_window;
    decltype(&::SDL_GetWindowSurface) window_surface;
    decltype(&::SDL_UpdateWindowSurface) update_window_surface;
    decltype(&::SDL_ConvertPixels) convert_pixels;
    decltype(&::SDL_SetTextInputRect) set_text_input_rect;
    // Cursors.
    decltype(&::SDL_CreateSystemCursor) create_system_cursor;
    decltype(&::SDL_CreateColorCursor) create_color_cursor;
    decltype(&::SDL_CreateRGBSurfaceWithFormatFrom) surface_from;
    decltype(&::SDL_FreeSurface) free_surface;
    decltype(&::SDL_SetCursor) set_cursor;
    decltype(&::SDL_FreeCursor) free_cursor;
    // Dialogs (host/dialogs/): the message box shown with a display.
    decltype(&::SDL_ShowMessageBox) show_message_box;
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
