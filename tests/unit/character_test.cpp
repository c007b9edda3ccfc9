// char!: conversion to a code point, arithmetic that stays a character, comparison by code
// point, form and the escaped mold, and the slots taken from integer!.
#include "runtime/datatypes/character.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
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
    StackScope scope;
    const BinaryRow rows[] = {
        {A::Add, Ch(U'a'), other(T::String), "error invalid-type"},
        {A::Add, Ch(U'a'), small_vector(), "vector!"},
    };
    check_binary(rows);
}

// A binary gives the one UTF-8 sequence at its head, decoded with every check: a cut or bad
// sequence raises invalid-utf8, an empty binary bad-to-arg.
TEST(Character, MakeAndTo) {
    test::StackScope scope;
    auto bytes = [](std::initializer_list<uint8_t> list) {
        const std::vector<uint8_t> v(list);
        Cell c;
        binary::load(v.data(), v.size(), &c);
        return c;
    };
    struct Row {
        Cell spec;
        const char* want;
    } rows[] = {
        {bytes({0x41, 0xFF}), "char! 65"},
        {bytes({0xC3, 0xA9}), "char! 233"},
        {bytes({0xF0, 0x9F, 0x98, 0x80}), "char! 128512"},
        {bytes({0xC3}), "error invalid-utf8"},
        {bytes({0xED, 0xA0, 0x80}), "error invalid-utf8"},
        {bytes({0x80}), "error invalid-utf8"},
        {bytes({}), "error bad-to-arg"},
    };
    for (const Row& r : rows) {
        for (bool make : {true, false}) {
            EXPECT_EQ(run_make(make, T::Char, r.spec), r.want)
                << (make ? "make" : "to") << " char! " << show(&r.spec);
        }
    }
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
