// float! and percent!: number text by kind, mold's shortest digits, the tolerant equality, the
// arithmetic dispatcher and its result types, round, conversions and the unary actions.
#include "runtime/datatypes/float.h"

#include <cmath>
#include <limits>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/string.h"
#include "runtime/float_text.h"
#include "tests/unit/number_support.h"

namespace nuv {
namespace {

using namespace test;

// Restores the formatter's switch when a test changes it.
struct PrettyScope {
    bool saved = floating::is_pretty();
    ~PrettyScope() { floating::set_pretty(saved); }
};

using A = ActionId;
using T = TypeId;

TEST(Float, FormByTheNumberText) {
    struct Row {
        Cell value;
        bool pretty;
        const char* want;
    } rows[] = {
        {F(1.0), true, "1.0"},
        {F(-2.5), true, "-2.5"},
        {F(123.456), true, "123.456"},
        {F(1e20), true, "1.0e20"},
        {F(1.5e-5), true, "1.5e-5"},
        {F(-1.5e-5), true, "-1.5e-5"},
        {F(1e16), true, "1.0e16"},
        {F(1e15), true, "1000000000000000.0"},
        {F(123456789012345.0), true, "123456789012345.0"},
        {F(1.5e300), true, "1.5e300"},
        {F(INFINITY), true, "1.#INF"},
        {F(-INFINITY), true, "-1.#INF"},
        {F(NAN), true, "1.#NaN"},
        {F(-NAN), true, "1.#NaN"},
        {F(0.0), true, "0.0"},
        {F(-0.0), true, "0.0"},
        {F(1e-17), true, "0.0"},
        {F(-1e-17), true, "0.0"},
        {F(1e-17), false, "1.0e-17"},
        {F(-0.0), false, "-0.0"},
        {F(0.7 + 0.1), true, "0.8"},
        {F(-(0.7 + 0.1)), true, "-0.8"},
        {F(0.7 + 0.1), false, "0.7999999999999999"},
        {F(0.57 * 100), true, "57.0"},
        {F(0.3 + 0.26), true, "0.56"},
        {F(0.1 + 0.2), true, "0.3"},
        {F(1.0 / 3.0), true, "0.3333333333333333"},
        {F(1e23), true, "1.0e23"},
        {F(2.0000000000000004e20), true, "2.0e20"},
        {P(0.5), true, "50%"},
        {P(0.125), true, "12.5%"},
        {P(0.001), true, "0.1%"},
        {P(-0.25), true, "-25%"},
        {P(1e-19), true, "0%"},
        {P(1e-19), false, "1e-17%"},
        {P(1e20), true, "1e22%"},
        {P(INFINITY), true, "1.#INF"},
    };
    PrettyScope keep;
    for (const Row& r : rows) {
        floating::set_pretty(r.pretty);
        for (bool mold : {false, true}) {
            if (mold && cell::is(&r.value, T::Float)) continue;  // mold has its own digits
            int32_t left = 0;
            std::string got = run_text(mold, r.value, 100, &left);
            EXPECT_EQ(got, r.want) << (mold ? "mold " : "form ") << std::hexfloat
                                   << cell::get_double(&r.value) << " pretty " << r.pretty;
            EXPECT_EQ(left, 100 - static_cast<int32_t>(got.size())) << r.want;
        }
    }
}

TEST(Float, TextKinds) {
    using K = floating::TextKind;
    struct Row {
        double value;
        K kind;
        const char* want;
    } rows[] = {
        {static_cast<double>(1.1f), K::Float32, "1.1"},
        {3.0, K::Float32, "3.0"},
        {1e20, K::Float32, "1.0e20"},
        {3.0, K::Coordinate, "3"},
        {0.0, K::Coordinate, "0"},
        {2.5, K::Coordinate, "2.5"},
        {5.123456789, K::Seconds, "5.12346"},
        {5.0, K::Seconds, "5"},
        {0.0, K::Seconds, "0.0"},
        {50.0, K::Percent32, "50%"},
        {12.5, K::Percent, "12.5%"},
    };
    for (const Row& r : rows) {
        EXPECT_STREQ(floating::to_text(r.value, r.kind), r.want)
            << r.value << " kind " << static_cast<int>(r.kind);
    }
}

TEST(Float, MoldUsesTheShortestDigits) {
    struct Row {
        double value;
        const char* want;
    } rows[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0, "1.0"},
        {100.0, "100.0"},
        {1e25, "1.0e25"},
        {1e16, "10000000000000000.0"},
        {1e17, "1.0e17"},
        {1e-7, "0.0000001"},
        {1e-8, "1.0e-8"},
        {-0.0, "-0.0"},
        {1e-17, "1.0e-17"},
        {INFINITY, "1.#INF"},
        {NAN, "1.#NaN"},
    };
    for (const Row& r : rows) {
        int32_t left = 0;
        std::string got = run_text(true, F(r.value), 100, &left);
        EXPECT_EQ(got, r.want) << std::hexfloat << r.value;
        EXPECT_EQ(left, 100 - static_cast<int32_t>(got.size())) << r.want;
    }
}

TEST(Float, ToleratedEquality) {
    using Op = CompareOp;
    const double one_ulp = std::nextafter(1.0, 2.0);
    double ten_ulps = 1.0, eleven_ulps;
    for (int i = 0; i < 10; i++) ten_ulps = std::nextafter(ten_ulps, 2.0);
    eleven_ulps = std::nextafter(ten_ulps, 2.0);
    const CompareRow rows[] = {
        {F(0.1 + 0.2), Op::Equal, F(0.3), true},
        {F(0.1 + 0.2), Op::StrictEqual, F(0.3), false},
        {F(0.1 + 0.2), Op::NotEqual, F(0.3), false},
        {F(1.0), Op::Equal, F(ten_ulps), true},
        {F(1.0), Op::Equal, F(eleven_ulps), false},
        {F(1.0), Op::StrictEqual, F(one_ulp), false},
        {F(1e-300), Op::Equal, F(-1e-300), true},
        {F(0.0), Op::Equal, F(-0.0), true},
        {F(0.0), Op::StrictEqual, F(-0.0), true},
        {F(0.0), Op::Same, F(-0.0), false},
        {F(2.5), Op::Same, F(2.5), true},
        {F(NAN), Op::Equal, F(NAN), false},
        {F(NAN), Op::NotEqual, F(NAN), true},
        {F(NAN), Op::FindEqual, F(1.0), false},
        {F(NAN), Op::Lesser, F(1.0), false},
        {F(NAN), Op::Greater, F(1.0), false},
        {F(1.0), Op::GreaterOrEqual, F(NAN), false},
        {F(1.0), Op::Equal, I(1), true},
        {F(1.0), Op::StrictEqual, I(1), false},
        {F(1.0), Op::FindEqual, I(1), false},
        {F(1.0), Op::FindEqual, F(1.0), true},
        {F(0.5), Op::Equal, P(0.5), true},
        {F(0.5), Op::StrictEqual, P(0.5), false},
        {P(0.5), Op::StrictEqual, P(0.5), true},
        {F(60.0), Op::Equal, Tm(60.0), true},
        {F(1.5), Op::Lesser, I(2), true},
        {F(-1.5), Op::Greater, F(-2.0), true},
        {F(1.0), Op::Equal, Ch(1), false},
        {F(1.0), Op::Equal, other(T::String), false},
        {F(1.0), Op::Lesser, other(T::String), std::nullopt},
    };
    check_compare(rows);
    // money! compares through its own rules: other(T::Money) is $0.
    Cell a = F(1.0), m = other(T::Money);
    EXPECT_NE(floating::compare(&a, &m, Op::Equal), 0);
    EXPECT_EQ(floating::compare(&a, &m, Op::Greater), 1);
}

TEST(Float, Float32ToleratedEquality) {
    const float max = std::numeric_limits<float>::max();
    float ten = 1.0f, eleven;
    for (int i = 0; i < 10; i++) ten = std::nextafter(ten, 2.0f);
    eleven = std::nextafter(ten, 2.0f);
    const float tiny = std::numeric_limits<float>::denorm_min();
    struct Row {
        float a, b;
        bool want;
    } rows[] = {
        {1.0f, 1.0f, true},         {1.0f, ten, true},         {1.0f, eleven, false},
        {0.0f, -0.0f, true},        {tiny, -tiny, true},       {5 * tiny, -5 * tiny, true},
        {6 * tiny, -5 * tiny, false}, {max, max, true},        {max, -max, false},
        {max, INFINITY, true},      {NAN, NAN, false},         {1.0f, NAN, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(floating::float32_almost_equal(r.a, r.b), r.want) << r.a << " " << r.b;
    }
}

TEST(Float, ArithmeticAndResultTypes) {
    StackScope scope;
    const BinaryRow rows[] = {
        {A::Subtract, F(10.0), other(T::Pair), "error not-related"},
        {A::Divide, F(10.0), other(T::Point2D), "error not-related"},
        {A::Multiply, F(2.5), other(T::Pair), "point2D!"},
        {A::Add, F(1.0), other(T::Tuple), "tuple!"},
        {A::Add, F(1.0), other(T::Money), "money!"},
        {A::Add, F(1.0), small_vector(), "vector!"},
        {A::Add, F(1.0), other(T::String), "error invalid-type"},
        {A::Add, F(1.0), other(T::None), "error invalid-type"},
        {A::Power, F(2.0), P(0.5), "error expect-arg"},
        {A::Power, F(2.0), other(T::String), "error expect-arg"},
    };
    check_binary(rows);
    // time! has no slots of its own yet: its arithmetic is the shared dispatcher.
    const struct {
        ArithOp op;
        Cell a;
        Cell b;
        const char* want;
    } time_rows[] = {
        {ArithOp::Divide, Tm(4.0), Tm(2.0), "time! 2.0"},
        {ArithOp::Add, Tm(1.0), other(T::Pair), "error invalid-type"},
    };
    for (const auto& r : time_rows) {
        EXPECT_EQ(run_args(r.a, r.b, [&] { floating::math_op(r.op); }), r.want)
            << show(&r.a) << " op " << static_cast<int>(r.op) << ' ' << show(&r.b);
    }
    EXPECT_RAISES(floating::do_op(1.0, 2.0, ArithOp::Or), Err::CannotUse);
}

TEST(Float, Round) {
    const RoundRow rows[] = {
        {F(2.5), other(T::Money), "", "error not-related"},
        {F(2.5), other(T::String), "", "error expect-arg"},
    };
    check_round(rows);
}

TEST(Float, MakeAndTo) {
    test::StackScope scope;
    struct Row {
        TypeId target;
        Cell spec;
        const char* want;
    } rows[] = {
        {T::Float, other(T::Money), "float! 0.0"},
    };
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            EXPECT_EQ(run_make(make, r.target, r.spec), r.want)
                << (make ? "make " : "to ") << type_name(r.target) << ' ' << show(&r.spec);
        }
    }
}

// float! scans the text from its position as a float; percent! loads it and takes the
// number of its first value as it is.
TEST(Float, MakeAndToFromText) {
    struct Row {
        TypeId target;
        const char* utf8;
        int32_t head;
        TypeId type;
        const char* want;
    } rows[] = {
        {T::Float, "1.5", 0, T::File, "float! 1.5"},
        {T::Float, "1.5", 0, T::Email, "float! 1.5"},
        {T::Percent, "50%", 0, T::Url, "percent! 50%"},
    };
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            test::StackScope scope;
            Cell spec = *text(r.utf8);
            cell::set_type(&spec, r.type);
            cell::set_head(&spec, r.head);
            EXPECT_EQ(run_make(make, r.target, spec), r.want)
                << (make ? "make " : "to ") << type_name(r.target) << ' ' << type_name(r.type)
                << " \"" << r.utf8 << "\" at " << r.head;
        }
    }
}

TEST(Float, RandomKeepsTheType) {
    const ActionRow& row = registry::row(T::Float);
    Cell seed = F(1.5);
    EXPECT_EQ(cell::type_of(row.random(&seed, true, false, false)), T::Unset);
    for (bool secure : {false, true}) {
        for (int i = 0; i < 100; i++) {
            Cell v = F(10.0);
            double got = cell::get_double(row.random(&v, false, secure, false));
            EXPECT_TRUE(got >= 0.0 && got <= 10.0) << got;
            Cell p = P(0.5);
            EXPECT_EQ(cell::type_of(registry::row(T::Percent).random(&p, false, secure, false)), T::Percent);
        }
    }
}

TEST(Float, SmallServices) {
    EXPECT_EQ(floating::to_int_round(0.49999999999999994), 0);
    EXPECT_EQ(floating::to_int_round(0.5), 1);
    EXPECT_EQ(floating::to_int_round(2.5), 3);
    EXPECT_EQ(floating::to_int_round(-2.5), -2);
    EXPECT_RAISES(floating::to_int_round(3e9), Err::OutOfRange);
    EXPECT_RAISES(floating::to_int_round(NAN), Err::OutOfRange);
    EXPECT_TRUE(floating::is_bits_nan(0, 0x7FF80000u));
    EXPECT_TRUE(floating::is_bits_nan(1, 0xFFF00000u));
    EXPECT_FALSE(floating::is_bits_nan(0, 0x7FF00000u));  // an infinity
    EXPECT_TRUE(floating::is_float32_nan(NAN));
    EXPECT_FALSE(floating::is_float32_nan(INFINITY));
    EXPECT_TRUE(floating::is_special(-INFINITY));
    EXPECT_FALSE(floating::is_special(floating::kMaxFinite));
    EXPECT_TRUE(floating::is_pretty());
    EXPECT_FALSE(floating::is_full());
    floating::set_full(true);
    EXPECT_TRUE(floating::is_full());
    EXPECT_EQ(floating::to_text(0.1 + 0.2, floating::TextKind::Float), std::string("0.3"));
    floating::set_full(false);

    test::StackScope scope;
    EXPECT_EQ(show(floating::push(0.25)), "float! 0.25");
    EXPECT_EQ(show(floating::push_halves(0, 0x3FF00000u)), "float! 1.0");
    EXPECT_EQ(show(percent::push(0.25)), "percent! 25%");
    EXPECT_EQ(show(percent::push_halves(0, 0x3FF00000u)), "percent! 100%");
    Cell* blk = block::push_new(1);
    floating::make_in_halves(blk, 0, 0xBFF00000u);
    percent::make_in_halves(blk, 0, 0x3FE00000u);
    EXPECT_EQ(show(block::rs_abs_at(blk, 0)), "float! -1.0");
    EXPECT_EQ(show(block::rs_abs_at(blk, 1)), "percent! 50%");
    stack::g_args.base = stack::reserve();
    EXPECT_EQ(show(floating::set_result(4.0)), "float! 4.0");
    EXPECT_EQ(show(percent::set_result(0.04)), "percent! 4%");
}

}  // namespace
}  // namespace nuv
