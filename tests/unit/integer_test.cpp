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

TEST(Integer, MixedTypesGoToTheirDispatchers) {
    StackScope scope;
    const BinaryRow rows[] = {
        {A::And, I(1), F(1.0), "error cannot-use"},
        {A::Divide, I(3), other(T::Pair), "error not-related"},
        {A::Add, I(3), other(T::Pair), "pair!"},
        {A::Subtract, I(3), other(T::Tuple), "error not-related"},
        {A::Divide, I(3), other(T::Tuple), "error not-related"},
        {A::Add, I(3), other(T::Tuple), "tuple!"},
        {A::Subtract, I(3), other(T::Date), "error not-related"},
        {A::Add, I(3), other(T::Date), "date!"},
        {A::Add, I(3), other(T::Money), "money!"},
        {A::Add, I(3), small_vector(), "vector!"},
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
        {A::Power, I(2), P(0.5), "error expect-arg"},
        {A::Power, I(2), other(T::String), "error expect-arg"},
    };
    check_binary(rows);
}

TEST(Integer, Round) {
    const RoundRow rows[] = {
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
        {false, other(T::Money), "integer! 0"},
        {false, other(T::Date), "error type-limit"},  // year 0: far outside 32-bit Unix seconds
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
        {"12", 0, T::File, "integer! 12"},
        {"12", 0, T::Url, "integer! 12"},
        {"12", 0, T::Tag, "integer! 12"},
        {"12", 0, T::Email, "integer! 12"},
        {"12", 0, T::Ref, "integer! 12"},
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
    EXPECT_EQ(run2(A::Subtract, I(3), other(T::Tuple)), "error not-related");
    const Cell& word = raised().args[0];
    EXPECT_EQ(cell::type_of(&word), T::Word);
    EXPECT_EQ(word.w2, words::w::subtract.w2);
    EXPECT_EQ(raised().args[1].w1, static_cast<uint32_t>(T::Integer));
}

TEST(Integer, Compare) {
    using Op = CompareOp;
    // money! compares through its own rules: other(T::Money) is $0.
    Cell a = I(1), b = other(T::Money);
    EXPECT_NE(integer::compare(&a, &b, Op::Equal), 0);
    EXPECT_EQ(integer::compare(&a, &b, Op::Greater), 1);
    EXPECT_EQ(integer::compare(&a, &b, Op::StrictEqual), 1);
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
