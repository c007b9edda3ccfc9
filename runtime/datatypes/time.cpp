// time!: makers, the field split, the text form, the field path and pick, and the slots that
// refine float!'s arithmetic and round; compare, random, absolute, negate and remainder are
// float!'s as they stand.
#include "runtime/datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/float_text.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::time_value {

namespace {

[[noreturn]] void fire_bad_to(const Cell* value) {
    integer::fire_with_type(Err::BadToArg, TypeId::Time, value);
}

// The time split as sign over magnitude. Below 2^53 seconds each part is exact: fmod is
// exact, and the magnitude less an fmod remainder is an exact multiple of the divisor, so no
// division rounds a field up into the next one.
struct Split {
    bool negative;
    double hours;
    double minutes;
    double seconds;  // of the magnitude, 0 <= seconds < 60
};

Split split(double s) {
    Split f;
    f.negative = s < 0.0;
    const double magnitude = std::fabs(s);
    const double in_hour = std::fmod(magnitude, kSecondsPerHour);
    f.hours = (magnitude - in_hour) / kSecondsPerHour;
    f.seconds = std::fmod(in_hour, kSecondsPerMinute);
    f.minutes = (in_hour - f.seconds) / kSecondsPerMinute;
    return f;
}

// Whether the seconds within a minute, shown with the text's significant digits, round up to
// a whole minute.
bool carries(double seconds) {
    if (seconds < kSecondsEpsilon) return false;
    const char* text = floating::to_text(seconds, floating::TextKind::Seconds);
    return float_text::decimal_to_float(text, text + std::strlen(text)) >= kSecondsPerMinute;
}

double field_value(double s, Field field) {
    switch (field) {
    case Field::Hour: return floor_div(s);
    case Field::Minute: return mod(s);
    case Field::Second: return std::fmod(s, kSecondsPerMinute);
    }
    return 0.0;
}

// The seconds of the time that a text (from its head) loads to first. Allocates.
double from_text(const Cell* spec) {
    Cell loaded;
    hooks::load_text(&loaded, spec);
    if (block::rs_length(&loaded) == 0) fire_bad_to(spec);
    const Cell* first = block::rs_head(&loaded);
    if (!cell::is(first, TypeId::Time)) fire_bad_to(spec);
    return get(first);
}

// [hours minutes seconds], each item optional from the end. Only the first may be negative,
// and then it negates the whole.
double from_block(Cell* spec) {
    const int32_t length = block::rs_length(spec);
    if (length > 3) fire_bad_to(spec);
    if (length <= 0) return 0.0;
    const Cell* items = block::rs_head(spec);
    static constexpr double kUnits[] = {kSecondsPerHour, kSecondsPerMinute, 1.0};
    double total = 0.0;
    bool negative = false;
    for (int32_t i = 0; i < length; i++) {
        const Cell* item = items + i;
        double v;
        if (cell::is(item, TypeId::Integer)) v = cell::get_int(item);
        else if (i == 2 && cell::is(item, TypeId::Float)) v = cell::get_double(item);
        else fire_bad_to(spec);
        if (v < 0.0) {
            if (i > 0) fire_bad_to(spec);
            negative = true;
            v = -v;
        }
        total += v * kUnits[i];
    }
    return negative ? -total : total;
}

// The whole seconds within the minute of a finite value, moved away from zero by the margin
// first.
int64_t whole_seconds(double s) {
    s += s >= 0.0 ? kSecondsEpsilon : -kSecondsEpsilon;
    return static_cast<int64_t>(std::trunc(std::fmod(s, kSecondsPerMinute)));
}

// The field a path element or pick index names, or -1.
int32_t field_of(const Cell* element, const Cell* time) {
    if (cell::is(element, TypeId::Word)) return field_index(element, time);
    if (cell::is(element, TypeId::Integer)) {
        const int32_t n = cell::get_int(element);
        return n >= 1 && n <= 3 ? n : -1;
    }
    return -1;
}

}  // namespace

// ---- Makers and the field split ----

Cell* init_cell(double seconds, Cell* c) {
    floating::set_typed(c, TypeId::Time, seconds);
    return c;
}

Cell* push(double seconds) { return floating::push_typed(TypeId::Time, seconds); }

Cell* make_in(Cell* block, uint32_t low, uint32_t high) {
    return floating::make_in_halves_typed(block, TypeId::Time, low, high);
}

double floor_div(double seconds) {
    const Split f = split(seconds);
    return f.negative ? -f.hours : f.hours;
}

double mod(double seconds) { return split(seconds).minutes; }

int32_t field_index(const Cell* word, const Cell* value) {
    const SymId sym = symbol::resolve(word::symbol_of(word));
    if (sym == symbol::resolve(words::sym::hour)) return 1;
    if (sym == symbol::resolve(words::sym::minute)) return 2;
    if (sym == symbol::resolve(words::sym::second)) return 3;
    if (cell::is(value, TypeId::Time)) fire(Err::CannotUse, word, value);
    return -1;
}

Cell* field_get(const Cell* time, int32_t field, Cell* out) {
    const double s = get(time);
    const double v = field_value(s, static_cast<Field>(field));
    if (static_cast<Field>(field) == Field::Second) floating::set(out, v);
    else integer::set(out, integer::from_double(v));
    return out;
}

// ---- Text ----

double shown(double seconds) {
    if (!std::isfinite(seconds)) return seconds;
    const Split f = split(seconds);
    if (!carries(f.seconds)) return seconds;
    const double whole = ((f.hours * 60.0) + f.minutes + 1.0) * kSecondsPerMinute;
    return f.negative ? -whole : whole;
}

int32_t form_part(double seconds, Cell* buffer, int32_t budget) {
    if (!std::isfinite(seconds))
        return string::emit(buffer, floating::to_text(seconds, floating::TextKind::Float), budget);
    Split f = split(seconds);
    // The seconds as shown; a rounding up to 60 carries into the minutes and hours.
    char second_text[32] = "00";
    if (carries(f.seconds)) {
        f.minutes += 1.0;
        if (f.minutes >= 60.0) {
            f.minutes = 0.0;
            f.hours += 1.0;
        }
    } else if (f.seconds >= kSecondsEpsilon) {
        const char* text = floating::to_text(f.seconds, floating::TextKind::Seconds);
        const bool pad = text[1] == 0 || text[1] == '.';
        std::snprintf(second_text, sizeof second_text, "%s%s", pad ? "0" : "", text);
    }
    // The hours come from the double: a finite time may hold more hours than any integer.
    char text[400];
    std::snprintf(text, sizeof text, "%s%.0f:%02d:%s", f.negative ? "-" : "", f.hours,
                  static_cast<int>(f.minutes), second_text);
    return string::emit(buffer, text, budget);
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    const TypeId t = cell::type_of(spec);
    double d;
    switch (t) {
    case TypeId::Time:
    case TypeId::Float:
    case TypeId::Percent: d = cell::get_double(spec); break;
    case TypeId::Integer: d = cell::get_int(spec); break;
    case TypeId::Block:
    case TypeId::Paren:
    case TypeId::Hash: d = from_block(spec); break;
    default:
        if (!integer::is_text(t)) fire_bad_to(spec);
        d = from_text(spec);
    }
    return init_cell(d, proto);
}

// The value cell may lie in a buffer that appending moves: its double is read first.
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return form_part(get(value), buffer, budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    return form_part(get(value), buffer, budget);
}

// A set changes the parent cell and stores it back into the grandparent: the head word when the
// path starts at the time, else the value that the element cell took the time out of.
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool, bool notify) {
    const int32_t field = field_of(element, parent);
    if (field < 0) {
        Cell where;
        if (path) where = *path;
        else none::set(&where);
        fire(Err::InvalidPath, &where, element);
    }
    if (!value) return field_get(parent, field, stack::reserve());

    const TypeId vt = cell::type_of(value);
    const bool accepted = vt == TypeId::Integer || (field == 3 && vt == TypeId::Float);
    if (!accepted) fire(Err::InvalidArg, value);
    // The time moves by the difference between the new and the current field value, in the
    // field's unit and with the sign the getter gave it.
    const double s = get(parent);
    const double wanted = vt == TypeId::Integer ? cell::get_int(value) : cell::get_double(value);
    const double difference = wanted - field_value(s, static_cast<Field>(field));
    double moved;
    switch (static_cast<Field>(field)) {
    case Field::Hour: moved = s + difference * kSecondsPerHour; break;
    case Field::Minute: moved = s + (s < 0.0 ? -difference : difference) * kSecondsPerMinute; break;
    default: moved = s + difference; break;
    }
    cell::set_double(parent, moved);
    if (grandparent) path::store_back(parent, path, grandparent, element_cell, position, case_, notify);
    return value;
}

void add() {
    if (cell::is(stack::arg(1), TypeId::Date)) {
        date::add();  // operands swapped
        return;
    }
    floating::math_op(ArithOp::Add);
}

void subtract() {
    if (cell::is(stack::arg(1), TypeId::Date)) integer::fire_word_type(Err::NotRelated, &words::w::subtract, TypeId::Time);
    floating::math_op(ArithOp::Subtract);
}

void multiply() {
    if (cell::is(stack::arg(1), TypeId::Time)) integer::fire_word_type(Err::NotRelated, &words::w::multiply, TypeId::Time);
    floating::math_op(ArithOp::Multiply);
}

void divide() {
    const bool ratio = cell::is(stack::arg(1), TypeId::Time);
    Cell* result = floating::math_op(ArithOp::Divide);
    if (ratio) cell::set_type(result, TypeId::Float);
}

// An integer scale is passed on as a float one: the rounded time is a double whatever the
// scale, so it never goes through a 32-bit integer.
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    Cell as_float;
    if (scale && cell::is(scale, TypeId::Integer)) {
        floating::set(&as_float, cell::get_int(scale));
        scale = &as_float;
    }
    floating::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    cell::set_type(value, TypeId::Time);
}

// An infinity or a NaN is neither even nor odd.
bool is_even(Cell* value) {
    const double s = get(value);
    return std::isfinite(s) && (whole_seconds(s) & 1) == 0;
}

bool is_odd(Cell* value) {
    const double s = get(value);
    return std::isfinite(s) && (whole_seconds(s) & 1) != 0;
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    Cell by_count;
    if (!index_arg) {
        integer::set(&by_count, index);
        index_arg = &by_count;
    }
    const int32_t field = field_of(index_arg, series);
    if (field < 0) fire(Err::OutOfRange, index_arg);
    return field_get(series, field, stack::reserve());
}

constexpr TypeRecord kRecord{
    .id = TypeId::Time,
    .parent = TypeId::Float,
    .name = "time!",
    .make = time_value::make,
    .random = kInherited,
    .to = time_value::make,
    .form = time_value::form,
    .mold = time_value::mold,
    .path_access = time_value::path_access,
    .compare = kInherited,
    .absolute = kInherited,
    .add = time_value::add,
    .divide = time_value::divide,
    .multiply = time_value::multiply,
    .negate = kInherited,
    .remainder = kInherited,
    .round = time_value::round,
    .subtract = time_value::subtract,
    .even_q = time_value::is_even,
    .odd_q = time_value::is_odd,
    .pick = time_value::pick,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::time_value
