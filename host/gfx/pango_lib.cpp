#include "host/gfx/pango_lib.h"

#include "host/dynamic.h"

namespace nuv::host::gfx {

namespace {
bool loaded_once = false;
}

bool pango_lib_loaded() { return loaded_once; }

const PangoLib* pango_lib() {
    static PangoLib lib{};
    static const bool loaded =
        load_library("libgobject-2.0.so.0", Entry{"g_object_unref", &lib.object_unref}) &&
        load_library("libglib-2.0.so.0", Entry{"g_free", &lib.free}) &&
        load_library(
            "libpango-1.0.so.0", Entry{"pango_font_map_create_context", &lib.font_map_create_context},
            Entry{"pango_context_set_round_glyph_positions", &lib.context_set_round_glyph_positions},
            Entry{"pango_context_get_metrics", &lib.context_get_metrics},
            Entry{"pango_font_metrics_get_ascent", &lib.font_metrics_get_ascent},
            Entry{"pango_font_metrics_get_descent", &lib.font_metrics_get_descent},
            Entry{"pango_font_metrics_get_approximate_char_width", &lib.font_metrics_get_approximate_char_width},
            Entry{"pango_font_metrics_unref", &lib.font_metrics_unref},
            Entry{"pango_font_description_new", &lib.font_description_new},
            Entry{"pango_font_description_free", &lib.font_description_free},
            Entry{"pango_font_description_set_family", &lib.font_description_set_family},
            Entry{"pango_font_description_set_weight", &lib.font_description_set_weight},
            Entry{"pango_font_description_set_style", &lib.font_description_set_style},
            Entry{"pango_font_description_set_absolute_size", &lib.font_description_set_absolute_size},
            Entry{"pango_layout_new", &lib.layout_new}, Entry{"pango_layout_set_text", &lib.layout_set_text},
            Entry{"pango_layout_set_font_description", &lib.layout_set_font_description},
            Entry{"pango_layout_set_attributes", &lib.layout_set_attributes},
            Entry{"pango_layout_set_width", &lib.layout_set_width},
            Entry{"pango_layout_set_wrap", &lib.layout_set_wrap},
            Entry{"pango_layout_set_ellipsize", &lib.layout_set_ellipsize},
            Entry{"pango_layout_set_auto_dir", &lib.layout_set_auto_dir},
            Entry{"pango_layout_set_tabs", &lib.layout_set_tabs}, Entry{"pango_layout_get_iter", &lib.layout_get_iter},
            Entry{"pango_layout_iter_next_line", &lib.layout_iter_next_line},
            Entry{"pango_layout_iter_get_line_readonly", &lib.layout_iter_get_line_readonly},
            Entry{"pango_layout_iter_get_baseline", &lib.layout_iter_get_baseline},
            Entry{"pango_layout_iter_get_line_extents", &lib.layout_iter_get_line_extents},
            Entry{"pango_layout_iter_free", &lib.layout_iter_free},
            Entry{"pango_layout_line_get_extents", &lib.layout_line_get_extents},
            Entry{"pango_layout_line_index_to_x", &lib.layout_line_index_to_x},
            Entry{"pango_layout_line_x_to_index", &lib.layout_line_x_to_index},
            Entry{"pango_layout_line_get_x_ranges", &lib.layout_line_get_x_ranges},
            Entry{"pango_attr_list_new", &lib.attr_list_new}, Entry{"pango_attr_list_unref", &lib.attr_list_unref},
            Entry{"pango_attr_list_insert", &lib.attr_list_insert},
            Entry{"pango_attr_foreground_new", &lib.attr_foreground_new},
            Entry{"pango_attr_foreground_alpha_new", &lib.attr_foreground_alpha_new},
            Entry{"pango_attr_weight_new", &lib.attr_weight_new}, Entry{"pango_attr_style_new", &lib.attr_style_new},
            Entry{"pango_attr_underline_new", &lib.attr_underline_new},
            Entry{"pango_attr_strikethrough_new", &lib.attr_strikethrough_new},
            Entry{"pango_attr_family_new", &lib.attr_family_new},
            Entry{"pango_attr_size_new_absolute", &lib.attr_size_new_absolute},
            Entry{"pango_tab_array_new", &lib.tab_array_new}, Entry{"pango_tab_array_set_tab", &lib.tab_array_set_tab},
            Entry{"pango_tab_array_free", &lib.tab_array_free}) &&
        load_library("libpangocairo-1.0.so.0",
                     Entry{"pango_cairo_font_map_get_default", &lib.cairo_font_map_get_default},
                     Entry{"pango_cairo_context_set_font_options", &lib.cairo_context_set_font_options},
                     Entry{"pango_cairo_show_layout_line", &lib.cairo_show_layout_line});
    loaded_once = loaded;
    return loaded ? &lib : nullptr;
}

}  // namespace nuv::host::gfx
