// Font and brush objects as records in one id table, the stock objects, and a device context's
// text state kept as user data of its cairo_t. Text is measured and drawn by host/gfx/text.h's
// layouts with the font's format; a font's metrics are read from Pango on its first measurement
// and kept with the object.
#include "host/gfx/fonts.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/gfx/text.h"
#include "host/utf.h"
#include "host/win/cairo_lib.h"
#include "host/win/displays.h"

namespace nuv::host::gfx {

namespace {

constexpr const char* kDefaultFamily = "DejaVu Sans";
constexpr size_t kMaxFaceName = 31;
constexpr int32_t kMaxHeight = 16384;
constexpr int32_t kDefaultHeight = -12;  // a height of 0: the message font's at 96 DPI

// What a font measures at, worked out on its first measurement.
struct Measured {
    TextFormat format;
    TEXTMETRIC metrics;
};

struct Object {
    bool font;
    bool stock;
    bool dc_brush = false;  // the stock brush whose colour is each device context's own
    LOGFONT record;  // a font's
    COLORREF colour = 0;  // a brush's
    std::optional<Measured> measured;
};

struct Objects {
    std::unordered_map<HGDIOBJ, Object> table;
    HGDIOBJ next = 1;
    HFONT gui_font = 0;
    HBRUSH dc_brush = 0;
    std::unordered_map<int32_t, HBRUSH> system_brushes;

    HGDIOBJ add(Object object) {
        table.emplace(next, std::move(object));
        return next++;
    }
    Object* find(HGDIOBJ id) {
        const auto it = table.find(id);
        return it == table.end() ? nullptr : &it->second;
    }
};

Objects& objects() {
    static Objects all;
    return all;
}

// The font's format and metrics, measured on first use; null when Pango cannot be loaded.
const Measured* measure(HFONT font) {
    Object* object = objects().find(font);
    if (!object || !object->font)
        return nullptr;
    if (object->measured)
        return &*object->measured;
    const LOGFONT& r = object->record;
    TextFormat format;
    format.family = r.lfFaceName.empty() ? kDefaultFamily : utf8_of(r.lfFaceName);
    format.weight = r.lfWeight == 0 ? FW_NORMAL : r.lfWeight;
    format.italic = r.lfItalic != 0;
    format.antialias = r.lfQuality != NONANTIALIASED_QUALITY;
    const int32_t height = r.lfHeight == 0 ? kDefaultHeight : r.lfHeight;
    format.size = static_cast<float>(std::abs(height));
    FontMetrics m;
    if (!font_metrics(format, &m))
        return nullptr;
    if (height > 0) {  // the cell height: ascent and descent together
        format.size = std::clamp(format.size * format.size / (m.ascent + m.descent), 1.0f, kMaxTextSize);
        font_metrics(format, &m);
    }
    TEXTMETRIC t;
    t.tmAscent = static_cast<int32_t>(std::ceil(m.ascent));
    t.tmDescent = static_cast<int32_t>(std::ceil(m.descent));
    t.tmHeight = t.tmAscent + t.tmDescent;
    t.tmInternalLeading = std::max(0, t.tmHeight - static_cast<int32_t>(std::lround(format.size)));
    t.tmAveCharWidth = std::max(1, static_cast<int32_t>(std::lround(m.average_width)));
    format.line_spacing = static_cast<float>(t.tmHeight);
    format.baseline = static_cast<float>(t.tmAscent);
    format.wrap = false;
    TextLayout widest("W", format, 0, 0);
    t.tmMaxCharWidth = std::max(t.tmAveCharWidth, static_cast<int32_t>(std::ceil(widest.metrics().width)));
    object->measured = Measured{format, t};
    return &*object->measured;
}

// ---- Text conversion

struct Converted {
    std::string utf8;
    int64_t underlined = -1;  // the character a & marks
};

// The text as UTF-8, unpaired surrogates replaced; with `prefixes` a & marks the next character
// ("&&" is one &, a last & is dropped), with `one_line` line breaks are dropped.
Converted convert(std::u16string_view units, bool prefixes, bool one_line) {
    Converted out;
    out.utf8.reserve(units.size());
    uint32_t characters = 0;
    for (size_t i = 0; i < units.size();) {
        const char32_t c = next_utf16(units, &i);
        if (one_line && (c == '\n' || c == '\r'))
            continue;
        if (prefixes && c == '&') {
            if (i >= units.size())
                continue;
            if (units[i] != '&') {
                out.underlined = characters;
                continue;
            }
            ++i;
        }
        put_utf8(out.utf8, c);
        ++characters;
    }
    return out;
}

Rgba rgba_of(COLORREF c) {
    return {static_cast<float>(c & 0xFF) / 255, static_cast<float>(c >> 8 & 0xFF) / 255,
            static_cast<float>(c >> 16 & 0xFF) / 255, 1};
}

// ---- A device context's text state

struct DcText {
    HFONT font = 0;  // 0: the stock GUI font
    COLORREF text = 0x000000;
    COLORREF background = 0xFFFFFF;
    COLORREF brush = 0xFFFFFF;  // the DC brush's
    int32_t mode = OPAQUE;
};

const cairo_user_data_key_t kDcKey{};

// The state kept with the cairo_t, made on first use; null for a null or failed cairo_t.
DcText* state(cairo_t* dc) {
    if (!dc)
        return nullptr;
    const win::CairoLib* c = win::cairo_lib();
    if (!c)
        return nullptr;
    if (void* kept = c->get_user_data(dc, &kDcKey))
        return static_cast<DcText*>(kept);
    auto* made = new DcText;
    if (c->set_user_data(dc, &kDcKey, made, [](void* p) { delete static_cast<DcText*>(p); }) != CAIRO_STATUS_SUCCESS) {
        delete made;
        return nullptr;
    }
    return made;
}

HFONT selected_font(DcText* s) {
    const Object* object = objects().find(s->font);
    return object && object->font ? s->font : GetStockObject(DEFAULT_GUI_FONT);
}

// A layout of the text in the DC's font, its underline and strike-out over the whole text.
struct FontLayout {
    const Measured* font;
    std::unique_ptr<TextLayout> layout;
};

FontLayout layout_in(DcText* s, const std::string& utf8, TextFormat* format_out, float width, float height) {
    FontLayout out{measure(selected_font(s)), nullptr};
    if (!out.font)
        return out;
    const TextFormat& format = format_out ? *format_out : out.font->format;
    out.layout = std::make_unique<TextLayout>(utf8, format, width, height);
    const Object* object = objects().find(selected_font(s));
    if (object->record.lfUnderline)
        out.layout->set_underline(0, out.layout->length(), true);
    if (object->record.lfStrikeOut)
        out.layout->set_strikethrough(0, out.layout->length(), true);
    return out;
}

int32_t pixels_up(float v) { return static_cast<int32_t>(std::ceil(v - 1e-3f)); }

int32_t saturated(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

bool operator==(const LOGFONT& a, const LOGFONT& b) {
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
           a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic &&
           a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
           a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
           a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily && a.lfFaceName == b.lfFaceName;
}

HFONT CreateFontIndirect(const LOGFONT& font) {
    if (font.lfFaceName.size() > kMaxFaceName || font.lfFaceName.find(u'\0') != std::u16string::npos)
        return 0;
    if (font.lfHeight < -kMaxHeight || font.lfHeight > kMaxHeight || font.lfWeight < 0 || font.lfWeight > 1000)
        return 0;
    return objects().add(Object{true, false, false, font, 0, std::nullopt});
}

HFONT CreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                 bool italic, bool underline, bool strike_out, uint8_t charset, uint8_t out_precision,
                 uint8_t clip_precision, uint8_t quality, uint8_t pitch_and_family, std::u16string_view face) {
    LOGFONT f;
    f.lfHeight = height;
    f.lfWidth = width;
    f.lfEscapement = escapement;
    f.lfOrientation = orientation;
    f.lfWeight = weight;
    f.lfItalic = italic;
    f.lfUnderline = underline;
    f.lfStrikeOut = strike_out;
    f.lfCharSet = charset;
    f.lfOutPrecision = out_precision;
    f.lfClipPrecision = clip_precision;
    f.lfQuality = quality;
    f.lfPitchAndFamily = pitch_and_family;
    f.lfFaceName = face;
    return CreateFontIndirect(f);
}

bool GetObject(HFONT font, LOGFONT* out) {
    const Object* object = objects().find(font);
    if (!object || !object->font || !out)
        return false;
    *out = object->record;
    return true;
}

bool DeleteObject(HGDIOBJ id) {
    Objects& all = objects();
    const Object* object = all.find(id);
    if (!object)
        return false;
    if (!object->stock)
        all.table.erase(id);
    return true;
}

HGDIOBJ GetStockObject(int32_t which) {
    Objects& all = objects();
    if (which == DC_BRUSH) {
        if (!all.dc_brush)
            all.dc_brush = all.add(Object{false, true, true, {}, 0xFFFFFF, std::nullopt});
        return all.dc_brush;
    }
    if (which != DEFAULT_GUI_FONT)
        return 0;
    if (!all.gui_font)
        all.gui_font = all.add(Object{true, true, false, message_font(96), 0, std::nullopt});
    return all.gui_font;
}

LOGFONT message_font(uint32_t dpi) {
    LOGFONT f;
    f.lfHeight = -static_cast<int32_t>(std::min<uint64_t>(9ull * dpi / 72, kMaxHeight));
    f.lfWeight = FW_NORMAL;
    f.lfFaceName = u"DejaVu Sans";
    return f;
}

HBRUSH CreateSolidBrush(COLORREF colour) { return objects().add(Object{false, false, false, {}, colour & 0xFFFFFF, {}}); }

HBRUSH GetSysColorBrush(int32_t index) {
    if (index < 0 || index > 30)
        return 0;
    Objects& all = objects();
    const auto it = all.system_brushes.find(index);
    if (it != all.system_brushes.end())
        return it->second;
    const HBRUSH brush = all.add(Object{false, true, false, {}, win::GetSysColor(index), {}});
    all.system_brushes.emplace(index, brush);
    return brush;
}

bool brush_colour(HBRUSH brush, COLORREF* out) {
    const Object* object = objects().find(brush);
    if (!object || object->font || !out)
        return false;
    *out = object->colour;
    return true;
}

bool dc_brush_colour(cairo_t* dc, HBRUSH brush, COLORREF* out) {
    const Object* object = objects().find(brush);
    if (!object || object->font || !out)
        return false;
    if (!object->dc_brush) {
        *out = object->colour;
        return true;
    }
    const DcText* s = state(dc);
    if (!s)
        return false;
    *out = s->brush;
    return true;
}

HFONT SelectObject(cairo_t* dc, HFONT font) {
    const Object* object = objects().find(font);
    DcText* s = state(dc);
    if (!object || !object->font || !s)
        return 0;
    const HFONT before = selected_font(s);
    s->font = font;
    return before;
}

HFONT current_font(cairo_t* dc) {
    DcText* s = state(dc);
    return s ? selected_font(s) : 0;
}

namespace {

// Sets a field of the DC's text state, answering its value before (0 for a null DC).
template <typename T>
T swap_field(cairo_t* dc, T DcText::*field, T value) {
    DcText* s = state(dc);
    return s ? std::exchange(s->*field, value) : 0;
}
template <typename T>
T read_field(cairo_t* dc, T DcText::*field) {
    DcText* s = state(dc);
    return s ? s->*field : 0;
}

}  // namespace

COLORREF SetTextColor(cairo_t* dc, COLORREF colour) { return swap_field(dc, &DcText::text, colour & 0xFFFFFF); }
COLORREF GetTextColor(cairo_t* dc) { return read_field(dc, &DcText::text); }
COLORREF SetBkColor(cairo_t* dc, COLORREF colour) { return swap_field(dc, &DcText::background, colour & 0xFFFFFF); }
COLORREF GetBkColor(cairo_t* dc) { return read_field(dc, &DcText::background); }
COLORREF SetDCBrushColor(cairo_t* dc, COLORREF colour) { return swap_field(dc, &DcText::brush, colour & 0xFFFFFF); }
COLORREF GetDCBrushColor(cairo_t* dc) { return read_field(dc, &DcText::brush); }
int32_t SetBkMode(cairo_t* dc, int32_t mode) {
    return mode == TRANSPARENT || mode == OPAQUE ? swap_field(dc, &DcText::mode, mode) : 0;
}
int32_t GetBkMode(cairo_t* dc) { return read_field(dc, &DcText::mode); }

namespace {

void fill(cairo_t* dc, double x, double y, double width, double height, COLORREF colour) {
    const win::CairoLib* c = win::cairo_lib();
    const Rgba rgba = rgba_of(colour);
    c->save(dc);
    c->set_source_rgba(dc, rgba.r, rgba.g, rgba.b, 1);
    c->rectangle(dc, x, y, width, height);
    c->fill(dc);
    c->restore(dc);
}

// Tabs at every eight average characters.
float default_tab(const Measured& font) { return 8.0f * static_cast<float>(font.metrics.tmAveCharWidth); }

}  // namespace

bool FillRect(cairo_t* dc, const RECT& rect, HBRUSH brush) {
    COLORREF colour;
    if (!dc_brush_colour(dc, brush, &colour))
        return false;
    if (rect.right > rect.left && rect.bottom > rect.top)
        fill(dc, rect.left, rect.top, rect.width(), rect.height(), colour);
    return true;
}

int32_t DrawText(cairo_t* dc, std::u16string_view text, RECT* rect, uint32_t format) {
    DcText* s = state(dc);
    if (!s || !rect)
        return 0;
    const bool single = format & DT_SINGLELINE;
    const bool wrap = (format & DT_WORDBREAK) && !single;
    const Converted converted = convert(text, !(format & DT_NOPREFIX), single);
    const Measured* font = measure(selected_font(s));
    if (!font)
        return 0;
    TextFormat f = font->format;
    f.wrap = wrap;
    f.end_ellipsis = (format & DT_END_ELLIPSIS) != 0;
    f.tab_stop = (format & DT_EXPANDTABS) ? default_tab(*font) : 0;
    f.align = (format & DT_CENTER) ? TextAlign::center : (format & DT_RIGHT) ? TextAlign::trailing : TextAlign::leading;
    f.paragraph = !single                ? ParagraphAlign::near
                  : (format & DT_VCENTER) ? ParagraphAlign::center
                  : (format & DT_BOTTOM)  ? ParagraphAlign::far
                                          : ParagraphAlign::near;
    const bool calc = format & DT_CALCRECT;
    // In 64 bits: a rectangle may span more than 31 bits.
    const int64_t rect_width = std::max<int64_t>(int64_t{rect->right} - rect->left, 0);
    const int64_t rect_height = std::max<int64_t>(int64_t{rect->bottom} - rect->top, 0);
    const float width = static_cast<float>(rect_width);
    const float height = calc ? 0 : static_cast<float>(rect_height);
    const bool boxed = wrap || f.end_ellipsis || f.align != TextAlign::leading;
    FontLayout made = layout_in(s, converted.utf8, &f, boxed ? width : 0, height);
    TextLayout& layout = *made.layout;
    if (converted.underlined >= 0)
        layout.set_underline(static_cast<uint32_t>(converted.underlined), 1, true);
    const LayoutMetrics m = layout.metrics();
    const int32_t text_height = pixels_up(m.height);
    if (calc) {
        rect->right = saturated(int64_t{rect->left} + pixels_up(m.width));
        rect->bottom = saturated(int64_t{rect->top} + text_height);
        return text_height;
    }
    const win::CairoLib* c = win::cairo_lib();
    c->save(dc);
    if (!(format & DT_NOCLIP)) {
        c->rectangle(dc, rect->left, rect->top, static_cast<double>(rect_width), static_cast<double>(rect_height));
        c->clip(dc);
    }
    if (s->mode == OPAQUE) {
        static std::vector<HitRect> lines;  // kept: painting allocates only when a text has more lines
        layout.hit_test_range(0, layout.length(), &lines);
        for (const HitRect& r : lines)
            fill(dc, rect->left + r.x, rect->top + r.y, r.width, r.height, s->background);
    }
    layout.set_default_colour(rgba_of(s->text));
    layout.draw(dc, static_cast<float>(rect->left), static_cast<float>(rect->top));
    c->restore(dc);
    return text_height;
}

bool GetTextExtentPoint32(cairo_t* dc, std::u16string_view text, SIZE* size) {
    DcText* s = state(dc);
    if (!s || !size)
        return false;
    FontLayout made = layout_in(s, convert(text, false, true).utf8, nullptr, 0, 0);
    if (!made.layout)
        return false;
    size->cx = pixels_up(made.layout->metrics().width);
    size->cy = made.font->metrics.tmHeight;
    return true;
}

uint32_t GetTabbedTextExtent(cairo_t* dc, std::u16string_view text, int32_t stop_count, const int32_t* stops) {
    DcText* s = state(dc);
    if (!s)
        return 0;
    const Measured* font = measure(selected_font(s));
    if (!font)
        return 0;
    TextFormat f = font->format;
    f.tab_stop = default_tab(*font);
    FontLayout made = layout_in(s, convert(text, false, true).utf8, &f, 0, 0);
    if (stop_count > 0 && stops) {
        std::vector<float> at;
        at.reserve(static_cast<size_t>(stop_count));
        for (int32_t i = 0; i < stop_count; ++i)
            at.push_back(static_cast<float>(stops[i]));
        made.layout->set_tab_stops(at);
    }
    const uint32_t width = static_cast<uint32_t>(std::min(pixels_up(made.layout->metrics().width), 0xFFFF));
    return width | static_cast<uint32_t>(font->metrics.tmHeight & 0xFFFF) << 16;
}

bool GetTextMetrics(cairo_t* dc, TEXTMETRIC* metrics) {
    DcText* s = state(dc);
    const Measured* font = s ? measure(selected_font(s)) : nullptr;
    if (!font || !metrics)
        return false;
    *metrics = font->metrics;
    return true;
}

FontCounters font_counters() { return {font_map_starts(), pango_loaded()}; }

}  // namespace nuv::host::gfx
