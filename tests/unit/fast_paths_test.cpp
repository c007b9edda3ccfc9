// The fast paths against the actions they stand for: each row runs through every member of its
// family (cell and immediate operand, each place of the result) and through the action itself,
// and all must agree, inline cases and fallbacks alike. The stack tops each place leaves, and
// the operator named by a fallback's errors.
#include "runtime/evaluator/fast_paths.h"

#include <functional>
#include <span>
#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/evaluator/actions_table.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class FastPaths : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { eval_environment(); }
    StackScope scope_;
};

// The value of the text evaluated in the boot environment, as a new argument-stack cell.
Cell* value_of(const std::string& text) { return interp::do_block(load_text(text)); }

// The global word spelled so, as a new argument-stack cell.
Cell* word_of(const char* spelling) {
    Cell* code = load_text(spelling);
    return stack::push(block::raw_cells(cell::node(code)));
}

std::string spelling(const Cell* w) { return symbol::utf8_name(word::symbol_of(w)); }

// A result as the rows write it: a block! by its position, anything else molded.
std::string described(const Cell* v) {
    if (cell::is(v, TypeId::Block)) return "at " + std::to_string(cell::head(v) + 1);
    return mold_value(*v);
}

// The body's answer under a try frame, or "error <id>".
std::string guarded(const std::function<std::string()>& body) {
    std::string out;
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run([&] { out = body(); });
    if (!kind) return out;
    if (*kind != UnwindKind::Error) return "unwound";
    return std::string("error ") + err_word(raised().id);
}

// How a routine got its answer: computed inline, or by calling the action under a frame.
enum class Via { Inline, Action };
constexpr Via I = Via::Inline;
constexpr Via A = Via::Action;

// Tells whether anything pushed a frame after it was made: the record above the frame top is
// marked, and a push overwrites it (a pop leaves the record as it was).
class FrameProbe {
  public:
    FrameProbe() { frames::g_frames.top->header = kMark; }
    Via via() const { return frames::g_frames.top->header == kMark ? Via::Inline : Via::Action; }

  private:
    static constexpr uint32_t kMark = 0xFFFFFFFF;
};

// The action called from a fresh arguments base on copies of the operands.
std::string by_action(const Cell* a, const Cell* b, const std::function<void()>& entry) {
    StackScope scope;
    return guarded([&] {
        stack::g_args.base = stack::g_args.top;
        stack::push(a);
        if (b) stack::push(b);
        entry();
        return described(stack::arg(0));
    });
}

// ---- Arithmetic and comparison: every member of the family ----

enum class Operand { Cell, Immediate };
enum class Place { Push, Top, Test, Result };

struct Member {
    const char* name;
    Operand operand;
    Place place;
};

constexpr Member kArithMembers[] = {
    {"arith-stack", Operand::Cell, Place::Push},
    {"arith-int", Operand::Immediate, Place::Push},
    {"arith-top", Operand::Cell, Place::Top},
    {"arith-top-int", Operand::Immediate, Place::Top},
};
constexpr Member kCompareMembers[] = {
    {"compare-push", Operand::Cell, Place::Push},
    {"compare-push-int", Operand::Immediate, Place::Push},
    {"compare-test", Operand::Cell, Place::Test},
    {"compare-test-int", Operand::Immediate, Place::Test},
    {"compare-result", Operand::Cell, Place::Result},
    {"compare-result-int", Operand::Immediate, Place::Result},
    {"compare-top", Operand::Cell, Place::Top},
    {"compare-top-int", Operand::Immediate, Place::Top},
};

// Runs one member from a fresh arguments base whose arguments[0] holds none!, checking what it
// leaves on the stack: one new cell (push), the one operand cell (in place), nothing more
// (test, result). A test member is run both ways round the invert flag.
std::string run_member(const Member& m, bool arith, int32_t code, const Cell* a, const Cell* b,
                       const Cell* word, Via* via) {
    StackScope scope;
    const bool imm = m.operand == Operand::Immediate;
    const int32_t n = cell::get_int(b);
    const auto aop = static_cast<ArithOp>(code);
    const auto cop = static_cast<CompareOp>(code);
    return guarded([&]() -> std::string {
        stack::g_args.base = stack::g_args.top;
        stack::push(none::shared());
        Cell* const before = stack::g_args.top;
        const Cell* result = nullptr;
        const FrameProbe probe;
        auto took = [&](std::string answer) {
            *via = probe.via();
            return answer;
        };
        switch (m.place) {
        case Place::Push:
            if (arith)
                result = imm ? fast::arith_int(aop, a, n, word) : fast::arith_stack(aop, a, b, word);
            else
                result = imm ? fast::compare_push_int(cop, a, n, word)
                             : fast::compare_push(cop, a, b, word);
            EXPECT_EQ(result, before) << m.name;
            EXPECT_EQ(stack::g_args.top, before + 1) << m.name << ": one cell pushed";
            return took(described(result));
        case Place::Top: {
            Cell* first = stack::push(a);
            if (arith)
                result = imm ? fast::arith_top_int(aop, n, word) : fast::arith_top(aop, b, word);
            else
                result = imm ? fast::compare_top_int(cop, n, word) : fast::compare_top(cop, b, word);
            EXPECT_EQ(result, first) << m.name;
            EXPECT_EQ(stack::g_args.top, first + 1) << m.name << ": the result alone, in place";
            return took(described(result));
        }
        case Place::Test: {
            const bool truth = imm ? fast::compare_test_int(cop, a, n, false, word)
                                   : fast::compare_test(cop, a, b, false, word);
            const bool inverted = imm ? fast::compare_test_int(cop, a, n, true, word)
                                      : fast::compare_test(cop, a, b, true, word);
            EXPECT_EQ(inverted, !truth) << m.name;
            EXPECT_EQ(stack::g_args.top, before) << m.name << ": nothing left";
            EXPECT_TRUE(cell::is(stack::arg(0), TypeId::None)) << m.name;
            return took(truth ? "true" : "false");
        }
        case Place::Result: {
            const bool truth = imm ? fast::compare_result_int(cop, a, n, word)
                                   : fast::compare_result(cop, a, b, word);
            EXPECT_EQ(stack::g_args.top, before) << m.name << ": nothing left";
            EXPECT_EQ(described(stack::arg(0)), truth ? "true" : "false") << m.name;
            return took(truth ? "true" : "false");
        }
        }
        return "?";
    });
}

struct Row {
    const char* left;   // source text of each operand
    int32_t code;
    const char* right;
    const char* wanted;
    Via via;
};

// By operation code.
constexpr const char* kArithOperators[] = {"+", "-", "*", "/", "//", "or", "and", "xor"};
constexpr ActionId kArithActions[] = {ActionId::Add, ActionId::Subtract, ActionId::Multiply,
                                      ActionId::Divide, ActionId::Remainder, ActionId::Or,
                                      ActionId::And, ActionId::Xor};
constexpr const char* kCompareOperators[] = {"=", "<>", "==", "<", "<=", ">", ">="};

// Each row through every member that takes its operands (the immediate ones when the right
// operand is an integer!) and through the action: all give the wanted answer.
void check_rows(bool arith, std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        StackScope scope;
        const Cell* a = value_of(row.left);
        const Cell* b = value_of(row.right);
        const Cell* word = word_of(arith ? kArithOperators[row.code] : kCompareOperators[row.code]);
        const std::string what = std::string(row.left) + " " + spelling(word) + " " + row.right;
        const std::string action =
            arith ? by_action(a, b, [&] {
                        actions::table()[static_cast<int>(kArithActions[row.code]) - 1](nullptr);
                    })
                  : by_action(a, b, [&] { compare::compare_to_logic(static_cast<CompareOp>(row.code)); });
        EXPECT_EQ(action, row.wanted) << what << " by the action";
        const bool integer_right = cell::is(b, TypeId::Integer);
        int ran = 0;
        const std::span<const Member> members =
            arith ? std::span<const Member>(kArithMembers) : std::span<const Member>(kCompareMembers);
        for (const Member& m : members) {
            if (m.operand == Operand::Immediate && !integer_right) continue;
            ran++;
            Via via = Via::Action;  // what an error leaves
            EXPECT_EQ(run_member(m, arith, row.code, a, b, word, &via), row.wanted) << what << " by " << m.name;
            EXPECT_EQ(via, row.via) << what << " by " << m.name;
        }
        EXPECT_GE(ran, arith ? 2 : 4) << what;
    }
}

TEST_F(FastPaths, Arithmetic) {
    check_rows(true, {
        // Two integers, overflow included.
        {"1", 0, "2", "3", I},
        {"-7", 1, "5", "-12", I},
        {"-6", 2, "7", "-42", I},
        {"2147483647", 0, "1", "2147483648.0", I},
        {"-2147483648", 1, "1", "-2147483649.0", I},
        {"65536", 2, "65536", "4294967296.0", I},
        {"-2147483648", 2, "-1", "2147483648.0", I},
        {"2147483647", 0, "0", "2147483647", I},
        {"-1", 6, "255", "255", I},
        {"12", 5, "3", "15", I},
        {"-1", 7, "255", "-256", I},
        // Two floats.
        {"1.5", 0, "2.25", "3.75", I},
        {"1.5", 1, "0.5", "1.0", I},
        {"1e308", 2, "10.0", "1.#INF", I},
        // The fallbacks: mixed numbers, other types, codes without a float path.
        {"1.5", 0, "2", "3.5", A},
        {"1", 0, "2.5", "3.5", A},
        {"#\"a\"", 0, "1", "#\"b\"", A},
        {"true", 6, "false", "false", A},
        {"\"a\"", 0, "1", "error expect-arg", A},
        {"1.5", 6, "2.0", "error expect-arg", A},
        {"1", 0, "\"a\"", "error invalid-type", A},
    });
}

TEST_F(FastPaths, Comparison) {
    check_rows(false, {
        {"1", 0, "1", "true", I},
        {"1", 1, "1", "false", I},
        {"1", 2, "1", "true", I},
        {"-1", 3, "0", "true", I},
        {"2", 4, "2", "true", I},
        {"-2147483648", 5, "2147483647", "false", I},
        {"2", 6, "3", "false", I},
        // The fallbacks: tolerant float equality, mixed types, text, values that cannot be
        // ordered.
        {"0.1 + 0.2", 0, "0.3", "true", A},
        {"1.5", 3, "2", "true", A},
        {"1", 0, "1.0", "true", A},
        {"\"a\"", 0, "\"A\"", "true", A},
        {"\"a\"", 2, "\"A\"", "false", A},
        {"1", 0, "\"a\"", "false", A},
        {"1", 1, "\"a\"", "true", A},
        {"1", 3, "\"a\"", "error invalid-compare", A},
        {"\"a\"", 6, "1", "error invalid-compare", A},
    });
}

// The error's "*** " report.
std::string report(const Cell* error) {
    StackScope scope;
    Cell e = *error;
    Cell* buffer = string::make_at(stack::reserve(), 64);
    error::form(&e, buffer, nullptr, kNoLimit);
    return string::to_std_utf8(buffer);
}

// An error raised by the action names the operator as `where`, with the action's arguments.
TEST_F(FastPaths, FallbackErrorsNameTheOperator) {
    struct Case {
        const char* operator_;
        std::function<void(const Cell* word)> call;
        Err id;
        const char* args;  // molded, one blank apart
    };
    const Case cases[] = {
        {"<", [](const Cell* w) { fast::compare_push_int(CompareOp::Lesser, value_of("\"a\""), 1, w); },
         Err::InvalidCompare, "\"a\" 1"},
        {"<", [](const Cell* w) { fast::compare_test(CompareOp::Lesser, value_of("1"), value_of("\"a\""), false, w); },
         Err::InvalidCompare, "1 \"a\""},
        {"+", [](const Cell* w) { fast::arith_stack(ArithOp::Add, value_of("\"a\""), value_of("1"), w); },
         Err::ExpectArg, "+ string! value1"},
        {"pick", [](const Cell* w) { fast::pick(value_of("1"), 1, w); },
         Err::BadPathType2, "1 integer!"},
        {"next", [](const Cell* w) { fast::series_nav(value_of("1"), fast::Nav::Next, w); },
         Err::ExpectArg, "next integer! series"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        const Cell* word = word_of(c.operator_);
        const uint32_t depth = frames::depth();
        EXPECT_EQ(guarded([&] {
                      c.call(word);
                      return std::string("no error");
                  }),
                  std::string("error ") + err_word(c.id))
            << c.operator_;
        EXPECT_EQ(frames::depth(), depth);
        const Cell* error = raised_value();
        ASSERT_TRUE(cell::is(error, TypeId::Error)) << c.operator_;
        const Cell* where = error::field(error, error::kWhere);
        ASSERT_TRUE(cell::is(where, TypeId::Word)) << c.operator_;
        EXPECT_EQ(spelling(where), c.operator_);
        std::string args;
        for (int i = 0; i < raised().argc; i++) args += (i ? " " : "") + mold_value(raised().args[i]);
        EXPECT_EQ(args, c.args) << c.operator_;
        EXPECT_NE(report(error).find(std::string("*** Where: ") + c.operator_ + "\n"), std::string::npos)
            << report(error);
    }
}

// Codes the fast paths do not have are refused, not computed.
TEST_F(FastPaths, CodesWithoutAFastPath) {
    const Cell* word = word_of("/");
    const Cell* one = value_of("1");
    const Cell* two = value_of("2.0");
    EXPECT_EQ(guarded([&] { return described(fast::arith_int(ArithOp::Divide, one, 2, word)); }),
              "error invalid-arg");
    EXPECT_EQ(guarded([&] { return described(fast::arith_stack(ArithOp::Remainder, two, two, word)); }),
              "error invalid-arg");
    EXPECT_EQ(guarded([&] { return described(fast::series_nav(value_of("[]"), static_cast<fast::Nav>(9), word)); }),
              "error invalid-arg");
}

// ---- Series ----

// The routine's answer and the stack top it leaves (one new cell), and how it got the answer.
std::string pushed_one(const std::function<Cell*()>& routine, Via* via) {
    return guarded([&] {
        Cell* const before = stack::g_args.top;
        const FrameProbe probe;
        const Cell* result = routine();
        *via = probe.via();
        EXPECT_EQ(result, before);
        EXPECT_EQ(stack::g_args.top, before + 1) << "one cell pushed";
        return described(result);
    });
}

TEST_F(FastPaths, Pick) {
    struct PickRow {
        const char* series;  // source text
        int32_t index;
        const char* wanted;
        Via via;
    };
    const PickRow rows[] = {
        {"[a b c]", 1, "a", I},
        {"[a b c]", 3, "c", I},
        {"[a b c]", 0, "none", I},
        {"[a b c]", 4, "none", I},
        {"[a 1 b 2]", 2147483647, "none", I},
        {"next [a b c]", 2, "c", I},
        {"next [a b c]", 3, "none", I},
        {"tail [a b c]", 1, "none", I},
        {"b: [a b c] c: tail b clear b c", 1, "none", I},
        // The fallbacks: a negative index counts back from the position; other types.
        {"next [a b c]", -1, "a", A},
        {"[a b c]", -1, "none", A},
        {"\"abc\"", 2, "#\"b\"", A},
        {"to paren! [x y]", 1, "x", A},
    };
    for (const PickRow& row : rows) {
        StackScope scope;
        const Cell* series = value_of(row.series);
        const Cell* word = word_of("pick");
        const std::string what = std::string(row.series) + " / " + std::to_string(row.index);
        Cell index;
        integer::set(&index, row.index);
        EXPECT_EQ(by_action(series, &index, [] { actions::path_access(0); }), row.wanted)
            << what << " by the action";
        Via via = Via::Action;
        EXPECT_EQ(pushed_one([&] { return fast::pick(series, row.index, word); }, &via), row.wanted) << what;
        EXPECT_EQ(via, row.via) << what;
    }
}

TEST_F(FastPaths, SeriesNavigation) {
    using N = fast::Nav;
    struct NavRow {
        const char* series;  // source text
        N code;
        const char* wanted;
        Via via;
    };
    // By navigation code.
    constexpr const char* kWords[] = {"", "length?", "index?", "head?", "tail?", "next", "back", "head", "tail"};
    constexpr ActionId kActions[] = {ActionId::Reserved, ActionId::LengthQ, ActionId::IndexQ,
                                     ActionId::HeadQ,    ActionId::TailQ,   ActionId::Next,
                                     ActionId::Back,     ActionId::Head,    ActionId::Tail};
    const char* beyond = "b: [1 2 3] c: at b 3 clear b c";  // the position lies past the tail
    const NavRow rows[] = {
        {"next [1 2 3]", N::Length, "2", I},
        {"next [1 2 3]", N::Index, "2", I},
        {"next [1 2 3]", N::IsHead, "false", I},
        {"[1 2 3]", N::IsHead, "true", I},
        {"next [1 2 3]", N::IsTail, "false", I},
        {"tail [1 2 3]", N::IsTail, "true", I},
        {"next [1 2 3]", N::Next, "at 3", I},
        {"tail [1 2 3]", N::Next, "at 4", I},
        {"[]", N::Next, "at 1", I},
        {"next [1 2 3]", N::Back, "at 1", I},
        {"[1 2 3]", N::Back, "at 1", I},
        {"next [1 2 3]", N::Head, "at 1", I},
        {"next [1 2 3]", N::Tail, "at 4", I},
        {beyond, N::Length, "0", I},
        {beyond, N::Index, "3", I},
        {beyond, N::IsHead, "false", I},
        {beyond, N::IsTail, "true", I},
        {beyond, N::Next, "at 3", I},
        {beyond, N::Back, "at 2", I},
        {beyond, N::Tail, "at 1", I},
        // The fallbacks: other series types and non-series.
        {"next \"abc\"", N::Length, "2", A},
        {"\"abc\"", N::Next, "\"bc\"", A},
        {"next to paren! [1 2]", N::Back, "(1 2)", A},
        {"1", N::Length, "error expect-arg", A},
    };
    for (const NavRow& row : rows) {
        StackScope scope;
        const auto code = static_cast<int>(row.code);
        const Cell* series = value_of(row.series);
        const Cell* word = word_of(kWords[code]);
        const std::string what = std::string(kWords[code]) + " " + row.series;
        const actions::Entry entry = actions::table()[static_cast<int>(kActions[code]) - 1];
        EXPECT_EQ(by_action(series, nullptr, [&] { entry(nullptr); }), row.wanted) << what << " by the action";
        Via via = Via::Action;
        EXPECT_EQ(pushed_one([&] { return fast::series_nav(series, row.code, word); }, &via), row.wanted) << what;
        EXPECT_EQ(via, row.via) << what;
    }
}

}  // namespace
}  // namespace nuv::test
