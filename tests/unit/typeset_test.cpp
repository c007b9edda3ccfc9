// typeset!: making from datatypes, typesets and words, the text forms and their budget, the
// logic and set operations, complement, find, comparison and the makers compiled code uses.
#include "runtime/datatypes/typeset.h"

#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

Cell dt(T t) {
    Cell c;
    datatype::set(&c, t);
    return c;
}
Cell I(int32_t v) {
    Cell c;
    integer::set(&c, v);
    return c;
}
Cell name_word(T t) { return registry::name_entry(t).word; }
Cell word_of(const char* name) { return *word::make_global(name); }

Cell block_of(std::initializer_list<Cell> items) {
    Cell* b = block::push_new(4);
    for (const Cell& c : items) block::append_cell(b, &c);
    return *b;
}

// make typeset! from the items.
Cell typeset_of(std::initializer_list<Cell> items) {
    Cell spec = block_of(items);
    Cell result;
    typeset::to(&result, &spec, T::Typeset);
    return result;
}

// mold (or mold/only, or form) into a new buffer; the text, and the budget left in `left`.
enum class Text { Mold, MoldOnly, Form };
std::string text_of(const Cell* value, Text how, int32_t budget = kNoLimit,
                    int32_t* left = nullptr) {
    Cell copy = *value;  // before the buffer's allocation moves the value's block
    test::StackScope keep;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    const ActionRow& row = registry::row(T::Typeset);
    const int32_t rest = how == Text::Form
                             ? row.form(&copy, buffer, nullptr, budget)
                             : row.mold(&copy, buffer, how == Text::MoldOnly, false, false,
                                        nullptr, budget, 0);
    if (left) *left = rest;
    return string::to_std_utf8(buffer);
}

// The datatype words get their datatype values, as start-up will give them.
class Typeset : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (T t : {T::Integer, T::Float, T::Block, T::String, T::Unset, T::Object}) {
            Cell word = registry::name_entry(t).word;
            Cell type = dt(t);
            word::set(&word, &type);
        }
    }
    test::StackScope scope;
};

using test::outcome;

TEST_F(Typeset, MoldAndForm) {
    const Cell numbers = typeset_of({dt(T::Integer), dt(T::Float)});
    const Cell empty = typeset_of({});
    struct Row {
        Cell value;
        Text how;
        int32_t budget;
        const char* want;
        int32_t left;
    } rows[] = {
        {numbers, Text::Mold, 100, "make typeset! [integer! float!]", 100 - 31},
        {empty, Text::Mold, 100, "make typeset! []", 100 - 16},
        {numbers, Text::MoldOnly, 100, "integer! float!", 100 - 15},
        {empty, Text::MoldOnly, 100, "", 100},
        {numbers, Text::Form, 100, "integer! float!", 100 - 15},
        // The budget runs out after the first name: the rest is not written.
        {numbers, Text::Mold, 20, "make typeset! [integer!]", 20 - 24},
        {numbers, Text::MoldOnly, 5, "integer!", 5 - 8},
    };
    for (const Row& r : rows) {
        int32_t left = 0;
        EXPECT_EQ(text_of(&r.value, r.how, r.budget, &left), r.want) << r.want;
        EXPECT_EQ(left, r.left) << r.want;
    }
}

// A typeset inside a block buffer molded through a pointer into it: the slot reads the mask
// before its output grows (under stress every allocation moves the block).
TEST_F(Typeset, MoldOfAValueInABlock) {
    Cell* b = block::push_new(1);
    const Cell numbers = typeset_of({dt(T::Integer), dt(T::Float)});
    for (int i = 0; i < 4; i++) block::append_cell(b, &numbers);
    Cell* buffer = string::make_at(stack::reserve(), 1);
    for (int i = 0; i < 4; i++) {
        Cell v = *block::rs_abs_at(b, i);
        typeset::mold(&v, buffer, true, false, false, nullptr, kNoLimit, 0);
    }
    EXPECT_EQ(string::to_std_utf8(buffer), "integer! float!integer! float!integer! float!integer! float!");
}

TEST_F(Typeset, LogicAndSetOperations) {
    const Cell numbers = typeset_of({dt(T::Integer), dt(T::Float)});
    const Cell series = typeset_of({dt(T::Block), dt(T::Float)});
    struct Row {
        int32_t code;
        Cell second;
        const char* want;
    } rows[] = {
        {static_cast<int32_t>(ArithOp::Or), dt(T::Block), "block! integer! float!"},
        {static_cast<int32_t>(ArithOp::Xor), dt(T::Float), "integer!"},
        {static_cast<int32_t>(ArithOp::And), dt(T::Float), "float!"},
        {static_cast<int32_t>(SetOp::Unique), series, "integer! float!"},
        {static_cast<int32_t>(SetOp::Union), I(1), "error invalid-arg"},
    };
    for (Row& r : rows) {
        const std::string got = outcome([&] {
            test::StackScope inner;
            stack::g_args.base = stack::push(&numbers);
            stack::push(&r.second);
            typeset::set_op(r.code);
            return text_of(stack::arg(0), Text::MoldOnly);
        });
        EXPECT_EQ(got, r.want) << "code " << r.code;
    }
}

TEST_F(Typeset, ComplementFindAndCompare) {
    const Cell numbers = typeset_of({dt(T::Integer), dt(T::Float)});
    Cell probe = numbers;
    Cell same = typeset_of({dt(T::Float), dt(T::Integer)});
    Cell bigger = typeset_of({dt(T::Float), dt(T::Integer), dt(T::Block)});
    Cell n = I(1);
    using Op = CompareOp;
    const auto slot = registry::row(T::Typeset).compare;
    struct Row {
        Cell* a;
        Op op;
        Cell* b;
        int32_t want;
    } rows[] = {
        {&probe, Op::Equal, &same, 0},       {&probe, Op::StrictEqual, &same, 0},
        {&probe, Op::Same, &same, 0},        {&probe, Op::NotEqual, &bigger, 1},
        {&probe, Op::FindEqual, &bigger, 1}, {&probe, Op::SortCase, &bigger, -1},
        {&bigger, Op::SortStrict, &probe, 1}, {&probe, Op::SortStrict, &same, 0},
        {&probe, Op::Lesser, &bigger, kNotComparable}, {&probe, Op::Equal, &n, kNotComparable},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(slot(r.a, r.b, r.op), r.want) << "op " << static_cast<int>(r.op);
    }
    EXPECT_RAISES(compare::value_compare(&probe, &bigger, Op::Lesser), Err::InvalidCompare);
}

TEST_F(Typeset, MakersAndServices) {
    Cell* b = block::push_new(4);
    typeset::make_all(b);
    const Cell all = *block::rs_abs_at(b, 0);
    EXPECT_FALSE(typeset::has(&all, T::Unset));
    EXPECT_TRUE(typeset::has(&all, T::Datatype));
    EXPECT_EQ(typeset::count(&all), registry::highest_type() - 1);

    typeset::make_at(b, 0x00001000u, 0, 0);  // byte 1, bit 0x10: type 11
    const Cell one = *block::rs_abs_at(b, 1);
    EXPECT_TRUE(typeset::has(&one, T::Integer));
    EXPECT_EQ(typeset::count(&one), 1);

    // A type block: words give their values, a word value adds object!, blocks are skipped.
    Cell quoted = name_word(T::Integer);  // a word whose value is itself a word
    Cell holder = word_of("typeset-test-holder");
    word::set(&holder, &quoted);
    const Cell numbers = typeset_of({dt(T::Integer), dt(T::Float)});
    Cell spec = block_of({name_word(T::String), numbers, holder, block_of({I(1)})});
    typeset::make_from_block(&spec, b);
    EXPECT_EQ(text_of(block::rs_abs_at(b, 2), Text::MoldOnly), "string! integer! float! object!");
    Cell bad = block_of({I(1)});
    EXPECT_RAISES(typeset::make_from_block(&bad, b), Err::InvalidTypeSpec);

    Cell listed = *block::push_new(2);
    Cell ts = *block::rs_abs_at(b, 2);
    typeset::to_block(&ts, &listed);
    ASSERT_EQ(block::rs_length(&listed), 4);
    const char* names[] = {"string!", "integer!", "float!", "object!"};
    for (int i = 0; i < 4; i++) {
        const Cell* w = block::rs_abs_at(&listed, i);
        EXPECT_EQ(cell::type_of(w), T::Word);
        EXPECT_STREQ(symbol::utf8_name(word::symbol_of(w)), names[i]);
    }

    Cell grown = typeset_of({});
    typeset::add(&grown, &numbers);
    Cell block_type = dt(T::Block);
    typeset::add(&grown, &block_type);
    EXPECT_EQ(typeset::count(&grown), 3);
    EXPECT_RAISES(typeset::add(&grown, &holder), Err::InvalidArg);  // its value is a word
    typeset::clear(&grown);
    EXPECT_EQ(typeset::count(&grown), 0);
    EXPECT_EQ(cell::type_of(&grown), T::Typeset);
}

}  // namespace
}  // namespace nuv
