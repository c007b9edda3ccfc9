// Cairo, loaded on the first surface rather than linked, so that programs that never open a
// window never pay for it at start-up. Only the entries the window model and the controls draw
// with are kept.
#pragma once
#include <cairo.h>

namespace nuv::host::win {

// The loaded entries, by their C signatures.
struct CairoLib {
    cairo_surface_t* (*image_surface_create)(cairo_format_t, int, int);
    cairo_status_t (*surface_status)(cairo_surface_t*);
    void (*surface_destroy)(cairo_surface_t*);
    void (*surface_flush)(cairo_surface_t*);
    void (*surface_mark_dirty)(cairo_surface_t*);
    unsigned char* (*image_surface_get_data)(cairo_surface_t*);
    int (*image_surface_get_stride)(cairo_surface_t*);
    int (*image_surface_get_width)(cairo_surface_t*);
    int (*image_surface_get_height)(cairo_surface_t*);
    cairo_t* (*create)(cairo_surface_t*);
    void (*destroy)(cairo_t*);
    cairo_status_t (*status)(cairo_t*);
    void (*save)(cairo_t*);
    void (*restore)(cairo_t*);
    void (*translate)(cairo_t*, double, double);
    void (*rectangle)(cairo_t*, double, double, double, double);
    void (*clip)(cairo_t*);
    void (*fill)(cairo_t*);
    void (*paint)(cairo_t*);
    void (*paint_with_alpha)(cairo_t*, double);
    void (*set_operator)(cairo_t*, cairo_operator_t);
    void (*set_source_rgba)(cairo_t*, double, double, double, double);
    void (*set_source_surface)(cairo_t*, cairo_surface_t*, double, double);

    // Text (host/gfx/text.cpp, host/gfx/fonts.cpp).
    void* (*get_user_data)(cairo_t*, const cairo_user_data_key_t*);
    cairo_status_t (*set_user_data)(cairo_t*, const cairo_user_data_key_t*, void*, cairo_destroy_func_t);
    void (*move_to)(cairo_t*, double, double);
    cairo_font_options_t* (*font_options_create)();
    void (*font_options_destroy)(cairo_font_options_t*);
    void (*font_options_set_antialias)(cairo_font_options_t*, cairo_antialias_t);
    void (*font_options_set_hint_metrics)(cairo_font_options_t*, cairo_hint_metrics_t);
    void (*font_options_set_hint_style)(cairo_font_options_t*, cairo_hint_style_t);

    // host/controls: outlines, marks and arrows.
    void (*new_path)(cairo_t*);
    void (*line_to)(cairo_t*, double, double);
    void (*close_path)(cairo_t*);
    void (*arc)(cairo_t*, double, double, double, double, double);
    void (*stroke)(cairo_t*);
    void (*set_line_width)(cairo_t*, double);
    cairo_surface_t* (*image_surface_create_for_data)(unsigned char*, cairo_format_t, int, int, int);
};

// The entries, loading libcairo on the first call; null when it cannot be loaded (tried once).
const CairoLib* cairo_lib();

}  // namespace nuv::host::win
