// The text engine over Pango: one context per antialias mode on the default font map, started
// with the first measurement; layouts built from their record when first measured or drawn, and
// a table of lines placed by our own alignment and spacing, which every hit test, metric and draw
// reads, so what is measured is what is drawn.
#include "host/gfx/text.h"

#include <algorithm>
#include <cmath>

#include "host/gfx/pango_lib.h"
#include "host/utf.h"
#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

namespace {

constexpr float kScale = PANGO_SCALE;
int starts = 0;
TextCounters counters;

int to_units(float pixels) { return static_cast<int>(std::lround(pixels * kScale)); }
float to_pixels(int units) { return static_cast<float>(units) / kScale; }

bool finite_at_least(float value, float low) { return std::isfinite(value) && value >= low; }

// The context for an antialias mode, made on first use; null when Pango or Cairo cannot load.
PangoContext* context(bool antialias) {
    static PangoContext* contexts[2] = {nullptr, nullptr};
    PangoContext*& made = contexts[antialias ? 1 : 0];
    if (made)
        return made;
    const PangoLib* p = pango_lib();
    const win::CairoLib* c = win::cairo_lib();
    if (!p || !c)
        return nullptr;
    static PangoFontMap* map = nullptr;
    if (!map) {
        map = p->cairo_font_map_get_default();
        ++starts;
    }
    made = p->font_map_create_context(map);
    cairo_font_options_t* options = c->font_options_create();
    c->font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    c->font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    c->font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    p->cairo_context_set_font_options(made, options);
    c->font_options_destroy(options);
    p->context_set_round_glyph_positions(made, true);
    return made;
}

PangoWeight pango_weight(int32_t weight) { return static_cast<PangoWeight>(std::clamp(weight, 100, 1000)); }

PangoFontDescription* description(const PangoLib* p, const TextFormat& format) {
    PangoFontDescription* d = p->font_description_new();
    p->font_description_set_family(d, format.family.c_str());
    p->font_description_set_weight(d, pango_weight(format.weight));
    p->font_description_set_style(d, format.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    p->font_description_set_absolute_size(d, format.size * kScale);
    return d;
}

// The length of the valid sequence at `s`, or 0: no overlong forms, no surrogates, nothing past
// U+10FFFF.
size_t valid_sequence(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    if (lead < 0x80)
        return 1;
    size_t n;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < low || b(1) > high)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80)
            return 0;
    return n;
}

}  // namespace

struct TextLayout::Paragraph {
    uint32_t start;  // byte
    PangoLayout* layout;
};

struct TextLayout::Line {
    PangoLayoutLine* line;
    uint32_t base;        // the byte where its paragraph starts: Pango's indexes count from there
    uint32_t start, end;  // bytes: the line's text, without the break that ends it
    uint32_t next;        // where the next line starts
    float origin;         // the x where the line's left edge is drawn
    float left, width;    // the line's logical extent
    float top, height, baseline;
};

std::string format_error(const TextFormat& format) {
    if (!finite_at_least(format.size, 0) || format.size == 0 || format.size > kMaxTextSize)
        return "the size is not above 0 and at most 16384";
    if (format.weight < 1 || format.weight > 1000)
        return "the weight is not from 1 to 1000";
    if (format.family.empty() || format.family.find('\0') != std::string::npos)
        return "the family is empty or holds a NUL";
    if (!finite_at_least(format.tab_stop, 0) || !finite_at_least(format.line_spacing, 0) ||
        !finite_at_least(format.baseline, 0) || format.tab_stop > 1e6 || format.line_spacing > 1e6 ||
        format.baseline > 1e6)
        return "a tab stop, line spacing or baseline is negative, too large or not finite";
    return {};
}

bool font_metrics(const TextFormat& format, FontMetrics* out) {
    if (!format_error(format).empty())
        return false;
    PangoContext* ctx = context(format.antialias);
    if (!ctx)
        return false;
    const PangoLib* p = pango_lib();
    PangoFontDescription* d = description(p, format);
    PangoFontMetrics* m = p->context_get_metrics(ctx, d, nullptr);
    out->ascent = to_pixels(p->font_metrics_get_ascent(m));
    out->descent = to_pixels(p->font_metrics_get_descent(m));
    out->average_width = to_pixels(p->font_metrics_get_approximate_char_width(m));
    p->font_metrics_unref(m);
    p->font_description_free(d);
    return true;
}

int font_map_starts() { return starts; }
bool pango_loaded() { return pango_lib_loaded(); }
TextCounters text_counters() { return counters; }

TextLayout::TextLayout(std::string_view utf8, const TextFormat& format, float box_width, float box_height)
    : format_(format), usable_(format_error(format).empty()) {
    const auto bound = [](float v) { return std::isfinite(v) && v > 0 && v < 1e6f ? v : 0.0f; };
    box_width_ = bound(box_width);
    box_height_ = bound(box_height);
    if (!usable_)
        utf8 = {};
    text_.reserve(utf8.size());
    offsets_.reserve(utf8.size() + 1);
    for (size_t i = 0; i < utf8.size();) {
        offsets_.push_back(static_cast<uint32_t>(text_.size()));
        const size_t n = valid_sequence(utf8.substr(i));
        if (n == 0) {
            put_utf8(text_, 0xFFFD);
            ++i;
        } else {
            text_.append(utf8.substr(i, n));
            i += n;
        }
    }
    offsets_.push_back(static_cast<uint32_t>(text_.size()));
}

TextLayout::~TextLayout() {
    for (const Paragraph& paragraph : paragraphs_)
        pango_lib()->object_unref(paragraph.layout);
}

uint32_t TextLayout::byte_of(uint32_t position) const { return offsets_[std::min(position, length())]; }

uint32_t TextLayout::position_of(uint32_t byte) const {
    return static_cast<uint32_t>(std::lower_bound(offsets_.begin(), offsets_.end(), byte) - offsets_.begin());
}

size_t TextLayout::line_of(uint32_t byte) const {
    const auto after = std::upper_bound(lines_.begin(), lines_.end(), byte,
                                        [](uint32_t b, const Line& line) { return b < line.start; });
    return after == lines_.begin() ? 0 : static_cast<size_t>(after - lines_.begin()) - 1;
}

template <typename V>
void TextLayout::assign(Runs<V>& runs, uint32_t start, uint32_t count, V value) {
    const uint32_t from = byte_of(start);
    const uint32_t to = byte_of(count > length() - std::min(start, length()) ? length() : start + count);
    if (from >= to)
        return;
    // Cut the runs that straddle either end, then drop what lies inside.
    auto it = runs.lower_bound(from);
    if (it != runs.begin()) {
        auto before = std::prev(it);
        if (before->second.first > from) {
            if (before->second.first > to)
                runs.emplace(to, before->second);
            before->second.first = from;
        }
    }
    it = runs.lower_bound(from);
    while (it != runs.end() && it->first < to) {
        if (it->second.first > to) {
            runs.emplace(to, it->second);
        }
        it = runs.erase(it);
    }
    runs.emplace(from, std::pair{to, std::move(value)});
    dirty_ = true;
}

bool TextLayout::set_colour(uint32_t start, uint32_t count, Rgba colour) {
    for (float v : {colour.r, colour.g, colour.b, colour.a})
        if (!(v >= 0 && v <= 1))
            return false;
    assign(colours_, start, count, colour);
    return true;
}

bool TextLayout::set_weight(uint32_t start, uint32_t count, int32_t weight) {
    if (weight < 1 || weight > 1000)
        return false;
    assign(weights_, start, count, weight);
    return true;
}

void TextLayout::set_italic(uint32_t start, uint32_t count, bool italic) { assign(italics_, start, count, italic); }
void TextLayout::set_underline(uint32_t start, uint32_t count, bool underline) {
    assign(underlines_, start, count, underline);
}
void TextLayout::set_strikethrough(uint32_t start, uint32_t count, bool strikethrough) {
    assign(strikethroughs_, start, count, strikethrough);
}

bool TextLayout::set_family(uint32_t start, uint32_t count, std::string_view family) {
    if (family.empty() || family.find('\0') != std::string_view::npos)
        return false;
    assign(families_, start, count, std::string(family));
    return true;
}

bool TextLayout::set_size(uint32_t start, uint32_t count, float size) {
    if (!(size > 0 && size <= kMaxTextSize))
        return false;
    assign(sizes_, start, count, size);
    return true;
}

void TextLayout::set_tab_stops(std::span<const float> stops) {
    tab_stops_.clear();
    for (float stop : stops)
        if (std::isfinite(stop) && stop > 0 && stop < 1e6f)
            tab_stops_.push_back(stop);
    std::sort(tab_stops_.begin(), tab_stops_.end());
    dirty_ = true;
}

bool TextLayout::ready() {
    if (!dirty_)
        return !paragraphs_.empty();
    if (!usable_ || !context(format_.antialias))
        return false;
    build();
    dirty_ = false;
    return true;
}

// Where a paragraph ends: at a line feed, a carriage return (with the line feed after it) or a
// paragraph separator; answers the length of the break, 0 when none starts at i.
static size_t paragraph_break(std::string_view text, size_t i) {
    if (text[i] == '\n')
        return 1;
    if (text[i] == '\r')
        return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    if (text.substr(i, 3) == "\xE2\x80\xA9")
        return 3;
    return 0;
}

void TextLayout::build() {
    const PangoLib* p = pango_lib();
    ++counters.builds;
    if (paragraphs_.empty()) {
        // A layout per paragraph: Pango's time for one layout grows faster than its paragraphs.
        PangoContext* ctx = context(format_.antialias);
        PangoFontDescription* d = description(p, format_);
        const auto add = [&](uint32_t start, uint32_t end) {
            PangoLayout* layout = p->layout_new(ctx);
            p->layout_set_auto_dir(layout, false);
            p->layout_set_font_description(layout, d);
            p->layout_set_text(layout, text_.data() + start, static_cast<int>(end - start));
            if (box_width_ > 0 && (format_.wrap || format_.end_ellipsis)) {
                p->layout_set_width(layout, to_units(box_width_));
                p->layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
                if (format_.end_ellipsis && !format_.wrap)
                    p->layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
            }
            paragraphs_.push_back({start, layout});
            ++counters.layouts;
            counters.bytes += end - start;
        };
        uint32_t start = 0;
        for (size_t i = 0; i < text_.size();) {
            if (const size_t n = paragraph_break(text_, i)) {
                add(start, static_cast<uint32_t>(i));
                i += n;
                start = static_cast<uint32_t>(i);
            } else {
                ++i;
            }
        }
        add(start, static_cast<uint32_t>(text_.size()));
        p->font_description_free(d);
    }

    PangoTabArray* tabs;
    if (tab_stops_.empty()) {
        tabs = p->tab_array_new(1, false);
        const float every = format_.tab_stop > 0 ? format_.tab_stop : 4 * format_.size;
        p->tab_array_set_tab(tabs, 0, PANGO_TAB_LEFT, to_units(every));
    } else {
        tabs = p->tab_array_new(static_cast<int>(tab_stops_.size()), false);
        for (size_t i = 0; i < tab_stops_.size(); ++i)
            p->tab_array_set_tab(tabs, static_cast<int>(i), PANGO_TAB_LEFT, to_units(tab_stops_[i]));
    }
    for (const Paragraph& paragraph : paragraphs_)
        p->layout_set_tabs(paragraph.layout, tabs);
    p->tab_array_free(tabs);

    // Each run goes to the paragraphs it covers, cut to them.
    std::vector<PangoAttrList*> lists(paragraphs_.size(), nullptr);
    const auto put = [&](auto make, uint32_t from, uint32_t to) {
        const auto first = std::upper_bound(paragraphs_.begin(), paragraphs_.end(), from,
                                            [](uint32_t b, const Paragraph& q) { return b < q.start; });
        for (size_t i = static_cast<size_t>(first - paragraphs_.begin()) - 1;
             i < paragraphs_.size() && paragraphs_[i].start < to; ++i) {
            const uint32_t base = paragraphs_[i].start;
            const uint32_t limit = i + 1 < paragraphs_.size() ? paragraphs_[i + 1].start : UINT32_MAX;
            if (!lists[i])
                lists[i] = p->attr_list_new();
            PangoAttribute* a = make();
            a->start_index = std::max(from, base) - base;
            a->end_index = std::min(to, limit) - base;
            p->attr_list_insert(lists[i], a);
        }
    };
    const auto channel = [](float v) { return static_cast<guint16>(std::lround(v * 65535)); };
    for (const auto& [from, run] : colours_) {
        const Rgba c = run.second;
        put([&] { return p->attr_foreground_new(channel(c.r), channel(c.g), channel(c.b)); }, from, run.first);
        put([&] { return p->attr_foreground_alpha_new(std::max<guint16>(1, channel(c.a))); }, from, run.first);
    }
    for (const auto& [from, run] : weights_)
        put([&, v = run.second] { return p->attr_weight_new(pango_weight(v)); }, from, run.first);
    for (const auto& [from, run] : italics_)
        put([&, v = run.second] { return p->attr_style_new(v ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL); }, from, run.first);
    for (const auto& [from, run] : underlines_)
        put([&, v = run.second] { return p->attr_underline_new(v ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE); }, from,
            run.first);
    for (const auto& [from, run] : strikethroughs_)
        put([&, v = run.second] { return p->attr_strikethrough_new(v); }, from, run.first);
    for (const auto& [from, run] : families_)
        put([&, v = run.second.c_str()] { return p->attr_family_new(v); }, from, run.first);
    for (const auto& [from, run] : sizes_)
        put([&, v = run.second] { return p->attr_size_new_absolute(to_units(v)); }, from, run.first);
    for (size_t i = 0; i < paragraphs_.size(); ++i) {
        p->layout_set_attributes(paragraphs_[i].layout, lists[i]);
        if (lists[i])
            p->attr_list_unref(lists[i]);
    }

    // The lines, as Pango broke them, paragraph under paragraph, placed by our alignment and
    // spacing.
    lines_.clear();
    float below = 0;  // the bottom of the paragraphs so far
    for (const Paragraph& paragraph : paragraphs_) {
        PangoLayoutIter* iter = p->layout_get_iter(paragraph.layout);
        float bottom = below;
        do {
            PangoLayoutLine* line = p->layout_iter_get_line_readonly(iter);
            PangoRectangle in_layout, own;
            p->layout_iter_get_line_extents(iter, nullptr, &in_layout);
            p->layout_line_get_extents(line, nullptr, &own);
            Line l{};
            l.line = line;
            l.base = paragraph.start;
            l.start = paragraph.start + static_cast<uint32_t>(line->start_index);
            l.end = l.start + static_cast<uint32_t>(line->length);
            l.left = to_pixels(own.x);
            l.width = to_pixels(own.width);
            l.top = below + to_pixels(in_layout.y);
            l.height = to_pixels(in_layout.height);
            l.baseline = below + to_pixels(p->layout_iter_get_baseline(iter));
            bottom = l.top + l.height;
            lines_.push_back(l);
        } while (p->layout_iter_next_line(iter));
        p->layout_iter_free(iter);
        below = bottom;
    }
    for (size_t i = 0; i < lines_.size(); ++i)
        lines_[i].next = i + 1 < lines_.size() ? lines_[i + 1].start : static_cast<uint32_t>(text_.size());

    if (format_.line_spacing > 0) {
        const float spacing = format_.line_spacing;
        const float baseline = format_.baseline > 0 ? format_.baseline : 0.8f * spacing;
        for (size_t i = 0; i < lines_.size(); ++i) {
            lines_[i].top = static_cast<float>(i) * spacing;
            lines_[i].height = spacing;
            lines_[i].baseline = lines_[i].top + baseline;
        }
    }
    float widest = 0;
    for (const Line& l : lines_)
        widest = std::max(widest, l.width);
    const float room = box_width_ > 0 ? box_width_ : widest;
    const float share = format_.align == TextAlign::leading ? 0 : format_.align == TextAlign::center ? 0.5f : 1;
    for (Line& l : lines_)
        l.origin = (room - l.width) * share - l.left;
    if (box_height_ > 0 && format_.paragraph != ParagraphAlign::near) {
        const float height = lines_.back().top + lines_.back().height - lines_.front().top;
        const float shift = (box_height_ - height) * (format_.paragraph == ParagraphAlign::center ? 0.5f : 1);
        for (Line& l : lines_) {
            l.top += shift;
            l.baseline += shift;
        }
    }
}

PositionHit TextLayout::hit_test_position(uint32_t position, bool trailing) {
    PositionHit hit;
    hit.position = std::min(position, length());
    if (!ready())
        return hit;
    const uint32_t byte = byte_of(hit.position);
    const Line& l = lines_[line_of(byte)];
    const PangoLib* p = pango_lib();
    int leading_x = 0, trailing_x = 0;
    const int index = static_cast<int>(std::min(byte, l.end) - l.base);
    p->layout_line_index_to_x(l.line, index, false, &leading_x);
    if (byte < l.end)
        p->layout_line_index_to_x(l.line, index, true, &trailing_x);
    else
        trailing_x = leading_x;
    hit.x = l.origin + to_pixels(trailing && byte < l.end ? trailing_x : leading_x);
    hit.width = std::abs(to_pixels(trailing_x - leading_x));
    hit.y = l.top;
    hit.height = l.height;
    return hit;
}

PointHit TextLayout::hit_test_point(float x, float y) {
    PointHit hit;
    if (!ready() || !std::isfinite(x) || !std::isfinite(y))
        return hit;
    // The first line whose bottom is below the point, or the last.
    const auto below = std::upper_bound(lines_.begin(), lines_.end() - 1, y,
                                        [](float at, const Line& line) { return at < line.top + line.height; });
    const Line& l = *below;
    const bool inside_y = y >= lines_.front().top && y < lines_.back().top + lines_.back().height;
    const float from_left = std::clamp(x - l.origin, -1e6f, 1e6f);
    int index = 0, trailing = 0;
    const bool inside_x = pango_lib()->layout_line_x_to_index(l.line, to_units(from_left), &index, &trailing);
    hit.position = position_of(l.base + static_cast<uint32_t>(index));
    hit.trailing = trailing > 0;  // Pango counts the characters of the cluster up to the edge
    hit.inside = inside_x && inside_y && l.end > l.start;
    return hit;
}

void TextLayout::hit_test_range(uint32_t start, uint32_t count, std::vector<HitRect>* rects) {
    rects->clear();
    if (!ready())
        return;
    const uint32_t from = byte_of(start);
    const uint32_t to = byte_of(count > length() - std::min(start, length()) ? length() : start + count);
    if (from >= to)
        return;
    const PangoLib* p = pango_lib();
    for (size_t i = line_of(from); i < lines_.size() && lines_[i].start < to; ++i) {
        const Line& l = lines_[i];
        const int a = static_cast<int>(std::clamp(from, l.start, l.end) - l.base);
        const int b = static_cast<int>(std::clamp(to, l.start, l.end) - l.base);
        float left, right;
        if (a < b) {
            int* ranges = nullptr;
            int n = 0;
            p->layout_line_get_x_ranges(l.line, a, b, &ranges, &n);
            int low = ranges[0], high = ranges[1];
            for (int k = 1; k < n; ++k) {
                low = std::min(low, ranges[2 * k]);
                high = std::max(high, ranges[2 * k + 1]);
            }
            p->free(ranges);
            left = to_pixels(low);
            right = to_pixels(high);
        } else {
            int x = 0;  // only the line's break: an empty rectangle at the line's end
            p->layout_line_index_to_x(l.line, a, false, &x);
            left = right = to_pixels(x);
        }
        rects->push_back({l.origin + left, l.top, right - left, l.height});
    }
}

void TextLayout::line_metrics(std::vector<LineMetrics>* out) {
    out->clear();
    if (!ready())
        return;
    for (const Line& l : lines_)
        out->push_back({position_of(l.next) - position_of(l.start), l.height, l.baseline - l.top});
}

LayoutMetrics TextLayout::metrics() {
    LayoutMetrics m;
    if (!ready())
        return m;
    float left = lines_.front().origin + lines_.front().left, right = left;
    for (const Line& l : lines_) {
        left = std::min(left, l.origin + l.left);
        right = std::max(right, l.origin + l.left + l.width);
    }
    m.left = left;
    m.width = right - left;
    m.top = lines_.front().top;
    m.height = lines_.back().top + lines_.back().height - m.top;
    m.line_count = static_cast<uint32_t>(lines_.size());
    return m;
}

bool TextLayout::draw(cairo_t* cr, float x, float y) {
    if (!cr || !ready())
        return false;
    const PangoLib* p = pango_lib();
    const win::CairoLib* c = win::cairo_lib();
    if (!std::isfinite(x) || !std::isfinite(y))
        return true;
    c->save(cr);
    c->set_source_rgba(cr, default_colour_.r, default_colour_.g, default_colour_.b, default_colour_.a);
    for (const Line& l : lines_) {
        c->move_to(cr, x + l.origin, y + l.baseline);
        p->cairo_show_layout_line(cr, l.line);
    }
    c->restore(cr);
    return true;
}

}  // namespace nuv::host::gfx
