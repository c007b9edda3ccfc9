#include "host/win/sdl.h"

#include <cstdlib>

#include "host/dynamic.h"

namespace nuv::host::sdl {

namespace {

Library g_library{};
int g_loaded = 0;  // 0 not tried, 1 loaded, -1 missing
int g_video = 0;   // 0 not tried, 1 running, -1 could not start
int g_video_starts = 0;

bool load() {
    Library& l = g_library;
    return load_library("libSDL2-2.0.so.0", Entry{"SDL_InitSubSystem", &l.init_sub_system},
                        Entry{"SDL_SetHint", &l.set_hint},
                        Entry{"SDL_free", &l.free}, Entry{"SDL_GetCurrentVideoDriver", &l.current_video_driver},
                        Entry{"SDL_GetClipboardText", &l.get_clipboard_text},
                        Entry{"SDL_SetClipboardText", &l.set_clipboard_text},
                        Entry{"SDL_GetNumVideoDisplays", &l.num_video_displays},
                        Entry{"SDL_GetDisplayBounds", &l.display_bounds},
                        Entry{"SDL_GetGlobalMouseState", &l.global_mouse_state},
                        Entry{"SDL_PollEvent", &l.poll_event}, Entry{"SDL_WaitEventTimeout", &l.wait_event_timeout},
                        Entry{"SDL_PushEvent", &l.push_event}, Entry{"SDL_RegisterEvents", &l.register_events},
                        Entry{"SDL_CreateWindow", &l.create_window}, Entry{"SDL_DestroyWindow", &l.destroy_window},
                        Entry{"SDL_GetWindowID", &l.window_id},
                        Entry{"SDL_SetWindowPosition", &l.set_window_position},
                        Entry{"SDL_SetWindowSize", &l.set_window_size},
                        Entry{"SDL_SetWindowTitle", &l.set_window_title}, Entry{"SDL_ShowWindow", &l.show_window},
                        Entry{"SDL_HideWindow", &l.hide_window}, Entry{"SDL_MinimizeWindow", &l.minimize_window},
                        Entry{"SDL_RestoreWindow", &l.restore_window},
                        Entry{"SDL_GetWindowSurface", &l.window_surface},
                        Entry{"SDL_UpdateWindowSurface", &l.update_window_surface},
                        Entry{"SDL_ConvertPixels", &l.convert_pixels},
                        Entry{"SDL_SetTextInputRect", &l.set_text_input_rect},
                        Entry{"SDL_CreateSystemCursor", &l.create_system_cursor},
                        Entry{"SDL_CreateColorCursor", &l.create_color_cursor},
                        Entry{"SDL_CreateRGBSurfaceWithFormatFrom", &l.surface_from},
                        Entry{"SDL_FreeSurface", &l.free_surface}, Entry{"SDL_SetCursor", &l.set_cursor},
                        Entry{"SDL_FreeCursor", &l.free_cursor},
                        Entry{"SDL_ShowMessageBox", &l.show_message_box});
}

bool start(const Library& sdl) {
    // With no display the offscreen driver at once: the others would complain on the way.
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!chosen && !display) sdl.set_hint(SDL_HINT_VIDEODRIVER, "offscreen");
    // Frames are composed in memory and copied to each window's own surface: a renderer behind
    // that surface would load the GL stack (and a GPU driver) for nothing.
    sdl.set_hint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (sdl.init_sub_system(SDL_INIT_VIDEO) == 0) return true;
    if (chosen || !display) return false;
    sdl.set_hint(SDL_HINT_VIDEODRIVER, "offscreen");
    return sdl.init_sub_system(SDL_INIT_VIDEO) == 0;
}

}  // namespace

const Library* library() {
    if (g_loaded == 0) g_loaded = load() ? 1 : -1;
    return g_loaded == 1 ? &g_library : nullptr;
}

bool start_video() {
    if (g_video == 0) {
        const Library* sdl = library();
        g_video = sdl && start(*sdl) ? 1 : -1;
        if (g_video == 1) ++g_video_starts;
    }
    return g_video == 1;
}

bool video_running() { return g_video == 1; }

int video_starts() { return g_video_starts; }

}  // namespace nuv::host::sdl
