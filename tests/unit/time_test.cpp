// time!: the text form and its rounding carry, make and to, the fields through pick and path
// access (getters and setters agreeing on negative times), arithmetic with its refusals, round,
// even? and odd?, and the slots taken from float!.
#include "runtime/datatypes/time.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/ownership.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

class Time : public ::testing::Test {
protected:
    test::StackScope scope;
};

Cell Tm(double seconds) {
    Cell c;
    time_value::init_cell(seconds, &c);
    return c;
}
Cell I(int32_t v) {
    Cell c;
    integer::set(&c, v);
    return c;
}
Cell F(double d) {
    Cell c;
    floating::set(&c, d);
    return c;
}
Cell other(TypeId t) { return Cell{static_cast<uint32_t>(t), 0, 0, 0}; }
Cell word_of(const char* name) { return *word::make_global(name); }

// Form or mold through the value's slot; the text, and the budget left in `left`.
std::string text_of(const Cell* value, bool mold = false, int32_t budget = kNoLimit,
                    int32_t* left = nullptr) {
    Cell copy = *value;  // before the buffer's allocation moves the value's block
    const ActionRow& row = registry::row(cell::type_of(&copy));
    if (!row.form || !row.mold) return type_name(cell::type_of(&copy));
    test::StackScope keep;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    const int32_t rest = mold ? row.mold(&copy, buffer, false, false, false, nullptr, budget, 0)
                              : row.form(&copy, buffer, nullptr, budget);
    if (left) *left = rest;
    return string::to_std_utf8(buffer);
}

// "type text" of a result: a time by its form, an integer or a float by its mold.
std::string show(const Cell* v) {
    const Cell copy = *v;
    const T t = cell::type_of(&copy);
    std::string out = type_name(t);
    if (t == T::Time || t == T::Integer || t == T::Float) out += " " + text_of(&copy, t != T::Time);
    return out;
}

using test::outcome;

TEST_F(Time, TextForm) {
    struct Row {
        double seconds;
        const char* want;
    } rows[] = {
        {0.0, "0:00:00"},
        {3725.0, "1:02:05"},
        {0.5, "0:00:00.5"},
        {-90.0, "-0:01:30"},
        {90000.0, "25:00:00"},
        {5.123456789, "0:00:05.12346"},
        {65.5, "0:01:05.5"},
        {12.25, "0:00:12.25"},
        {0.0000001, "0:00:00"},
        {0.0000015, "0:00:00.0000015"},
        {-5400.0, "-1:30:00"},
        // Seconds that show as 60 carry into the minutes and hours.
        {59.9999999, "0:01:00"},
        {3599.9999999, "1:00:00"},
        {-3599.9999999, "-1:00:00"},
        {7199.99999999, "2:00:00"},
        {59.99994, "0:00:59.9999"},
        // Hours beyond any integer come from the double.
        {3.6e16, "10000000000000:00:00"},
        {std::numeric_limits<double>::infinity(), "1.#INF"},
        {-std::numeric_limits<double>::infinity(), "-1.#INF"},
        {std::nan(""), "1.#NaN"},
    };
    for (const Row& r : rows) {
        const Cell t = Tm(r.seconds);
        for (bool mold : {false, true}) {
            int32_t left = 0;
            const std::string got = text_of(&t, mold, 100, &left);
            EXPECT_EQ(got, r.want) << (mold ? "mold " : "form ") << r.seconds;
            EXPECT_EQ(left, 100 - static_cast<int32_t>(got.size())) << r.want;
        }
    }
}

// A value inside a block buffer formed through a pointer into it: the slot reads the value
// before its output buffer grows (under stress every allocation moves the block).
TEST_F(Time, FormOfAValueInABlock) {
    Cell* b = block::push_new(2);
    for (int i = 0; i < 8; i++) time_value::make_in(b, 0, 0x40AC2000u + i);  // 3600 s and up
    for (int i = 0; i < 8; i++) {
        Cell* buffer = string::make_at(stack::reserve(), 1);
        for (int k = 0; k < 4; k++) {
            Cell v = *block::rs_abs_at(b, i);
            time_value::form(&v, buffer, nullptr, kNoLimit);
        }
        const std::string got = string::to_std_utf8(buffer);
        EXPECT_EQ(got.substr(0, 7), "1:00:00") << got;
        EXPECT_EQ(got.size() % 4, 0u) << got;
    }
}

// A text, from its position, is loaded and must give a time first.
TEST_F(Time, MakeAndToFromText) {
    struct Row {
        const char* utf8;
        int32_t head;
        TypeId type;
        const char* want;
    } rows[] = {
        {"10:20", 0, T::File, "time! 10:20:00"},
        {"10:20", 0, T::Tag, "time! 10:20:00"},
    };
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            const std::string got = outcome([&] {
                test::StackScope inner;
                Cell spec = *test::text(r.utf8);
                cell::set_type(&spec, r.type);
                cell::set_head(&spec, r.head);
                Cell* proto = datatype::push(T::Time);
                auto fn = make ? registry::row(T::Time).make : registry::row(T::Time).to;
                return show(fn(proto, &spec, T::Time));
            });
            EXPECT_EQ(got, r.want) << (make ? "make " : "to ") << type_name(r.type) << " \""
                                   << r.utf8 << "\" at " << r.head;
        }
    }
}

TEST_F(Time, FieldsByPickAndPath) {
    const Cell minute = word_of("Minute");
    const Cell foo = word_of("foo");
    Cell t = Tm(3723.0);
    EXPECT_EQ(show(time_value::pick(&t, 2, nullptr)), "integer! 2");
    EXPECT_RAISES(time_value::field_index(&foo, &t), Err::CannotUse);
    const Cell n = I(0);
    EXPECT_EQ(time_value::field_index(&foo, &n), -1);
    EXPECT_EQ(time_value::field_index(&minute, &n), 2);
}

TEST_F(Time, SettingFields) {
    const Cell hour = word_of("hour"), minute = word_of("minute"), second = word_of("second");
    struct Row {
        double start;
        Cell field;
        Cell value;
        const char* want;
    } rows[] = {
        {3723.0, minute, I(30), "time! 1:30:03"},
        {5403.0, second, F(4.5), "time! 1:30:04.5"},
        {5403.0, second, I(4), "time! 1:30:04"},
        {3723.0, hour, I(5), "time! 5:02:03"},
        {3723.0, I(1), I(5), "time! 5:02:03"},
        {3723.0, minute, I(90), "time! 2:30:03"},
        // Each field of a negative time set to its own value leaves the time as it was.
        {-5415.0, hour, I(-1), "time! -1:30:15"},
        {-5415.0, minute, I(30), "time! -1:30:15"},
        {-5415.0, second, F(-15.0), "time! -1:30:15"},
        {-1800.0, hour, I(0), "time! -0:30:00"},
        // Other values move the negative time as the getter reads it.
        {-5400.0, hour, I(-2), "time! -2:30:00"},
        {-5400.0, minute, I(45), "time! -1:45:00"},
        {-5400.0, second, F(-10.0), "time! -1:30:10"},
        {3723.0, hour, other(T::String), "error invalid-arg"},
        {3723.0, hour, F(1.5), "error invalid-arg"},
        {3723.0, minute, F(1.0), "error invalid-arg"},
        {3723.0, I(4), I(1), "error invalid-path"},
        {3723.0, word_of("foo"), I(1), "error cannot-use"},
    };
    for (Row& r : rows) {
        Cell t = Tm(r.start);
        const std::string got = outcome([&] {
            const Cell* back = time_value::path_access(&t, &r.field, &r.value, nullptr, nullptr,
                                                 nullptr, 1, false, false, true, true);
            EXPECT_EQ(back, &r.value);
            return show(&t);
        });
        EXPECT_EQ(got, r.want) << "from " << r.start
                               << " set " << text_of(&r.field, true) << " "
                               << text_of(&r.value, true);
    }
}

// A time changed through a path inside an owned block is stored back into the block cell the
// element names and reported to the owner as a set-path change of that cell.
struct Notice {
    int calls = 0;
    Cell action{}, target{}, fresh{};
    int32_t index = -1, count = -1;
};
Notice g_notice;

void record_notice(const Cell*, const Cell*, const Cell* target, const Cell* action,
                   const Cell* fresh, int32_t index, int32_t count) {
    g_notice = Notice{g_notice.calls + 1, *action, *target, *fresh, index, count};
}

TEST_F(Time, SettingAFieldNotifiesTheOwner) {
    Cell* b = block::push_new(2);
    const Cell one = I(1), t = Tm(3723.0);
    block::append_cell(b, &one);
    block::append_cell(b, &t);
    // An object with change handlers (word 3 set) owning the block, as objects make them.
    const Cell owner{static_cast<uint32_t>(T::Object), 0, 0, 1};
    const Cell field = word_of("times");
    ownership::bind(b, &owner, &field);
    ownership::DeepChangeFn previous = ownership::set_deep_change_handler(record_notice);
    g_notice = Notice{};
    const Cell hour = word_of("hour");
    Cell v = I(5), read = *block::rs_abs_at(b, 1), element = I(2);
    time_value::path_access(&read, const_cast<Cell*>(&hour), &v, nullptr, b, &element, 2, false,
                            false, true, true);
    ownership::set_deep_change_handler(previous);
    ownership::unbind(b);
    EXPECT_EQ(show(block::rs_abs_at(b, 1)), "time! 5:02:03");
    EXPECT_EQ(g_notice.calls, 1);
    EXPECT_EQ(g_notice.action.w2, words::w::set_path.w2);
    EXPECT_EQ(g_notice.index, 1);
    EXPECT_EQ(g_notice.count, 1);
    EXPECT_EQ(cell::node(&g_notice.target), cell::node(b));
    EXPECT_EQ(show(&g_notice.fresh), "time! 5:02:03");
}

TEST_F(Time, Arithmetic) {
    using A = ArithOp;
    struct Row {
        Cell a;
        A op;
        Cell b;
        const char* want;
    } rows[] = {
        {Tm(7200.0), A::Subtract, other(T::Date), "error not-related"},
        {Tm(7200.0), A::Add, other(T::Date), "date!"},
        {Tm(7200.0), A::Add, other(T::String), "error invalid-type"},
    };
    for (Row& r : rows) {
        const ActionRow& row = registry::row(T::Time);
        slot::Stack fn = r.op == A::Add        ? row.add
                         : r.op == A::Subtract ? row.subtract
                         : r.op == A::Multiply ? row.multiply
                         : r.op == A::Divide   ? row.divide
                                               : row.remainder;
        const std::string got = outcome([&] {
            test::StackScope inner;
            stack::g_args.base = stack::push(&r.a);
            stack::push(&r.b);
            fn();
            return show(stack::arg(0));
        });
        EXPECT_EQ(got, r.want) << show(&r.a) << " op " << static_cast<int>(r.op) << " "
                               << show(&r.b);
    }
    // Slots that float! lends unchanged.
    const ActionRow& row = registry::row(T::Time);
    EXPECT_EQ(row.power, nullptr);
}

TEST_F(Time, RoundKeepsATime) {
    struct Row {
        double value;
        std::optional<Cell> scale;
        const char* flag;
        const char* want;
    } rows[] = {
        {4835.0, other(T::Money), "", "error not-related"},
        {4835.0, other(T::String), "", "error expect-arg"},
    };
    for (Row& r : rows) {
        const std::string flag = r.flag;
        const std::string got = outcome([&] {
            test::StackScope inner;
            const Cell start = Tm(r.value);
            Cell* v = stack::g_args.base = stack::push(&start);
            Cell scale = r.scale ? *r.scale : Cell{};
            registry::row(T::Time).round(v, r.scale ? &scale : nullptr, flag == "even",
                                         flag == "down", false, false, false, false);
            return show(v);
        });
        EXPECT_EQ(got, r.want) << "round " << r.value << " " << r.flag;
    }
}

TEST_F(Time, Helpers) {
    EXPECT_EQ(time_value::floor_div(-5400.0), -1.0);
    EXPECT_EQ(time_value::floor_div(5400.0), 1.0);
    EXPECT_EQ(time_value::mod(-5400.0), 30.0);
    EXPECT_EQ(time_value::mod(3599.999), 59.0);
    EXPECT_EQ(show(time_value::push(61.0)), "time! 0:01:01");
    Cell* b = block::push_new(1);
    time_value::make_in(b, 0, 0x40AC2000u);  // 3600.0
    EXPECT_EQ(show(block::rs_abs_at(b, 0)), "time! 1:00:00");
    Cell out;
    const Cell t = Tm(-5415.0);
    EXPECT_EQ(show(time_value::field_get(&t, 3, &out)), "float! -15.0");
    Cell* buffer = string::make_at(stack::reserve(), 4);
    EXPECT_EQ(time_value::form_part(90000.0, buffer, 10), 2);
    EXPECT_EQ(string::to_std_utf8(buffer), "25:00:00");
}

}  // namespace
}  // namespace nuv
