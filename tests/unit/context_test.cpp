// Contexts: making from specs, finding and adding words, reading and writing values (global,
// function and object contexts), binding blocks.
#include "runtime/datatypes/context.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::block_of;
using test::int_cell;
using test::loose_word;

std::string name_of(const Cell* word) { return symbol::utf8_name(word->w2); }

std::string words_of(NodeId ctx) {
    std::string out;
    for (int32_t i = 0; i < context::word_count(ctx); i++) {
        if (i) out += ' ';
        out += name_of(context::word_at(ctx, i));
    }
    return out;
}

class ContextTest : public ::testing::Test {
  protected:
    test::StackScope scope;
};

TEST_F(ContextTest, SpecGivesOneWordPerName) {
    struct Row {
        std::vector<std::pair<const char*, TypeId>> spec;
        const char* words;
    };
    using T = TypeId;
    const Row rows[] = {
        {{{"a", T::Word}, {"b", T::Word}, {"a", T::Word}}, "a b"},
        {{{"a", T::Word}, {"A", T::Word}}, "a"},
        {{{"x", T::Word}, {"r", T::Refinement}, {"g", T::GetWord}, {"l", T::LitWord}}, "x r g l"},
        {{{"s", T::SetWord}, {"i", T::Issue}, {"y", T::Word}}, "y"},
        {{}, ""},
    };
    for (const Row& row : rows) {
        Cell* spec = block::push_new(4);
        for (auto [name, type] : row.spec) {
            Cell w = loose_word(name, type);
            block::append_cell(spec, &w);
        }
        NodeId ctx = context::make_from_spec(spec, true, false, context::Kind::Function);
        EXPECT_EQ(words_of(ctx), row.words) << "spec of " << row.spec.size() << " values";
        EXPECT_TRUE(context::values_on_stack(ctx));
        EXPECT_EQ(context::kind(ctx), context::Kind::Function);
        for (int32_t i = 0; i < context::word_count(ctx); i++) {
            EXPECT_EQ(context::word_at(ctx, i)->w1, ctx);
            EXPECT_EQ(word::index_of(context::word_at(ctx, i)), i);
        }
    }
}

TEST_F(ContextTest, FindAddAndPut) {
    NodeId ctx = context::make(0, false, false, 0, context::Kind::Object);
    Cell a = loose_word("ctx-a");
    int32_t out = -5;
    EXPECT_EQ(context::find_word_ex(ctx, a.w2, true, &out), -1);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(context::find_word_ex(ctx, a.w2, true, &out), 0);
    EXPECT_EQ(context::find_word(ctx, symbol::make_cstr("CTX-A"), true), 0);
    EXPECT_EQ(context::find_word(ctx, symbol::make_cstr("CTX-A"), false), -1);
    Cell b = loose_word("ctx-b");
    Cell seven = int_cell(7);
    context::put_word(ctx, &b, &seven);
    EXPECT_EQ(context::find_word(ctx, b.w2, false), 1);
    EXPECT_EQ(cell::get_int(context::values_at(ctx, 1)), 7);
    Cell eight = int_cell(8);
    context::append_absent(ctx, &b, &eight);  // present: nothing changes
    EXPECT_EQ(cell::get_int(context::values_at(ctx, 1)), 7);
    EXPECT_EQ(context::word_count(ctx), 2);
}

TEST_F(ContextTest, CollectSetWords) {
    NodeId ctx = context::make(2, false, true, 0, context::Kind::Object);
    Cell* body = block_of({loose_word("cs-a", TypeId::SetWord), loose_word("cs-b"), int_cell(1),
                           loose_word("cs-c", TypeId::SetWord), loose_word("CS-A", TypeId::SetWord)});
    EXPECT_TRUE(context::collect_set_words(ctx, body));
    EXPECT_EQ(words_of(ctx), "cs-a cs-c");
    EXPECT_FALSE(context::collect_set_words(ctx, body));
    body->w1 = 99;  // a head beyond the tail reads as the tail
    EXPECT_FALSE(context::collect_set_words(ctx, body));
    EXPECT_TRUE(cell::is(context::values_at(ctx, 1), TypeId::Unset));
}

TEST_F(ContextTest, ManyWordsStayFindable) {
    NodeId ctx = context::make(1, false, false, 0, context::Kind::Object);
    constexpr int kWords = 3000;
    uint64_t probes = hashtable::counters().probes;
    for (int i = 0; i < kWords; i++) {
        Cell w = loose_word(("many-" + std::to_string(i)).c_str());
        context::find_or_add(ctx, &w);
    }
    for (int i = 0; i < kWords; i++) {
        SymId s = symbol::make_cstr(("many-" + std::to_string(i)).c_str());
        ASSERT_EQ(context::find_word(ctx, s, true), i);
    }
    // Growth keeps lookups short: a few probes per word, not a scan.
    EXPECT_LT(hashtable::counters().probes - probes, uint64_t{20} * 3 * kWords);
    EXPECT_EQ(memory::buf(context::cell_of(ctx)->w2)->used() / sizeof(Cell), size_t{kWords});
}

TEST_F(ContextTest, GlobalContextRecord) {
    NodeId g = context::global();
    ASSERT_NE(g, 0u);
    EXPECT_EQ(context::kind(g), context::Kind::Global);
    EXPECT_FALSE(context::values_on_stack(g));
    EXPECT_EQ(context::cell_of(g)->header & context::kHasSelf, 0u);
    EXPECT_TRUE(cell::is(context::cell_of(g), TypeId::Context));
    EXPECT_GE(memory::buf(context::cell_of(g)->w2)->size / sizeof(Cell), size_t{4000});
    EXPECT_EQ(memory::buf(context::cell_of(g)->w2)->used() / sizeof(Cell),
              size_t(context::word_count(g)));
}

TEST_F(ContextTest, CaseVariantSharesTheGlobalSlot) {
    Cell* first = word::make_global("variant-slot");
    int32_t index = word::index_of(first);
    Cell* other = word::make_global_id(symbol::make_cstr("Variant-Slot"));
    Cell variant = *other;
    EXPECT_EQ(word::index_of(&variant), index);
    EXPECT_EQ(name_of(&variant), "Variant-Slot");
    Cell five = int_cell(5);
    word::set(&variant, &five);
    Cell plain = *word::make_global("variant-slot");
    EXPECT_EQ(cell::get_int(word::slot(&plain)), 5);
    Cell six = int_cell(6);
    word::set(&plain, &six);
    EXPECT_EQ(cell::get_int(word::slot(&variant)), 6);

    // Asking again for a spelling never adds a word or a root cell.
    size_t root_used = memory::buf_of(roots::root())->used();
    int32_t count = context::word_count(context::global());
    for (const char* name : {"VARIANT-SLOT", "VARIANT-SLOT", "variant-slot", "Variant-Slot"}) {
        Cell again = *word::make_global(name);
        EXPECT_EQ(name_of(&again), name);
        EXPECT_EQ(word::index_of(&again), index);
    }
    EXPECT_EQ(memory::buf_of(roots::root())->used(), root_used);
    EXPECT_EQ(context::word_count(context::global()), count + 1);
}

TEST_F(ContextTest, BindingASelfContainingBlockTerminates) {
    NodeId ctx = context::make(2, false, false, 0, context::Kind::Object);
    Cell x = loose_word("bind-x");
    context::find_or_add(ctx, &x);
    Cell outside = *word::make_global("bind-y");
    Cell* inner = block_of({loose_word("bind-x", TypeId::GetWord)});
    Cell* outer = block_of({loose_word("BIND-X"), outside, *inner, loose_word("bind-x", TypeId::Issue)});
    block::append_cell(outer, outer);  // the block holds itself
    block::append_cell(inner, outer);  // and so does the block inside it
    context::bind_block(outer, ctx, false);
    EXPECT_EQ(cycles::depth(), 0);
    Cell bound = *block::rs_abs_at(outer, 0);
    EXPECT_EQ(bound.w1, ctx);
    EXPECT_EQ(word::index_of(&bound), 0);
    Cell kept = *block::rs_abs_at(outer, 1);  // a word the context lacks keeps its binding
    EXPECT_EQ(kept.w1, context::global());
    EXPECT_EQ(word::index_of(&kept), word::index_of(&outside));
    EXPECT_EQ(block::rs_abs_at(inner, 0)->w1, ctx);
    Cell issue = *block::rs_abs_at(outer, 3);  // issues are never bound
    EXPECT_EQ(issue.w1, 0u);
}

TEST_F(ContextTest, SelfReadsTheOwner) {
    NodeId ctx = context::make(1, false, true, 0, context::Kind::Object);
    Cell* body = block_of({*word::make_global("self")});
    context::bind_block(body, ctx, true);
    Cell self = *block::rs_abs_at(body, 0);
    EXPECT_EQ(self.w1, ctx);
    EXPECT_EQ(word::index_of(&self), -1);
    EXPECT_EQ(context::get(&self, ctx), context::owner(ctx));
    EXPECT_TRUE(cell::is(context::get(&self, ctx), TypeId::Unset));
    Cell other = Cell{static_cast<uint32_t>(TypeId::Word), ctx, symbol::make_cstr("not-self"),
                      word::kNoIndex};
    EXPECT_RAISES(context::get(&other, ctx), Err::NoValue);
}

TEST_F(ContextTest, ObjectWritesMarkTheWord) {
    NodeId ctx = context::make(2, false, true, 0, context::Kind::Object);
    Cell a = loose_word("mark-a");
    Cell b = loose_word("mark-b");
    context::find_or_add(ctx, &a);
    context::find_or_add(ctx, &b);
    Cell w = *context::word_at(ctx, 1);
    EXPECT_EQ(context::word_at(ctx, 1)->header & cell::kCompiledSet, 0u);
    Cell one = int_cell(1);
    context::set_in(&w, &one, ctx, false);
    EXPECT_NE(context::word_at(ctx, 1)->header & cell::kCompiledSet, 0u);
    EXPECT_EQ(context::word_at(ctx, 0)->header & cell::kCompiledSet, 0u);
    EXPECT_EQ(cell::get_int(context::values_at(ctx, 1)), 1);
    // A word with no index is looked up, and appended when the context lacks it.
    Cell fresh = loose_word("mark-c");
    Cell two = int_cell(2);
    context::set_in(&fresh, &two, ctx, true);
    EXPECT_EQ(word::index_of(&fresh), 2);
    EXPECT_EQ(cell::get_int(context::get(&fresh, ctx)), 2);
}

TEST_F(ContextTest, FunctionContextUsesTheCallsStackCells) {
    Cell* spec = block_of({loose_word("fn-a"), loose_word("fn-b")});
    NodeId ctx = context::make_from_spec(spec, true, false, context::Kind::Function);
    Cell a = *context::word_at(ctx, 0);
    Cell b = *context::word_at(ctx, 1);
    Cell nine = int_cell(9);
    EXPECT_RAISES(context::get(&a, ctx), Err::NotInContext);
    EXPECT_RAISES(context::set_in(&a, &nine, ctx, true), Err::NotDefined);
    EXPECT_RAISES(word::get_local(ctx, 1), Err::NotDefined);
    EXPECT_EQ(raised().args[0].w2, b.w2);

    Cell* args = stack::push(&nine);
    Cell ten = int_cell(10);
    stack::push(&ten);
    uint32_t saved = context::enter_call(ctx, args);
    EXPECT_EQ(cell::get_int(word::slot(&a)), 9);
    EXPECT_EQ(cell::get_int(word::slot(&b)), 10);
    Cell eleven = int_cell(11);
    word::set(&b, &eleven);
    EXPECT_EQ(cell::get_int(args + 1), 11);
    EXPECT_EQ(cell::get_int(word::get_local(ctx, 0)), 9);
    context::leave_call(ctx, saved);
    EXPECT_EQ(context::cell_of(ctx)->w2, 0u);
    EXPECT_RAISES(word::slot(&a), Err::NotInContext);
}

TEST_F(ContextTest, CloneRebindsTheWords) {
    NodeId source = context::make(2, false, true, 0, context::Kind::Object);
    Cell a = loose_word("clone-a");
    Cell one = int_cell(1);
    context::put_word(source, &a, &one);
    Cell holder{static_cast<uint32_t>(TypeId::Object), source, 0, 0};
    NodeId copy = context::clone(&holder, context::Kind::Object);
    EXPECT_NE(copy, source);
    EXPECT_EQ(holder.w1, copy);
    EXPECT_EQ(words_of(copy), "clone-a");
    EXPECT_EQ(context::word_at(copy, 0)->w1, copy);
    EXPECT_EQ(context::word_at(source, 0)->w1, source);
    EXPECT_NE(context::cell_of(copy)->header & context::kHasSelf, 0u);
    Cell b = loose_word("clone-b");
    context::find_or_add(copy, &b);  // the copy's table is its own
    EXPECT_EQ(context::find_word(source, b.w2, true), -1);
    EXPECT_EQ(context::find_word(copy, b.w2, true), 1);
}

TEST_F(ContextTest, GlobalHelpersAndCompiledAccessors) {
    SymId s = symbol::make_cstr("global-helper");
    Cell four = int_cell(4);
    context::set_global(s, &four);
    ASSERT_NE(context::global_slot(s), nullptr);
    EXPECT_EQ(cell::get_int(context::global_slot(symbol::make_cstr("GLOBAL-HELPER"))), 4);
    EXPECT_EQ(context::global_slot(symbol::make_cstr("global-helper-absent")), nullptr);

    NodeId ctx = context::make(1, false, true, 0, context::Kind::Object);
    Cell w = loose_word("acc-a");
    int32_t index = context::find_or_add(ctx, &w);
    stack::push(&four);
    context::set_from_top(ctx, index);
    EXPECT_EQ(cell::get_int(context::values_at(ctx, index)), 4);
    EXPECT_NE(context::word_at(ctx, index)->header & cell::kCompiledSet, 0u);
    Cell twelve = int_cell(12);
    Cell* top = stack::push(&twelve);
    context::set_from_top_keep_old(ctx, index);
    EXPECT_EQ(cell::get_int(top + 1), 4);  // the old value, pushed for a change notice
    EXPECT_EQ(cell::get_int(context::values_at(ctx, index)), 12);
    Cell holder{static_cast<uint32_t>(TypeId::Object), ctx, 0, 0};
    EXPECT_EQ(cell::get_int(context::value_slot(symbol::make_cstr("ACC-A"), &holder)), 12);
    Cell bound = *context::word_at(ctx, index);
    context::set_int(&bound, -3);
    EXPECT_EQ(cell::get_int(context::values_at(ctx, index)), -3);
}

}  // namespace
}  // namespace nuv
