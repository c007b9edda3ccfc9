// point2D! and point3D!: makers, the float arithmetic, conversions, text, comparison, field
// access and the two registration records. The slots are templates on the number of
// coordinates; what differs between the two types is decided by it.
#include "runtime/datatypes/point.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/hash.h"
#include "runtime/hooks.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::point {

namespace {

using T = TypeId;

struct Coords {
    double v[3];
};

Coords read(const Cell* c, int dims) {
    Coords p{{get(c, 0), get(c, 1), dims == 3 ? get(c, 2) : 0.0}};
    return p;
}

// Each coordinate rounded to a 32-bit float; the type and its flags set for dims.
void write(Cell* c, const Coords& p, int dims) {
    if (dims == 2) set2(c, static_cast<float>(p.v[0]), static_cast<float>(p.v[1]));
    else set3(c, static_cast<float>(p.v[0]), static_cast<float>(p.v[1]), static_cast<float>(p.v[2]));
}

Cell* fill(Cell* c, TypeId t, float x, float y, float z) {
    c->header = (c->header & ~cell::kTypeMask) | static_cast<uint32_t>(t);
    c->w1 = std::bit_cast<uint32_t>(x);
    c->w2 = std::bit_cast<uint32_t>(y);
    c->w3 = t == T::Point3D ? std::bit_cast<uint32_t>(z) : 0;
    return c;
}

[[noreturn]] void fire_bad_to(int dims, const Cell* spec) {
    integer::fire_with_type(Err::BadToArg, type_of_dims(dims), spec);
}

bool is_number(const Cell* c) { return cell::is(c, T::Integer) || cell::is(c, T::Float); }

// The path the element belongs to, or none! when the access came without one.
Cell path_or_none(const Cell* path) {
    Cell where;
    if (path) where = *path;
    else none::set(&where);
    return where;
}

// ---- Comparison ----

int32_t compare_coords(const Coords& x, const Coords& y, int dims, CompareOp op) {
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
        for (int i = 0; i < dims; i++)
            if (!floating::float32_almost_equal(static_cast<float>(x.v[i]), static_cast<float>(y.v[i])))
                return 1;
        return 0;
    case CompareOp::StrictEqual:
        for (int i = 0; i < dims; i++)
            if (!(x.v[i] == y.v[i])) return 1;
        return 0;
    case CompareOp::Same:
        for (int i = 0; i < dims; i++) {
            const float a = static_cast<float>(x.v[i]), b = static_cast<float>(y.v[i]);
            if (std::bit_cast<uint32_t>(a) != std::bit_cast<uint32_t>(b)) return 1;
        }
        return 0;
    default: break;
    }
    double d = 0.0;
    for (int i = 0; i < dims; i++) {
        d = x.v[i] - y.v[i];
        if (!floating::float32_almost_equal(static_cast<float>(d), 0.0f)) break;
    }
    return (d > 0.0) - (d < 0.0);
}

// ---- Slots ----

template <int D>
Cell* make(Cell* proto, Cell* spec, TypeId) {
    Coords p{{0.0, 0.0, 0.0}};
    switch (cell::type_of(spec)) {
    case T::Integer:
    case T::Float: p.v[0] = p.v[1] = p.v[2] = float_of(spec); break;
    case T::Block: {
        if (block::rs_length(spec) < D) fire(Err::Malconstruct, spec);
        const Cell* items = block::rs_head(spec);
        for (int i = 0; i < D; i++) {
            if (!is_number(items + i)) fire(Err::Malconstruct, spec);
            p.v[i] = float_of(items + i);
        }
        break;
    }
    case T::Pair:
        p.v[0] = static_cast<float>(static_cast<int32_t>(spec->w2));
        p.v[1] = static_cast<float>(static_cast<int32_t>(spec->w3));
        break;
    case T::Point2D: p = read(spec, 2); break;
    case T::Point3D:
        if (D == 2) fire_bad_to(D, spec);
        p = read(spec, 3);
        break;
    case T::String: {
        Cell loaded;
        hooks::load_text(&loaded, spec);
        if (block::rs_length(&loaded) < 1) fire_bad_to(D, spec);
        const Cell* first = block::rs_head(&loaded);
        if (!cell::is(first, type_of_dims(D))) fire_bad_to(D, spec);
        p = read(first, D);
        break;
    }
    default: fire_bad_to(D, spec);
    }
    Cell result{};
    write(&result, p, D);
    *proto = result;
    return proto;
}

template <int D>
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(hash::murmur3(&value->w1, 4 * D));
        unset::set(value);
        return value;
    }
    Coords p = read(value, D);
    for (int i = 0; i < D; i++) {
        if (p.v[i] == 0.0) continue;
        Cell f;
        floating::set(&f, p.v[i]);
        floating::random(&f, false, secure, false);
        p.v[i] = floating::get(&f);
    }
    write(value, p, D);
    return value;
}

// The text of a coordinate. A non-zero one below the double epsilon, which the number text
// shows as 0, gets its own seven digits, so that the text reads back as the point.
const char* coordinate_text(double v) {
    if (v != 0.0 && std::fabs(v) < floating::kEpsilon) return float_text::float_form_text(v, 7, false);
    return floating::to_text(v, floating::TextKind::Coordinate);
}

// The coordinates are read before the first append, which may move the buffer holding the
// value.
template <int D>
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const Coords p = read(value, D);
    budget = string::emit(buffer, "(", budget);
    for (int i = 0; i < D; i++) {
        if (i > 0) budget = string::emit(buffer, ", ", budget);
        budget = string::emit(buffer, coordinate_text(p.v[i]), budget);
    }
    return string::emit(buffer, ")", budget);
}

template <int D>
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form<D>(value, buffer, part, budget);
}

// The coordinate an element names, 1-based: an integer! in range or a field word; anything
// else raises script invalid-path with the path and the element.
template <int D>
int32_t element_index(const Cell* element, const Cell* path) {
    const Cell where = path_or_none(path);
    if (cell::is(element, T::Word)) return field_index(element, &where, D);
    if (cell::is(element, T::Integer)) {
        const int32_t n = cell::get_int(element);
        if (n >= 1 && n <= D) return n;
    }
    fire(Err::InvalidPath, &where, element);
}

template <int D>
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool, bool notify) {
    const int32_t index = element_index<D>(element, path);
    if (!value) return floating::push(get(parent, index - 1));
    if (!is_number(value)) integer::fire_with_type(Err::InvalidType, cell::type_of(value));
    Coords p = read(parent, D);
    p.v[index - 1] = float_of(value);
    write(parent, p, D);
    if (grandparent) {
        const Cell set = *value;  // the notice of a block holder names the coordinate
        path::store_back(parent, path, grandparent, element_cell, position, case_, notify, &set,
                         index);
    }
    return value;
}

int32_t compare2_slot(Cell* a, Cell* b, CompareOp op) { return compare2(a, b, op); }

int32_t compare3(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Point3D)) return kNotComparable;
    return compare_coords(read(a, 3), read(b, 3), 3, op);
}

template <int D>
void absolute() {
    Cell* a = stack::arg(0);
    a->w1 &= 0x7FFFFFFFu;
    a->w2 &= 0x7FFFFFFFu;
    if (D == 3) a->w3 &= 0x7FFFFFFFu;
}

template <int D>
void negate(Cell* value) {
    Coords p = read(value, D);
    for (int i = 0; i < D; i++) p.v[i] = 0.0 - p.v[i];
    write(value, p, D);
}

template <int D>
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    Coords scales{{1.0, 1.0, 1.0}};
    bool scaled = scale != nullptr;
    if (scale) {
        switch (cell::type_of(scale)) {
        case T::Money: integer::fire_word_type(Err::NotRelated, &words::w::round, T::Money);
        case T::Pair:
            if (D == 3) fire_expect_arg(T::Pair, 1);  // round: n /to scale
            scales.v[0] = static_cast<int32_t>(scale->w2);
            scales.v[1] = static_cast<int32_t>(scale->w3);
            break;
        case T::Point2D: scales = read(scale, 2); break;
        case T::Point3D: scales = read(scale, 3); break;
        case T::Integer: scales.v[0] = scales.v[1] = scales.v[2] = cell::get_int(scale); break;
        default:
            if (!floating::is_float_like(cell::type_of(scale)))
                fire_expect_arg(cell::type_of(scale), 1);
            scales.v[0] = scales.v[1] = scales.v[2] = cell::get_double(scale);
        }
    }
    Coords p = read(value, D);
    for (int i = 0; i < D; i++) {
        Cell f;
        floating::set(&f, p.v[i]);
        Cell s;
        floating::set(&s, scales.v[i]);
        floating::round(&f, scaled ? &s : nullptr, even, down, half_down, floor, ceiling, half_ceiling);
        p.v[i] = floating::get(&f);
    }
    write(value, p, D);
}

template <int D>
const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    if (index_arg && cell::is(index_arg, T::Word)) index = field_index(index_arg, series, D);
    if (index < 1 || index > D) {
        Cell shown;
        if (index_arg) shown = *index_arg;
        else integer::set(&shown, index);
        fire(Err::OutOfRange, &shown);
    }
    return floating::push(get(series, index - 1));
}

template <int D>
Cell* reverse(Cell* series, Cell*, Cell*) {
    Coords p = read(series, D);
    std::swap(p.v[0], p.v[D - 1]);
    write(series, p, D);
    return series;
}

template <int D, ArithOp Op>
void math_slot() { math_op(Op, D); }

}  // namespace

// ---- Makers and services ----

Cell* set2(Cell* c, float x, float y) { return fill(c, T::Point2D, x, y, 0.0f); }
Cell* set3(Cell* c, float x, float y, float z) { return fill(c, T::Point3D, x, y, z); }

Cell* push2(float x, float y) {
    Cell* c = stack::reserve();
    *c = Cell{};
    return set2(c, x, y);
}

Cell* push3(float x, float y, float z) {
    Cell* c = stack::reserve();
    *c = Cell{};
    return set3(c, x, y, z);
}

Cell* make_in2(Cell* block, float x, float y) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{};
    return set2(c, x, y);
}

Cell* make_in3(Cell* block, float x, float y, float z) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{};
    return set3(c, x, y, z);
}

float float_of(const Cell* number) {
    return cell::is(number, T::Integer) ? static_cast<float>(cell::get_int(number))
                                        : static_cast<float>(cell::get_double(number));
}

bool is_zero(const Cell* c) {
    const int dims = cell::is(c, T::Point3D) ? 3 : 2;
    for (int i = 0; i < dims; i++)
        if (get(c, i) != 0.0f) return false;
    return true;
}

int32_t field_index(const Cell* word, const Cell* value, int dims) {
    const SymId sym = symbol::resolve(word::symbol_of(word));
    if (sym == symbol::resolve(words::sym::x)) return 1;
    if (sym == symbol::resolve(words::sym::y)) return 2;
    if (dims == 3 && sym == symbol::resolve(words::sym::z)) return 3;
    if (cell::is(value, type_of_dims(dims))) fire(Err::CannotUse, word, value);
    fire(Err::InvalidPath, value, word);
}

void math_op(ArithOp op, int dims) {
    Cell* a = stack::arg(0);
    const Cell* b = stack::arg(1);
    const T bt = cell::type_of(b);
    Coords right{{0.0, 0.0, 0.0}};
    if (bt == type_of_dims(dims)) {
        right = read(b, dims);
    } else if (bt == T::Pair && dims == 2) {
        right.v[0] = static_cast<float>(static_cast<int32_t>(b->w2));
        right.v[1] = static_cast<float>(static_cast<int32_t>(b->w3));
    } else if (bt == T::Integer || bt == T::Float || bt == T::Percent) {
        const float n = bt == T::Integer ? static_cast<float>(cell::get_int(b))
                                         : static_cast<float>(cell::get_double(b));
        right.v[0] = right.v[1] = right.v[2] = n;
    } else {
        integer::fire_with_type(Err::InvalidType, bt);
    }
    Coords p = read(a, dims);
    for (int i = 0; i < dims; i++) p.v[i] = floating::do_op(p.v[i], right.v[i], op);
    write(a, p, dims);
}

int32_t compare2(Cell* a, Cell* b, CompareOp op) {
    Coords other;
    if (cell::is(b, T::Pair)) {
        other.v[0] = static_cast<float>(static_cast<int32_t>(b->w2));
        other.v[1] = static_cast<float>(static_cast<int32_t>(b->w3));
        other.v[2] = 0.0;
    } else if (cell::is(b, T::Point2D)) {
        other = read(b, 2);
    } else {
        return kNotComparable;
    }
    return compare_coords(read(a, 2), other, 2, op);
}

// ---- Registration ----

template <int D>
constexpr TypeRecord record(TypeId id, const char* name, slot::Compare compare) {
    return TypeRecord{
        .id = id,
        .parent = TypeId::Invalid,
        .name = name,
        .make = make<D>,
        .random = random<D>,
        .to = make<D>,
        .form = form<D>,
        .mold = mold<D>,
        .path_access = path_access<D>,
        .compare = compare,
        .absolute = absolute<D>,
        .add = math_slot<D, ArithOp::Add>,
        .divide = math_slot<D, ArithOp::Divide>,
        .multiply = math_slot<D, ArithOp::Multiply>,
        .negate = negate<D>,
        .remainder = math_slot<D, ArithOp::Remainder>,
        .round = round<D>,
        .subtract = math_slot<D, ArithOp::Subtract>,
        .pick = pick<D>,
        .reverse = reverse<D>,
    };
}

constexpr TypeRecord kRecord2D = record<2>(TypeId::Point2D, "point2D!", compare2_slot);
constexpr TypeRecord kRecord3D = record<3>(TypeId::Point3D, "point3D!", compare3);

void init2() { registry::register_type(kRecord2D); }
void init3() { registry::register_type(kRecord3D); }

}  // namespace nuv::point
