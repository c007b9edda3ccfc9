// Pango, loaded with the first text layout rather than linked: making fonts and starting a program
// never load it. Only the entries the text engine uses are kept.
#pragma once
#include <pango/pangocairo.h>

namespace nuv::host::gfx {

// The loaded entries, by their C signatures.
struct PangoLib {
    void (*object_unref)(gpointer);
    void (*free)(gpointer);
    PangoFontMap* (*cairo_font_map_get_default)();
    PangoContext* (*font_map_create_context)(PangoFontMap*);
    void (*cairo_context_set_font_options)(PangoContext*, const cairo_font_options_t*);
    void (*context_set_round_glyph_positions)(PangoContext*, gboolean);
    PangoFontMetrics* (*context_get_metrics)(PangoContext*, const PangoFontDescription*, PangoLanguage*);
    int (*font_metrics_get_ascent)(PangoFontMetrics*);
    int (*font_metrics_get_descent)(PangoFontMetrics*);
    int (*font_metrics_get_approximate_char_width)(PangoFontMetrics*);
    void (*font_metrics_unref)(PangoFontMetrics*);
    PangoFontDescription* (*font_description_new)();
    void (*font_description_free)(PangoFontDescription*);
    void (*font_description_set_family)(PangoFontDescription*, const char*);
    void (*font_description_set_weight)(PangoFontDescription*, PangoWeight);
    void (*font_description_set_style)(PangoFontDescription*, PangoStyle);
    void (*font_description_set_absolute_size)(PangoFontDescription*, double);
    PangoLayout* (*layout_new)(PangoContext*);
    void (*layout_set_text)(PangoLayout*, const char*, int);
    void (*layout_set_font_description)(PangoLayout*, const PangoFontDescription*);
    void (*layout_set_attributes)(PangoLayout*, PangoAttrList*);
    void (*layout_set_width)(PangoLayout*, int);
    void (*layout_set_wrap)(PangoLayout*, PangoWrapMode);
    void (*layout_set_ellipsize)(PangoLayout*, PangoEllipsizeMode);
    void (*layout_set_auto_dir)(PangoLayout*, gboolean);
    void (*layout_set_tabs)(PangoLayout*, PangoTabArray*);
    PangoLayoutIter* (*layout_get_iter)(PangoLayout*);
    gboolean (*layout_iter_next_line)(PangoLayoutIter*);
    PangoLayoutLine* (*layout_iter_get_line_readonly)(PangoLayoutIter*);
    int (*layout_iter_get_baseline)(PangoLayoutIter*);
    void (*layout_iter_get_line_extents)(PangoLayoutIter*, PangoRectangle*, PangoRectangle*);
    void (*layout_iter_free)(PangoLayoutIter*);
    void (*layout_line_get_extents)(PangoLayoutLine*, PangoRectangle*, PangoRectangle*);
    void (*layout_line_index_to_x)(PangoLayoutLine*, int, gboolean, int*);
    gboolean (*layout_line_x_to_index)(PangoLayoutLine*, int, int*, int*);
    void (*layout_line_get_x_ranges)(PangoLayoutLine*, int, int, int**, int*);
    PangoAttrList* (*attr_list_new)();
    void (*attr_list_unref)(PangoAttrList*);
    void (*attr_list_insert)(PangoAttrList*, PangoAttribute*);
    PangoAttribute* (*attr_foreground_new)(guint16, guint16, guint16);
    PangoAttribute* (*attr_foreground_alpha_new)(guint16);
    PangoAttribute* (*attr_weight_new)(PangoWeight);
    PangoAttribute* (*attr_style_new)(PangoStyle);
    PangoAttribute* (*attr_underline_new)(PangoUnderline);
    PangoAttribute* (*attr_strikethrough_new)(gboolean);
    PangoAttribute* (*attr_family_new)(const char*);
    PangoAttribute* (*attr_size_new_absolute)(int);
    PangoTabArray* (*tab_array_new)(gint, gboolean);
    void (*tab_array_set_tab)(PangoTabArray*, gint, PangoTabAlign, gint);
    void (*tab_array_free)(PangoTabArray*);
    void (*cairo_show_layout_line)(cairo_t*, PangoLayoutLine*);
};

// The entries, loading the libraries on the first call; null when one cannot be loaded (tried
// once).
const PangoLib* pango_lib();
// Whether the libraries are loaded; loads nothing.
bool pango_lib_loaded();

}  // namespace nuv::host::gfx
