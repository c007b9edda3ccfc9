// routine!: the value and its slots, the routine call's checks, machine arguments and result
// boxing, the runtime's routines and the type predicates.
#include "runtime/datatypes/routine.h"

#include <bit>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/evaluator/routines.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

using T = TypeId;

// A routine! over the spec text (and the body text, when given) on the argument stack.
Cell* make_routine(const std::string& spec, const char* body = nullptr, int32_t entry = 1,
                   int32_t kind = routines::kNoResult) {
    Cell* s = load_text(spec);
    Cell* b = body ? load_text(body) : nullptr;
    return routine::make_value(s, b, entry, kind, false);
}

uint64_t g_seen[routine::kMaxArgs];
Cell* g_seen_base = nullptr;
uint64_t g_answer = 0;

uint64_t record(const uint64_t* args) {
    for (int32_t k = 0; k < 6; k++) g_seen[k] = args[k];
    g_seen_base = stack::g_args.base;
    return g_answer;
}

uint64_t answer(const uint64_t*) { return g_answer; }

// Calls the routine with the values as its stacked arguments (taken as they stand) under a
// try frame: arguments[0] molded, or "error <id>".
std::string call_with(const Cell* routine, const Cell* values) {
    std::string out;
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run([&] {
        frames::push_interp_native(&words::w::anon);
        const NodeId n = cell::node(values);
        for (int32_t i = 0; i < block::count(n); i++) {
            const Cell v = block::at(n, i);
            stack::push(&v);
        }
        routines::call(routine, &words::w::anon);
        out = mold_value(*stack::arg(0));
        frames::pop();
    });
    if (!kind) return out;
    return std::string("error ") + err_word(raised().id);
}

std::string words_spec(int32_t n) {
    std::string spec;
    for (int32_t i = 0; i < n; i++) spec += "w" + std::to_string(i) + " ";
    return spec;
}

TEST(Routine, ArgumentCount) {
    eval_environment();
    struct Row {
        std::string spec;
        int32_t count;
    };
    const Row rows[] = {
        {"a b /local c", 3},
        {"", 0},
        {"\"doc\" a [integer!] /r b return: [logic!]", 2},
        {"[trace] :a 'b c", 1},
        {words_spec(31), 31},
    };
    for (const Row& r : rows) {
        StackScope scope;
        const Cell* value = make_routine(r.spec);
        EXPECT_EQ(routine::arg_count(value), r.count) << "spec: " << r.spec;
        EXPECT_EQ(value->header & cell::kNewLine, 0u) << "spec: " << r.spec;
    }
    StackScope scope;
    EXPECT_RAISES(make_routine(words_spec(32)), Err::BadFuncDef);
}

TEST(Routine, MoldFormCompare) {
    eval_environment();
    StackScope scope;
    Cell* bare = make_routine("a b");
    Cell* bodied = make_routine("x", "x + 1");
    Cell* other = make_routine("a b");
    EXPECT_EQ(mold_value(*bare), "routine [a b] none");
    EXPECT_EQ(mold_value(*bodied), "routine [x][x + 1]");
    Cell* buffer = string::make_at(stack::reserve(), 16);
    routine::form(bare, buffer, nullptr, 100);
    EXPECT_EQ(string::to_std_utf8(buffer), "?routine?");
    Cell copy = *bare;
    Cell integer = int_cell(1);
    EXPECT_EQ(routine::compare(bare, &copy, CompareOp::Equal), 0);
    EXPECT_NE(routine::compare(bare, other, CompareOp::Equal), 0);
    EXPECT_EQ(routine::compare(bare, other, CompareOp::Lesser), kNotComparable);
    EXPECT_EQ(routine::compare(bare, &integer, CompareOp::Equal), kNotComparable);
}

TEST(Routine, CallChecksArguments) {
    eval_environment();
    g_answer = 0;
    struct Row {
        const char* spec;
        const char* values;
        const char* wanted;
    };
    const Row rows[] = {
        {"a [integer!] b [block!]", "1 [x]", "1"},
        {"a [integer!] b [block!]", "1 2", "error expect-arg"},
        {"a [any-word!]", "'x", "'x"},
        {"a [any-word!]", "1", "error expect-arg"},
        {"a [1]", "1", "error invalid-type-spec"},
        {"a []", "1", "error invalid-type-spec"},
        {"a [undefined-type-word!]", "1", "error no-value"},
        {"a [integer!] /local b", "1 x 2", "1"},
    };
    for (const Row& r : rows) {
        StackScope scope;
        Cell* values = load_text(r.values);
        const Cell* value = make_routine(r.spec, nullptr, routines::add(answer));
        EXPECT_EQ(call_with(value, values), r.wanted) << "spec: " << r.spec << " values: " << r.values;
    }
    // The last argument is checked first.
    StackScope scope;
    Cell* values = load_text("\"x\" \"y\"");
    const Cell* value = make_routine("a [integer!] b [integer!]", nullptr, routines::add(answer));
    EXPECT_EQ(call_with(value, values), "error expect-arg");
    EXPECT_EQ(mold_value(raised().args[2]), "b");
}

TEST(Routine, MachineArgumentsAndResults) {
    eval_environment();
    const int32_t index = routines::add(record);
    StackScope scope;
    Cell* literals = load_text("-7 2.5 #\"A\" [v] \"s\"");
    const NodeId n = cell::node(literals);
    Cell truth;
    logic::set(&truth, true);
    Cell* values = block_of({block::at(n, 0), block::at(n, 1), block::at(n, 2), truth, block::at(n, 3),
                             block::at(n, 4)});
    const Cell* value = make_routine("i [integer!] f [float!] c [char!] l [logic!] v [any-type!] s [string!]",
                                     nullptr, index, routines::kNoResult);
    g_answer = 99;
    EXPECT_EQ(call_with(value, values), "-7");  // no declared result: arguments[0] stays
    EXPECT_EQ(routines::arg_cell(g_seen[0]), g_seen_base + 5);
    EXPECT_EQ(routines::arg_cell(g_seen[1]), g_seen_base + 4);
    EXPECT_EQ(g_seen[2], 1u);
    EXPECT_EQ(g_seen[3], 65u);
    EXPECT_EQ(routines::arg_float(g_seen[4]), 2.5);
    EXPECT_EQ(routines::arg_int(g_seen[5]), -7);

    struct Row {
        int32_t kind;
        uint64_t answer;
        const char* wanted;
    };
    const Row rows[] = {
        {routines::kIntegerResult, 0x100000005ull, "5"},
        {routines::kIntegerResult, 0xFFFFFFFFull, "-1"},
        {routines::kLogicResult, 2, "true"},
        {routines::kLogicResult, 0, "false"},
        {routines::kNoResult, 5, "3"},
    };
    Cell* three = load_text("3");
    for (const Row& r : rows) {
        const Cell* one = make_routine("a [integer!]", nullptr, routines::add(answer), r.kind);
        g_answer = r.answer;
        EXPECT_EQ(call_with(one, three), r.wanted) << "kind " << r.kind << " answer " << r.answer;
    }
    const Cell* none_taken = make_routine("", nullptr, routines::add(answer), routines::kNoResult);
    EXPECT_EQ(call_with(none_taken, load_text("")), "unset");
}

// Answers whether the first argument is below the second (the last argument comes first).
uint64_t first_lesser(const uint64_t* args) {
    return routines::arg_int(args[1]) < routines::arg_int(args[0]) ? 1 : 0;
}

TEST(Routine, SortComparator) {
    eval_environment();
    {
        StackScope scope;
        const Cell* value = make_routine("a [integer!] b [integer!]", nullptr,
                                         routines::add(first_lesser), routines::kLogicResult);
        context::set_global(symbol::make_cstr("lesser-routine"), value);
    }
    check_cases({
        {"sort/compare [3 1 2 5 4] :lesser-routine", "[1 2 3 4 5]"},
        {"sort/compare/reverse [3 1 2] :lesser-routine", "[3 2 1]"},
        {"sort/compare [2 1] make op! :lesser-routine", "[1 2]"},
        {"sort/compare [2 \"a\"] :lesser-routine", "error expect-arg"},
        {"sort/compare \"ba\" :lesser-routine", "error expect-arg"},
    });
}

// A lexer callback: logs each event and, at the load of the first word, moves `input` past the
// second.
std::string g_lexer_log;
uint64_t lexer_hook(const uint64_t* args) {
    // The last argument first: token, line, type, input, event.
    Cell* input = routines::arg_cell(args[3]);
    g_lexer_log += mold_value(*routines::arg_cell(args[4])) + " ";
    if (cell::is(routines::arg_cell(args[0]), T::Word) && cell::head(input) == 1) cell::set_head(input, 4);
    return 1;
}

TEST(Routine, LexerCallbackCalledDirectly) {
    eval_environment();
    StackScope scope;
    Cell* hook = make_routine("event input type line token return: [logic!]", nullptr,
                              routines::add(lexer_hook), routines::kLogicResult);
    context::set_global(symbol::make_cstr("lexer-hook"), hook);
    g_lexer_log.clear();
    EXPECT_EQ(eval_text("transcode/trace \"a b c\" :lexer-hook"), "[a c]");
    EXPECT_EQ(g_lexer_log, "prescan scan load prescan scan load prescan ");
    // do/trace sees it under its frame name only when the lexer's bit is set.
    const char* traced = R"(only: func [[call return] e c o v r f] [append log r] log: copy []
        system/state/callbacks/bits: BITS do/trace [transcode/trace "a" :lexer-hook] :only
        system/state/callbacks/bits: 0 log)";
    std::string with = traced;
    with.replace(with.find("BITS"), 4, "1");
    std::string without = traced;
    without.replace(without.find("BITS"), 4, "2");
    EXPECT_EQ(eval_text(with), "[transcode <lexer-callback> <lexer-callback> "
                               "<lexer-callback> <lexer-callback> <lexer-callback> "
                               "<lexer-callback> <lexer-callback> <lexer-callback> transcode]");
    EXPECT_EQ(eval_text(without), "[transcode transcode]");
    EXPECT_EQ(eval_text("transcode/trace \"a\" :quit-return"), "error expect-arg");
}

}  // namespace
}  // namespace nuv::test
