// The path family and paren!: form and mold syntax, make and to, the slots they take and
// refuse, and the push-copy helpers. Values are written in block_actions_test.cpp's notation.
#include "runtime/datatypes/path.h"

#include <optional>
#include <string>

#include "runtime/compare.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "tests/unit/support.h"

namespace nuv::test {
struct MoldFlags {
    bool only = false;
    bool all = false;
    bool flat = false;
};
Cell* read_block(const char* text);
Cell read_value(const char* text);
std::string mold_text(const Cell& value, MoldFlags f, bool form, std::optional<int32_t> part,
                      int32_t* left);
}  // namespace nuv::test

namespace nuv {
namespace {

using T = TypeId;
using test::int_cell;
using test::read_value;

std::string mold_of(const Cell& v, bool form = false) { return test::mold_text(v, {}, form, {}, nullptr); }

class PathTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(cycles::depth(), 0); }
    test::StackScope scope;
};

TEST_F(PathTest, PathsMoldWithTheirSigilsAndFormAlike) {
    struct Row {
        const char* value;
        const char* molded;
        const char* formed;
    } rows[] = {
        {"a/b", "a/b", "a/b"},       {"'a/b", "'a/b", "a/b"},     {"a/b:", "a/b:", "a/b"},
        {":a/b", ":a/b", "a/b"},     {"a/b/c", "a/b/c", "a/b/c"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell v = read_value(r.value);
        EXPECT_EQ(mold_of(v), r.molded) << r.value;
        EXPECT_EQ(mold_of(v, true), r.formed) << r.value;
    }
    // Elements that are not words keep their own syntax; each "/" and sigil costs one unit.
    Cell path = read_value("a/b");
    block::append_cell(&path, test::read_block("1 \"s\""));
    int32_t left = 0;
    EXPECT_EQ(test::mold_text(path, {}, false, 100, &left), "a/b/[1 \"s\"]");
    EXPECT_EQ(left, 100 - 11);
    Cell set_path = read_value("x/y:");
    test::mold_text(set_path, {}, false, 100, &left);
    EXPECT_EQ(left, 100 - 4);
}

TEST_F(PathTest, AParenMoldsWithParenthesesAndTheBlockLayout) {
    EXPECT_EQ(mold_of(read_value("(1 [2])")), "(1 [2])");
    EXPECT_EQ(mold_of(read_value("(\n1 2)")), "(\n    1 2\n)");
    EXPECT_EQ(mold_of(read_value("(1 (2))"), true), "1 2");
    EXPECT_EQ(test::mold_text(read_value("(1 (2))"), {.only = true}, false, {}, nullptr), "1 (2)");
}

TEST_F(PathTest, APathHoldingItselfMoldsAMarker) {
    Cell path = read_value("a/b");
    block::append_cell(&path, &path);
    EXPECT_EQ(mold_of(path), "a/b/...");
    EXPECT_EQ(mold_of(path, true), "a/b/...");
}

TEST_F(PathTest, MakeAndToGiveTheTargetType) {
    const Cell object{static_cast<uint32_t>(T::Object), 0, 0, 0};
    struct Row {
        bool to;
        std::optional<Cell> given;  // a value the notation cannot write
        const char* spec;
        TypeId type;
        const char* want;
        int32_t room;  // cells of room at least, for an empty result
    } rows[] = {
        {false, {}, "0", T::Path, "", 1},
        {false, {}, "3", T::SetPath, ":", 3},
        {false, {}, "[a b]", T::Path, "a/b", 0},
        {false, {}, "(a b)", T::GetPath, ":a/b", 0},
        {false, {}, "x/y", T::LitPath, "'x/y", 0},
        {false, {}, "\"x\"", T::Path, "error bad-make-arg", 0},
        {false, object, "", T::Path, "error bad-make-arg", 0},
        {true, {}, "[a b]", T::Path, "a/b", 0},
        {true, {}, "a", T::Path, "a", 0},
        {true, object, "", T::Path, "length 1", 0},
        {true, {}, "\"a b c\"", T::Path, "a/b/c", 0},
        {true, {}, "\"a b\"", T::GetPath, ":a/b", 0},
        {true, {}, "\"\"", T::Path, "", 0},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell spec = r.given ? *r.given : read_value(r.spec);
        Cell* proto = stack::push(&spec);
        std::string got;
        try {
            auto fn = r.to ? registry::row(r.type).to : registry::row(r.type).make;
            Cell* made = fn(proto, &spec, r.type);
            EXPECT_EQ(cell::type_of(made), r.type) << r.spec;
            got = cell::is(&spec, T::Object) ? "length " + std::to_string(block::rs_length(made))
                                             : mold_of(*made);
            EXPECT_GE(memory::buf_of(made)->size, r.room * sizeof(Cell)) << r.spec;
        } catch (const Unwind&) {
            got = std::string("error ") + err_word(raised().id);
        }
        EXPECT_EQ(got, r.want) << (r.to ? "to " : "make ") << type_name(r.type) << " " << r.spec;
    }
    // A float size is truncated.
    Cell size{};
    cell::set_header(&size, T::Float);
    cell::set_double(&size, 2.9);
    Cell* made = stack::push(&size);
    path::make(made, &size, T::Path);
    EXPECT_EQ(memory::buf_of(made)->size, 2 * sizeof(Cell));
}

TEST_F(PathTest, PathsRefuseReorderingWhileParensTakeEveryBlockSlot) {
    const ActionRow& block_row = registry::row(T::Block);
    for (TypeId t : {T::Path, T::LitPath, T::SetPath, T::GetPath}) {
        const ActionRow& row = registry::row(t);
        EXPECT_EQ(row.sort, nullptr) << type_name(t);
        EXPECT_EQ(row.random, nullptr) << type_name(t);
        EXPECT_EQ(row.trim, nullptr) << type_name(t);
        EXPECT_EQ(row.find, block_row.find) << type_name(t);
        EXPECT_EQ(row.make, &path::make) << type_name(t);
        EXPECT_EQ(row.mold, &path::mold) << type_name(t);
    }
    const ActionRow& paren = registry::row(T::Paren);
    EXPECT_EQ(paren.sort, block_row.sort);
    EXPECT_EQ(paren.random, block_row.random);
    EXPECT_EQ(paren.trim, block_row.trim);
    EXPECT_EQ(paren.form, block_row.form);
    EXPECT_EQ(paren.mold, &path::paren_mold);

    Cell path = read_value("b/a");
    EXPECT_RAISES(lookup<&ActionRow::sort>(&path, ActionId::Sort), Err::ExpectArg);
    Cell paren_value = read_value("(3 1 2)");
    lookup<&ActionRow::sort>(&paren_value, ActionId::Sort)(&paren_value, false, nullptr, nullptr,
                                                           nullptr, false, false, false);
    EXPECT_EQ(mold_of(paren_value), "(1 2 3)");
}

TEST_F(PathTest, CopiesAndComparisonsKeepThePathType) {
    Cell path = read_value("'a/b/c");
    cell::set_head(&path, 1);
    Cell copy{};
    registry::row(T::LitPath).copy(&path, &copy, nullptr, false, nullptr);
    EXPECT_EQ(mold_of(copy), "'b/c");
    Cell plain = read_value("a/b/c");
    Cell lit = read_value("'a/b/c");
    EXPECT_TRUE(compare::value_compare(&plain, &lit, CompareOp::Words));
    EXPECT_FALSE(compare::value_compare(&plain, &lit, CompareOp::StrictEqual));
}

TEST_F(PathTest, PushCopyRetypesOnlyTheCopy) {
    Cell value = read_value("a/b:");
    value.header |= cell::kNewLine;
    const uint32_t header = value.header;
    for (TypeId t : {T::Path, T::LitPath, T::SetPath, T::GetPath, T::Paren}) {
        Cell* pushed = path::push_copy(&value, t);
        EXPECT_EQ(pushed->header, static_cast<uint32_t>(t));
        EXPECT_EQ(cell::node(pushed), cell::node(&value));
        EXPECT_EQ(value.header, header);
    }
    Cell made{};
    path::make_at(&made, 4);
    EXPECT_EQ(made.header, static_cast<uint32_t>(T::Path));
    EXPECT_EQ(block::rs_length(&made), 0);
}

}  // namespace
}  // namespace nuv
