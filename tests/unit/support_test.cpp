// Runtime support: typeset checks, checked float conversion, pattern filling.
#include "runtime/support.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/unit/support.h"

namespace nuv {
namespace {

Cell float_cell(double d) {
    Cell c{static_cast<uint32_t>(TypeId::Float), 0, 0, 0};
    cell::set_double(&c, d);
    return c;
}

Cell typeset_of(std::initializer_list<int> types) {
    Cell c{static_cast<uint32_t>(TypeId::Typeset), 0, 0, 0};
    uint8_t bytes[12] = {};
    for (int t : types) bytes[t >> 3] |= static_cast<uint8_t>(0x80 >> (t & 7));
    std::memcpy(&c.w1, bytes, sizeof bytes);
    return c;
}

TEST(Support, FloatToIntChecked) {
    struct Case {
        double in;
        int32_t out;
    } ok[] = {{2147483647.0, 2147483647}, {-2.9, -2}, {2.9, 2}, {-2147483648.0, INT32_MIN}, {0.0, 0}};
    for (const Case& c : ok) {
        Cell v = float_cell(c.in);
        EXPECT_EQ(float_to_int_checked(&v), c.out) << c.in;
    }
    for (double bad : {2147483647.5, -2147483649.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        Cell v = float_cell(bad);
        EXPECT_RAISES(float_to_int_checked(&v), Err::OutOfRange);
    }
    Cell i{static_cast<uint32_t>(TypeId::Integer), 0, 42, 0};
    EXPECT_EQ(float_to_int_checked(&i), 42);
}

TEST(Support, TypeCheck) {
    Cell integer{static_cast<uint32_t>(TypeId::Integer), 0, 1, 0};
    Cell empty = typeset_of({});
    EXPECT_RAISES(type_check(&empty, 0, &integer), Err::ExpectArg);
    Cell ints = typeset_of({11});
    EXPECT_EQ(type_check(&ints, 0, &integer), &integer);
    // Type 0 is the top bit of the first byte.
    Cell zero = typeset_of({0});
    uint8_t first;
    std::memcpy(&first, &zero.w1, 1);
    EXPECT_EQ(first, 0x80);
    EXPECT_TRUE(typeset_has(&zero, 0));
    EXPECT_FALSE(typeset_has(&zero, 1));
    // An unset refinement skips the check.
    Cell off{static_cast<uint32_t>(TypeId::Logic), 0, 0, 0};
    EXPECT_EQ(type_check_opt(&off, &empty, 0, &integer), &integer);
    Cell unset{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    EXPECT_RAISES(check_not_unset(0, &unset), Err::ExpectArg);
}

TEST(Support, FillPattern) {
    struct Case {
        size_t total, pattern;
        const char* want;
    } cases[] = {{7, 2, "ababab" "a"}, {6, 3, "abcabc"}, {3, 3, "abc"}, {1, 3, "a"}, {10, 1, "aaaaaaaaaa"}};
    for (const Case& c : cases) {
        char buf[16] = "abcdefghijklmno";
        uint8_t* end = fill_pattern(reinterpret_cast<uint8_t*>(buf), c.total, c.pattern);
        EXPECT_EQ(end, reinterpret_cast<uint8_t*>(buf) + c.total);
        EXPECT_EQ(std::string(buf, c.total), c.want) << c.total << "/" << c.pattern;
    }
}

}  // namespace
}  // namespace nuv
