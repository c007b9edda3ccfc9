// unset!, none!, logic! and datatype!: form and mold, comparison, make and to, truth, the logic
// operations and none's empty-series answers, all reached through the dispatch table.
#include "runtime/datatypes/logic.h"

#include <cmath>
#include <optional>
#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

Cell typed(TypeId t, uint32_t w1 = 0, uint32_t w2 = 0) {
    return Cell{static_cast<uint32_t>(t), w1, w2, 0};
}
Cell unset_v() { return typed(TypeId::Unset); }
Cell none_v() { return typed(TypeId::None); }
Cell true_v() { return typed(TypeId::Logic, 1); }
Cell false_v() { return typed(TypeId::Logic, 0); }
Cell type_v(TypeId t) { return typed(TypeId::Datatype, static_cast<uint32_t>(t)); }
Cell int_v(int32_t v) { return typed(TypeId::Integer, 0, static_cast<uint32_t>(v)); }

std::string show(const Cell* c) {
    switch (cell::type_of(c)) {
    case TypeId::Unset: return "unset";
    case TypeId::None: return "none";
    case TypeId::Logic: return c->w1 ? "true" : "false";
    default: return "?";
    }
}

enum class How { Form, Mold, MoldAll };

TEST(Logic, FormAndMoldThroughTheSlots) {
    struct Row {
        Cell value;
        How how;
        const char* want;
    } rows[] = {
        {type_v(TypeId::Block), How::Form, "block"},
        {type_v(TypeId::Block), How::Mold, "block!"},
        {type_v(TypeId::Block), How::MoldAll, "#(block!)"},
        {type_v(TypeId::Integer), How::Form, "integer"},
        {unset_v(), How::Form, ""},
        {unset_v(), How::Mold, "unset"},
        {unset_v(), How::MoldAll, "#(unset)"},
        {none_v(), How::Form, "none"},
        {none_v(), How::Mold, "none"},
        {none_v(), How::MoldAll, "#(none)"},
        {true_v(), How::Form, "true"},
        {false_v(), How::Mold, "false"},
        {true_v(), How::MoldAll, "#(true)"},
        {false_v(), How::MoldAll, "#(false)"},
    };
    for (Row& r : rows) {
        test::StackScope scope;
        Cell* out = stack::reserve();
        string::make_at(out, 16);
        // A budget of 3 shows the slot answers the budget less every character it appended.
        for (int32_t budget : {kNoLimit, 3}) {
            string::reset(out);
            int32_t left = r.how == How::Form
                               ? lookup<&ActionRow::form>(&r.value, ActionId::Form)(&r.value, out, nullptr, budget)
                               : lookup<&ActionRow::mold>(&r.value, ActionId::Mold)(
                                     &r.value, out, false, r.how == How::MoldAll, false, nullptr, budget, 0);
            std::string got = string::to_std_utf8(out);
            EXPECT_EQ(got, r.want) << "type " << type_name(cell::type_of(&r.value)) << " how " << int(r.how);
            EXPECT_EQ(left, budget - static_cast<int32_t>(got.size())) << r.want;
        }
    }
}

TEST(Logic, ValueCompare) {
    using Op = CompareOp;
    struct Row {
        const char* what;
        Cell a;
        Cell b;
        Op op;
        std::optional<bool> want;  // empty: raises invalid-compare
    } rows[] = {
        {"false < true", false_v(), true_v(), Op::Lesser, std::nullopt},
        {"true >= false", true_v(), false_v(), Op::GreaterOrEqual, std::nullopt},
        {"none < none", none_v(), none_v(), Op::Lesser, std::nullopt},
        {"unset > unset", unset_v(), unset_v(), Op::Greater, std::nullopt},
        {"integer! < block!", type_v(TypeId::Integer), type_v(TypeId::Block), Op::Lesser, std::nullopt},
    };
    for (Row& r : rows) {
        if (r.want) {
            EXPECT_EQ(compare::value_compare(&r.a, &r.b, r.op), *r.want) << r.what;
        } else {
            EXPECT_RAISES(compare::value_compare(&r.a, &r.b, r.op), Err::InvalidCompare) << r.what;
            EXPECT_EQ(raised().argc, 2) << r.what;
        }
    }
    Cell a = true_v(), b = false_v();
    EXPECT_RAISES(compare::value_compare(&a, &b, CompareOp::SortCase), Err::InvalidArg);
}

TEST(Logic, LogicSortsFalseFirst) {
    Cell f = false_v(), t = true_v();
    auto cmp = lookup<&ActionRow::compare>(&f, ActionId::Compare);
    for (CompareOp op : {CompareOp::SortCase, CompareOp::SortStrict}) {
        EXPECT_LT(cmp(&f, &t, op), 0);
        EXPECT_GT(cmp(&t, &f, op), 0);
        EXPECT_EQ(cmp(&t, &t, op), 0);
    }
}

TEST(Logic, MakeAndTo) {
    Cell spec = true_v();
    EXPECT_EQ(logic::to(nullptr, &spec, TypeId::Logic), &spec);  // a logic spec is returned as it is
    Cell zero = int_v(0);
    EXPECT_EQ(logic::to(nullptr, &zero, TypeId::Logic), logic::shared(true));
}

TEST(Logic, TruthTest) {
    test::StackScope scope;
    Cell str = typed(TypeId::String);
    Cell* blk = block::push_new(1);
    struct Row {
        const char* what;
        Cell value;
        bool want;
    } rows[] = {
        {"0", int_v(0), true},      {"\"\"", str, true},   {"[]", *blk, true},
        {"unset", unset_v(), true}, {"true", true_v(), true}, {"none", none_v(), false},
        {"false", false_v(), false},
    };
    for (Row& r : rows) {
        EXPECT_EQ(logic::value_is_true(&r.value, false, nullptr), r.want) << r.what;
        Cell opposite = r.want ? none_v() : true_v();
        stack::push(&opposite);
        stack::g_args.base = stack::push(&r.value);
        EXPECT_EQ(logic::result_is_false(), !r.want) << r.what;
        if (!cell::is(&r.value, TypeId::Unset)) {
            EXPECT_EQ(logic::result_is_true(), r.want) << r.what;
        }
        EXPECT_EQ(logic::stack_top_is_false(), !r.want) << r.what;  // the last pushed value
        stack::g_args.top = stack::g_args.base;  // top at the base: the cell there, not below
        EXPECT_EQ(logic::stack_top_is_false(), !r.want) << r.what;
        EXPECT_EQ(logic::stack_top_is_true(), r.want) << r.what;
    }
    Cell u = unset_v();
    Cell word = typed(TypeId::Word, 0, 9);
    EXPECT_RAISES(logic::value_is_true(&u, true, &word), Err::NoValue);
    EXPECT_EQ(raised().args[0].w2, 9u);
    stack::g_args.base = stack::push(&u);
    EXPECT_RAISES(logic::result_is_true(), Err::NoReturn);
}

TEST(Logic, LogicOperations) {
    const ActionRow& row = registry::row(TypeId::Logic);
    test::StackScope scope;
    stack::g_args.base = logic::push(true);
    Cell one = int_v(1);
    stack::push(&one);
    EXPECT_RAISES(row.and_(), Err::ExpectArg);
    EXPECT_EQ(raised().args[1].w1, static_cast<uint32_t>(TypeId::Integer));

    // Seeding leaves unset!; a seeded run of draws repeats and holds both outcomes.
    std::string runs[2];
    for (std::string& run : runs) {
        Cell v = true_v();
        row.random(&v, true, false, false);
        EXPECT_EQ(show(&v), "unset");
        for (int i = 0; i < 64; i++) {
            v = false_v();
            run += show(row.random(&v, false, false, false));
        }
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0].find("true"), std::string::npos);
    EXPECT_NE(runs[0].find("false"), std::string::npos);
    Cell v = true_v();
    EXPECT_EQ(cell::type_of(row.random(&v, false, true, false)), TypeId::Logic);
}

TEST(Logic, NoneAnswersTheEmptySeriesActions) {
    test::StackScope scope;
    Cell* n = none::push();
    stack::g_args.base = n;
    const ActionRow& row = registry::row(TypeId::None);
    Cell one = int_v(1);
    EXPECT_EQ(row.length_q(n), -1);
    EXPECT_EQ(row.find(n, &one, nullptr, false, false, false, false, nullptr, nullptr, false, false,
                       false, false), none::shared());
    EXPECT_EQ(row.select(n, &one, nullptr, false, false, false, false, nullptr, nullptr, false, false),
              none::shared());
    EXPECT_EQ(row.take(n, nullptr, false, false), none::shared());
    EXPECT_EQ(row.remove(n, nullptr, nullptr), none::shared());
    row.clear(n);
    EXPECT_EQ(show(stack::arg(0)), "none");
}

TEST(Logic, MakersWriteWhereTheySay) {
    test::StackScope scope;
    Cell* blk = block::push_new(1);
    stack::g_args.base = stack::push(blk);
    unset::make_in(blk);
    none::make_in(blk);
    logic::make_in(blk, true);
    datatype::make_in(blk, TypeId::Pair);
    const char* want[] = {"unset", "none", "true"};
    for (int i = 0; i < 3; i++) EXPECT_EQ(show(block::rs_abs_at(blk, i)), want[i]) << i;
    EXPECT_EQ(block::rs_abs_at(blk, 3)->w1, static_cast<uint32_t>(TypeId::Pair));
    EXPECT_EQ(block::rs_length(blk), 4);

    struct Row {
        Cell* (*make)();
        const char* want;
    } rows[] = {
        {[] { return unset::push(); }, "unset"},
        {[] { return none::push(); }, "none"},
        {[] { return logic::push(false); }, "false"},
        {[] { return unset::set_result(); }, "unset"},
        {[] { return none::set_result(); }, "none"},
        {[] { return logic::box(true); }, "true"},
    };
    for (const Row& r : rows) {
        Cell* c = r.make();
        EXPECT_EQ(show(c), r.want);
    }
    EXPECT_EQ(show(stack::arg(0)), "true");
    EXPECT_EQ(show(unset::shared()), "unset");
    EXPECT_EQ(show(none::shared()), "none");
    EXPECT_EQ(show(logic::shared(true)), "true");
    EXPECT_EQ(show(logic::shared(false)), "false");
    EXPECT_EQ(datatype::push(TypeId::Logic)->w1, static_cast<uint32_t>(TypeId::Logic));
}

}  // namespace
}  // namespace nuv
