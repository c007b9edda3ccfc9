#include "host/clipboard.h"


#include <cstdint>
#include <cstdlib>

#include "host/dynamic.h"

namespace nuv::host::clipboard {

namespace {

// The few SDL2 entries used, by their C signatures.
struct Sdl {
    int (*init_sub_system)(uint32_t);
    int (*set_hint)(const char*, const char*);
    int (*set_clipboard_text)(const char*);
    char* (*get_clipboard_text)();
    void (*free)(void*);
};

constexpr uint32_t kInitVideo = 0x00000020;

Sdl g_sdl{};
int g_state = 0;  // 0 not tried, 1 started, -1 unavailable

bool start() {
    if (!load_library("libSDL2-2.0.so.0", Entry{"SDL_InitSubSystem", &g_sdl.init_sub_system},
                      Entry{"SDL_SetHint", &g_sdl.set_hint},
                      Entry{"SDL_SetClipboardText", &g_sdl.set_clipboard_text},
                      Entry{"SDL_GetClipboardText", &g_sdl.get_clipboard_text}, Entry{"SDL_free", &g_sdl.free}))
        return false;
    // With no display the offscreen driver, whose clipboard lives in the process, at once:
    // the other drivers would complain on the way.
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!chosen && !display) g_sdl.set_hint("SDL_VIDEODRIVER", "offscreen");
    if (g_sdl.init_sub_system(kInitVideo) == 0) return true;
    if (chosen || !display) return false;
    g_sdl.set_hint("SDL_VIDEODRIVER", "offscreen");
    return g_sdl.init_sub_system(kInitVideo) == 0;
}

}  // namespace

bool available() {
    if (g_state == 0) g_state = start() ? 1 : -1;
    return g_state == 1;
}

bool read_text(std::string* text) {
    text->clear();
    if (!available()) return false;
    char* held = g_sdl.get_clipboard_text();
    if (held) {
        *text = held;
        g_sdl.free(held);
    }
    return true;
}

bool write_text(const std::string& text) { return available() && g_sdl.set_clipboard_text(text.c_str()) == 0; }

}  // namespace nuv::host::clipboard
