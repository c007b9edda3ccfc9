// NUVBIN boot mode: definition records, contexts as top-level records and words that name them by
// position, the boot writer's documents read back, the refusals, and the load's fatal lines.
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/object.h"
#include "runtime/lz77.h"
#include "runtime/platform/nuvbin.h"
#include "tests/unit/eval_support.h"

namespace nuv {
namespace {

class NuvbinBoot : public ::testing::Test {
protected:
    void SetUp() override { test::eval_environment(); }
};

// A compact document with the symbols' names and the records (hex).
std::vector<uint8_t> document(const std::vector<std::string>& names, const std::string& records) {
    std::vector<uint8_t> doc = {'N', 'U', 'V', 'B', 'I', 'N', 1, 5, 1};
    const std::vector<uint8_t> body = test::unhex(records);
    std::vector<uint8_t> area;
    std::vector<uint8_t> offsets;
    for (const std::string& name : names) {
        for (int b = 0; b < 4; b++) offsets.push_back(static_cast<uint8_t>(area.size() >> (8 * b)));
        area.insert(area.end(), name.begin(), name.end());
        area.push_back(0);
    }
    doc.push_back(static_cast<uint8_t>(body.size()));
    doc.push_back(static_cast<uint8_t>(names.size()));
    doc.push_back(static_cast<uint8_t>(area.size()));
    doc.insert(doc.end(), offsets.begin(), offsets.end());
    doc.insert(doc.end(), area.begin(), area.end());
    doc.insert(doc.end(), body.begin(), body.end());
    return doc;
}

// Decodes into the block, in boot mode unless `boot` is false: "" when it returns, else
// "error <id> <molded arg1>".
std::string decode_into(const std::vector<uint8_t>& doc, Cell* into, bool boot = true) {
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto step = [&] {
        if (boot) nuvbin::decode_boot(doc.data(), doc.size(), into);
        else nuvbin::decode(doc.data(), doc.size(), into);
    };
    if (!guard.run(step)) return "";
    return test::error_text(raised());
}

std::string global_molded(const char* name) {
    const Cell* value = context::global_slot(symbol::make_cstr(name));
    return value ? test::mold_value(*value) : "absent";
}

TEST_F(NuvbinBoot, DefinitionSetsTheWordAndAppendsNothing) {
    test::StackScope scope;
    Cell* into = block::make_at(stack::reserve(), 4);
    EXPECT_EQ(decode_into(document({"boot-foo"}, "C40F0085"), into), "");
    EXPECT_EQ(block::count(cell::node(into)), 0);
    EXPECT_EQ(global_molded("boot-foo"), "5");
    // A definition between two values: only the values are appended.
    EXPECT_EQ(decode_into(document({"boot-bar"}, "81C4100005028384C3"), into), "");
    EXPECT_EQ(test::mold_value(*into), "[1 false]");
    EXPECT_EQ(global_molded("boot-bar"), "[3 4]");
}

// An image whose rest is packed as an LZ77 container reads as the plain one.
TEST_F(NuvbinBoot, APackedImageReadsAsThePlainOne) {
    test::StackScope scope;
    Cell* list = stack::push(interp::do_block(test::load_text("b: copy [] loop 100 [append b 1] b")));
    std::vector<uint8_t> plain;
    {
        nuvbin::BootWriter writer;
        writer.define(symbol::make_cstr("boot-packed"), list);
        writer.value(list);
        plain = writer.document();
    }
    std::vector<uint8_t> packed(plain.begin(), plain.begin() + 8);
    packed[7] |= 2;
    packed.resize(plain.size());
    const int64_t n = lz77::compress_data(plain.data() + 8, plain.size() - 8, packed.data() + 8);
    ASSERT_GT(n, 0);
    packed.resize(8 + static_cast<size_t>(n));
    Cell* into = block::make_at(stack::reserve(), 4);
    EXPECT_EQ(decode_into(packed, into), "");
    const std::string molded = test::mold_value(*list);
    EXPECT_EQ(test::mold_value(*into), "[" + molded + "]");
    EXPECT_EQ(global_molded("boot-packed"), molded);
}

TEST_F(NuvbinBoot, WordsNameAContextByPosition) {
    test::StackScope scope;
    Cell* into = block::make_at(stack::reserve(), 4);
    // Position 0: a context of kind 2 with a: 7 and b: "x"; then [a b] bound to it, b by its
    // index and a looked up by its symbol (index -1).
    const std::string records = "0E1202000187" "070478" "0502" "4F000001" "4F010002";
    ASSERT_EQ(decode_into(document({"a", "b"}, records), into), "");
    ASSERT_EQ(block::count(cell::node(into)), 2);
    const Cell object = block::at(cell::node(into), 0);
    ASSERT_TRUE(cell::is(&object, TypeId::Object));
    const Cell words = block::at(cell::node(into), 1);
    const Cell a = block::at(cell::node(&words), 0);
    const Cell b = block::at(cell::node(&words), 1);
    EXPECT_EQ(a.w1, object::context_of(&object));
    EXPECT_EQ(test::mold_value(*context::get(&a, a.w1)), "7");
    EXPECT_EQ(test::mold_value(*context::get(&b, b.w1)), "\"x\"");
}

TEST_F(NuvbinBoot, WriterOutputReadsBack) {
    test::StackScope scope;
    Cell* object = stack::push(interp::do_block(test::load_text(
        "make object! [p: 10 q: [1 2] r: none s: \"t\"]")));
    Cell* code = stack::push(interp::do_block(test::load_text("bind [p q 3 (s)] make object! [p: 10 q: [1 2] r: none s: \"t\"]")));
    // The words of `code` name a context of their own: written, it comes before them.
    Cell* owner = stack::push(none::shared());
    *owner = Cell{static_cast<uint32_t>(TypeId::Object), block::at(cell::node(code), 0).w1, 0, 0};
    std::vector<uint8_t> doc;
    {
        nuvbin::BootWriter writer;
        EXPECT_EQ(writer.context(object), 0u);
        EXPECT_EQ(writer.value(object), 1u);  // an object over a written context: a reference
        EXPECT_EQ(writer.context(owner), 2u);
        Cell five;
        integer::set(&five, 5);
        writer.define(symbol::make_cstr("boot-five"), &five);
        writer.define(symbol::make_cstr("boot-list"), code);
        // An action inside a definition's value: its spec is read beside that value.
        writer.define(symbol::make_cstr("boot-calls"),
                      stack::push(interp::do_block(test::load_text("reduce [:append 1]"))));
        EXPECT_EQ(writer.value(code), 3u);
        doc = writer.document();
    }
    Cell* into = block::make_at(stack::reserve(), 4);
    ASSERT_EQ(decode_into(doc, into), "");
    const NodeId roots = cell::node(into);
    ASSERT_EQ(block::count(roots), 4);
    EXPECT_EQ(global_molded("boot-five"), "5");
    EXPECT_EQ(global_molded("boot-list"), "[p q 3 (s)]");
    const Cell* calls = context::global_slot(symbol::make_cstr("boot-calls"));
    ASSERT_TRUE(calls && cell::is(calls, TypeId::Block));
    ASSERT_EQ(block::count(cell::node(calls)), 2);
    const Cell append = block::at(cell::node(calls), 0);
    EXPECT_TRUE(cell::is(&append, TypeId::Action));
    EXPECT_EQ(test::mold_value(block::at(cell::node(calls), 1)), "1");
    const Cell first = block::at(roots, 0);
    const Cell again = block::at(roots, 1);
    EXPECT_EQ(test::mold_value(first), test::mold_value(*object));
    EXPECT_EQ(object::context_of(&again), object::context_of(&first));
    const Cell block = block::at(roots, 3);
    EXPECT_EQ(test::mold_value(block), "[p q 3 (s)]");
    const Cell p = block::at(cell::node(&block), 0);
    const Cell context_two = block::at(roots, 2);
    EXPECT_EQ(p.w1, object::context_of(&context_two));
    EXPECT_EQ(test::mold_value(*context::get(&p, p.w1)), "10");
    const Cell paren = block::at(cell::node(&block), 3);
    const Cell s = block::at(cell::node(&paren), 0);
    EXPECT_EQ(test::mold_value(*context::get(&s, s.w1)), "\"t\"");
}

TEST_F(NuvbinBoot, RefusesMalformedRecords) {
    struct Row {
        std::vector<std::string> names;
        const char* records;
        const char* wanted;
    };
    const Row rows[] = {
        {{"f"}, "C48500", "error nb-invalid-record 20"},        // a definition of no word
        {{"f"}, "C40F00C40F0085", "error nb-invalid-record 20"},  // its value a definition
        {{"f"}, "4F000000", "error nb-invalid-record 21"},      // position 0 holds nothing
        {{"a", "b"}, "0E020100" "4F010000", "error nb-invalid-record 31"},  // index 0 is `a`
        {{"a", "b"}, "0E020100" "4F010002", "error nb-invalid-record 31"},  // past the words
        {{"a"}, "0E000100", "error nb-invalid-record 19"},       // kind 0
        {{"a"}, "0E160100", "error nb-invalid-record 19"},       // on the stack with values
        {{"a"}, "0E0202000000", "error nb-invalid-record 19"},   // a word given twice
        {{"a"}, "85" "0F01", "error nb-invalid-record 21"},      // a symbol index equal to S
    };
    for (const Row& row : rows) {
        test::StackScope scope;
        Cell* into = block::make_at(stack::reserve(), 4);
        EXPECT_EQ(decode_into(document(row.names, row.records), into), row.wanted) << row.records;
    }
    // A standard document: its flags byte is the bad record.
    test::StackScope scope;
    Cell* into = block::make_at(stack::reserve(), 4);
    const std::vector<uint8_t> standard = {'N', 'U', 'V', 'B', 'I', 'N', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decode_into(standard, into), "error nb-invalid-record 8");
    // Codec mode refuses a definition: the bad record is its marker byte.
    EXPECT_EQ(decode_into(document({"f"}, "C40F0085"), into, false), "error nb-invalid-record 19");
}

// The load in a child process: its standard output and exit status.
test::Ended load_in_child(const std::vector<uint8_t>& image) {
    return test::in_child([&] { nuvbin::load_boot(image.data(), image.size(), nullptr); });
}

TEST_F(NuvbinBoot, LoadEndsTheProcessOnABadImage) {
    std::vector<uint8_t> good = document({"boot-g"}, "C40F0085");
    std::vector<uint8_t> magic = good;
    magic[5] = 'X';
    std::vector<uint8_t> packed = good;
    packed[7] |= 2;  // what follows the flags is no container
    std::vector<uint8_t> cut(good.begin(), good.end() - 2);
    struct Row {
        const std::vector<uint8_t>* image;
        const char* out;
        int status;
    };
    const Row rows[] = {
        {&good, "", 0},
        {&magic, "Error: Not a Nuvbin file!\n", 1},
        {&packed, "Error: Nuvbin compressed data corrupted!\n", 1},
        {&cut, "*** Script Error: NUVBIN - invalid record at index 24\n", 1},
    };
    for (const Row& row : rows) {
        const test::Ended ended = load_in_child(*row.image);
        EXPECT_EQ(ended.out, row.out);
        EXPECT_EQ(ended.status, row.status);
    }
}

}  // namespace
}  // namespace nuv
