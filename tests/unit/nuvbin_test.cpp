// NUVBIN documents: the exact bytes written for each covered type, round trips that keep heads,
// new-line markers and sharing, and the errors of malformed documents.
#include "runtime/platform/nuvbin.h"

#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/lz77.h"
#include "tests/fuzz/nuvbin_fuzz_body.h"
#include "tests/unit/eval_support.h"

namespace nuv {
namespace {

// A table row: the input (source text or document in hex) and what it gives.
struct Case {
    const char* input;
    const char* wanted;
};

class Nuvbin : public ::testing::Test {
protected:
    void SetUp() override { test::eval_environment(); }
};

std::string hex(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; i++) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// Runs the step under a try frame: "" when it returns, else the error's text.
template <typename Step>
std::string guarded(Step step) {
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run(step);
    if (!kind) return "";
    return test::error_text(raised());
}

// The document of the text's value in hex (the standard form when `standard`), or the error.
std::string encode_text(const std::string& text, bool standard = false) {
    test::StackScope scope;
    Cell* code = test::load_text(text);
    std::string out;
    std::string failure = guarded([&] {
        Cell* value = stack::push(interp::do_block(code));
        Cell* doc = stack::reserve();
        if (standard) nuvbin::encode_standard(value, doc);
        else nuvbin::encode_compact(value, doc);
        out = hex(memory::buf_of(doc)->offset_ptr(), memory::buf_of(doc)->used());
    });
    return failure.empty() ? out : failure;
}

// The block of top-level values of the hex document, molded with /all, or the error.
std::string decode_hex(const std::string& text) {
    test::StackScope scope;
    const std::vector<uint8_t> bytes = test::unhex(text);
    Cell* into = block::make_at(stack::reserve(), 4);
    std::string failure = guarded([&] { nuvbin::decode(bytes.data(), bytes.size(), into); });
    if (!failure.empty()) return failure;
    return test::mold_value(*into);
}

// The text evaluated, encoded in each form, decoded; the decoded value's mold/all beside the
// original's.
void check_round_trip(const std::string& text) {
    for (const bool standard : {false, true}) {
        test::StackScope scope;
        Cell* code = test::load_text(text);
        std::string failure = guarded([&] {
            Cell* value = stack::push(interp::do_block(code));
            Cell* doc = stack::reserve();
            if (standard) nuvbin::encode_standard(value, doc);
            else nuvbin::encode_compact(value, doc);
            const std::vector<uint8_t> bytes(memory::buf_of(doc)->offset_ptr(),
                                             memory::buf_of(doc)->tail_ptr());
            Cell* into = block::make_at(stack::reserve(), 1);
            nuvbin::decode(bytes.data(), bytes.size(), into);
            ASSERT_EQ(block::count(cell::node(into)), 1);
            Cell back = block::at(cell::node(into), 0);
            EXPECT_EQ(test::mold_value(back), test::mold_value(*value)) << text << " " << standard;
        });
        EXPECT_EQ(failure, "") << text << " " << standard;
    }
}

TEST_F(Nuvbin, WritesTheExactBytes) {
    const Case rows[] = {
        {"63", "4E555642494E01010101BF"},
        {"64", "4E555642494E010101030B8001"},
        {"-1", "4E555642494E010101020B01"},
        {"\"abc\"", "4E555642494E01010105070C616263"},
        {"next next [1 2 3]", "4E555642494E01010106450203818283"},
        {"3.0", "4E555642494E010101024C06"},
        {"0.5", "4E555642494E010101090C000000000000E03F"},
        {"-0.0", "4E555642494E010101090C0000000000000080"},
        {"12%", "4E555642494E010101026618"},
        {"1%", "4E555642494E010101026602"},
        {"12.5%", "4E555642494E0101010926000000000000C03F"},
        {"true", "4E555642494E01010101C2"},
        {"none", "4E555642494E0101010103"},
        {"#\"a\"", "4E555642494E010101020A61"},
        {"3x-4", "4E555642494E01010103250607"},
        {"#{0102}", "4E555642494E010101042902" "0102"},
        {"b: [1] reduce [b b]", "4E555642494E0101010A0502050181C105020000"},
        {"new-line [1 2] true", "4E555642494E010101050502C08182"},
        {"[abc]", "4E555642494E010501040104000000006162630005010F00"},
        {"b: [x y] reduce [b b]",
         "4E555642494E0105010D0204000000000200000078007900050205020F000F01C105020000"},
        {"#ab", "4E555642494E0105010201030000000061620014" "00"},
    };
    for (const Case& row : rows) EXPECT_EQ(encode_text(row.input), row.wanted) << row.input;
}

TEST_F(Nuvbin, WritesTheExactStandardBytes) {
    const Case rows[] = {
        {"[]", "4E555642494E0100010000000C000000050000000000000000000000"},
        {"\"abc\"", "4E555642494E0100010000001000000007010000000000000300000061626300"},
        // The float's header follows a zero word, so its double starts on 8 bytes.
        {"[1.0]", "4E555642494E0100010000001C000000050000000000000001000000"
                  "000000000C0000000000F03F00000000"},
        {"[ab]", "4E555642494E0104010000001800000001000000080000000000000061620000000000"
                 "00050000000000000001000000" "0F00000200000000" "FFFFFFFF"},
        {"b: [] reduce [b b]",
         "4E555642494E0100010000003000000005000000000000000200000005000000000000000000000005000800"
         "00000000FF000000020000000000000000000000"},
        {"new-line [1] true", "4E555642494E01000100000014000000050000000000000001000000"
                              "0B00008001000000"},
    };
    for (const Case& row : rows) EXPECT_EQ(encode_text(row.input, true), row.wanted) << row.input;
}

TEST_F(Nuvbin, RoundTripsTheCoveredTypes) {
    for (const char* text :
         {"0", "63", "64", "-2147483648", "2147483647", "#\"^(10FFFF)\"", "3.0", "-0.0", "1e300",
          "0.1", "12%", "12.5%", "-3x7", "none", "false", "\"\"", "\"héllo\"", "\"a😀b\"",
          "next \"abc\"", "%a/b", "http://x.y", "<t a>", "a@b.c", "@r", "#{}", "#{DEADBEEF}",
          "next next [1 [2 \"x\"] (3)]", "new-line next [1 2 3] true",
          "b: [1] reduce [b next b (b)]", "b: copy [] append/only b b b",
          "s: \"ab\" reduce [s s reduce [s]]", "[a b: 'c :d /e #f]", "#a", "'x",
          "[héllo wörld héllo]", "integer!", "make typeset! [block! integer!]", "1.2.3.4",
          "1-Jan-2000/10:00+5:30", "-USD$2.5", "1:02:03", "(1.5, 2)", "(1, 2, 3)",
          "func [x] [x + 1]", ":append", ":+", "make object! [a: 1 f: func [k] [a + k]]",
          "o: make object! [a: 1] reduce [in o 'a o]", "try [1 / 0]",
          "make bitset! \"abc\"", "make vector! [integer! 16 [1 -2]]", "make hash! [a 1]",
          "make map! [a 1 \"b\" [2]]", "make image! 2x1"})
        check_round_trip(text);
}

TEST_F(Nuvbin, SharedSeriesStayShared) {
    test::StackScope scope;
    Cell* into = block::make_at(stack::reserve(), 1);
    const std::vector<uint8_t> bytes =
        test::unhex("4E555642494E0105010D0204000000000200000078007900050205020F000F01C105020000");
    EXPECT_EQ(guarded([&] { nuvbin::decode(bytes.data(), bytes.size(), into); }), "");
    const Cell d = block::at(cell::node(into), 0);
    const Cell first = block::at(cell::node(&d), 0);
    const Cell second = block::at(cell::node(&d), 1);
    EXPECT_EQ(cell::node(&first), cell::node(&second));
    block::append_cell(&first, logic::shared(true));
    EXPECT_EQ(test::mold_value(d), "[[x y true] [x y true]]");
    // A self-holding block: its second cell names the path 0 (the block itself).
    EXPECT_EQ(decode_hex("4E555642494E010101070502" "81C1050100"), "[[1 [...]]]");
}

TEST_F(Nuvbin, RefusesMalformedRecords) {
    const Case rows[] = {
        {"4E555642494E01010102C403", "error nb-invalid-record 11"},
        {"4E555642494E0101010100", "error nb-invalid-record 11"},
        {"4E555642494E0101010104", "error nb-invalid-record 11"},
        {"4E555642494E010101010D", "error nb-invalid-record 11"},
        {"4E555642494E01010102070B", "error nb-invalid-record 12"},
        {"4E555642494E01010102FF00", "error nb-invalid-record 13"},
        {"4E555642494E01010104FF818004", "error nb-invalid-record 15"},
        {"4E555642494E01010103FF0101", "error nb-invalid-record 14"},
        {"4E555642494E010101020503", "error nb-invalid-record 12"},
        {"4E555642494E0101010407096162", "error nb-invalid-record 12"},
        {"4E555642494E010101040A808044", "error nb-invalid-record 11"},
        {"4E555642494E0101010305FF", "error nb-invalid-record 11"},
        {"4E555642494E010101060706000011" "00", "error nb-invalid-record 12"},
        {"4E555642494E010101011D", "error no-codec routine!"},
        {"4E555642494E0101010130", "error no-codec port!"},
        // symbol index equal to S, name offset outside the names area, a name not UTF-8
        {"4E555642494E010501020102000000006100" "0F01", "error nb-invalid-record 20"},
        {"4E555642494E010501020102020000006100" "0F00", "error nb-invalid-record 20"},
        {"4E555642494E01050102010200000000FF00" "0F00", "error nb-invalid-record 20"},
        {"4E555642494E01050102010200000000" "6161" "0F00", "error nb-invalid-record 13"},
        {"4E555642494E0101", "error invalid-data #{4E555642494E0101}"},
        // Standard documents: shorter than their fixed header, cut inside a record (the error
        // names the record's first byte), a string of unit 3, a path out of its block.
        {"4E555642494E01000100000004", "error invalid-data #{4E555642494E01000100000004}"},
        {"4E555642494E010001000000080000000B000000", "error nb-invalid-record 17"},
        {"4E555642494E010001000000100000000703000000000000" "0100000061000000",
         "error nb-invalid-record 17"},
        {"4E555642494E01000100000020000000" "050000000000000001000000" "05000800" "00000000"
         "FF000000" "01000000" "05000000", "error nb-invalid-record 29"},
        {"4E555642494E0100010000000C000000" "30000000" "00000000" "00000000",
         "error no-codec port!"},
        {"4E555642494F01010101BF", "error invalid-data #{4E555642494F01010101BF}"},
    };
    for (const Case& row : rows) EXPECT_EQ(decode_hex(row.input), row.wanted) << row.input;
}

// A document whose rest is packed as an LZ77 container reads as the plain one; a container
// that does not unpack is invalid data.
TEST_F(Nuvbin, PackedDocumentsReadAsPlainOnes) {
    for (const bool standard : {false, true}) {
        test::StackScope scope;
        Cell* code = test::load_text(
            "b: [] loop 40 [append b reduce [\"text\" 'word 1.5 #{00} make object! [a: 1 f: func [x] [a + x]] "
            "make map! [k 1] 1.2.3 $1 1-Jan-2000 make hash! [h] make vector! [float! 64 [1.5]]]] b");
        Cell* value = stack::push(interp::do_block(code));
        Cell* doc = stack::reserve();
        if (standard) nuvbin::encode_standard(value, doc);
        else nuvbin::encode_compact(value, doc);
        const std::vector<uint8_t> plain(memory::buf_of(doc)->offset_ptr(),
                                         memory::buf_of(doc)->tail_ptr());
        std::vector<uint8_t> packed(plain.begin(), plain.begin() + 8);
        packed[7] |= 2;
        packed.resize(8 + plain.size());
        const int64_t n = lz77::compress_data(plain.data() + 8, plain.size() - 8, packed.data() + 8);
        ASSERT_GT(n, 0);
        packed.resize(8 + static_cast<size_t>(n));
        EXPECT_EQ(decode_hex(hex(packed.data(), packed.size())),
                  decode_hex(hex(plain.data(), plain.size())));
        packed[12] ^= 0xFF;  // the unpacked size no longer matches the stream
        // The error names the whole document as it was given.
        const Cell* given = binary::load(packed.data(), packed.size(), stack::reserve());
        EXPECT_EQ(decode_hex(hex(packed.data(), packed.size())),
                  "error invalid-data " + test::mold_value(*given));
    }
}

TEST_F(Nuvbin, RefusesDeepNesting) {
    std::string records;
    for (int i = 0; i <= nuvbin::kMaxDepth + 1; i++) records += "0501";
    records += "03";
    EXPECT_EQ(decode_hex("4E555642494E0101" "01" "D50F" + records), "error too-deep");
    std::string text = "b: [] loop 1002 [b: reduce [b]] b";
    EXPECT_EQ(encode_text(text), "error too-deep");
}

TEST_F(Nuvbin, FuzzCorpusReplays) {
    const auto inputs = test::fuzz_corpus("nuvbin");
    for (const std::vector<uint8_t>& bytes : inputs) fuzz::nuvbin_input(bytes.data(), bytes.size());
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv
