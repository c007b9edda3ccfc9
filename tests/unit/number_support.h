// Shared by the number tests (integer!, char!, float!, percent!): value builders, a result's
// "type text", and runners that call a slot through the dispatch rows and answer the result or
// "error <id>". Each runner keeps the argument stack as it found it.
#pragma once
#include <optional>
#include <span>
#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/vector.h"
#include "runtime/float_text.h"
#include "tests/unit/support.h"

namespace nuv::test {

inline Cell I(int32_t v) {
    Cell c;
    integer::set(&c, v);
    return c;
}
inline Cell Ch(char32_t cp) {
    Cell c;
    character::set(&c, cp);
    return c;
}
inline Cell F(double d, TypeId t = TypeId::Float) {
    Cell c;
    floating::set_typed(&c, t, d);
    return c;
}
inline Cell P(double d) { return F(d, TypeId::Percent); }
inline Cell Tm(double d) { return F(d, TypeId::Time); }
// A value of another type with an empty payload: the dispatchers look at its type alone.
inline Cell other(TypeId t) { return Cell{static_cast<uint32_t>(t), 0, 0, 0}; }

// A one-element integer! vector (1) in a new argument-stack cell; a StackScope around its use
// keeps it alive.
inline Cell small_vector() {
    Cell* v = vector::make_at(stack::reserve(), 1, TypeId::Integer, 4);
    vector::append_int32(v, 1);
    return *v;
}

// Form or mold through the value's slot into a new string; `left` receives the budget left.
inline std::string run_text(bool mold, Cell v, int32_t budget = kNoLimit, int32_t* left = nullptr) {
    StackScope scope;
    Cell* buffer = stack::reserve();
    string::make_at(buffer, 16);
    const ActionRow& row = registry::row(cell::type_of(&v));
    const int32_t rest = mold ? row.mold(&v, buffer, false, false, false, nullptr, budget, 0)
                              : row.form(&v, buffer, nullptr, budget);
    if (left) *left = rest;
    return string::to_std_utf8(buffer);
}

// A value as "type text": integer!, float! and percent! by their mold, char! by its code
// point, time! by its seconds, other types by name alone. The value is copied first: it may lie
// in a buffer that the mold's allocations move.
inline std::string show(const Cell* v) {
    const Cell copy = *v;
    const TypeId t = cell::type_of(&copy);
    const std::string out = type_name(t);
    switch (t) {
    case TypeId::Integer:
    case TypeId::Float:
    case TypeId::Percent: return out + " " + run_text(true, copy);
    case TypeId::Char: return out + " " + std::to_string(cell::get_int(&copy));
    case TypeId::Time:
        return out + " " + float_text::float_form_text(cell::get_double(&copy), 0, true);
    default: return out;
    }
}

// Runs `call` with arguments[0] = a and arguments[1] = b; the show of arguments[0] after it.
template <class Call>
std::string run_args(Cell a, Cell b, Call&& call) {
    return outcome([&] {
        StackScope scope;
        stack::g_args.base = stack::push(&a);
        stack::push(&b);
        call();
        return show(stack::arg(0));
    });
}

// The type's slot for an action that works on the argument stack; nullptr for the others.
inline slot::Stack stack_slot(TypeId t, ActionId a) {
    const ActionRow& row = registry::row(t);
    switch (a) {
    case ActionId::Add: return row.add;
    case ActionId::Subtract: return row.subtract;
    case ActionId::Multiply: return row.multiply;
    case ActionId::Divide: return row.divide;
    case ActionId::Remainder: return row.remainder;
    case ActionId::And: return row.and_;
    case ActionId::Or: return row.or_;
    case ActionId::Xor: return row.xor_;
    case ActionId::Power: return row.power;
    case ActionId::Absolute: return row.absolute;
    default: return nullptr;
    }
}

// a's slot for the action over a and b; "unsupported" when a's type has none.
inline std::string run2(ActionId action, Cell a, Cell b) {
    slot::Stack fn = stack_slot(cell::type_of(&a), action);
    if (!fn) return "unsupported";
    return run_args(a, b, fn);
}

struct BinaryRow {
    ActionId action;
    Cell a;
    Cell b;
    const char* want;
};

inline void check_binary(std::span<const BinaryRow> rows) {
    for (const BinaryRow& r : rows) {
        EXPECT_EQ(run2(r.action, r.a, r.b), r.want)
            << show(&r.a) << ' ' << action_word(r.action) << ' ' << show(&r.b);
    }
}

struct CompareRow {
    Cell a;
    CompareOp op;
    Cell b;
    std::optional<bool> want;  // empty: raises invalid-compare
};

inline void check_compare(std::span<const CompareRow> rows) {
    for (const CompareRow& r : rows) {
        Cell a = r.a, b = r.b;
        const std::string what =
            show(&a) + " op " + std::to_string(static_cast<int>(r.op)) + " " + show(&b);
        if (r.want) {
            EXPECT_EQ(compare::value_compare(&a, &b, r.op), *r.want) << what;
        } else {
            EXPECT_RAISES(compare::value_compare(&a, &b, r.op), Err::InvalidCompare) << what;
        }
    }
}

struct RoundRow {
    Cell value;
    std::optional<Cell> scale;
    const char* flag;  // "", "even", "down", "half-down", "floor", "ceiling", "half-ceiling"
    std::string want;
};

inline void check_round(std::span<const RoundRow> rows) {
    for (const RoundRow& r : rows) {
        const std::string flag = r.flag;
        const std::string got = outcome([&] {
            StackScope scope;
            Cell* v = stack::g_args.base = stack::push(&r.value);
            Cell scale = r.scale ? *r.scale : Cell{};
            registry::row(cell::type_of(v)).round(v, r.scale ? &scale : nullptr, flag == "even",
                                                  flag == "down", flag == "half-down",
                                                  flag == "floor", flag == "ceiling",
                                                  flag == "half-ceiling");
            return show(v);
        });
        EXPECT_EQ(got, r.want) << "round " << show(&r.value) << " /to "
                               << (r.scale ? show(&*r.scale) : "-") << ' ' << r.flag;
    }
}

// make (or to) of the target type from the spec.
inline std::string run_make(bool make, TypeId target, Cell spec) {
    return outcome([&] {
        StackScope scope;
        Cell* proto = datatype::push(target);
        slot::Make fn = make ? registry::row(target).make : registry::row(target).to;
        return show(fn(proto, &spec, target));
    });
}

// A unary action by name ("absolute", "negate" or "complement") over the value.
inline std::string run_unary(const std::string& what, Cell value) {
    return outcome([&] {
        StackScope scope;
        Cell* v = stack::g_args.base = stack::push(&value);
        const ActionRow& row = registry::row(cell::type_of(v));
        if (what == "absolute") row.absolute();
        else if (what == "negate") row.negate(v);
        else row.complement(v);
        return show(v);
    });
}

}  // namespace nuv::test
