// char!: conversion to a code point, arithmetic that stays a character, comparison by code
// point, form and the escaped mold, and the slots taken from integer!.
#include "runtime/datatypes/character.h"

#include <cmath>
#include <cstring>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/number_support.h"

namespace nuv {
namespace {

using namespace test;

using A = ActionId;
using T = TypeId;

TEST(Character, ArithmeticStaysACharacter) {
    const BinaryRow rows[] = {
        {A::Add, Ch(U'a'), I(1), "char! 98"},
        {A::Add, Ch(U'a'), Ch(1), "char! 98"},
        {A::Subtract, Ch(U'a'), I(98), "error overflow"},
        {A::Subtract, Ch(U'a'), I(97), "char! 0"},
        {A::Multiply, Ch(U'a'), I(2), "char! 194"},
        {A::Divide, Ch(U'd'), I(3), "char! 33"},
        {A::Divide, Ch(U'a'), I(0), "error zero-divide"},
        {A::Remainder, Ch(U'a'), I(10), "char! 7"},
        {A::Remainder, Ch(U'a'), I(0), "error zero-divide"},
        {A::Add, Ch(U'a'), F(1.9), "char! 98"},
        {A::Add, Ch(U'a'), F(3e9), "error out-of-range"},
        {A::Add, Ch(0x10FFFF), I(1), "error overflow"},
        {A::Add, Ch(U'a'), I(INT32_MAX), "error overflow"},
        {A::Multiply, Ch(0x10FFFF), I(0x10FFFF), "error overflow"},
        {A::And, Ch(U'a'), I(0x5F), "char! 65"},
        {A::Or, Ch(U'A'), I(0x20), "char! 97"},
        {A::Xor, Ch(U'a'), Ch(0x20), "char! 65"},
        {A::Add, Ch(U'a'), F(0.5, T::Percent), "error invalid-type"},
        {A::Add, Ch(U'a'), other(T::String), "error invalid-type"},
        {A::Add, Ch(U'a'), other(T::Vector), "error not-done"},
    };
    check_binary(rows);
}

TEST(Character, MakeAndTo) {
    test::StackScope scope;
    struct Row {
        Cell spec;
        const char* want;
    } rows[] = {
        {*text("abc"), "char! 97"},
        {*text(""), "error bad-to-arg"},
        {*text("\xE2\x82\xAC"), "char! 8364"},
        {I(65), "char! 65"},
        {I(0x10FFFF), "char! 1114111"},
        {I(0x110000), "error out-of-range"},
        {I(-1), "error out-of-range"},
        {Ch(U'x'), "char! 120"},
        {F(65.9), "char! 65"},
        {F(-0.5), "char! 0"},
        {F(3e9), "error out-of-range"},
        {F(NAN), "error out-of-range"},
        {F(66.5, T::Percent), "char! 66"},
        {F(-1.5, T::Percent), "error out-of-range"},
        {other(T::None), "error bad-to-arg"},
        {other(T::Block), "error bad-to-arg"},
        {other(T::Binary), "error not-done"},
    };
    Cell* tail_text = text("ab");
    tail_text->w1 = 2;  // at its tail
    Cell at_tail = *tail_text;
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            EXPECT_EQ(run_make(make, T::Char, r.spec), r.want)
                << (make ? "make" : "to") << " char! " << show(&r.spec);
        }
    }
    Cell* proto = datatype::push(T::Char);
    EXPECT_RAISES(character::make(proto, &at_tail, T::Char), Err::BadToArg);
}

TEST(Character, CompareByCodePoint) {
    using Op = CompareOp;
    const CompareRow rows[] = {
        {Ch(U'a'), Op::Equal, Ch(U'A'), false},
        {Ch(U'a'), Op::Equal, Ch(U'a'), true},
        {Ch(U'a'), Op::StrictEqual, Ch(U'a'), true},
        {Ch(U'a'), Op::Equal, I(97), true},
        {Ch(U'a'), Op::StrictEqual, I(97), false},
        {Ch(U'a'), Op::FindEqual, I(97), false},
        {Ch(U'a'), Op::Same, I(97), false},
        {Ch(U'a'), Op::Lesser, Ch(U'b'), true},
        {Ch(U'B'), Op::Lesser, Ch(U'a'), true},
        {Ch(U'a'), Op::Greater, I(96), true},
        {Ch(U'a'), Op::Equal, F(97.0), false},
        {Ch(U'a'), Op::Lesser, F(98.0), std::nullopt},
        {Ch(U'a'), Op::Lesser, other(T::String), std::nullopt},
    };
    check_compare(rows);
}

TEST(Character, FormAndMold) {
    struct Row {
        char32_t cp;
        bool all;
        const char* form;
        const char* mold;
    } rows[] = {
        {U'a', false, "a", "#\"a\""},
        {U'\n', false, "\n", "#\"^/\""},
        {U'\t', false, "\t", "#\"^-\""},
        {0, false, "", "#\"^@\""},
        {30, false, "\x1E", "#\"^(1E)\""},
        {127, false, "\x7F", "#\"^~\""},
        {128, false, "\xC2\x80", "#\"^(80)\""},
        {U'"', false, "\"", "#\"^\"\""},
        {U'^', false, "^", "#\"^^\""},
        {0xE9, false, "\xC3\xA9", "#\"\xC3\xA9\""},
        {0xE9, true, "\xC3\xA9", "#\"^(E9)\""},
        {0x20AC, true, "\xE2\x82\xAC", "#\"^(20AC)\""},
        {0x1F600, false, "\xF0\x9F\x98\x80", "#\"\xF0\x9F\x98\x80\""},
    };
    const ActionRow& row = registry::row(T::Char);
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell c = Ch(r.cp);
        Cell* out = stack::reserve();
        string::make_at(out, 16);
        int32_t left = row.form(&c, out, nullptr, 50);
        std::string want_form = r.cp == 0 ? std::string(1, '\0') : std::string(r.form);
        EXPECT_EQ(string::to_std_utf8(out), want_form) << "form " << static_cast<uint32_t>(r.cp);
        EXPECT_EQ(left, 49) << "form " << static_cast<uint32_t>(r.cp);
        string::reset(out);
        left = row.mold(&c, out, false, r.all, false, nullptr, 50, 0);
        EXPECT_EQ(string::to_std_utf8(out), r.mold) << "mold " << static_cast<uint32_t>(r.cp) << " all " << r.all;
        // The budget falls by the characters appended, escapes included.
        EXPECT_EQ(left, 50 - string::length(out)) << "mold " << static_cast<uint32_t>(r.cp);
    }
}

TEST(Character, InheritedSlots) {
    const ActionRow& row = registry::row(T::Char);
    Cell b = Ch(U'b'), c = Ch(U'c');
    EXPECT_TRUE(row.even_q(&b));
    EXPECT_TRUE(row.odd_q(&c));
    test::StackScope scope;
    stack::g_args.base = character::push(U'x');
    row.absolute();
    EXPECT_EQ(show(stack::arg(0)), "char! 120");
    EXPECT_EQ(row.negate, nullptr);
    EXPECT_EQ(row.power, nullptr);
    EXPECT_EQ(row.round, nullptr);
    EXPECT_EQ(row.complement, nullptr);
}

TEST(Character, Makers) {
    test::StackScope scope;
    EXPECT_EQ(show(character::push(U'q')), "char! 113");
    Cell* blk = block::push_new(1);
    character::make_in(blk, 0x10FFFF);
    EXPECT_EQ(show(block::rs_abs_at(blk, 0)), "char! 1114111");
}

}  // namespace
}  // namespace nuv
