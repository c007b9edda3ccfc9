// Colour, point and flag conversions, the font users' list and the stopwatch.
#include "gui/backend/colours.h"

#include "gui/backend/names.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace nuv::gui::backend {

namespace {

using T = TypeId;

// The face flag words and their bits.
struct FlagName {
    names::SymIndex name;
    uint32_t bit;
};
constexpr FlagName kFlagNames[] = {
    {names::SymIndex::all_over, 0x00000001},   {names::SymIndex::focusable, 0x00000002},
    {names::SymIndex::resize, 0x04000000},     {names::SymIndex::no_title, 0x40000000},
    {names::SymIndex::no_border, 0x80000000},  {names::SymIndex::no_min, 0x20000000},
    {names::SymIndex::no_max, 0x10000000},     {names::SymIndex::no_buttons, 0x08000000},
    {names::SymIndex::modal, 0x02000000},      {names::SymIndex::popup, 0x01000000},
    {names::SymIndex::tri_state, 0x00020000},  {names::SymIndex::scrollable, 0x00040000},
    {names::SymIndex::password, 0x00080000},   {names::SymIndex::no_sync, 0x00100000},
    {names::SymIndex::fullscreen, 0x00200000},
};

// The bit of one flags item; raises invalid-arg with the item when it names none.
uint32_t flag_bit(const Cell* item) {
    if (cell::is(item, T::Word)) {
        const SymId canonical = symbol::resolve(word::symbol_of(item));
        for (const FlagName& f : kFlagNames)
            if (symbol::resolve(names::g_symbols[static_cast<int>(f.name)]) == canonical) return f.bit;
    }
    const Cell bad = *item;
    fire(Err::InvalidArg, &bad);
}

uint8_t byte_or_zero(const Cell* c, int32_t i) { return i < tuple::size_of(c) ? tuple::byte_at(c, i) : 0; }

int32_t truncate_saturating(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int64_t now_ticks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

uint32_t tuple_to_color(const Cell* colour) {
    if (!cell::is(colour, T::Tuple)) return 0;
    return byte_or_zero(colour, 0) | byte_or_zero(colour, 1) << 8 | byte_or_zero(colour, 2) << 16 |
           static_cast<uint32_t>(byte_or_zero(colour, 3)) << 24;
}

host::gfx::ColorF color_f(uint32_t c) {
    return {static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 8 & 0xFF) / 255.0f,
            static_cast<float>(c >> 16 & 0xFF) / 255.0f, static_cast<float>(255 - (c >> 24)) / 255.0f};
}

uint8_t color_to_d2d(const Cell* colour, host::gfx::ColorF* out) {
    const uint32_t c = tuple_to_color(colour);
    *out = color_f(c);
    return static_cast<uint8_t>(255 - (c >> 24));
}

uint32_t color_to_argb(const Cell* colour) {
    const uint32_t c = tuple_to_color(colour);
    uint32_t alpha = 255 - (c >> 24);
    if (alpha == 255) alpha = 254;
    return alpha << 24 | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

void pair_to_point2d(Cell* cell) {
    if (!cell::is(cell, T::Pair)) return;
    point::set2(cell, static_cast<float>(pair::x_of(cell)), static_cast<float>(pair::y_of(cell)));
}

void point2d_to_pair(Cell* cell) {
    if (!cell::is(cell, T::Point2D)) return;
    const int32_t x = truncate_saturating(point::get(cell, 0));
    const int32_t y = truncate_saturating(point::get(cell, 1));
    pair::make_at(cell, x, y);
}

uint32_t get_flags(const Cell* flags) {
    if (cell::is(flags, T::Word)) return flag_bit(flags);
    if (!cell::is(flags, T::Block)) return 0;
    const NodeId node = cell::node(flags);
    uint32_t bits = 0;
    // Nothing here allocates until an error is raised, so the cells stay where they are.
    for (int32_t i = block::head_index(flags), n = block::count(node); i < n; i++)
        bits |= flag_bit(block::raw_cells(node) + i);
    return bits;
}

void add_font_user(const Cell* font, const Cell* face) {
    if (!cell::is(font, T::Object) || !cell::is(face, T::Object)) return;
    const NodeId ctx = object::context_of(font);
    if (context::word_count(ctx) < kFontSlots) return;
    const Cell user = *face;
    const Cell owner = *font;
    const collector::Root keep_user(&user), keep_owner(&owner);
    const stack::Mark mark;
    Cell* list = stack::push(context::values_at(ctx, kFontParent));
    if (!cell::is(list, T::Block)) block::make_at(list, 4);
    const NodeId node = cell::node(list);
    bool found = false;
    for (int32_t i = 0, n = block::count(node); i < n && !found; i++) {
        const Cell* c = block::raw_cells(node) + i;
        found = cell::is(c, T::Object) && object::context_of(c) == object::context_of(&user);
    }
    if (!found) block::append_cell(list, &user);
    cell::set_head(list, block::count(node));
    *context::write_at(ctx, kFontParent) = *list;
    mark.restore();
}

void read_perf_counter(int64_t* slot) { *slot = now_ticks(); }

double stopwatch_elapsed(int64_t* slot) {
    const int64_t now = now_ticks();
    if (now < *slot) {
        *slot = now;
        return 1000.0 * 0x7FFFFFFF / kPerfFrequency;
    }
    return 1000.0 * static_cast<double>(now - *slot) / kPerfFrequency;
}

}  // namespace nuv::gui::backend
