// Text formats from fonts, their alignment and spacing, layouts, and text drawn on a context.
#include "gui/backend/text_formats.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/backend/colours.h"
#include "gui/backend/dpi.h"
#include "gui/backend/fonts.h"
#include "gui/backend/names.h"
#include "gui/backend/view_object.h"
#include "host/win/cairo_lib.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/handles.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace nuv::gui::backend {

namespace gfx = host::gfx;
using T = TypeId;

namespace {

constexpr int32_t kStateFormat = 1;  // cell 2 of a font's state block
constexpr int32_t kMaxFontName = 31;

uint32_t g_next_format_id = 1;
int32_t g_formats = 0;

// The text from its head as UTF-8, at most `max_chars` characters (all when negative).
std::string utf8_of(const Cell* text, int32_t max_chars) {
    std::string out;
    const int32_t n = string::length(text);
    const int32_t count = max_chars < 0 ? n : std::min(n, max_chars);
    const uint32_t unit = string::unit_of(text);
    const uint8_t* p = string::head_ptr(text);
    out.reserve(static_cast<size_t>(count));
    uint8_t bytes[4];
    for (int32_t i = 0; i < count; i++) {
        const int size = unicode::utf8_encode_char(string::get_char(p + static_cast<size_t>(i) * unit, unit), bytes);
        out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    }
    return out;
}

bool is_text(const Cell* c) { return cell::is(c, T::String); }

bool is_word(const Cell* c, SymId name) {
    return cell::is(c, T::Word) && symbol::resolve(word::symbol_of(c)) == symbol::resolve(name);
}

// The font's bold and italic from a `style` word or block.
void apply_style(const Cell* style, gfx::TextFormat* format) {
    auto one = [format](const Cell* w) {
        if (is_word(w, names::sym::bold)) format->weight = 700;
        if (is_word(w, names::sym::italic)) format->italic = true;
    };
    if (!cell::is(style, T::Block)) return one(style);
    const NodeId node = cell::node(style);
    for (int32_t i = block::head_index(style), n = block::count(node); i < n; i++) one(block::raw_cells(node) + i);
}

bool is_font(const Cell* font) {
    return cell::is(font, T::Object) && context::word_count(object::context_of(font)) >= kFontSlots;
}

// The format of the font's fields, the default font standing in for a missing name or size.
void format_of(const Cell* font, gfx::TextFormat* format) {
    std::string name;
    int32_t size = 0;
    default_font(&name, &size);
    *format = gfx::TextFormat{};
    if (font) {
        const NodeId ctx = object::context_of(font);
        const Cell* s = context::values_at(ctx, kFontSize);
        if (cell::is(s, T::Integer) && static_cast<int32_t>(s->w2) >= 1) size = static_cast<int32_t>(s->w2);
        const Cell* n = context::values_at(ctx, kFontName);
        if (is_text(n)) name = utf8_of(n, kMaxFontName);
        apply_style(context::values_at(ctx, kFontStyle), format);
    }
    if (!name.empty()) format->family = std::move(name);
    format->size = std::min(gfx::points_to_pixels(static_cast<float>(size)), gfx::kMaxTextSize);
}

}  // namespace

TextFormatObject::TextFormatObject() : id(g_next_format_id++) { g_formats++; }
TextFormatObject::~TextFormatObject() { g_formats--; }

int32_t text_format_count() { return g_formats; }

void default_font(std::string* name, int32_t* size) {
    *name = "DejaVu Sans";
    *size = 9;
    const Cell* n = view_object::view_field("fonts", "system");
    if (n && is_text(n) && string::length(n) > 0) *name = utf8_of(n, kMaxFontName);
    const Cell* s = view_object::view_field("fonts", "size");
    if (s && cell::is(s, T::Integer) && static_cast<int32_t>(s->w2) >= 1) *size = static_cast<int32_t>(s->w2);
}

const gfx::TextFormat* make_text_format(const Cell* font, bool* default_used) {
    if (!is_font(font)) {
        static gfx::TextFormat fallback;
        format_of(nullptr, &fallback);
        *default_used = true;
        return &fallback;
    }
    *default_used = false;
    const Cell owner = *font;
    const collector::Root keep(&owner);
    const NodeId ctx = object::context_of(&owner);
    const stack::Mark mark;
    Cell* state = stack::push(context::values_at(ctx, kFontState));
    if (!cell::is(state, T::Block)) {
        block::make_at(state, 3);
        for (int i = 0; i < 3; i++) block::append_cell(state, none::shared());
        *context::write_at(ctx, kFontState) = *state;
    }
    // The host font comes first, as every use of a font makes it.
    if (block::rs_length(state) < 1 || !cell::is(block::rs_head(state), T::Handle)) {
        fonts::make_font(nullptr, &owner);
        *state = *context::values_at(ctx, kFontState);  // the font keeps a block: made above if not
    }
    const NodeId cells = cell::node(state);
    const int32_t at = block::head_index(state) + kStateFormat;
    if (block::count(cells) > at) {
        const Cell cached = block::at(cells, at);
        if (cell::is(&cached, T::Handle) && handle::slot_of(&cached) != handle::kNoSlot) {
            const handles::Slot* slot = handles::slot(handle::slot_of(&cached));
            if (slot && !(slot->value & handles::kFree) &&
                static_cast<int32_t>(slot->value & handles::kKindMask) == g_backend.com_kind) {
                if (auto* held = dynamic_cast<TextFormatObject*>(static_cast<ComObject*>(slot->pointer))) {
                    mark.restore();
                    return &held->format;
                }
            }
        }
    }
    if (!g_backend.com_kind) {
        static gfx::TextFormat uncached;
        format_of(&owner, &uncached);
        mark.restore();
        return &uncached;
    }
    // A shorter state block is padded first: once the format has its slot, nothing may collect
    // before the block holds it.
    while (block::count(cells) <= at) block::append_cell(state, none::shared());
    auto* object = new TextFormatObject;
    format_of(&owner, &object->format);
    Cell held;
    handle::make_at(&held, static_cast<int32_t>(object->id), handle::Kind::RichText);
    held.w3 = static_cast<uint32_t>(
        handles::alloc(static_cast<ComObject*>(object), static_cast<uint32_t>(g_backend.com_kind)));
    block::write_cells(cells)[at] = held;
    mark.restore();
    return &object->format;
}

void set_text_alignment(gfx::TextFormat* format, uint32_t flags) {
    format->align = flags & kAlignCenter  ? gfx::TextAlign::center
                    : flags & kAlignRight ? gfx::TextAlign::trailing
                                          : gfx::TextAlign::leading;
    format->paragraph = flags & kAlignMiddle   ? gfx::ParagraphAlign::center
                        : flags & kAlignBottom ? gfx::ParagraphAlign::far
                                               : gfx::ParagraphAlign::near;
    format->wrap = (flags & kAlignWrap) != 0;
}

namespace {
// An integer! or float! as a float; false for others.
bool number_of(const Cell* value, float* out) {
    if (cell::is(value, T::Integer)) {
        *out = static_cast<float>(static_cast<int32_t>(value->w2));
        return true;
    }
    if (cell::is(value, T::Float)) {
        *out = static_cast<float>(cell::get_double(value));
        return true;
    }
    return false;
}
}  // namespace

void set_tab_stop(gfx::TextFormat* format, const Cell* value) {
    float stop = 0;
    if (number_of(value, &stop) && std::isfinite(stop) && stop > 0) format->tab_stop = stop;
}

void set_text_line_spacing(gfx::TextFormat* format, const Cell* value) {
    float wanted = 0;
    if (value && !number_of(value, &wanted)) return;
    gfx::TextFormat probe = *format;
    probe.line_spacing = 0;
    probe.baseline = 0;
    gfx::TextLayout line("I", probe, 0, 0);
    std::vector<gfx::LineMetrics> lines;
    line.line_metrics(&lines);
    if (lines.empty()) return;
    const float spacing = std::isfinite(wanted) ? std::max(wanted, lines[0].height) : lines[0].height;
    format->line_spacing = std::min(spacing, gfx::kMaxTextSize);
    format->baseline = lines[0].baseline;
}

std::unique_ptr<gfx::TextLayout> create_text_layout(const Cell* text, const gfx::TextFormat& format, float width,
                                                    float height) {
    const std::string utf8 = is_text(text) ? utf8_of(text, -1) : std::string();
    return std::make_unique<gfx::TextLayout>(utf8, format, width < 1 ? 0 : width + 0.5f,
                                             height < 1 ? 0 : height + 0.5f);
}

bool draw_text_on_dc(cairo_t* dc, const Cell* text, const Cell* font, uint32_t flags, const host::win::RECT& rect) {
    const host::win::CairoLib* c = host::win::cairo_lib();
    if (!dc || !c || rect.width() <= 0 || rect.height() <= 0) return false;
    // Making the format may allocate and move the cells the arguments point at.
    const Cell values[2] = {*text, *font};
    const collector::Root keep(values, 2);
    bool default_used = false;
    gfx::TextFormat format = *make_text_format(&values[1], &default_used);
    set_text_alignment(&format, flags);
    const Cell* colour =
        is_font(&values[1]) ? context::values_at(object::context_of(&values[1]), kFontColor) : nullptr;
    const gfx::ColorF ink = colour && cell::is(colour, T::Tuple) ? color_f(tuple_to_color(colour)) : gfx::ColorF{};
    // The text is sized in units: at the current DPI the box is the rectangle in units, drawn scaled.
    const float scale = dpi::g_current.scale;
    std::unique_ptr<gfx::TextLayout> layout = create_text_layout(
        &values[0], format, static_cast<float>(rect.width()) / scale, static_cast<float>(rect.height()) / scale);
    layout->set_default_colour({ink.r, ink.g, ink.b, ink.a});
    c->save(dc);
    c->rectangle(dc, rect.left, rect.top, rect.width(), rect.height());
    c->clip(dc);
    const cairo_matrix_t to_pixels{scale, 0, 0, scale, static_cast<double>(rect.left), static_cast<double>(rect.top)};
    c->transform(dc, &to_pixels);
    const bool drawn = layout->draw(dc, 0, 0);
    c->restore(dc);
    return drawn;
}

}  // namespace nuv::gui::backend
