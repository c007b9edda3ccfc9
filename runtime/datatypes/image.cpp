#include "runtime/datatypes/image.h"

#include <algorithm>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/handles.h"
#include "runtime/hooks.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::image {

using T = TypeId;

namespace {

int32_t g_kind = 0;  // the registry kind "image"
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

int32_t slot_in(NodeId node) {
    int32_t slot;
    std::memcpy(&slot, memory::buf(node)->offset_ptr(), sizeof slot);
    return slot;
}

// The cell becomes an image over the record: the slot's buffer is made first, since it may
// collect, and only then does the record enter the registry. A record with no pixels is freed.
Cell* make_over(Cell* cell, Record* record, NodeId node) {
    const uint32_t size = static_cast<uint32_t>(record->height) << 16 | static_cast<uint32_t>(record->width);
    if (count(record) == 0) {
        hooks::g_imaging.release(record);
        *cell = Cell{static_cast<uint32_t>(T::Image), 0, 0, size};
        return cell;
    }
    const int32_t slot = handles::alloc(record, static_cast<uint32_t>(g_kind));
    memory::SeriesBuf* b = memory::buf(node);
    std::memcpy(b->offset_ptr(), &slot, sizeof slot);
    b->tail = b->offset + sizeof slot;
    *cell = Cell{static_cast<uint32_t>(T::Image), 0, node, size};
    return cell;
}

NodeId slot_buffer(int64_t pixel_count) { return pixel_count ? memory::alloc_bytes(sizeof(int32_t)) : 0; }

// Sides above the limit are refused; negative sides count as 0.
int32_t side(int32_t n, const Cell* shown) {
    if (n > kMaxSide) fire(Err::InvalidArg, shown);
    return std::max(n, 0);
}

// R.G.B.T (T = 255 - A; a three-byte tuple is opaque) as a packed pixel.
uint32_t argb_of_tuple(const Cell* t) {
    const uint32_t a = 255u - (tuple::size_of(t) > 3 ? tuple::byte_at(t, 3) : 0);
    return a << 24 | uint32_t{tuple::byte_at(t, 0)} << 16 | uint32_t{tuple::byte_at(t, 1)} << 8 |
           tuple::byte_at(t, 2);
}

// An integer! as four packed bytes, lowest first, in the roles of R, G, B, T.
uint32_t argb_of_integer(const Cell* n) {
    const auto v = static_cast<uint32_t>(cell::get_int(n));
    const uint32_t a = 255u - (v >> 24);
    return a << 24 | (v & 0xFF) << 16 | (v >> 8 & 0xFF) << 8 | (v >> 16 & 0xFF);
}

// The absolute pixel index of an integer! or pair! index relative to the head; `flag` is set
// for a pair outside the image, a clamped result or an offset of 0.
int64_t offset(const Cell* image, const Cell* index, int32_t base, bool* flag) {
    const int64_t w = width_of(image), h = height_of(image);
    int64_t n;
    if (cell::is(index, T::Pair)) {
        const int64_t x = pair::x_of(index), y = pair::y_of(index);
        n = base == 1 && y > 0 ? (y - 1) * w + x : y * w + x;
        if (base == 1 ? (x < 1 || y < 1 || x > w || y > h) : (x < 0 || y < 0 || x >= w || y >= h))
            *flag = true;
    } else if (cell::is(index, T::Integer)) {
        n = cell::get_int(index);
    } else {
        fire(Err::InvalidArg, index);
    }
    if (base == 1 && n <= 0) base = 0;
    if (n == 0) *flag = true;
    const int64_t at = int64_t{cell::head(image)} + n - base;
    const int64_t clamped = std::clamp<int64_t>(at, 0, w * h);
    if (clamped != at) *flag = true;
    return clamped;
}

// The head at the tail means none, as does an index that pick refuses.
int64_t pick_position(const Cell* image, const Cell* index) {
    bool flag = false;
    const int64_t at = offset(image, index, 1, &flag);
    return flag || at >= count_of(image) ? -1 : at;
}

void emit_lines(Cell* buffer, int32_t level, int32_t* budget) {
    *budget = string::emit(buffer, "\n", *budget);
    for (int32_t i = 0; i < level; i++) *budget = string::emit(buffer, "    ", *budget);
}

}  // namespace

NodeId reserve(int64_t pixel_count) { return slot_buffer(pixel_count); }
Cell* adopt(Cell* cell, Record* record, NodeId slot) { return make_over(cell, record, slot); }

Record* record_of(const Cell* c) {
    if (!c->w2) return nullptr;
    return static_cast<Record*>(handles::slot(slot_in(c->w2))->pointer);
}

Cell* make_filled(Cell* cell, int32_t width, int32_t height, uint32_t argb) {
    const NodeId node = slot_buffer(int64_t{width} * height);
    return make_over(cell, hooks::g_imaging.create(width, height, argb), node);
}

void pixel_tuple(const Cell* image, int64_t index, Cell* out) {
    if (index < 0 || index >= count_of(image)) {
        none::set(out);
        return;
    }
    const uint32_t p = get(record_of(image), index);
    const uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF, t = 255 - (p >> 24);
    tuple::set(out, 4, r | g << 8 | b << 16 | t << 24, 0, 0);
}

Cell* to_binary(const Cell* image, Channels kind, Cell* out) {
    const Cell held = *image;
    const int64_t n = count_of(&held);
    const size_t per = kind == Channels::Alpha ? 1 : kind == Channels::Rgb ? 3 : 4;
    binary::make_at(out, static_cast<size_t>(n) * per);
    if (!n) return out;
    const Record* r = record_of(&held);
    memory::SeriesBuf* b = memory::buf(cell::node(out));
    uint8_t* to = b->offset_ptr();
    for (int64_t i = 0; i < n; i++) {
        const uint8_t* p = r->data + i * 4;
        switch (kind) {
        case Channels::Alpha: *to++ = static_cast<uint8_t>(255 - p[3]); break;
        case Channels::Rgb:
            *to++ = p[2];
            *to++ = p[1];
            *to++ = p[0];
            break;
        case Channels::Argb: std::memcpy(to, p, 4); to += 4; break;
        }
    }
    b->tail = b->offset + static_cast<size_t>(n) * per;
    return out;
}

void from_value(const Cell* image, const Cell* value, Channels kind) {
    Record* r = record_of(image);
    const int64_t n = count_of(image);
    if (cell::is(value, T::Binary)) {
        if (!r) return;
        const uint8_t* from = binary::rs_head(value);
        const int64_t have = binary::rs_length(value);
        switch (kind) {
        case Channels::Alpha:
            for (int64_t i = 0; i < std::min(n, have); i++) r->data[i * 4 + 3] = static_cast<uint8_t>(255 - from[i]);
            break;
        case Channels::Rgb:
            for (int64_t i = 0; i < std::min(n, have / 3); i++) {
                r->data[i * 4] = from[i * 3 + 2];
                r->data[i * 4 + 1] = from[i * 3 + 1];
                r->data[i * 4 + 2] = from[i * 3];
            }
            break;
        case Channels::Argb: std::memcpy(r->data, from, static_cast<size_t>(std::min(n * 4, have))); break;
        }
        return;
    }
    uint32_t argb;
    if (cell::is(value, T::Tuple)) argb = argb_of_tuple(value);
    else if (cell::is(value, T::Integer)) argb = argb_of_integer(value);
    else fire(Err::InvalidArg, value);
    if (!r) return;
    for (int64_t i = 0; i < n; i++) {
        const uint32_t was = get(r, i);
        switch (kind) {
        case Channels::Alpha: {
            // The first component is the transparency for a tuple, the lowest byte for an integer.
            const uint32_t t = cell::is(value, T::Tuple) ? tuple::byte_at(value, 0)
                                                        : static_cast<uint32_t>(cell::get_int(value)) & 0xFF;
            set(r, i, (was & 0x00FFFFFF) | (255 - t) << 24);
            break;
        }
        case Channels::Rgb: set(r, i, (was & 0xFF000000) | (argb & 0x00FFFFFF)); break;
        case Channels::Argb: set(r, i, argb); break;
        }
    }
}

bool has_more(const Cell* image) { return cell::head(image) < count_of(image); }

// ---- make and to ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    switch (cell::type_of(spec)) {
    case T::Pair: {
        const int32_t w = side(pair::x_of(spec), spec), h = side(pair::y_of(spec), spec);
        return make_filled(proto, w, h, kOpaqueWhite);
    }
    case T::Block: break;
    default: return to(proto, spec, type);
    }
    const Cell given = *spec;
    const int32_t items = block::rs_length(&given);
    if (items == 0) {
        if (cell::is(proto, T::Image)) return copy(proto, proto, nullptr, false, nullptr);
        fire(Err::InvalidArg, &given);
    }
    Cell held[3];
    const int32_t used = std::min(items, 3);
    std::copy_n(block::rs_head(const_cast<Cell*>(&given)), used, held);
    if (!cell::is(&held[0], T::Pair)) fire(Err::InvalidArg, &held[0]);
    if (used > 1 && !cell::is(&held[1], T::Binary) && !cell::is(&held[1], T::Tuple))
        fire(Err::InvalidArg, &held[1]);
    if (used > 2 && !cell::is(&held[2], T::Binary)) fire(Err::InvalidArg, &held[2]);
    const int32_t w = side(pair::x_of(&held[0]), &held[0]), h = side(pair::y_of(&held[0]), &held[0]);
    const uint32_t fill = used > 1 && cell::is(&held[1], T::Tuple) ? argb_of_tuple(&held[1]) : kOpaqueWhite;
    Cell* made = make_filled(proto, w, h, fill);
    if (used > 1 && cell::is(&held[1], T::Binary)) {
        from_value(made, &held[1], Channels::Rgb);
        if (used > 2) from_value(made, &held[2], Channels::Alpha);
    }
    return made;
}

Cell* to(Cell* proto, Cell* spec, TypeId) {
    if (cell::is(spec, T::Image)) {
        const Cell source = *spec;
        Cell whole = source;
        cell::set_head(&whole, 0);
        return copy(&whole, proto, nullptr, false, nullptr);
    }
    integer::fire_with_type(Err::BadToArg, T::Image, spec);
}

// ---- Text ----

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    return mold(value, buffer, true, false, true, part, budget, 0);
}

// The pixels are read from the record, which no append can move; the value is copied first,
// since an append may move the buffer that holds it.
int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int32_t budget,
             int32_t indent) {
    const Cell image = *value;
    const bool limited = part != nullptr;
    if (!only) budget = string::emit(buffer, "make image! [", budget);
    budget = string::emit(buffer, integer::to_cstr(width_of(&image)), budget);
    budget = string::emit(buffer, "x", budget);
    budget = string::emit(buffer, integer::to_cstr(height_of(&image)), budget);
    const Record* r = record_of(&image);
    if (!r) {
        budget = string::emit(buffer, " #{}", budget);
        return only ? budget : string::emit(buffer, "]", budget);
    }
    const int64_t from = std::min<int64_t>(cell::head(&image), count_of(&image));
    const int64_t n = count_of(&image) - from;
    const int32_t level = indent + 1;
    const bool long_data = n * 4 > 30;
    // One section, the text of each pixel from `hex`; false when the part
    // budget ran out.
    const auto section = [&](auto hex) {
        budget = string::emit(buffer, " #{", budget);
        if (!flat && long_data) emit_lines(buffer, level, &budget);
        for (int64_t i = 0; i < n; i++) {
            budget = string::emit(buffer, hex(get(r, from + i)), budget);
            if (limited && budget <= 0) return false;
            if (!flat && (i + 1) % 10 == 0 && i + 1 < n) emit_lines(buffer, level, &budget);
        }
        if (!flat && long_data) emit_lines(buffer, level - 1, &budget);
        budget = string::emit(buffer, "}", budget);
        return true;
    };
    char text[8];
    const bool whole = section([&text](uint32_t p) {
        std::memcpy(text, string::int_to_hex(static_cast<int32_t>(p), false) + 2, 6);
        text[6] = 0;
        return text;
    });
    if (!whole) return budget;
    bool opaque = true;
    for (int64_t i = 0; i < n && opaque; i++) opaque = (get(r, from + i) >> 24) == 255;
    if (!opaque && !section([](uint32_t p) { return string::byte_to_hex(static_cast<uint8_t>(255 - (p >> 24))); }))
        return budget;
    return only ? budget : string::emit(buffer, "]", budget);
}

// ---- Access ----

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*,
                        int32_t, bool, bool, bool, bool) {
    if (cell::is(element, T::Integer) || cell::is(element, T::Pair)) {
        if (!value) return pick(parent, 0, element);
        return poke(parent, 0, value, element);
    }
    if (cell::is(element, T::Word)) {
        const SymId sym = symbol::resolve(word::symbol_of(element));
        const auto is = [sym](SymId s) { return sym == symbol::resolve(s); };
        if (is(words::sym::size)) {
            if (value) fire(Err::InvalidPath, path, element);
            return pair::push(width_of(parent), height_of(parent));
        }
        Channels kind;
        if (is(words::sym::rgb)) kind = Channels::Rgb;
        else if (is(words::sym::alpha)) kind = Channels::Alpha;
        else if (is(words::sym::argb)) kind = Channels::Argb;
        else fire(Err::InvalidPath, path, element);
        if (!value) {
            Cell* out = stack::push(none::shared());
            return to_binary(parent, kind, out);
        }
        const Cell image = *parent;
        Cell given = *value;
        if (cell::is(&given, T::Binary)) cell::set_head(&given, 0);  // fills read from the first byte
        const ownership::Notice notice(&image, words::w::poke, &given, cell::head(&image), 0);
        from_value(&image, &given, kind);
        notice.done(words::w::poked);
        return value;
    }
    fire(Err::InvalidPath, path, element);
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    Cell shown;
    if (index_arg) shown = *index_arg;
    else integer::set(&shown, index);
    const int64_t at = pick_position(series, &shown);
    Cell* out = stack::push(none::shared());
    pixel_tuple(series, at, out);
    return out;
}

Cell* poke(Cell* series, int32_t index, Cell* value, Cell* index_arg) {
    Cell shown;
    if (index_arg) shown = *index_arg;
    else integer::set(&shown, index);
    const int64_t at = pick_position(series, &shown);
    if (at < 0) fire(Err::OutOfRange, &shown);
    if (!cell::is(value, T::Tuple)) fire(Err::InvalidArg, value);
    const Cell image = *series;
    const Cell given = *value;
    const ownership::Notice notice(&image, words::w::poke, &given, static_cast<int32_t>(at), 1);
    set(record_of(&image), at, argb_of_tuple(&given));
    notice.done(words::w::poked);
    return value;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Image)) return kNotComparable;
    const bool same_position = a->w2 == b->w2 && a->w3 == b->w3 && cell::head(a) == cell::head(b);
    if (op == CompareOp::Same) return same_position ? 0 : -1;
    const auto code = static_cast<int32_t>(op);
    if (same_position && code <= 2) return 0;
    if (code > 2 && code != 7 && code != 8 && code != 12) return kNotComparable;
    const int64_t x = count_of(a), y = count_of(b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
    const int c = std::memcmp(record_of(a)->data, record_of(b)->data, static_cast<size_t>(x) * 4);
    return (c > 0) - (c < 0);
}

// ---- Navigation ----

void at() {
    Cell* image = stack::arg(0);
    bool flag = false;
    cell::set_head(image, static_cast<int32_t>(offset(image, stack::arg(1), 1, &flag)));
}

void skip() {
    Cell* image = stack::arg(0);
    bool flag = false;
    cell::set_head(image, static_cast<int32_t>(offset(image, stack::arg(1), 0, &flag)));
}

void next() {
    Cell* image = stack::arg(0);
    if (cell::head(image) < count_of(image)) cell::set_head(image, cell::head(image) + 1);
}

void tail() { cell::set_head(stack::arg(0), count_of(stack::arg(0))); }
void is_tail() { logic::set(stack::arg(0), !has_more(stack::arg(0))); }
int32_t length(Cell* value) { return count_of(value); }

// ---- Editing ----

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    if (dup > 1 || part >= 0) fire(Err::NotDone);
    Cell image = *series;
    const int32_t head = cell::head(&image);
    if (cell::is(value, T::Tuple)) {
        const Cell given = *value;
        if (head >= count_of(&image)) fire(Err::OutOfRange, &given);
        const bool told = ownership::check(&image, words::w::change, &given, head, 1);
        set(record_of(&image), head, argb_of_tuple(&given));
        if (told) ownership::check(&image, words::w::changed, &given, head, 1);
        cell::set_head(series, head + 1);
        return series;
    }
    if (!cell::is(value, T::Image)) integer::fire_with_type(Err::InvalidType, cell::type_of(value));
    const Cell source = *value;
    const int32_t w = width_of(&image), h = height_of(&image);
    if (head >= count_of(&image) || !record_of(&source)) return series;
    const int32_t col = head % w, row = head / w;
    const int32_t cols = std::min(width_of(&source), w - col);
    const int32_t rows = std::min(height_of(&source), h - row);
    const bool told = ownership::check(&image, words::w::change, &source, head, 1);
    Record* to = record_of(&image);
    const Record* from = record_of(&source);
    for (int32_t y = 0; y < rows; y++)
        std::memmove(to->data + (int64_t{row + y} * w + col) * 4,
                     from->data + int64_t{y} * from->width * 4, size_t(cols) * 4);
    if (told) ownership::check(&image, words::w::changed, &source, head, cols * rows);
    cell::set_head(series, (row + rows - 1) * w + std::min(col + width_of(&source), w));
    return series;
}

Cell* copy(Cell* series, Cell* result, Cell* part, bool, Cell*) {
    const Cell image = *series;
    const int32_t w = width_of(&image), h = height_of(&image);
    if (w <= 0 || h <= 0) return make_filled(result, 0, 0, kOpaqueWhite);
    const int32_t head = std::min(cell::head(&image), w * h);
    const int32_t c = head % w, r = head / w;
    int32_t x = c, y = r, cw = 0, ch = 0;
    if (!part) {
        if (head == 0) {
            cw = w;
            ch = h;
        } else {
            cw = w - c;
            ch = h - r;
        }
    } else if (cell::is(part, T::Pair)) {
        const int32_t pw = pair::x_of(part), ph = pair::y_of(part);
        if (pw > 0 && ph > 0 && head < w * h) {
            cw = std::min(pw, w - c);
            ch = std::min(ph, h - r);
        } else if (pw < 0 && ph < 0 && head > 0) {
            // The rectangle that ends at the head.
            const int32_t col = c == 0 ? w : c;
            const int32_t row = r < h ? r + 1 : r;
            cw = static_cast<int32_t>(std::min(-int64_t{pw}, int64_t{col}));
            x = col - cw;
            ch = static_cast<int32_t>(std::min(-int64_t{ph}, int64_t{row}));
            y = row - ch;
        }
    } else if (cell::is(part, T::Image)) {
        if (part->w2 != image.w2 || part->w3 != image.w3)
            fire(Err::InvalidRefineArg, &words::w::part, part);
        const int32_t other = std::min(cell::head(part), w * h);
        const int32_t a = std::min(head, other), b = std::max(head, other);
        x = a % w;
        y = a / w;
        cw = b % w - x;
        ch = b / w - y;
    } else if (cell::is(part, T::Integer)) {
        fire(Err::NotDone);
    } else {
        fire(Err::InvalidRefineArg, &words::w::part, part);
    }
    if (cw <= 0 || ch <= 0) return make_filled(result, 0, 0, kOpaqueWhite);
    const NodeId node = slot_buffer(int64_t{cw} * ch);
    return make_over(result, hooks::g_imaging.crop(record_of(&image), x, y, cw, ch), node);
}

void mark(const Cell* value) {
    if (!value->w2) return;
    collector::mark_bytes(value->w2);
    handles::mark(slot_in(value->w2), nullptr);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Image,
    .parent = TypeId::Series,
    .name = "image!",
    .make = image::make,
    .to = image::to,
    .form = image::form,
    .mold = image::mold,
    .path_access = image::path_access,
    .compare = image::compare,
    .at = image::at,
    .back = kInherited,
    .change = image::change,
    .copy = image::copy,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .length_q = image::length,
    .next = image::next,
    .pick = image::pick,
    .poke = image::poke,
    .skip = image::skip,
    .tail = image::tail,
    .tail_q = image::is_tail,
    .modify = kInherited,
    .mark = image::mark,
};

void init() {
    registry::register_type(kRecord);
    g_kind = handles::register_kind("image", hooks::g_imaging.release);
}

}  // namespace nuv::image
