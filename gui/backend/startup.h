// The backend's start-up (`gui/init`) and what it keeps for the process: the version flags that
// choose between code paths, the default GUI font, the system's dark-mode preference, the handle
// kinds the collector releases ("font" and "com-object"), and the filling of system/view's
// metrics and fonts. Start-up stays lazy: it loads no library and starts neither video nor the
// font map; displays are asked for their DPI only, which never starts video.
#pragma once
#include <cstdint>

#include "host/gfx/fonts.h"

namespace nuv::gui {

// The versions the backend takes its code paths from: this system always takes the newest.
struct VersionFlags {
    bool win10 = false;      // dark mode
    bool win8 = false;       // layered child windows, batched positioning
    bool pre_vista = false;  // no device set-up
    bool composition = false;
};

// What gui/init keeps; the static initialisers (`reset_statics`) bring it back to before start-up.
struct Backend {
    VersionFlags flags;
    int32_t version_major = 0, version_minor = 0, build = 0, product = 0;
    host::gfx::HFONT default_font = 0;  // the default GUI font, made from the message font
    bool system_dark = false;           // the system's dark-mode preference at start-up
    bool started = false;
    int32_t font_kind = 0;  // handle registry kinds
    int32_t com_kind = 0;
};
inline Backend g_backend;

// A shared backend object held through the handle registry's kind "com-object": the collector
// destroys it when no value holds its slot any more.
class ComObject {
public:
    virtual ~ComObject() = default;
};

// The backend's static initialisers: process state back to before start-up (96 DPI, no flags,
// no font). Run by the boot step `gui-names` after the names.
void reset_statics();

// gui/init: the version flags and the platform object's version, build and product, the DPI of
// the display under the pointer, the default font, the window classes of faces (a class that
// cannot be made stops start-up), the metrics, the dark-mode preference, the mark of the events'
// flag block and the handle kinds. Internal not-done when system/view/platform is no object of 35 fields. Allocates.
void init();

// Makes the default GUI font from the message font at the current DPI (the stock GUI font when
// none can be made) and sets system/view/fonts `system` and `size`. With a window's font slot,
// the font there is deleted and the window gets a copy of its own. Allocates.
void make_default_font(host::gfx::HFONT* window_font);

// system/view/metrics: `dpi`, `misc/scroller`, `colors` `text`, `window` and `panel`. Allocates.
void fill_view_metrics();

bool support_dark_mode();
// A face's window in the dark or the light palette (for a `window` face its frame too).
void set_dark_mode(uint32_t hwnd, bool dark, bool window_face);

// Makes the shared graphics device again: every function added with on_device_made runs (the
// render-target records are freed there, their windows repainted). No device is ever lost.
void create_device();
void on_device_made(void (*listener)());

}  // namespace nuv::gui
