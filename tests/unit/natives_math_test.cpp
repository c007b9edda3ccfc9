// The math and text natives called directly: what their own argument checks refuse when the
// caller asks for them, and how much memory the text natives take (counted, not timed). The
// language-level behaviour is in tests/lang/math.nuv and tests/lang/text.nuv.
#include "runtime/evaluator/natives_math.h"

#include <string>
#include <vector>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/logic.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/natives_text.h"
#include "runtime/memory.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

Cell float_cell(double d) {
    Cell c;
    floating::set(&c, d);
    return c;
}

Cell logic_cell(bool b) {
    Cell c;
    logic::set(&c, b);
    return c;
}

// Calls the entry with the arguments as consecutive stack cells from a new base; answers the
// molded arguments[0] or "error <id>".
std::string call(natives::Entry entry, const std::vector<Cell>& args,
                 const std::vector<int32_t>& refinements, bool check) {
    StackScope scope;
    Cell* base = stack::g_args.top;
    for (const Cell& c : args) stack::push(&c);
    stack::g_args.base = base;
    std::string got = outcome([&] {
        entry(check, refinements.data());
        return mold_value(*stack::arg(0));
    });
    return got;
}

struct CheckRow {
    const char* name;
    natives::Entry entry;
    std::vector<Cell> args;
    std::vector<int32_t> refinements;
    const char* checked;  // with the check flag
};

// With the check flag each native refuses an argument outside its spec's typeset, refinement
// arguments included, before doing any work.
TEST(NativesMath, CheckFlagRefusesArgumentsOutsideTheSpec) {
    eval_environment();
    StackScope scope;
    const Cell s = *text("abc");
    const Cell b = *ints({1, 2});
    const Cell f = float_cell(1.5);
    const Cell one = int_cell(1);
    const Cell yes = logic_cell(true);
    const CheckRow rows[] = {
        {"sine \"abc\"", natives_math::sine, {s}, {-1}, "error expect-arg"},
        {"sine 1.5", natives_math::sine, {f}, {-1}, "0.02617694830787315"},
        {"arctangent2 1 \"abc\"", natives_math::arctangent2, {one, s}, {-1}, "error expect-arg"},
        {"log-e [1 2]", natives_math::log_e, {b}, {}, "error expect-arg"},
        {"shift 1.5 1", natives_math::shift, {f, one}, {-1, -1}, "error expect-arg"},
        {"to-hex/size 1 1.5", natives_math::to_hex, {one, f}, {1}, "error expect-arg"},
        {"sign? \"abc\"", natives_math::is_sign, {s}, {}, "error expect-arg"},
        {"max 1 true", natives_math::max, {one, yes}, {}, "error expect-arg"},
        {"max 1 1.5", natives_math::max, {one, f}, {}, "1.5"},
        {"uppercase 1", natives_text::uppercase, {one}, {-1}, "error expect-arg"},
        {"uppercase/part \"abc\" true", natives_text::uppercase, {s, yes}, {1}, "error expect-arg"},
        {"enbase/base \"abc\" 1.5", natives_text::enbase, {s, f}, {1}, "error expect-arg"},
        {"as 1 [1 2]", natives_text::as, {one, b}, {}, "error expect-arg"},
        {"new-line \"abc\" true", natives_text::new_line, {s, yes}, {-1, -1}, "error expect-arg"},
        {"new-line/skip [1 2] true 1.5", natives_text::new_line, {b, yes, f}, {-1, 2},
         "error expect-arg"},
    };
    for (const CheckRow& r : rows)
        EXPECT_EQ(call(r.entry, r.args, r.refinements, true), r.checked) << r.name;
}

// Without the caller's check, the tests answer for any datatype as their contract says.
TEST(NativesMath, TestsWithoutTheCallersCheck) {
    eval_environment();
    StackScope scope;
    const Cell s = *text("abc");
    EXPECT_EQ(call(natives_math::is_zero, {s}, {}, false), "false");
    EXPECT_EQ(call(natives_math::is_nan, {s}, {}, false), "false");
    EXPECT_EQ(call(natives_math::is_negative, {s}, {}, false), "error expect-arg");
    EXPECT_EQ(call(natives_math::is_sign, {logic_cell(true)}, {}, false), "error expect-arg");
}

struct Usage {
    uint64_t allocations;
    uint64_t expansions;
};

template <class F>
Usage usage_of(F&& body) {
    const memory::Counters before = memory::counters();
    body();
    const memory::Counters& after = memory::counters();
    return {after.allocations - before.allocations, after.expansions - before.expansions};
}

// The encoders and decoders size their output once; the percent codecs grow it by doubling at most; case
// change and the math natives take nothing.
TEST(NativesText, OutputIsSizedNotGrownPerCharacter) {
    eval_environment();
    StackScope scope;
    const std::string plain(3000, 'a');
    std::string escaped;
    for (int i = 0; i < 3000; i++) escaped += "%41";
    const Cell plain_text = *text(plain);
    const Cell spaces = *text(std::string(3000, ' '));
    const Cell escaped_text = *text(escaped);
    std::string base64;
    for (int i = 0; i < 1000; i++) base64 += "QUJD";
    const Cell base64_text = *text(base64);

    struct Row {
        const char* name;
        natives::Entry entry;
        Cell arg;
        std::vector<int32_t> refinements;
        uint64_t allocations;  // at most
        uint64_t expansions;   // at most
        int32_t length;        // of the result text, -1 when not a text
    };
    const Row rows[] = {
        {"enbase 3000 chars", natives_text::enbase, plain_text, {-1}, 1, 0, 4000},
        {"dehex 3000 escapes", natives_text::dehex, escaped_text, {}, 1, 0, 3000},
        {"debase 4000 chars", natives_text::debase, base64_text, {-1}, 1, 0, -1},
        {"enhex 3000 spaces", natives_text::enhex, spaces, {}, 3, 2, 9000},
        {"uppercase 3000 chars", natives_text::uppercase, plain_text, {-1}, 0, 0, 3000},
        {"square-root 2.0", natives_math::square_root, float_cell(2.0), {}, 0, 0, -1},
        {"max text text", natives_math::max, plain_text, {}, 0, 0, 3000},
    };
    for (const Row& r : rows) {
        StackScope row_scope;
        Cell* base = stack::push(&r.arg);
        stack::push(&r.arg);
        stack::g_args.base = base;
        const Usage used = usage_of([&] { r.entry(false, r.refinements.data()); });
        const Cell result = *stack::arg(0);
        EXPECT_LE(used.allocations, r.allocations) << r.name;
        EXPECT_LE(used.expansions, r.expansions) << r.name;
        if (r.length >= 0) {
            EXPECT_EQ(string::length(&result), r.length) << r.name;
        }
    }
}

}  // namespace
}  // namespace nuv::test
