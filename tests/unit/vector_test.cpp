// vector!: growth by doubling, the element encodings at the byte level, the mark hook keeping
// the element buffer alive, and the hash agreeing with equality.
#include "runtime/datatypes/vector.h"

#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/integer.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "tests/unit/eval_support.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

// Appending one element at a time doubles the buffer: a logarithmic number of expansions, and
// no buffer per element from the append action.
TEST(Vector, AppendingGrowsByDoubling) {
    test::eval_environment();
    test::StackScope scope;
    Cell* vec = vector::make_at(stack::reserve(), 1, T::Integer, 4);
    Cell* value = stack::reserve();
    integer::set(value, 7);
    const memory::Counters start = memory::counters();
    for (int i = 0; i < 100000; i++)
        registry::row(T::Vector).append(vec, value, -1, false, 1, true);
    const memory::Counters after = memory::counters();
    EXPECT_EQ(after.allocations - start.allocations, after.expansions - start.expansions);
    EXPECT_LE(after.expansions - start.expansions, 20u);
    EXPECT_LE(after.bytes_copied - start.bytes_copied, 800000u);
    EXPECT_EQ(vector::length(vec), 100000);
}

// Elements are little-endian and truncated to the unit; integers read back sign-extended and
// chars zero-extended.
TEST(Vector, ElementEncodings) {
    test::StackScope scope;
    uint8_t bytes[8] = {};
    Cell v;
    integer::set(&v, 0x12345678);
    vector::set_elem(bytes, &v, 2);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[1], 0x56);
    EXPECT_EQ(bytes[2], 0);
    const uint8_t high[2] = {0xFE, 0xFF};
    Cell out;
    vector::read_elem(high, 2, T::Integer, &out);
    EXPECT_EQ(cell::get_int(&out), -2);
    vector::read_elem(high, 2, T::Char, &out);
    EXPECT_EQ(cell::get_int(&out), 0xFFFE);
    EXPECT_TRUE(cell::is(&out, T::Char));
    vector::read_elem(high, 1, T::Integer, &out);
    EXPECT_EQ(cell::get_int(&out), -2);
}

// The mark hook keeps the element buffer of a vector held only by a rooted cell.
TEST(Vector, CollectionKeepsTheElements) {
    test::eval_environment();
    test::StackScope scope;
    Cell* vec = vector::make_at(stack::reserve(), 4, T::Integer, 4);
    for (int32_t i = 0; i < 4; i++) vector::append_int32(vec, i * 11);
    collector::collect();
    Cell e;
    const uint8_t* p = memory::buf_of(vec)->offset_ptr();
    vector::read_elem(p + 12, 4, T::Integer, &e);
    EXPECT_EQ(cell::get_int(&e), 33);
    EXPECT_EQ(vector::length(vec), 4);
}

// An 8-bit and a 32-bit vector of the same values are equal and hash alike.
TEST(Vector, HashFollowsEquality) {
    test::eval_environment();
    test::StackScope scope;
    Cell* narrow = vector::make_at(stack::reserve(), 2, T::Integer, 1);
    Cell* wide = vector::make_at(stack::reserve(), 2, T::Integer, 4);
    Cell value;
    for (int32_t x : {1, -2}) {
        integer::set(&value, x);
        vector::append_value(narrow, &value);
        vector::append_value(wide, &value);
    }
    EXPECT_EQ(registry::row(T::Vector).compare(narrow, wide, CompareOp::Equal), 0);
    EXPECT_EQ(hash::value(narrow, true), hash::value(wide, true));
}

}  // namespace
}  // namespace nuv
