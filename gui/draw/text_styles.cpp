// The rich-text style walk. Positions are characters, as the layout counts them.
#include "gui/draw/text_styles.h"

#include <algorithm>

#include "gui/backend/colours.h"
#include "gui/backend/names.h"
#include "gui/draw/walk.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"

namespace nuv::gui::draw {

namespace {

using T = TypeId;

enum class Style : uint8_t { Bold, Italic, Underline, Strike, Border, Backdrop, None };

struct StyleWord {
    const SymId& sym;
    Style style;
};
const StyleWord kStyleWords[] = {
    {names::sym::bold, Style::Bold},     {names::sym::italic, Style::Italic},
    {names::sym::underline, Style::Underline}, {names::sym::strike, Style::Strike},
    {names::sym::border, Style::Border}, {names::sym::backdrop, Style::Backdrop},
};

Style style_of(const Cell& c) {
    if (!cell::is(&c, T::Word)) return Style::None;
    const SymId sym = word_symbol(c);
    for (const StyleWord& row : kStyleWords)
        if (symbol::resolve(row.sym) == sym) return row.style;
    return Style::None;
}

// The cells after a line style that it takes and does not use: a colour tuple, then a lit-word.
int32_t skip_line_options(const Walk& w, int32_t i) {
    if (w.has(i + 1) && w.type(i + 1) == T::Tuple) i++;
    if (w.has(i + 1) && w.type(i + 1) == T::LitWord) i++;
    return i;
}

void walk_styles(backend::RenderTargetRecord* record, host::gfx::TextLayout& layout, Walk& w) {
    const int64_t total = layout.length();
    uint32_t start = 0, count = 0;
    for (int32_t i = w.at; i < w.tail; i++) {
        w.at = i;
        const Cell c = w.cell(i);
        uint32_t colour = 0;
        switch (cell::type_of(&c)) {
        case T::Pair: {
            const int64_t first = std::clamp<int64_t>(static_cast<int64_t>(pair::x_of(&c)) - 1, 0, total);
            start = static_cast<uint32_t>(first);
            count = static_cast<uint32_t>(std::clamp<int64_t>(pair::y_of(&c), 0, total - first));
            continue;
        }
        case T::Tuple:
            colour_of(c, &colour);
            layout.set_colour(start, count, rgba_of(colour));
            continue;
        case T::String:
            layout.set_family(start, count, string::to_std_utf8(&c));
            continue;
        case T::Integer:
        case T::Float: {
            const double points = cell::is(&c, T::Integer) ? cell::get_int(&c) : cell::get_double(&c);
            layout.set_size(start, count, static_cast<float>(points * 96 / 72));
            continue;
        }
        default:
            break;
        }
        switch (style_of(c)) {
        case Style::Bold:
            layout.set_weight(start, count, 700);
            break;
        case Style::Italic:
            layout.set_italic(start, count, true);
            break;
        case Style::Underline:
            layout.set_underline(start, count, true);
            i = skip_line_options(w, i);
            break;
        case Style::Strike:
            layout.set_strikethrough(start, count, true);
            i = skip_line_options(w, i);
            break;
        case Style::Border:
            i = skip_line_options(w, i);
            break;
        case Style::Backdrop:
            if (!w.has(i + 1) || !colour_of(w.cell(i + 1), &colour)) draw_error(w, i + 1);
            i++;
            if (record && count > 0) record->backdrops.insert(record->backdrops.end(), {start, count, colour});
            break;
        case Style::None:
            draw_error(w, i);
        }
    }
    w.at = w.tail;
}

}  // namespace

host::gfx::Rgba rgba_of(uint32_t colour) {
    const host::gfx::ColorF f = backend::color_f(colour);
    return {f.r, f.g, f.b, f.a};
}

void parse_text_styles(backend::RenderTargetRecord* record, host::gfx::TextLayout& layout, const Cell& data,
                       bool report) {
    Walk w = walk_of(data, report);
    try {
        walk_styles(record, layout, w);
    } catch (const Stopped&) {
        // Reported or silenced: the runs applied so far stay.
    }
}

}  // namespace nuv::gui::draw
