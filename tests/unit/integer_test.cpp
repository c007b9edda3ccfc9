// integer!: the arithmetic core and its mixed-type dispatcher, conversions, comparison,
// rounding, the unary actions and text, all reached through the dispatch rows.
#include "runtime/datatypes/integer.h"

#include <climits>
#include <cmath>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/words.h"
#include "tests/unit/number_support.h"

namespace nuv {
namespace {

using namespace test;

using A = ActionId;
using T = TypeId;

TEST(Integer, ArithmeticPromotesInsteadOfWrapping) {
    const BinaryRow rows[] = {
        {A::Add, I(2), I(3), "integer! 5"},
        {A::Add, I(INT_MAX), I(1), "float! 2147483648.0"},
        {A::Subtract, I(INT_MIN), I(1), "float! -2147483649.0"},
        {A::Multiply, I(65536), I(65536), "float! 4294967296.0"},
        {A::Multiply, I(-46341), I(46341), "float! -2147488281.0"},
        {A::Divide, I(7), I(2), "float! 3.5"},
        {A::Divide, I(6), I(2), "integer! 3"},
        {A::Divide, I(-7), I(2), "float! -3.5"},
        {A::Divide, I(INT_MIN), I(1), "integer! -2147483648"},
        {A::Remainder, I(-7), I(2), "integer! -1"},
        {A::Remainder, I(7), I(-2), "integer! 1"},
        {A::Remainder, I(INT_MIN), I(2), "integer! 0"},
        {A::Divide, I(INT_MIN), I(-1), "error overflow"},
        {A::Remainder, I(INT_MIN), I(-1), "error overflow"},
        {A::Divide, I(1), I(0), "error zero-divide"},
        {A::Remainder, I(1), I(0), "error zero-divide"},
        {A::And, I(12), I(10), "integer! 8"},
        {A::Or, I(12), I(3), "integer! 15"},
        {A::Xor, I(12), I(10), "integer! 6"},
        {A::And, I(-1), I(INT_MIN), "integer! -2147483648"},
        {A::Add, I(1), Ch(U'a'), "integer! 98"},
    };
    check_binary(rows);
}

TEST(Integer, MixedTypesGoToTheirDispatchers) {
    const BinaryRow rows[] = {
        {A::Add, I(3), F(0.5), "float! 3.5"},
        {A::Divide, I(1), F(0.0), "float! 1.#INF"},
        {A::Add, I(3), P(0.5), "float! 3.5"},
        {A::Add, I(3), Tm(1.5), "time! 4.5"},
        {A::And, I(1), F(1.0), "error cannot-use"},
        {A::Divide, I(3), other(T::Pair), "error not-related"},
        {A::Add, I(3), other(T::Pair), "error not-done"},
        {A::Subtract, I(3), other(T::Tuple), "error not-related"},
        {A::Divide, I(3), other(T::Tuple), "error not-related"},
        {A::Add, I(3), other(T::Tuple), "error not-done"},
        {A::Subtract, I(3), other(T::Date), "error not-related"},
        {A::Add, I(3), other(T::Date), "error not-done"},
        {A::Add, I(3), other(T::Money), "error not-done"},
        {A::Add, I(3), other(T::Vector), "error not-done"},
        {A::Add, I(3), other(T::None), "error invalid-type"},
        {A::Multiply, I(3), other(T::String), "error invalid-type"},
    };
    check_binary(rows);
}

TEST(Integer, CoreWithoutAResultCellRaisesInsteadOfPromoting) {
    EXPECT_EQ(integer::do_math(7, 2, ArithOp::Divide, nullptr), 3);
    EXPECT_EQ(integer::do_math(-7, 2, ArithOp::Divide, nullptr), -3);
    EXPECT_RAISES(integer::do_math(INT_MAX, 1, ArithOp::Add, nullptr), Err::Overflow);
    EXPECT_RAISES(integer::do_math(INT_MIN, 1, ArithOp::Subtract, nullptr), Err::Overflow);
    EXPECT_RAISES(integer::do_math(65536, 65536, ArithOp::Multiply, nullptr), Err::Overflow);
}

TEST(Integer, Power) {
    const BinaryRow rows[] = {
        {A::Power, I(2), I(10), "integer! 1024"},
        {A::Power, I(2), I(31), "float! 2147483648.0"},
        {A::Power, I(-2), I(31), "integer! -2147483648"},
        {A::Power, I(2), I(-1), "float! 0.5"},
        {A::Power, I(3), F(2.0), "float! 9.0"},
        {A::Power, I(0), I(0), "integer! 1"},
        {A::Power, I(-1), I(INT_MAX), "integer! -1"},
        {A::Power, I(10), I(30), "float! 1.0e30"},
        {A::Power, I(2), P(0.5), "error expect-arg"},
        {A::Power, I(2), other(T::String), "error expect-arg"},
    };
    check_binary(rows);
}

TEST(Integer, UnaryActions) {
    const ActionRow& row = registry::row(T::Integer);
    struct Row {
        const char* what;
        int32_t value;
        const char* want;
    } rows[] = {
        {"absolute", -5, "integer! 5"},       {"absolute", INT_MIN, "error overflow"},
        {"negate", 5, "integer! -5"},         {"negate", INT_MIN, "error overflow"},
        {"negate", INT_MAX, "integer! -2147483647"},
        {"complement", 0, "integer! -1"},     {"complement", INT_MIN, "integer! 2147483647"},
    };
    for (const Row& r : rows) EXPECT_EQ(run_unary(r.what, I(r.value)), r.want) << r.what << ' ' << r.value;
    for (int32_t v : {-3, -2, 0, 1, 2, INT_MIN, INT_MAX}) {
        Cell c = I(v);
        EXPECT_EQ(row.even_q(&c), v % 2 == 0) << v;
        EXPECT_EQ(row.odd_q(&c), v % 2 != 0) << v;
    }
}

TEST(Integer, Round) {
    const RoundRow rows[] = {
        {I(7), std::nullopt, "", "integer! 7"},
        {I(17), I(5), "", "integer! 15"},
        {I(18), I(5), "", "integer! 20"},
        {I(-17), I(5), "", "integer! -15"},
        {I(-18), I(5), "", "integer! -20"},
        {I(25), I(10), "even", "integer! 20"},
        {I(35), I(10), "even", "integer! 40"},
        {I(25), I(10), "", "integer! 30"},
        {I(-25), I(10), "", "integer! -30"},
        {I(25), I(10), "half-down", "integer! 20"},
        {I(25), I(10), "half-ceiling", "integer! 30"},
        {I(-25), I(10), "half-ceiling", "integer! -20"},
        {I(-12), I(5), "floor", "integer! -15"},
        {I(12), I(5), "floor", "integer! 10"},
        {I(12), I(5), "ceiling", "integer! 15"},
        {I(-12), I(5), "ceiling", "integer! -10"},
        {I(19), I(5), "down", "integer! 15"},
        {I(-19), I(5), "down", "integer! -15"},
        {I(17), I(-5), "", "integer! 15"},
        {I(17), I(0), "", "integer! 17"},
        {I(INT_MIN), I(7), "", "integer! -2147483648"},
        {I(INT_MAX), I(10), "", "error overflow"},
        {I(INT_MAX - 1), I(INT_MAX), "ceiling", "integer! 2147483647"},
        {I(INT_MAX - 1), I(4), "ceiling", "error overflow"},
        {I(5), I(INT_MIN), "", "error overflow"},
        {I(7), F(2.5), "", "float! 7.5"},
        {I(7), F(2.0), "", "float! 8.0"},
        {I(5), other(T::Money), "", "error not-related"},
        {I(5), other(T::String), "", "error expect-arg"},
    };
    check_round(rows);
}

TEST(Integer, MakeAndTo) {
    struct Row {
        bool make;
        Cell spec;
        const char* want;
    } rows[] = {
        {true, logic::shared(true)[0], "integer! 1"},
        {true, logic::shared(false)[0], "integer! 0"},
        {true, I(5), "integer! 5"},
        {false, I(-5), "integer! -5"},
        {false, Ch(U'a'), "integer! 97"},
        {false, F(-3.9), "integer! -3"},
        {false, F(2147483647.0), "integer! 2147483647"},
        {false, F(-2147483648.0), "integer! -2147483648"},
        {false, F(2147483648.0), "error type-limit"},
        {false, F(-2147483649.0), "error type-limit"},
        {false, F(NAN), "error type-limit"},
        {false, F(INFINITY), "error type-limit"},
        {false, P(0.5), "integer! 0"},
        {false, P(25.0), "integer! 25"},
        {false, Tm(1.6), "integer! 2"},
        {false, Tm(2147483647.0), "error type-limit"},
        {false, logic::shared(true)[0], "error bad-to-arg"},
        {false, other(T::None), "error bad-to-arg"},
        {false, other(T::Block), "error bad-to-arg"},
        {false, other(T::Money), "error not-done"},
        {false, other(T::Binary), "error not-done"},
        {false, other(T::Date), "error not-done"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(run_make(r.make, T::Integer, r.spec), r.want)
            << (r.make ? "make" : "to") << " integer! " << show(&r.spec);
    }
}

// Text of any text type is read from its position in whatever unit width it is stored.
TEST(Integer, MakeAndToFromText) {
    struct Row {
        const char* utf8;
        int32_t head;
        TypeId type;
        const char* want;
    } rows[] = {
        {"1'000'000", 0, T::String, "integer! 1000000"},
        {"-2147483648", 0, T::String, "integer! -2147483648"},
        {"2147483647", 0, T::String, "integer! 2147483647"},
        {"+7", 0, T::String, "integer! 7"},
        {"ab12", 2, T::String, "integer! 12"},
        {"\u20AC-42", 1, T::String, "integer! -42"},     // two-byte units
        {"\U0001F60099", 1, T::String, "integer! 99"},   // four-byte units
        {"12", 0, T::File, "integer! 12"},
        {"12", 0, T::Url, "integer! 12"},
        {"12", 0, T::Tag, "integer! 12"},
        {"12", 0, T::Email, "integer! 12"},
        {"12", 0, T::Ref, "integer! 12"},
        {"2147483648", 0, T::String, "error bad-to-arg"},
        {"-21474836480", 0, T::String, "error bad-to-arg"},
        {"99999999999", 0, T::String, "error bad-to-arg"},
        {"12a", 0, T::String, "error bad-to-arg"},
        {" 12", 0, T::String, "error bad-to-arg"},
        {"1.5", 0, T::String, "error bad-to-arg"},
        {"-", 0, T::String, "error bad-to-arg"},
        {"", 0, T::String, "error bad-to-arg"},
        {"12", 2, T::String, "error bad-to-arg"},
    };
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            test::StackScope scope;
            Cell spec = *text(r.utf8);
            cell::set_type(&spec, r.type);
            cell::set_head(&spec, r.head);
            EXPECT_EQ(run_make(make, T::Integer, spec), r.want)
                << (make ? "make" : "to") << " integer! " << type_name(r.type) << " \""
                << r.utf8 << "\" at " << r.head;
        }
    }
    // The error names the target type and the text.
    test::StackScope scope;
    Cell* spec = text("12a");
    Cell* proto = datatype::push(T::Integer);
    EXPECT_RAISES(integer::to(proto, spec, T::Integer), Err::BadToArg);
    ASSERT_GE(raised().argc, 2);
    EXPECT_EQ(raised().args[0].w1, static_cast<uint32_t>(T::Integer));
    EXPECT_EQ(string::to_std_utf8(&raised().args[1]), "12a");
}

TEST(Integer, TypeLimitNamesTheTarget) {
    Cell big = F(2147483648.0);
    Cell proto;
    EXPECT_RAISES(integer::to(&proto, &big, T::Integer), Err::TypeLimit);
    ASSERT_GE(raised().argc, 1);
    EXPECT_EQ(cell::type_of(&raised().args[0]), T::Datatype);
    EXPECT_EQ(raised().args[0].w1, static_cast<uint32_t>(T::Integer));
}

TEST(Integer, IssuesReadAsHexAndErrorsNameTheirWord) {
    struct Row {
        const char* name;
        const char* want;
    } rows[] = {
        {"FF", "integer! 255"},
        {"7fffffff", "integer! 2147483647"},
        {"ffffffff", "integer! -1"},
        {"123456789", "error invalid-data"},
        {"G1", "error invalid-data"},
        {"\xC3\x86", "error invalid-data"},  // U+00C6, whose low 7 bits would read as "F"
    };
    for (const Row& r : rows) {
        std::string got = outcome([&] {
            test::StackScope scope;
            Cell* spec = stack::reserve();
            issue::make_at_cstr(spec, r.name);
            Cell* proto = datatype::push(T::Integer);
            return show(registry::row(T::Integer).to(proto, spec, T::Integer));
        });
        EXPECT_EQ(got, r.want) << "to integer! #" << r.name;
    }
    EXPECT_EQ(run2(A::Subtract, I(3), other(T::Tuple)), "error not-related");
    const Cell& word = raised().args[0];
    EXPECT_EQ(cell::type_of(&word), T::Word);
    EXPECT_EQ(word.w2, words::w::subtract.w2);
    EXPECT_EQ(raised().args[1].w1, static_cast<uint32_t>(T::Integer));
}

TEST(Integer, Compare) {
    using Op = CompareOp;
    const CompareRow rows[] = {
        {I(1), Op::Equal, I(1), true},
        {I(1), Op::Lesser, I(2), true},
        {I(INT_MIN), Op::Lesser, I(INT_MAX), true},
        {I(-1), Op::Greater, I(-2), true},
        {I(1), Op::Equal, F(1.0), true},
        {I(1), Op::NotEqual, F(1.0), false},
        {I(1), Op::StrictEqual, F(1.0), false},
        {I(1), Op::StrictEqual, I(1), true},
        {I(1), Op::Same, F(1.0), false},
        {I(1), Op::FindEqual, F(1.0), false},
        {I(1), Op::FindEqual, I(1), true},
        {I(2), Op::Lesser, F(2.5), true},
        {I(3), Op::GreaterOrEqual, F(2.5), true},
        {I(1), Op::Equal, P(1.0), true},
        {I(60), Op::Equal, Tm(60.0), true},
        {I(97), Op::Equal, Ch(U'a'), true},
        {I(97), Op::StrictEqual, Ch(U'a'), false},
        {I(96), Op::Lesser, Ch(U'a'), true},
        {I(1), Op::Equal, other(T::None), false},
        {I(1), Op::NotEqual, other(T::String), true},
        {I(1), Op::Lesser, other(T::String), std::nullopt},
    };
    check_compare(rows);
    Cell a = I(1), b = other(T::Money);
    EXPECT_RAISES(integer::compare(&a, &b, Op::Equal), Err::NotDone);
}

TEST(Integer, FormAndMoldCountWhatTheyAppend) {
    for (int32_t v : {0, 7, -5, 2147483647, INT_MIN, 1000000}) {
        for (bool mold : {false, true}) {
            test::StackScope scope;
            Cell* out = stack::reserve();
            string::make_at(out, 16);
            string::append_cstr(out, "x");
            Cell c = I(v);
            const ActionRow& row = registry::row(T::Integer);
            int32_t left = mold ? row.mold(&c, out, false, false, false, nullptr, 100, 0)
                                : row.form(&c, out, nullptr, 100);
            std::string want = "x" + std::to_string(v);
            EXPECT_EQ(string::to_std_utf8(out), want);
            EXPECT_EQ(left, 100 - static_cast<int32_t>(want.size() - 1)) << v;
        }
    }
    EXPECT_STREQ(integer::to_cstr(INT_MIN), "-2147483648");
}

TEST(Integer, Makers) {
    test::StackScope scope;
    Cell* c = integer::push(42);
    EXPECT_EQ(show(c), "integer! 42");
    stack::g_args.base = c;
    EXPECT_EQ(integer::result_value(), 42);
    EXPECT_EQ(integer::result_or_zero(), 42);
    integer::set_result(-9);
    EXPECT_EQ(show(stack::arg(0)), "integer! -9");
    floating::set_result(1.5);
    EXPECT_EQ(integer::result_or_zero(), 0);
    Cell* blk = block::push_new(1);
    integer::make_in(blk, 5);
    integer::make_in(blk, 6);
    EXPECT_EQ(show(block::rs_abs_at(blk, 1)), "integer! 6");
    EXPECT_EQ(integer::sign_of(-7), -1);
    EXPECT_EQ(integer::sign_of(0), 0);
    EXPECT_EQ(integer::sign_of(7), 1);
}

TEST(Integer, RandomKeepsTheType) {
    const ActionRow& row = registry::row(T::Integer);
    Cell v = I(10);
    EXPECT_EQ(show(row.random(&v, true, false, false)), "unset!");
    Cell zero = I(0);
    EXPECT_EQ(show(row.random(&zero, false, false, false)), "integer! 0");
    for (int i = 0; i < 200; i++) {
        for (int32_t limit : {10, -5}) {
            Cell c = I(limit);
            int32_t got = integer::get(row.random(&c, false, false, false));
            if (limit > 0) EXPECT_TRUE(got >= 1 && got <= limit) << got;
            else EXPECT_TRUE(got >= limit && got <= -1) << got;
        }
    }
    Cell ch = Ch(U'z');
    Cell* r = registry::row(T::Char).random(&ch, false, false, false);
    EXPECT_EQ(cell::type_of(r), T::Char);
    EXPECT_TRUE(character::get(r) >= 1 && character::get(r) <= U'z');
}

}  // namespace
}  // namespace nuv
