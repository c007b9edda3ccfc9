// binary!: the storage interfaces (makers, readers, writers, the head and tail helpers), the
// bytes a value contributes, the parse helpers, and the counts that show appending costs no
// allocation per byte.
#include "runtime/datatypes/binary.h"

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/integer.h"
#include "runtime/memory.h"
#include "tests/unit/eval_support.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

std::vector<uint8_t> bytes_of(const Cell* bin) {
    const uint8_t* p = binary::rs_head(bin);
    return std::vector<uint8_t>(p, p + binary::rs_length(bin));
}
using Bytes = std::vector<uint8_t>;

Cell* push_binary(const Bytes& bytes) { return binary::load(bytes.data(), bytes.size(), nullptr); }

Cell* push_text(const char* utf8) {
    return string::load_new(reinterpret_cast<const uint8_t*>(utf8), std::strlen(utf8),
                            string::kUtf8);
}

TEST(Binary, MakersAndReaders) {
    test::StackScope scope;
    Cell* empty = binary::make_at(stack::reserve(), 0);
    EXPECT_TRUE(cell::is(empty, T::Binary));
    EXPECT_EQ(binary::rs_length(empty), 0);
    EXPECT_TRUE(binary::rs_is_tail(empty));

    Cell* bin = push_binary({1, 2, 3, 4});
    EXPECT_EQ(bytes_of(bin), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(binary::byte_at(bin, 2), 3);
    binary::rs_skip(bin, 3);
    EXPECT_EQ(bytes_of(bin), (Bytes{4}));
    EXPECT_EQ(binary::rs_tail(bin) - binary::rs_head(bin), 1);
    binary::rs_skip(bin, 10);
    EXPECT_TRUE(binary::rs_is_tail(bin));
    EXPECT_EQ(cell::head(bin), 4);
    binary::rs_skip(bin, -2);
    binary::rs_clear(bin);
    EXPECT_EQ(binary::rs_length(bin), 0);
    cell::set_head(bin, 0);
    EXPECT_EQ(bytes_of(bin), (Bytes{1, 2}));

    // A head beyond the tail reads as the tail.
    cell::set_head(bin, 9);
    EXPECT_EQ(binary::rs_length(bin), 0);
    EXPECT_EQ(binary::rs_head(bin), binary::rs_tail(bin));

    Cell* block = block::push_new(1);
    Cell* made = binary::make_in_block(block, 8);
    EXPECT_TRUE(cell::is(made, T::Binary));
    EXPECT_EQ(block::rs_length(block), 1);
}

TEST(Binary, Writers) {
    test::StackScope scope;
    Cell* bin = push_binary({1, 2});
    const uint8_t more[] = {7, 8, 9};
    binary::append_bytes(bin, more, 3);
    EXPECT_EQ(bytes_of(bin), (Bytes{1, 2, 7, 8, 9}));
    binary::insert_bytes(bin, 1, more, 2);
    EXPECT_EQ(bytes_of(bin), (Bytes{1, 7, 8, 2, 7, 8, 9}));
    binary::append_int32(bin, 0x01020304);
    binary::append_int32(bin, -2);
    EXPECT_EQ(bytes_of(bin), (Bytes{1, 7, 8, 2, 7, 8, 9, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFE}));

    // write_at overwrites from head + offset; a write past the tail moves the tail.
    Cell* w = push_binary({1, 2, 3});
    cell::set_head(w, 1);
    binary::write_at(w, 0, more, 1);
    EXPECT_EQ(bytes_of(w), (Bytes{7, 3}));
    binary::write_at(w, 1, more, 3);
    EXPECT_EQ(bytes_of(w), (Bytes{7, 7, 8, 9}));
    binary::write_at(w, 6, more, 1);
    EXPECT_EQ(bytes_of(w), (Bytes{7, 7, 8, 9, 0, 0, 7}));
    cell::set_head(w, 0);
    EXPECT_EQ(binary::rs_length(w), 8);
}

// A full buffer at least doubles, so a long run of one-byte appends makes a logarithmic count
// of buffers and copies fewer bytes than twice what it holds; the append action itself takes
// no buffer per byte.
TEST(Binary, AppendingGrowsByDoubling) {
    test::eval_environment();
    test::StackScope scope;
    Cell* bin = binary::make_at(stack::reserve(), 16);
    const memory::Counters before = memory::counters();
    for (int i = 0; i < 100000; i++) {
        const uint8_t byte = static_cast<uint8_t>(i);
        binary::append_bytes(bin, &byte, 1);
    }
    memory::Counters after = memory::counters();
    EXPECT_LE(after.expansions - before.expansions, 14u);
    EXPECT_LE(after.bytes_copied - before.bytes_copied, 200000u);

    Cell* series = binary::make_at(stack::reserve(), 16);
    Cell* value = stack::reserve();
    integer::set(value, 7);
    const memory::Counters start = memory::counters();
    for (int i = 0; i < 100000; i++)
        registry::row(T::Binary).append(series, value, -1, false, 1, true);
    after = memory::counters();
    EXPECT_EQ(after.allocations - start.allocations, after.expansions - start.expansions);
    EXPECT_LE(after.expansions - start.expansions, 14u);
    EXPECT_EQ(binary::rs_length(series), 100000);
}

TEST(Binary, ByteArgument) {
    test::StackScope scope;
    Cell v;
    integer::set(&v, 0x1FF);
    EXPECT_EQ(binary::byte_arg(&v), 0xFF);
    integer::set(&v, -1);
    EXPECT_EQ(binary::byte_arg(&v), 0xFF);
    character::set(&v, U'é');
    EXPECT_EQ(binary::byte_arg(&v), 0xE9);
    EXPECT_RAISES(binary::byte_arg(push_text("a")), Err::InvalidArg);
}

// The bytes of a value: counted without a destination, appended with one; what forming gives
// only in the change mode.
TEST(Binary, ValueToBytes) {
    test::eval_environment();
    test::StackScope scope;
    Cell* block = test::load_text("1 #\"é\" \"aé\" #{0203} [-1 [4]] (5)");
    EXPECT_EQ(binary::value_to_bytes(nullptr, block, -1, binary::Mode::Insert), 11);
    Cell* out = binary::make_at(stack::reserve(), 4);
    EXPECT_EQ(binary::value_to_bytes(out, block, -1, binary::Mode::Insert), 11);
    EXPECT_EQ(bytes_of(out),
              (Bytes{1, 0xC3, 0xA9, 'a', 0xC3, 0xA9, 2, 3, 0xFF, 4, 5}));
    // A limit counts bytes and may cut a sequence.
    Cell* cut = binary::make_at(stack::reserve(), 4);
    EXPECT_EQ(binary::value_to_bytes(cut, block, 4, binary::Mode::Insert), 4);
    EXPECT_EQ(bytes_of(cut), (Bytes{1, 0xC3, 0xA9, 'a'}));

    Cell* word = test::load_text("[abc 1.5]");
    EXPECT_RAISES(binary::value_to_bytes(nullptr, word, -1, binary::Mode::Insert), Err::BadToArg);
    EXPECT_EQ(binary::value_to_bytes(nullptr, word, -1, binary::Mode::Change), 6);
    Cell* formed = binary::make_at(stack::reserve(), 4);
    binary::value_to_bytes(formed, word, -1, binary::Mode::Change);
    EXPECT_EQ(bytes_of(formed), (Bytes{'a', 'b', 'c', '1', '.', '5'}));

    Cell v;
    integer::set(&v, 256);
    EXPECT_RAISES(binary::value_to_bytes(nullptr, &v, -1, binary::Mode::Insert), Err::InvalidArg);
    character::set(&v, 0x110000);
    EXPECT_RAISES(binary::value_to_bytes(nullptr, &v, -1, binary::Mode::Insert), Err::InvalidChar);

    // A block that holds itself ends in too-deep, not in endless recursion.
    Cell* loop = test::load_text("[1]");
    const Cell inner = *block::rs_head(loop);
    block::append_cell(&inner, &inner);
    EXPECT_RAISES(binary::value_to_bytes(nullptr, &inner, -1, binary::Mode::Insert), Err::TooDeep);
}

TEST(Binary, ParseHelpers) {
    test::StackScope scope;
    Cell* bin = push_binary({0xC3, 0xA9, 0x41});
    EXPECT_TRUE(binary::matches_value(bin, push_binary({0xC3}), CompareOp::Equal));
    EXPECT_TRUE(binary::matches_value(bin, push_binary({0xC3, 0xA9, 0x41}), CompareOp::Equal));
    EXPECT_FALSE(binary::matches_value(bin, push_binary({0xC3, 0xA9, 0x41, 0}), CompareOp::Equal));
    EXPECT_FALSE(binary::matches_value(bin, push_binary({0xC4}), CompareOp::Equal));
    EXPECT_TRUE(binary::matches_value(bin, push_binary({}), CompareOp::Equal));
    EXPECT_TRUE(binary::matches_value(bin, push_binary({}), CompareOp::FindEqual));
    EXPECT_TRUE(binary::matches_value(bin, push_text("é"), CompareOp::Equal));
    EXPECT_FALSE(binary::matches_value(bin, push_text("e"), CompareOp::Equal));
    Cell ch;
    character::set(&ch, 0xC3);
    EXPECT_TRUE(binary::matches_value(bin, &ch, CompareOp::Equal));
    character::set(&ch, U'é');
    EXPECT_FALSE(binary::matches_value(bin, &ch, CompareOp::Equal));

    // A bitset of bits 0x41 and 0xC3; the complemented one has every bit beyond its bytes.
    const NodeId bits = memory::alloc_bytes(32);
    memory::SeriesBuf* b = memory::buf(bits);
    std::memset(b->offset_ptr(), 0, 9);
    b->offset_ptr()[0x41 >> 3] |= 0x80 >> (0x41 & 7);
    b->tail = b->offset + 9;
    const Cell bitset{static_cast<uint32_t>(T::Bitset), 0, bits, 0};
    EXPECT_FALSE(binary::test_byte(bin, &bitset));
    cell::set_head(bin, 2);
    EXPECT_TRUE(binary::test_byte(bin, &bitset));
    cell::set_head(bin, 0);
    memory::buf(bits)->flags |= 0x80000;
    EXPECT_TRUE(binary::test_byte(bin, &bitset));
    cell::set_head(bin, 3);
    EXPECT_FALSE(binary::test_byte(bin, &bitset));
}

TEST(Binary, CompareRaw) {
    test::StackScope scope;
    Cell* a = push_binary({1, 2, 3});
    Cell* b = push_binary({1, 2});
    EXPECT_EQ(binary::compare_raw(a, b, CompareOp::Equal, false), 1);
    EXPECT_EQ(binary::compare_raw(a, b, CompareOp::Lesser, false), 1);
    EXPECT_EQ(binary::compare_raw(b, a, CompareOp::Lesser, false), -1);
    EXPECT_EQ(binary::compare_raw(a, b, CompareOp::Equal, true), 0);
    EXPECT_EQ(binary::compare_raw(b, a, CompareOp::Equal, true), -1);
    EXPECT_EQ(binary::compare_raw(a, a, CompareOp::Same, false), 0);
    EXPECT_EQ(binary::compare_raw(a, push_binary({1, 2, 3}), CompareOp::Same, false), -1);
    EXPECT_EQ(binary::compare_raw(push_binary({0x80}), push_binary({0x7F}), CompareOp::Lesser,
                                  false),
              1);
}

}  // namespace
}  // namespace nuv
