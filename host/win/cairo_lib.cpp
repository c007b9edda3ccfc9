#include "host/win/cairo_lib.h"

#include "host/dynamic.h"

namespace nuv::host::win {

const CairoLib* cairo_lib() {
    static CairoLib lib{};
    static const bool loaded = load_library(
        "libcairo.so.2", Entry{"cairo_image_surface_create", &lib.image_surface_create},
        Entry{"cairo_surface_status", &lib.surface_status}, Entry{"cairo_surface_destroy", &lib.surface_destroy},
        Entry{"cairo_surface_flush", &lib.surface_flush}, Entry{"cairo_surface_mark_dirty", &lib.surface_mark_dirty},
        Entry{"cairo_image_surface_get_data", &lib.image_surface_get_data},
        Entry{"cairo_image_surface_get_stride", &lib.image_surface_get_stride},
        Entry{"cairo_image_surface_get_width", &lib.image_surface_get_width},
        Entry{"cairo_image_surface_get_height", &lib.image_surface_get_height}, Entry{"cairo_create", &lib.create},
        Entry{"cairo_destroy", &lib.destroy}, Entry{"cairo_status", &lib.status}, Entry{"cairo_save", &lib.save},
        Entry{"cairo_restore", &lib.restore}, Entry{"cairo_translate", &lib.translate},
        Entry{"cairo_rectangle", &lib.rectangle}, Entry{"cairo_clip", &lib.clip}, Entry{"cairo_fill", &lib.fill},
        Entry{"cairo_paint", &lib.paint}, Entry{"cairo_paint_with_alpha", &lib.paint_with_alpha},
        Entry{"cairo_set_operator", &lib.set_operator}, Entry{"cairo_set_source_rgba", &lib.set_source_rgba},
        Entry{"cairo_set_source_surface", &lib.set_source_surface},
        // Text.
        Entry{"cairo_get_user_data", &lib.get_user_data}, Entry{"cairo_set_user_data", &lib.set_user_data},
        Entry{"cairo_move_to", &lib.move_to}, Entry{"cairo_font_options_create", &lib.font_options_create},
        Entry{"cairo_font_options_destroy", &lib.font_options_destroy},
        Entry{"cairo_font_options_set_antialias", &lib.font_options_set_antialias},
        Entry{"cairo_font_options_set_hint_metrics", &lib.font_options_set_hint_metrics},
        Entry{"cairo_font_options_set_hint_style", &lib.font_options_set_hint_style},
        // Controls.
        Entry{"cairo_new_path", &lib.new_path}, Entry{"cairo_line_to", &lib.line_to},
        Entry{"cairo_close_path", &lib.close_path}, Entry{"cairo_arc", &lib.arc}, Entry{"cairo_stroke", &lib.stroke},
        Entry{"cairo_set_line_width", &lib.set_line_width},
        Entry{"cairo_image_surface_create_for_data", &lib.image_surface_create_for_data});
    return loaded ? &lib : nullptr;
}

}  // namespace nuv::host::win
