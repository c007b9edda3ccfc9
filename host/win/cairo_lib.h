// Cairo, loaded on the first surface rather than linked, so that programs that never open a
// window never pay for it at start-up. Only the entries the window model, host/gfx and the
// controls draw with are kept, grouped by what they touch.
#pragma once
#include <cairo.h>

namespace nuv::host::win {

// The loaded entries, by their C signatures.
struct CairoLib {
    // Surfaces.
    cairo_surface_t* (*image_surface_create)(cairo_format_t, int, int);
    cairo_surface_t* (*recording_surface_create)(cairo_content_t, const cairo_rectangle_t*);
    cairo_status_t (*surface_status)(cairo_surface_t*);
    cairo_surface_t* (*surface_reference)(cairo_surface_t*);
    void (*surface_destroy)(cairo_surface_t*);
    void (*surface_flush)(cairo_surface_t*);
    void (*surface_mark_dirty)(cairo_surface_t*);
    unsigned char* (*image_surface_get_data)(cairo_surface_t*);
    int (*image_surface_get_stride)(cairo_surface_t*);
    int (*image_surface_get_width)(cairo_surface_t*);
    int (*image_surface_get_height)(cairo_surface_t*);
    // Contexts and their state.
    cairo_t* (*create)(cairo_surface_t*);
    cairo_t* (*reference)(cairo_t*);
    void (*destroy)(cairo_t*);
    cairo_status_t (*status)(cairo_t*);
    cairo_surface_t* (*get_target)(cairo_t*);
    void (*save)(cairo_t*);
    void (*restore)(cairo_t*);
    void (*translate)(cairo_t*, double, double);
    void (*set_matrix)(cairo_t*, const cairo_matrix_t*);
    void (*get_matrix)(cairo_t*, cairo_matrix_t*);
    void (*transform)(cairo_t*, const cairo_matrix_t*);
    void (*identity_matrix)(cairo_t*);
    void (*set_operator)(cairo_t*, cairo_operator_t);
    void (*set_antialias)(cairo_t*, cairo_antialias_t);
    void (*set_fill_rule)(cairo_t*, cairo_fill_rule_t);
    void (*set_tolerance)(cairo_t*, double);
    cairo_font_options_t* (*font_options_create)();
    void (*font_options_destroy)(cairo_font_options_t*);
    void (*font_options_set_antialias)(cairo_font_options_t*, cairo_antialias_t);
    cairo_antialias_t (*font_options_get_antialias)(const cairo_font_options_t*);
    void (*set_font_options)(cairo_t*, const cairo_font_options_t*);
    void (*get_font_options)(cairo_t*, cairo_font_options_t*);
    // Strokes.
    void (*set_line_width)(cairo_t*, double);
    void (*set_line_cap)(cairo_t*, cairo_line_cap_t);
    void (*set_line_join)(cairo_t*, cairo_line_join_t);
    void (*set_miter_limit)(cairo_t*, double);
    void (*set_dash)(cairo_t*, const double*, int, double);
    // Paths, and what is done with them.
    void (*new_path)(cairo_t*);
    void (*move_to)(cairo_t*, double, double);
    void (*line_to)(cairo_t*, double, double);
    void (*curve_to)(cairo_t*, double, double, double, double, double, double);
    void (*close_path)(cairo_t*);
    void (*rectangle)(cairo_t*, double, double, double, double);
    void (*clip)(cairo_t*);
    void (*clip_extents)(cairo_t*, double*, double*, double*, double*);
    void (*fill)(cairo_t*);
    void (*stroke)(cairo_t*);
    void (*stroke_extents)(cairo_t*, double*, double*, double*, double*);
    void (*paint)(cairo_t*);
    void (*paint_with_alpha)(cairo_t*, double);
    // Sources.
    void (*set_source_rgba)(cairo_t*, double, double, double, double);
    void (*set_source_surface)(cairo_t*, cairo_surface_t*, double, double);
    void (*set_source)(cairo_t*, cairo_pattern_t*);
    cairo_pattern_t* (*pattern_create_linear)(double, double, double, double);
    cairo_pattern_t* (*pattern_create_radial)(double, double, double, double, double, double);
    cairo_pattern_t* (*pattern_create_for_surface)(cairo_surface_t*);
    void (*pattern_add_color_stop_rgba)(cairo_pattern_t*, double, double, double, double, double);
    void (*pattern_set_extend)(cairo_pattern_t*, cairo_extend_t);
    void (*pattern_set_filter)(cairo_pattern_t*, cairo_filter_t);
    void (*pattern_set_matrix)(cairo_pattern_t*, const cairo_matrix_t*);
    cairo_status_t (*pattern_status)(cairo_pattern_t*);
    void (*pattern_destroy)(cairo_pattern_t*);
    // Text (host/gfx/text.cpp, host/gfx/fonts.cpp).
    void* (*get_user_data)(cairo_t*, const cairo_user_data_key_t*);
    cairo_status_t (*set_user_data)(cairo_t*, const cairo_user_data_key_t*, void*, cairo_destroy_func_t);
    void (*font_options_set_hint_metrics)(cairo_font_options_t*, cairo_hint_metrics_t);
    void (*font_options_set_hint_style)(cairo_font_options_t*, cairo_hint_style_t);

    // host/controls: marks and images over their pixels.
    void (*arc)(cairo_t*, double, double, double, double, double);
    cairo_surface_t* (*image_surface_create_for_data)(unsigned char*, cairo_format_t, int, int, int);
};

// The entries, loading libcairo on the first call; null when it cannot be loaded (tried once).
const CairoLib* cairo_lib();

}  // namespace nuv::host::win
