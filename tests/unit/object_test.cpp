// object!: the makers runtime code builds objects with, make from objects and blocks, the
// text forms, path access, comparison, reflection, copying, select and put, setting many
// fields, construct, the change-notice record and the notices that reach it.
#include "runtime/datatypes/object.h"

#include <string>
#include <utility>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/ownership.h"
#include "runtime/system.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;
using test::int_cell;
using Fields = std::initializer_list<std::pair<const char*, Cell>>;

// The modules this file tests, started as runtime-init starts them (again, where it already
// has). Other tests may have replaced the ownership notice handler: init installs it again.
void start_objects() {
    object::init();
    error::init();
    system_object::init();
}

class Object : public ::testing::Test {
  protected:
    void SetUp() override { start_objects(); }
    test::StackScope scope;
};

// A new object of a new class with the fields, pushed.
Cell* make_object(Fields fields) {
    Cell* o = object::make_empty(stack::reserve(), static_cast<int32_t>(fields.size()));
    for (const auto& [name, value] : fields) object::add_field(o, name, &value);
    o->w2 = static_cast<uint32_t>(object::new_class());
    object::finalize(o, object::context_of(o));
    return o;
}

Cell word_cell(const char* name, T type = T::Word) { return test::loose_word(name, type); }
Cell none_cell() { return *none::shared(); }
Cell str(const char* s) { return *test::text(s); }

enum class How { Mold, Flat, All, Only, Form };
std::string text_of(const Cell* value, How how) {
    Cell v = *value;
    stack::Mark mark;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    const ActionRow& row = registry::row(cell::type_of(&v));
    if (how == How::Form) row.form(&v, buffer, nullptr, kNoLimit);
    else
        row.mold(&v, buffer, how == How::Only, how == How::All, how == How::Flat, nullptr,
                 kNoLimit, 0);
    std::string out = string::to_std_utf8(buffer);
    mark.restore();
    return out;
}

// A function! cell in the function layout: a context from the spec, the spec, an information
// block whose first cell is the body.
Cell fake_function(Cell* spec, Cell* body = nullptr) {
    const NodeId ctx = context::make_from_spec(spec, true, false, context::Kind::Function);
    Cell* info = block::push_new(5);
    block::append_cell(info, body ? body : block::push_new(1));
    for (int k = 1; k < 5; k++) block::append_cell(info, unset::shared());
    const Cell fn{static_cast<uint32_t>(T::Function), ctx, cell::node(spec), cell::node(info)};
    *context::owner(ctx) = fn;
    return fn;
}

const Cell* field_of(const Cell* object, const char* name) {
    Cell w = word_cell(name);
    return object::get_by_word(object, &w);
}

TEST_F(Object, MoldIndentsFourSpacesPerLevelAndFlatIsOneLine) {
    Cell inner = *make_object({{"c", int_cell(3)}, {"d", word_cell("x")}});
    Cell* outer = make_object({{"a", int_cell(1)}, {"b", inner}, {"s", str("hi")}});
    EXPECT_EQ(text_of(outer, How::Mold),
              "make object! [\n"
              "    a: 1\n"
              "    b: make object! [\n"
              "        c: 3\n"
              "        d: 'x\n"
              "    ]\n"
              "    s: \"hi\"\n"
              "]");
    EXPECT_EQ(text_of(outer, How::Flat),
              "make object! [a: 1 b: make object! [c: 3 d: 'x] s: \"hi\"]");
    EXPECT_EQ(text_of(outer, How::Form),
              "a: 1\nb: make object! [\n    c: 3\n    d: 'x\n]\ns: \"hi\"");
    EXPECT_EQ(text_of(&inner, How::Only), "    c: 3\n    d: 'x\n");
}

TEST_F(Object, HandlersAreMoldedOnlyWithAll) {
    // Made field by field, without the record that would want functions in the handlers.
    Cell* o = object::make_empty(stack::reserve(), 2);
    const Cell one = int_cell(1);
    object::add_field(o, "a", &one);
    object::add_field(o, "on-change*", &one);
    EXPECT_EQ(text_of(o, How::Flat), "make object! [a: 1]");
    EXPECT_EQ(text_of(o, How::Form), "a: 1");
    EXPECT_EQ(text_of(o, How::All), "make object! [\n    a: 1\n    on-change*: 1\n]");
}

TEST_F(Object, SelfContainingObjectsAreWrittenWithMarkers) {
    Cell* o = make_object({{"me", none_cell()}});
    object::add_field(o, "me", o);
    EXPECT_EQ(text_of(o, How::Flat), "make object! [me: make object! [...]]");
    EXPECT_EQ(text_of(o, How::Form), "me: ...");
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Object, MakeFromObjectsKeepsOrRenewsTheClass) {
    Cell* proto = make_object({{"a", int_cell(1)}, {"b", str("text")}});
    Cell* same_fields = make_object({{"a", int_cell(5)}});
    Cell* more_fields = make_object({{"z", int_cell(9)}});

    Cell* derived = stack::push(proto);
    object::make(derived, same_fields, T::Object);
    EXPECT_EQ(object::class_of(derived), object::class_of(proto));
    EXPECT_EQ(integer::get(field_of(derived, "a")), 5);
    EXPECT_EQ(integer::get(field_of(proto, "a")), 1);
    // The prototype's series are copied, not shared.
    EXPECT_NE(cell::node(field_of(derived, "b")), cell::node(field_of(proto, "b")));

    Cell* grown = stack::push(proto);
    object::make(grown, more_fields, T::Object);
    EXPECT_NE(object::class_of(grown), object::class_of(proto));
    EXPECT_EQ(object::word_count(grown), 3);

    Cell* empty = datatype::push(T::Object);
    Cell* spec = block::push_new(1);
    object::make(empty, spec, T::Object);
    EXPECT_EQ(cell::type_of(empty), T::Object);
    EXPECT_EQ(object::word_count(empty), 0);
    EXPECT_GT(object::class_of(empty), object::kFirstClass);
}

TEST_F(Object, MakeRefusesBadSpecsAndHandlers) {
    struct Row {
        const char* what;
        Cell spec;
        Err want;
    };
    Cell handler_int = *object::make_empty(stack::reserve(), 1);
    const Cell one = int_cell(1);
    object::add_field(&handler_int, "on-change*", &one);
    const std::vector<Row> rows = {
        {"integer spec", int_cell(3), Err::Malconstruct},
        {"on-change* holding an integer", handler_int, Err::BadFieldSet},
    };
    for (const Row& r : rows) {
        Cell* proto = datatype::push(T::Object);
        Cell spec = r.spec;
        EXPECT_EQ(err_word(test::raised_by([&] { object::make(proto, &spec, T::Object); })),
                  err_word(r.want))
            << r.what;
    }
}

TEST_F(Object, MakeFromABlockCollectsBindsAndEvaluatesItsSetWords) {
    Cell a = word_cell("a", T::SetWord);
    Cell ref = word_cell("a");
    Cell* spec = test::block_of({a, int_cell(1), ref});
    Cell* proto = datatype::push(T::Object);
    object::make(proto, spec, T::Object);
    const Cell bound = block::at(cell::node(spec), 2);
    EXPECT_EQ(bound.w1, object::context_of(proto));
    EXPECT_EQ(word::index_of(&bound), 0);
    EXPECT_EQ(cell::get_int(field_of(proto, "a")), 1);
}

TEST_F(Object, PathAccessReadsSetsAndRefuses) {
    Cell* o = make_object({{"a", int_cell(1)}, {"u", *unset::shared()}});
    Cell path = none_cell();
    struct Row {
        const char* element;
        T type;
        bool get, last;
        const char* want;
    };
    const Row rows[] = {
        {"a", T::Word, false, true, "1"},
        {"A", T::GetWord, false, false, "1"},
        {"missing", T::Word, false, true, "error invalid-path"},
        {"missing", T::Word, false, false, "error unset-path"},
        {"missing", T::Word, true, true, "unset"},
        {"u", T::Word, false, false, "error unset-path"},
    };
    for (const Row& r : rows) {
        Cell element = word_cell(r.element, r.type);
        const std::string got = test::outcome([&] {
            const Cell* v = object::path_access(o, &element, nullptr, &path, nullptr, nullptr, 0,
                                                false, r.get, r.last, false);
            return text_of(v, How::Mold);
        });
        EXPECT_EQ(got, r.want) << r.element << " get " << r.get << " last " << r.last;
    }
    Cell element = int_cell(1);
    EXPECT_RAISES(object::path_access(o, &element, nullptr, &path, nullptr, nullptr, 0, false,
                                      false, true, false),
                  Err::InvalidPath);

    Cell a = word_cell("a");
    Cell seven = int_cell(7);
    object::path_access(o, &a, &seven, &path, nullptr, nullptr, 0, false, false, true, false);
    EXPECT_EQ(integer::get(field_of(o, "a")), 7);
    Cell self = word_cell("self");
    EXPECT_RAISES(object::path_access(o, &self, &seven, &path, nullptr, nullptr, 0, false, false,
                                      true, false),
                  Err::InvalidPath);
}

TEST_F(Object, ReflectAnswersEachField) {
    Cell* o = make_object({{"a", word_cell("x")}, {"b", int_cell(2)}});
    auto reflect = [&](const char* name) {
        stack::Mark mark;
        Cell* base = stack::push(o);
        stack::g_args.base = base;
        object::reflect(base, symbol::make_cstr(name));
        const Cell got = *base;
        mark.restore();
        return got;
    };
    Cell changed = reflect("changed");
    EXPECT_EQ(block::rs_length(&changed), 0);
    Cell b = word_cell("b");
    Cell three = int_cell(3);
    Cell path = none_cell();
    object::path_access(o, &b, &three, &path, nullptr, nullptr, 0, false, false, true, false);
    changed = reflect("changed");
    EXPECT_EQ(text_of(&changed, How::Mold), "[b]");
    Cell words = reflect("words");
    EXPECT_EQ(text_of(&words, How::Mold), "[a b]");
    EXPECT_EQ(block::rs_head(&words)->w1, object::context_of(o));
    Cell values = reflect("values");
    EXPECT_EQ(text_of(&values, How::Mold), "[x 3]");
    Cell body = reflect("body");
    EXPECT_EQ(text_of(&body, How::Mold), "[\n    a: 'x\n    b: 3\n]");
    Cell cls = reflect("class");
    EXPECT_EQ(integer::get(&cls), object::class_of(o));
    Cell events = reflect("events?");
    EXPECT_FALSE(logic::get(&events));
    Cell owner = reflect("owner");
    EXPECT_FALSE(logic::get(&owner));
    EXPECT_RAISES(reflect("spec"), Err::NotDone);
}

TEST_F(Object, CompareByFieldsAndTerminatesOnMutualContainment) {
    Cell* a = make_object({{"x", int_cell(1)}, {"y", str("s")}});
    Cell* b = make_object({{"x", int_cell(1)}, {"y", str("S")}});
    Cell* c = make_object({{"x", int_cell(2)}, {"y", str("s")}});
    Cell* d = make_object({{"x", int_cell(1)}});
    EXPECT_EQ(object::compare(a, b, CompareOp::Equal), 0);
    EXPECT_NE(object::compare(a, b, CompareOp::StrictEqual), 0);
    EXPECT_NE(object::compare(a, c, CompareOp::Equal), 0);
    EXPECT_EQ(object::compare(a, d, CompareOp::Equal), 1);
    EXPECT_EQ(object::compare(a, a, CompareOp::Same), 0);
    EXPECT_EQ(object::compare(a, b, CompareOp::Same), -1);
    Cell i = int_cell(1);
    EXPECT_EQ(object::compare(a, &i, CompareOp::Equal), kNotComparable);

    Cell* p = make_object({{"other", none_cell()}});
    Cell* q = make_object({{"other", none_cell()}});
    object::add_field(p, "other", q);
    object::add_field(q, "other", p);
    EXPECT_EQ(object::compare(p, q, CompareOp::Equal), 0);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Object, CopyClonesSeriesAndRefusesPart) {
    Cell* inner = test::ints({1, 2});
    Cell* nested = test::block_of({*inner});
    Cell* o = make_object({{"b", *nested}, {"n", int_cell(4)}});
    Cell* shallow = stack::push(none::shared());
    object::copy(o, shallow, nullptr, false, nullptr);
    EXPECT_EQ(object::class_of(shallow), object::class_of(o));
    EXPECT_NE(cell::node(field_of(shallow, "b")), cell::node(nested));
    EXPECT_EQ(block::rs_abs_at(field_of(shallow, "b"), 0)->w2, cell::node(inner));
    Cell* deep = stack::push(none::shared());
    object::copy(o, deep, nullptr, true, nullptr);
    EXPECT_NE(block::rs_abs_at(field_of(deep, "b"), 0)->w2, cell::node(inner));
    EXPECT_EQ(text_of(deep, How::Flat), text_of(o, How::Flat));
    Cell part = int_cell(1);
    EXPECT_RAISES(object::copy(o, deep, &part, false, nullptr), Err::InvalidRefineArg);
}

TEST_F(Object, CopyRemakesFunctionsOverTheCopy) {
    Cell* spec = test::block_of({word_cell("x")});
    Cell* body = test::block_of({word_cell("a"), word_cell("x")});
    Cell fn = fake_function(spec, body);
    Cell* o = make_object({{"a", int_cell(1)}, {"f", fn}});
    Cell* twin = stack::push(none::shared());
    object::copy(o, twin, nullptr, false, nullptr);
    const Cell made = *field_of(twin, "f");
    ASSERT_EQ(cell::type_of(&made), T::Function);
    EXPECT_EQ(made.w2, fn.w2);  // the same spec
    EXPECT_NE(made.w1, fn.w1);
    EXPECT_EQ(context::owner(made.w1)->w3, made.w3);
    const Cell copied_body = block::at(made.w3, 0);
    EXPECT_NE(cell::node(&copied_body), cell::node(body));
    // Fields bind to the copy, arguments to the new function's own context.
    const Cell a = block::at(cell::node(&copied_body), 0);
    const Cell x = block::at(cell::node(&copied_body), 1);
    EXPECT_EQ(a.w1, object::context_of(twin));
    EXPECT_EQ(x.w1, made.w1);

    const Cell no_body{static_cast<uint32_t>(T::Function), fn.w1, fn.w2, 0};
    Cell* bodiless = make_object({{"f", no_body}});
    EXPECT_RAISES(object::copy(bodiless, twin, nullptr, false, nullptr), Err::BadFuncDef);
}

TEST_F(Object, SelectAndPut) {
    Cell* o = make_object({{"a", int_cell(1)}});
    Cell a = word_cell("A", T::LitWord);
    Cell missing = word_cell("zz");
    EXPECT_EQ(integer::get(object::select(o, &a, nullptr, false, false, false, false, nullptr,
                                          nullptr, false, false)),
              1);
    EXPECT_TRUE(cell::is(object::select(o, &missing, nullptr, false, false, false, false, nullptr,
                                        nullptr, false, false),
                         T::None));
    Cell key = int_cell(1);
    EXPECT_RAISES(object::select(o, &key, nullptr, false, false, false, false, nullptr, nullptr,
                                 false, false),
                  Err::InvalidType);
    Cell five = int_cell(5);
    Cell plain_a = word_cell("a");
    object::put(o, &plain_a, &five, false);
    EXPECT_EQ(integer::get(field_of(o, "a")), 5);
    EXPECT_RAISES(object::put(o, &a, &five, false), Err::InvalidKeyType);
    EXPECT_RAISES(object::put(o, &missing, &five, false), Err::InvalidPath);
}

TEST_F(Object, SetManyFillsFieldsByRule) {
    struct Row {
        const char* what;
        Cell value;
        bool any, only, some;
        const char* want;  // the fields molded flat, or the error
    };
    Cell* short_block = test::ints({7});
    Cell* with_none = test::block_of({none_cell(), int_cell(8), int_cell(9)});
    Cell* source = make_object({{"c", int_cell(30)}, {"a", int_cell(10)}});
    const Row rows[] = {
        {"a shorter block leaves none past its end", *short_block, false, false, false,
         "a: 7 b: none c: none"},
        {"some keeps the fields a none would clear", *with_none, false, false, true,
         "a: 1 b: 8 c: 9"},
        {"only sets every field to the block", *short_block, false, true, false,
         "a: [7] b: [7] c: [7]"},
        {"an object gives the fields of the same name", *source, false, false, false,
         "a: 10 b: 2 c: 30"},
        {"a value goes to every field", int_cell(0), false, false, false, "a: 0 b: 0 c: 0"},
        {"unset needs any", *unset::shared(), false, false, false, "error need-value"},
        {"unset with any", *unset::shared(), true, false, false, "a: unset b: unset c: unset"},
    };
    for (const Row& r : rows) {
        Cell* o = make_object({{"a", int_cell(1)}, {"b", int_cell(2)}, {"c", int_cell(3)}});
        const std::string got = test::outcome([&] {
            object::set_many(o, &r.value, r.any, r.only, r.some);
            std::string text = text_of(o, How::Flat);
            return text.substr(14, text.size() - 15);
        });
        EXPECT_EQ(got, r.want) << r.what;
    }
}

TEST_F(Object, ConstructSharesValuesAcrossRunsOfSetWords) {
    Cell* spec = test::block_of({word_cell("a", T::SetWord), word_cell("b", T::SetWord),
                                 int_cell(1), word_cell("c", T::SetWord), word_cell("yes"),
                                 word_cell("d", T::SetWord), word_cell("none"),
                                 word_cell("e", T::SetWord)});
    Cell* made = stack::push(none::shared());
    object::construct(made, spec, nullptr, false);
    EXPECT_EQ(text_of(made, How::Flat), "make object! [a: 1 b: 1 c: true d: none e: none]");
    Cell* kept = stack::push(none::shared());
    object::construct(kept, spec, nullptr, true);
    EXPECT_EQ(text_of(kept, How::Flat), "make object! [a: 1 b: 1 c: 'yes d: 'none e: none]");
}

TEST_F(Object, RecordHoldsHandlerIndexesAndLocalCounts) {
    Cell* spec = test::block_of({word_cell("w"), word_cell("local", T::Refinement),
                                 word_cell("x"), word_cell("y")});
    Cell handler = fake_function(spec);
    Cell* o = make_object({{"a", int_cell(1)}, {"on-deep-change*", handler}});
    ASSERT_NE(object::record_of(o), 0u);
    const Cell change = block::at(object::record_of(o), object::kOnChange);
    const Cell deep = block::at(object::record_of(o), object::kOnDeepChange);
    EXPECT_EQ(static_cast<int16_t>(change.w2 >> 16), -1);
    EXPECT_EQ(static_cast<int16_t>(deep.w2 >> 16), 1);
    EXPECT_EQ(deep.w2 & 0xFFFF, 3u);
    EXPECT_EQ(deep.w3, cell::node(spec));
    // An on-deep-change* handler makes the object owner of its series.
    EXPECT_TRUE(context::cell_of(object::context_of(o))->header & ownership::kContextOwner);
}

TEST_F(Object, ChangeNoticesReachTheHandlers) {
    Cell* spec = test::block_of({word_cell("w")});
    Cell handler = fake_function(spec);
    Cell* list = test::ints({1});
    Cell* o = make_object({{"list", *list}, {"on-deep-change*", handler}, {"on-change*", handler}});
    // The handlers run and the changes stand (what they receive is checked where code
    // defines them).
    Cell two = int_cell(2);
    block::insert(list, &two, -1, false, 1, true);
    EXPECT_EQ(block::count(cell::node(list)), 2);
    Cell path = none_cell();
    Cell a = word_cell("list");
    object::path_access(o, &a, &two, &path, nullptr, nullptr, 0, false, false, true, false);
    EXPECT_EQ(cell::get_int(field_of(o, "list")), 2);
    // A handler field that no longer holds a function when a notice is due.
    object::add_field(o, "on-change*", &two);
    EXPECT_RAISES(object::path_access(o, &a, &two, &path, nullptr, nullptr, 0, false, false, true,
                                      false),
                  Err::InvalidObjEvt);
    Cell* plain = make_object({{"x", int_cell(1)}});
    Cell none = none_cell();
    EXPECT_RAISES(object::fire_on_deep_change(plain, &a, list, &words::w::append, &none, 0, 1),
                  Err::InvalidObjEvt);
}

TEST_F(Object, ModifyClearsChangedMarksAndOwnership) {
    Cell* list = test::ints({1});
    Cell* o = make_object({{"list", *list}});
    Cell owner = word_cell("owner");
    Cell none = none_cell();
    object::modify(o, &owner, &none, false);
    EXPECT_NE(ownership::owner_of(list), nullptr);
    Cell owned = word_cell("owned");
    object::modify(o, &owned, &none, false);
    EXPECT_EQ(ownership::owner_of(list), nullptr);
    Cell changed = word_cell("changed");
    object::add_field(o, "list", &none);
    context::word_at(object::context_of(o), 0)->header |= cell::kCompiledSet;
    object::modify(o, &changed, &none, false);
    EXPECT_FALSE(context::word_at(object::context_of(o), 0)->header & cell::kCompiledSet);
    Cell one = int_cell(1);
    EXPECT_RAISES(object::modify(o, &changed, &one, false), Err::InvalidArg);
}

TEST_F(Object, MoreThanTheFieldLimitRaisesLimitHit) {
    EXPECT_RAISES(object::make_empty(stack::reserve(), object::kMaxFields + 1), Err::LimitHit);
}

// Builds the fields one by one up to the limit: many symbols, so it runs once, without stress.
TEST_F(Object, ScaleFieldLimit) {
    Cell* o = object::make_empty(stack::reserve(), 16);
    Cell none = none_cell();
    for (int32_t i = 0; i < object::kMaxFields; i++)
        object::add_field(o, ("f" + std::to_string(i)).c_str(), &none);
    EXPECT_EQ(object::word_count(o), object::kMaxFields);
    EXPECT_RAISES(object::add_field(o, "one-more", &none), Err::LimitHit);
    Cell* spec = test::block_of({word_cell("one-more", T::SetWord), int_cell(1)});
    Cell* derived = stack::push(o);
    EXPECT_RAISES(object::make(derived, spec, T::Object), Err::LimitHit);
}

}  // namespace
}  // namespace nuv
