// Runtime support: typeset checks, checked float conversion, pattern filling.
#include "runtime/support.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
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

namespace nuv {
namespace {

Cell logic_cell(bool v) { return Cell{static_cast<uint32_t>(TypeId::Logic), v ? 1u : 0u, 0, 0}; }
using test::int_cell;

TEST(Support, BlockSelectStack) {
    struct Case {
        const char* what;
        bool key;
        bool step, to_block;
        TypeId want_type;
        int32_t want_int;  // for integer! answers
    } cases[] = {
        {"pairs: true", true, false, false, TypeId::Integer, 2},
        {"pairs: false", false, false, false, TypeId::Integer, 1},
        {"step: false then next", false, true, false, TypeId::Integer, 1},
        {"to-block: first block after", false, true, true, TypeId::Block, 0},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        stack::g_args.base = stack::g_args.top;
        Cell key = logic_cell(c.key);
        stack::push(&key);
        Cell* blk = block::push_new(8);
        Cell values[] = {logic_cell(false), int_cell(1), logic_cell(true), int_cell(2)};
        for (const Cell& v : values) block::append_cell(blk, &v);
        Cell inner;
        block::make_at(&inner, 1);
        block::append_cell(blk, &inner);
        Cell* got = block_select_stack(c.step, c.to_block);
        EXPECT_EQ(got, c.step ? stack::top() : stack::arg(0)) << c.what;
        EXPECT_EQ(cell::type_of(got), c.want_type) << c.what;
        if (c.want_type == TypeId::Integer) {
            EXPECT_EQ(cell::get_int(got), c.want_int) << c.what;
        }
    }
}

TEST(Support, BlockSelectStackFindsNothing) {
    test::StackScope scope;
    stack::g_args.base = stack::g_args.top;
    Cell key;
    block::make_at(&key, 1);
    stack::push(&key);  // a block! key never matches
    Cell* blk = block::push_new(2);
    block::append_cell(blk, &key);
    EXPECT_EQ(cell::type_of(block_select_stack(false, false)), TypeId::None);
}

TEST(Support, FormValuePushAndIndent) {
    test::StackScope scope;
    Cell t = logic_cell(true);
    Cell* whole = form_value_push(&t, 0);
    EXPECT_EQ(string::to_std_utf8(whole), "true");
    Cell* cut = form_value_push(&t, 2);
    EXPECT_EQ(string::to_std_utf8(cut), "tr");
    EXPECT_EQ(stack::top(), cut);
    Cell buffer;
    string::make_at(stack::push(&buffer), 16);
    EXPECT_EQ(mold_indent(stack::top(), 0, 100), 100);
    EXPECT_EQ(mold_indent(stack::top(), 2, 100), 92);
    EXPECT_EQ(string::to_std_utf8(stack::top()), "        ");
}

TEST(Support, RefinementArgsInit) {
    test::StackScope scope;
    stack::g_args.base = stack::g_args.top;
    Cell filler = int_cell(7);
    for (int i = 0; i < 4; i++) stack::push(&filler);
    Cell off = logic_cell(false);
    refinement_args_init(&off, 0, 2);
    EXPECT_EQ(cell::type_of(stack::arg(1)), TypeId::None);
    EXPECT_EQ(cell::type_of(stack::arg(2)), TypeId::None);
    EXPECT_EQ(cell::type_of(stack::arg(3)), TypeId::Integer);
    Cell on = logic_cell(true);
    refinement_args_init(&on, 3, 0);
    EXPECT_EQ(stack::arg(3)->w1, 1u);
}

}  // namespace
}  // namespace nuv

namespace nuv {
namespace {

TEST(Support, CheckedWordAccess) {
    test::StackScope scope;
    stack::g_args.base = stack::g_args.top;
    Cell* word = word::push_global(symbol::make_cstr("support-checked-word"));
    EXPECT_RAISES(word_get_checked(word), Err::NoValue);
    Cell unset{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    stack::push(&unset);
    EXPECT_RAISES(word_set_checked(word), Err::NeedValue);
    Cell v{static_cast<uint32_t>(TypeId::Integer), 0, 42, 0};
    stack::push(&v);
    word_set_checked_drop(word);
    EXPECT_EQ(stack::g_args.top, stack::g_args.base);
    EXPECT_EQ(cell::get_int(word_get_checked(word)), 42);
}

}  // namespace
}  // namespace nuv
