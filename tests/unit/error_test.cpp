// error!: the catalogue built at start-up, make from codes, blocks and strings, the "*** "
// report, mold, path access, comparison, and the error! values that fire makes.
#include "runtime/datatypes/error.h"

#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/frames.h"
#include "runtime/system.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;
using test::int_cell;

class Error : public ::testing::Test {
  protected:
    void SetUp() override {
        object::init();
        error::init();
        system_object::init();
    }
    test::StackScope scope;
};

Cell word_cell(const char* name, T type = T::Word) { return test::loose_word(name, type); }

std::string text_of(const Cell* value, bool mold, bool flat = false) {
    Cell v = *value;
    stack::Mark mark;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    const ActionRow& row = registry::row(cell::type_of(&v));
    if (mold) row.mold(&v, buffer, false, false, flat, nullptr, kNoLimit, 0);
    else row.form(&v, buffer, nullptr, kNoLimit);
    std::string out = string::to_std_utf8(buffer);
    mark.restore();
    return out;
}

// Line n (from 0) of the text.
std::string line(const std::string& text, int n) {
    size_t start = 0;
    for (int i = 0; i < n && start != std::string::npos; i++) {
        start = text.find('\n', start);
        if (start != std::string::npos) start++;
    }
    if (start == std::string::npos) return "";
    return text.substr(start, text.find('\n', start) - start);
}

// make error! from the spec, pushed.
Cell* make_error(const Cell& spec) {
    Cell* result = datatype::push(T::Error);
    Cell s = spec;
    return error::make(result, &s, T::Error);
}

std::string word_name(const Cell* c) {
    return word::is_any_word_type(cell::type_of(c)) ? symbol::utf8_name(c->w2) : "?";
}

// The system object's field by path, as the language reads system/a/b.
Cell* system_path(std::initializer_list<const char*> names) {
    const Cell* at = system_object::get();
    for (const char* n : names) {
        Cell w = word_cell(n);
        at = object::get_by_word(at, &w);
    }
    return const_cast<Cell*>(at);
}

TEST_F(Error, CatalogueHoldsEveryIdAtItsCode) {
    const NodeId cat = system_object::catalog_errors();
    ASSERT_NE(cat, 0u);
    ASSERT_EQ(context::word_count(cat), 10);
#define NUV_CHECK_ID(code, cat, name, word, ...)                                          \
    {                                                                                    \
        const NodeId c = system_object::category(code / 100);                            \
        ASSERT_NE(c, 0u) << word;                                                         \
        EXPECT_EQ(std::string(symbol::utf8_name(context::word_at(c, code % 100 + 2)->w2)), \
                  word);                                                                 \
    }
    NUV_ERROR_IDS(NUV_CHECK_ID)
#undef NUV_CHECK_ID
    EXPECT_EQ(text_of(system_path({"catalog", "errors", "math", "zero-divide"}), false),
              "attempt to divide by zero");
    EXPECT_EQ(integer::get(system_path({"catalog", "errors", "math", "code"})), 400);
    EXPECT_EQ(text_of(system_path({"catalog", "errors", "script", "no-value"}), true),
              "[:arg1 \"has no value\"]");
    EXPECT_EQ(text_of(system_path({"catalog", "errors", "internal", "deprecated"}), true),
              "[arg1 \"is DEPRECATED, please use\" arg2 \"instead\"]");
    EXPECT_EQ(text_of(system_path({"catalog", "errors", "user", "message"}), true), "arg1");
    EXPECT_EQ(context::word_count(system_object::category(6)), 2);  // reserved1: no ids
    EXPECT_EQ(integer::get(system_path({"catalog", "errors", "reserved2", "code"})), 700);
    EXPECT_EQ(text_of(system_path({"standard", "error"}), true, true),
              "make object! [code: none type: none id: none arg1: none arg2: none arg3: none "
              "near: none where: none stack: none files: none]");
    EXPECT_EQ(integer::get(system_path({"state", "stack-trace"})), 1);
    const Cell* global = context::global_slot(words::sym::system);
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->w1, system_object::get()->w1);
}

TEST_F(Error, MakeFromCodesBlocksAndStrings) {
    struct Row {
        const char* what;
        Cell spec;
        const char* want;  // "code type id", or the error raised
    };
    const Cell script_no_value = *test::block_of({word_cell("script"), word_cell("no-value")});
    const std::vector<Row> rows = {
        {"400", int_cell(400), "400 math zero-divide"},
        {"913", int_cell(913), "913 internal deprecated"},
        {"600: a category without ids", int_cell(600), "error out-of-range"},
        {"1000", int_cell(1000), "error out-of-range"},
        {"-1", int_cell(-1), "error out-of-range"},
        {"495", int_cell(495), "error out-of-range"},
        {"[script no-value]", script_no_value, "300 script no-value"},
        {"[Math Overflow]", *test::block_of({word_cell("Math"), word_cell("Overflow")}),
         "401 Math Overflow"},
        {"[script]", *test::block_of({word_cell("script")}), "error invalid-spec-field"},
        {"[nothing here]", *test::block_of({word_cell("nothing"), word_cell("here")}),
         "error invalid-spec-field"},
        {"[script 5]", *test::block_of({word_cell("script"), int_cell(5)}), "error invalid-arg"},
        {"[script nope]", *test::block_of({word_cell("script"), word_cell("nope")}),
         "error invalid-spec-field"},
        {"[script code]", *test::block_of({word_cell("script"), word_cell("code")}),
         "error invalid-spec-field"},
        {"[1 2]", *test::ints({1, 2}), "error invalid-error"},
        {"[]", *block::push_new(1), "error invalid-error"},
        {"[type: 1]", *test::block_of({word_cell("type", T::SetWord), int_cell(1)}),
         "error invalid-spec-field"},
        {"none", *none::shared(), "error bad-make-arg"},
    };
    for (const Row& r : rows) {
        const std::string got = test::outcome([&] {
            Cell* e = make_error(r.spec);
            EXPECT_EQ(cell::type_of(e), T::Error);
            EXPECT_EQ(object::class_of(e), error::kClass);
            return std::to_string(integer::get(error::field(e, error::kCode))) + " " +
                   word_name(error::field(e, error::kType)) + " " +
                   word_name(error::field(e, error::kId));
        });
        EXPECT_EQ(got, r.want) << r.what;
    }
    Cell* user = make_error(*test::text("boom"));
    EXPECT_EQ(word_name(error::field(user, error::kType)), "user");
    EXPECT_EQ(word_name(error::field(user, error::kId)), "message");
    EXPECT_EQ(text_of(error::field(user, error::kArg1), false), "boom");
    EXPECT_EQ(line(text_of(user, false), 0), "*** User Error: boom");
    EXPECT_EQ(line(text_of(user, false), 1), "*** Where: ???");
}

TEST_F(Error, ReportOfAMathError) {
    Cell* e = make_error(int_cell(400));
    EXPECT_EQ(text_of(e, false),
              "*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : unset");
}

TEST_F(Error, ReportFillsArgumentsAndCutsThem) {
    Cell* e = make_error(*test::block_of({word_cell("script"), word_cell("no-value")}));
    error::put_field(e, error::kArg1, word_cell("foo"));
    EXPECT_EQ(line(text_of(e, false), 0), "*** Script Error: foo has no value");

    const std::string long_text(200, 'x');
    Cell* wide = make_error(*test::block_of({word_cell("script"), word_cell("invalid-arg")}));
    error::put_field(wide, error::kArg1, *test::text(long_text));
    error::put_field(wide, error::kWhere, word_cell("f"));
    Cell* near = block::push_new(40);
    for (int i = 0; i < 30; i++) {
        const Cell n = int_cell(1000 + i);
        block::append_cell(near, &n);
    }
    error::put_field(wide, error::kNear, *near);
    const std::string want_arg = "{" + std::string(79, 'x');  // a long string molds in braces
    EXPECT_EQ(text_of(wide, false),
              "*** Script Error: invalid argument: " + want_arg +
                  "\n*** Where: f\n*** Near : 1000 1001 1002 1003 1004 1005 1006 1007 ");

    // Syntax errors form their arguments instead of molding them.
    Cell* syntax = make_error(*test::block_of({word_cell("syntax"), word_cell("bad-header")}));
    error::put_field(syntax, error::kArg1, *test::text("hdr"));
    EXPECT_EQ(line(text_of(syntax, false), 0), "*** Syntax Error: script header is not valid: hdr");
}

TEST_F(Error, ReportStackLineFollowsStackTrace) {
    Cell* e = make_error(int_cell(400));
    error::put_field(e, error::kStack, *test::block_of({word_cell("f"), word_cell("g")}));
    // The level's cell is found again after each report, which may move it.
    integer::set(system_path({"state", "stack-trace"}), 0);
    const std::string without = text_of(e, false);
    EXPECT_EQ(without.find("*** Stack"), std::string::npos);
    integer::set(system_path({"state", "stack-trace"}), 1);
    EXPECT_NE(text_of(e, false).find("\n*** Stack: f g"), std::string::npos);
    // A marker past the frames in use is not walked.
    error::put_field(e, error::kStack, int_cell(500));
    EXPECT_EQ(text_of(e, false), without);
    integer::set(system_path({"state", "stack-trace"}), 0);
    error::put_field(e, error::kFiles, *test::block_of({word_cell("a.nuv")}));
    EXPECT_NE(text_of(e, false).find("\n*** Files: a.nuv"), std::string::npos);
    integer::set(system_path({"state", "stack-trace"}), 1);
}

TEST_F(Error, ReportRewritesUnknownEntriesToInvalidError) {
    struct Row {
        const char* what;
        const char* type;
        const char* id;
        const char* want;
    };
    const Row rows[] = {
        {"unknown category", "nonsense", "zero-divide",
         "*** Internal Error: invalid error object field value: nonsense"},
        {"unknown id", "math", "nonsense",
         "*** Internal Error: invalid error object field value: nonsense"},
    };
    for (const Row& r : rows) {
        Cell* e = make_error(int_cell(400));
        error::put_field(e, error::kType, word_cell(r.type));
        error::put_field(e, error::kId, word_cell(r.id));
        const std::string got = text_of(e, false);
        EXPECT_EQ(line(got, 0), r.want) << r.what;
        EXPECT_EQ(word_name(error::field(e, error::kId)), "invalid-error") << r.what;
    }
    // A user message that is not a string leaves the message out.
    Cell* user = make_error(*test::text("boom"));
    error::put_field(user, error::kArg1, int_cell(3));
    const std::string got = text_of(user, false);
    EXPECT_EQ(line(got, 0), "*** User Error: ");
}

TEST_F(Error, MoldWritesTheFields) {
    Cell* e = make_error(int_cell(400));
    EXPECT_EQ(text_of(e, true, true),
              "make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none "
              "arg3: none near: unset where: none stack: none files: none]");
    const std::string full = text_of(e, true);
    EXPECT_EQ(full.substr(0, 38), "make error! [\n    code: 400\n    type: ");
    EXPECT_EQ(full.substr(full.size() - 17), "    files: none\n]");
}

TEST_F(Error, PathAccessRefusesStack) {
    Cell* e = make_error(int_cell(400));
    Cell path = *none::shared();
    Cell stack_word = word_cell("stack");
    EXPECT_RAISES(error::path_access(e, &stack_word, nullptr, &path, nullptr, nullptr, 0, false,
                                     false, true, false),
                  Err::InvalidPathSet);
    Cell code = word_cell("code");
    const Cell* got = error::path_access(e, &code, nullptr, &path, nullptr, nullptr, 0, false,
                                         false, true, false);
    EXPECT_EQ(integer::get(got), 400);
}

TEST_F(Error, CompareAsObjects) {
    Cell* a = make_error(int_cell(400));
    Cell* b = make_error(int_cell(400));
    Cell* c = make_error(int_cell(401));
    EXPECT_EQ(error::compare(a, b, CompareOp::Equal), 0);
    EXPECT_NE(error::compare(a, c, CompareOp::Equal), 0);
    Cell plain = *system_object::get();
    EXPECT_EQ(error::compare(a, &plain, CompareOp::Equal), kNotComparable);
}

TEST_F(Error, FireMakesAnErrorValue) {
    Cell arg = word_cell("foo");
    EXPECT_RAISES(fire(Err::NoValue, &arg), Err::NoValue);
    const Cell* value = raised_value();
    ASSERT_EQ(cell::type_of(value), T::Error);
    EXPECT_EQ(integer::get(error::field(value, error::kCode)), 300);
    EXPECT_EQ(word_name(error::field(value, error::kArg1)), "foo");
    EXPECT_EQ(raised().argc, 1);
    EXPECT_EQ(std::string(symbol::utf8_name(error::id_of(value))), "no-value");
    EXPECT_EQ(std::string(symbol::utf8_name(error::type_of(value))), "script");

    // With system/catalog/errors no object, the value is made from the runtime's own
    // catalogue; with a category of it gone, making the value fails and the raw record still
    // says what was raised.
    Cell* catalog = system_path({"catalog"});
    Cell* errors = context::write_at(object::context_of(catalog), system_object::kErrors);
    const Cell saved = *errors;
    *errors = *none::shared();
    EXPECT_RAISES(fire(Err::ZeroDivide), Err::ZeroDivide);
    ASSERT_EQ(cell::type_of(raised_value()), T::Error);
    EXPECT_EQ(integer::get(error::field(raised_value(), error::kCode)), 400);
    *errors = saved;
    Cell* math = context::write_at(system_object::catalog_errors(), 4);
    const Cell saved_math = *math;
    *math = *none::shared();
    EXPECT_RAISES(fire(Err::ZeroDivide), Err::ZeroDivide);
    EXPECT_EQ(cell::type_of(raised_value()), T::None);
    *math = saved_math;
    EXPECT_RAISES(fire(Err::ZeroDivide), Err::ZeroDivide);
    EXPECT_EQ(cell::type_of(raised_value()), T::Error);
}

TEST_F(Error, WhereAndStackFilling) {
    Cell* e = make_error(int_cell(400));
    Cell f = word_cell("f");
    Cell g = word_cell("g");
    error::set_where(e, &f);
    error::set_where(e, &g);
    EXPECT_EQ(word_name(error::field(e, error::kWhere)), "f");
    error::put_field(e, error::kStack, int_cell(0));
    error::set_stack(e);
    EXPECT_EQ(text_of(error::field(e, error::kStack), true), "[]");
    Cell arg;
    const Cell caller = frames::caller_word(0, &arg);  // no frame names a function
    EXPECT_EQ(word_name(&caller), "<not-found>");
    EXPECT_EQ(cell::type_of(&arg), T::None);
}

}  // namespace
}  // namespace nuv
