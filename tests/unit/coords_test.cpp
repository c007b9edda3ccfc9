// tuple!, pair!, point2D! and point3D!: the cell layouts their makers write (the interfaces the
// serialisation decoder uses), the flags a change keeps, and the form budgets.
#include <bit>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/stack.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

class Coords : public ::testing::Test {
protected:
    test::StackScope scope;
};

// The form of the value and the budget left from 100.
std::string form_of(const Cell& value, int32_t* left) {
    test::StackScope keep;
    Cell v = value;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    *left = registry::row(cell::type_of(&v)).form(&v, buffer, nullptr, 100);
    return string::to_std_utf8(buffer);
}

TEST_F(Coords, TupleLayout) {
    const int32_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 300};
    Cell* t = tuple::push_list(12, bytes);
    EXPECT_EQ(t->header, static_cast<uint32_t>(T::Tuple) | (12u << 19));
    EXPECT_EQ(t->w1, 0x04030201u);
    EXPECT_EQ(t->w2, 0x08070605u);
    EXPECT_EQ(t->w3, 0x2C0B0A09u);  // the low byte of 300
    Cell* short_one = tuple::push_list(1, bytes);
    EXPECT_EQ(tuple::size_of(short_one), 3);
    EXPECT_EQ(short_one->w1, 0x00000001u);
    Cell c;
    tuple::set_channels(&c, 255, 136, 0, -1);
    EXPECT_EQ(tuple::size_of(&c), 3);
    EXPECT_EQ(c.w1, 0x000088FFu);
    tuple::set_channels(&c, 1, 2, 3, 260);
    EXPECT_EQ(tuple::size_of(&c), 4);
    EXPECT_EQ(c.w1, 0x04030201u);
    Cell* pushed = tuple::push(5, 0x04030201u, 5, 0);
    EXPECT_EQ(tuple::size_of(pushed), 5);
    EXPECT_EQ(tuple::byte_at(pushed, 4), 5);
    EXPECT_FALSE(tuple::is_zero(pushed));
    EXPECT_TRUE(tuple::is_zero(tuple::push(4, 0, 0, 0)));
}

TEST_F(Coords, MakersIntoABlockAppendAtItsTail) {
    Cell* b = block::make_at(stack::reserve(), 1);
    tuple::make_in(b, 3, 0x030201u, 0, 0);
    pair::make_in(b, -1, 2);
    point::make_in2(b, 1.5f, -2.0f);
    point::make_in3(b, 1.0f, 2.0f, 3.0f);
    ASSERT_EQ(block::rs_length(b), 4);
    const Cell* c = block::rs_head(b);
    EXPECT_EQ(cell::type_of(c), T::Tuple);
    EXPECT_EQ(tuple::byte_at(c, 2), 3);
    EXPECT_EQ(cell::type_of(c + 1), T::Pair);
    EXPECT_EQ(c[1].w2, static_cast<uint32_t>(-1));
    EXPECT_EQ(c[1].w3, 2u);
    EXPECT_EQ(cell::type_of(c + 2), T::Point2D);
    EXPECT_EQ(c[2].w1, std::bit_cast<uint32_t>(1.5f));
    EXPECT_EQ(c[2].w2, std::bit_cast<uint32_t>(-2.0f));
    EXPECT_EQ(c[2].w3, 0u);
    EXPECT_EQ(cell::type_of(c + 3), T::Point3D);
    EXPECT_EQ(c[3].w3, std::bit_cast<uint32_t>(3.0f));
}

// A maker that sets a type keeps the header's flags (the new-line marker among them).
TEST_F(Coords, SettersKeepTheFlags) {
    Cell c{cell::kNewLine | static_cast<uint32_t>(T::Integer), 0, 7, 0};
    pair::make_at(&c, 3, 4);
    EXPECT_EQ(c.header, cell::kNewLine | static_cast<uint32_t>(T::Pair));
    point::set2(&c, 1.0f, 2.0f);
    EXPECT_EQ(c.header, cell::kNewLine | static_cast<uint32_t>(T::Point2D));
    EXPECT_EQ(c.w3, 0u);
    point::set3(&c, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(c.header, cell::kNewLine | static_cast<uint32_t>(T::Point3D));
    // A tuple shortened by a path set keeps its flags too.
    Cell t;
    tuple::set(&t, 5, 0x04030201u, 5, 0);
    t.header |= cell::kNewLine;
    Cell element;
    integer::set(&element, 4);
    Cell none_value{static_cast<uint32_t>(T::None), 0, 0, 0};
    tuple::path_access(&t, &element, &none_value, nullptr, nullptr, nullptr, -1, false, false, true,
                       false);
    EXPECT_EQ(t.header, cell::kNewLine | static_cast<uint32_t>(T::Tuple) | (3u << 19));
    EXPECT_EQ(t.w1, 0x030201u);
    EXPECT_EQ(t.w2, 0u);
}

TEST_F(Coords, PairServices) {
    Cell* p = pair::push(-3, 4);
    Cell* q = pair::push(5, 6);
    stack::g_args.base = p;
    pair::to_point2d_arg(1);
    EXPECT_EQ(cell::type_of(q), T::Point2D);
    EXPECT_EQ(point::get(q, 0), 5.0f);
    EXPECT_EQ(point::get(q, 1), 6.0f);
    // Copies: a word made later may move the cells the earlier one came from.
    const Cell x = *word::make_global("X");
    EXPECT_EQ(pair::field_index(&x, p), 1);
    const Cell z = *word::make_global("z");
    EXPECT_RAISES(pair::field_index(&z, p), Err::CannotUse);
    EXPECT_RAISES(pair::field_index(&z, q), Err::InvalidPath);
}

TEST_F(Coords, PointServices) {
    Cell i;
    integer::set(&i, 16777217);  // beyond a 32-bit float's 24 bits: rounded
    EXPECT_EQ(point::float_of(&i), 16777216.0f);
    Cell f;
    floating::set(&f, 0.1);
    EXPECT_EQ(point::float_of(&f), 0.1f);
    Cell* p = point::push2(0.0f, -0.0f);
    EXPECT_TRUE(point::is_zero(p));
    Cell* q = point::push3(0.0f, 0.0f, 1e-40f);
    EXPECT_FALSE(point::is_zero(q));
    const Cell z = *word::make_global("Z");  // a copy: each raise allocates
    EXPECT_EQ(point::field_index(&z, q, 3), 3);
    EXPECT_RAISES(point::field_index(&z, p, 2), Err::CannotUse);
    EXPECT_RAISES(point::field_index(&z, q, 2), Err::InvalidPath);
}

TEST_F(Coords, FormSpendsTheBudgetOnEveryCharacter) {
    struct Row {
        Cell value;
        const char* want;
    };
    Cell t;
    const int32_t bytes[] = {1, 22, 255, 0};
    tuple::set_list(&t, 4, bytes);
    Cell p{};
    pair::make_at(&p, -2147483648, 7);
    Cell q{};
    point::set2(&q, 0.1f, 1e-30f);
    Cell r{};
    point::set3(&r, 1.5f, -2.0f, 1e20f);
    const Row rows[] = {
        {t, "1.22.255.0"},
        {p, "-2147483648x7"},
        {q, "(0.1, 1e-30)"},
        {r, "(1.5, -2, 1e20)"},
    };
    for (const Row& row : rows) {
        int32_t left = 0;
        EXPECT_EQ(form_of(row.value, &left), row.want);
        EXPECT_EQ(left, 100 - static_cast<int32_t>(std::string(row.want).size())) << row.want;
    }
}

}  // namespace
}  // namespace nuv
