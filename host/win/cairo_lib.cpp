#include "host/win/cairo_lib.h"

#include "host/dynamic.h"

namespace nuv::host::win {

const CairoLib* cairo_lib() {
    static CairoLib lib{};
    static const bool loaded = load_library(
        "libcairo.so.2",
        // Surfaces.
        Entry{"cairo_image_surface_create", &lib.image_surface_create},
        Entry{"cairo_recording_surface_create", &lib.recording_surface_create},
        Entry{"cairo_surface_status", &lib.surface_status}, Entry{"cairo_surface_reference", &lib.surface_reference},
        Entry{"cairo_surface_destroy", &lib.surface_destroy}, Entry{"cairo_surface_flush", &lib.surface_flush},
        Entry{"cairo_surface_mark_dirty", &lib.surface_mark_dirty},
        Entry{"cairo_image_surface_get_data", &lib.image_surface_get_data},
        Entry{"cairo_image_surface_get_stride", &lib.image_surface_get_stride},
        Entry{"cairo_image_surface_get_width", &lib.image_surface_get_width},
        Entry{"cairo_image_surface_get_height", &lib.image_surface_get_height},
        // Contexts and their state.
        Entry{"cairo_create", &lib.create}, Entry{"cairo_reference", &lib.reference},
        Entry{"cairo_destroy", &lib.destroy}, Entry{"cairo_status", &lib.status},
        Entry{"cairo_get_target", &lib.get_target}, Entry{"cairo_save", &lib.save},
        Entry{"cairo_restore", &lib.restore}, Entry{"cairo_translate", &lib.translate},
        Entry{"cairo_set_matrix", &lib.set_matrix}, Entry{"cairo_get_matrix", &lib.get_matrix},
        Entry{"cairo_transform", &lib.transform}, Entry{"cairo_identity_matrix", &lib.identity_matrix},
        Entry{"cairo_set_operator", &lib.set_operator}, Entry{"cairo_set_antialias", &lib.set_antialias},
        Entry{"cairo_set_fill_rule", &lib.set_fill_rule}, Entry{"cairo_set_tolerance", &lib.set_tolerance},
        Entry{"cairo_font_options_create", &lib.font_options_create},
        Entry{"cairo_font_options_destroy", &lib.font_options_destroy},
        Entry{"cairo_font_options_set_antialias", &lib.font_options_set_antialias},
        Entry{"cairo_font_options_get_antialias", &lib.font_options_get_antialias},
        Entry{"cairo_set_font_options", &lib.set_font_options}, Entry{"cairo_get_font_options", &lib.get_font_options},
        // Strokes.
        Entry{"cairo_set_line_width", &lib.set_line_width}, Entry{"cairo_set_line_cap", &lib.set_line_cap},
        Entry{"cairo_set_line_join", &lib.set_line_join}, Entry{"cairo_set_miter_limit", &lib.set_miter_limit},
        Entry{"cairo_set_dash", &lib.set_dash},
        // Paths, and what is done with them.
        Entry{"cairo_new_path", &lib.new_path}, Entry{"cairo_move_to", &lib.move_to},
        Entry{"cairo_line_to", &lib.line_to}, Entry{"cairo_curve_to", &lib.curve_to},
        Entry{"cairo_close_path", &lib.close_path}, Entry{"cairo_rectangle", &lib.rectangle},
        Entry{"cairo_clip", &lib.clip}, Entry{"cairo_clip_extents", &lib.clip_extents}, Entry{"cairo_fill", &lib.fill},
        Entry{"cairo_stroke", &lib.stroke}, Entry{"cairo_stroke_extents", &lib.stroke_extents},
        Entry{"cairo_paint", &lib.paint}, Entry{"cairo_paint_with_alpha", &lib.paint_with_alpha},
        // Sources.
        Entry{"cairo_set_source_rgba", &lib.set_source_rgba},
        Entry{"cairo_set_source_surface", &lib.set_source_surface}, Entry{"cairo_set_source", &lib.set_source},
        Entry{"cairo_pattern_create_linear", &lib.pattern_create_linear},
        Entry{"cairo_pattern_create_radial", &lib.pattern_create_radial},
        Entry{"cairo_pattern_create_for_surface", &lib.pattern_create_for_surface},
        Entry{"cairo_pattern_add_color_stop_rgba", &lib.pattern_add_color_stop_rgba},
        Entry{"cairo_pattern_set_extend", &lib.pattern_set_extend},
        Entry{"cairo_pattern_set_filter", &lib.pattern_set_filter},
        Entry{"cairo_pattern_set_matrix", &lib.pattern_set_matrix},
        Entry{"cairo_pattern_status", &lib.pattern_status}, Entry{"cairo_pattern_destroy", &lib.pattern_destroy},
        // Text.
        Entry{"cairo_get_user_data", &lib.get_user_data}, Entry{"cairo_set_user_data", &lib.set_user_data},
        Entry{"cairo_font_options_set_hint_metrics", &lib.font_options_set_hint_metrics},
        Entry{"cairo_font_options_set_hint_style", &lib.font_options_set_hint_style},
        // Controls.
        Entry{"cairo_arc", &lib.arc},
        Entry{"cairo_image_surface_create_for_data", &lib.image_surface_create_for_data});
    return loaded ? &lib : nullptr;
}

}  // namespace nuv::host::win
