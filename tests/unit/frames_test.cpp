// Call frames: pushes and pops, the unwinding of every exit kind to its frame (and the errors
// when nothing takes it), the owners' catch helper, stack overflow at both limits, the names
// that errors and traces read, and the fatal path.
#include "runtime/frames.h"

#include <new>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using frames::depth;

Cell named(const char* text) { return word::make_global_as(text, TypeId::Word); }

std::string spelling(const Cell& w) { return symbol::utf8_name(word::symbol_of(&w)); }

// Every test starts and ends with no frame and the argument stack as it found it.
class Frames : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!frames::g_frames.bottom) frames::init();
        ASSERT_EQ(depth(), 0u);
        frames::clear_throw_origin();
    }
    void TearDown() override {
        frames::set_depth(0);
        mark_.restore();
    }
    stack::Mark mark_;
};

// ---- Pushes and pops ----

struct PopCase {
    const char* what;
    void (*pop)();
    int32_t want_top;     // cells above the caller's base
    int32_t want_result;  // the caller's arguments[0] afterwards
};

TEST_F(Frames, PopVariantsLeaveTheCallerStack) {
    const PopCase cases[] = {
        {"pop", frames::pop, 2, 1},
        {"keep-result", frames::pop_keep_result, 3, 1},
        {"keep-result-context", frames::pop_keep_result_context, 3, 1},
        {"restore", frames::pop_restore, 0, 1},
        {"restore-context", frames::pop_restore_context, 0, 1},
        {"return-result", frames::pop_return_result, 3, 7},
        {"pass-result", frames::pop_pass_result, 3, 7},
    };
    Cell f = named("f");
    for (const PopCase& c : cases) {
        stack::Mark mark;
        Cell* caller = stack::reset();
        integer::push(1);
        integer::push(2);
        frames::push(&f, frames::kNative);
        EXPECT_EQ(stack::g_args.base, caller + 2);
        integer::push(7);  // the callee's result
        integer::push(8);
        c.pop();
        EXPECT_EQ(depth(), 0u) << c.what;
        EXPECT_EQ(stack::g_args.base, caller) << c.what;
        EXPECT_EQ(stack::g_args.top - caller, c.want_top) << c.what;
        EXPECT_EQ(cell::get_int(caller), c.want_result) << c.what;
        if (c.want_top == 3) {
            EXPECT_EQ(cell::get_int(stack::top()), 7) << c.what;
        }
        mark.restore();
    }
}

TEST_F(Frames, PopOnAnEmptyStackResetsToTheBottom) {
    frames::pop();
    EXPECT_EQ(stack::g_args.base, stack::g_args.bottom);
    EXPECT_EQ(stack::g_args.top, stack::g_args.bottom);
}

TEST_F(Frames, FunctionFramesRestoreTheContextValues) {
    Cell f = named("f");
    NodeId ctx = context::make(2, true, false, 0, context::Kind::Function);
    context::cell_of(ctx)->w2 = 0;
    frames::push_function(&f, ctx);
    context::enter_call(ctx, stack::arg(0));
    EXPECT_NE(context::cell_of(ctx)->w2, 0u);
    frames::pop();
    EXPECT_EQ(context::cell_of(ctx)->w2, 0u);
    // The prologue of a compiled function points its values at the current base.
    integer::push(5);
    frames::push_compiled_call(&f, ctx);
    EXPECT_EQ(context::values_at(ctx, 0), stack::g_args.bottom + frames::top()->saved_base);
    EXPECT_TRUE(frames::has_body_flag(frames::top()));
}

TEST_F(Frames, UnwindingRestoresEveryReenteredFunction) {
    Cell f = named("f");
    Cell t = named("try");
    NodeId ctx = context::make(2, true, false, 0, context::Kind::Function);
    context::cell_of(ctx)->w2 = 0;
    frames::push_try(&t);
    try {
        for (int i = 0; i < 3; i++) {  // f calling itself
            frames::push_interp_function(&f, ctx);
            integer::push(i);
            context::enter_call(ctx, stack::arg(0));
        }
        fire(Err::ZeroDivide);
    } catch (const Unwind& u) {
        EXPECT_EQ(u.target, 1u);
    }
    EXPECT_EQ(context::cell_of(ctx)->w2, 0u);
}

TEST_F(Frames, PopToKind) {
    Cell n = named("n");
    Cell* b0 = stack::reset();
    integer::push(0);
    frames::push_loop(&n);
    Cell* loop_call = stack::g_args.base;
    integer::push(1);
    frames::push_native(&n);
    integer::push(2);
    frames::push_native(&n);
    Cell* innermost = stack::g_args.base;
    integer::push(3);

    frames::Frame* found = frames::pop_to_loop(true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(depth(), 1u);
    EXPECT_EQ(stack::g_args.base, loop_call);           // the loop's own call
    EXPECT_EQ(stack::g_args.top, innermost + 1);         // the innermost result still there
    EXPECT_EQ(frames::pop_to_loop(false), found);        // the found frame is the top: nothing removed
    EXPECT_EQ(stack::g_args.base, b0);                   // the base the loop frame saved
    EXPECT_EQ(stack::g_args.top, b0 + 1);
    EXPECT_EQ(frames::pop_to_kind(frames::Kind::Catch, true), nullptr);
    EXPECT_EQ(depth(), 0u);
    EXPECT_EQ(stack::g_args.top, stack::g_args.bottom);
}

TEST_F(Frames, PopToKindCopyHandsTheResultToTheFunctionCall) {
    Cell f = named("f");
    stack::reset();
    frames::push(&f, frames::kFunction);
    Cell* call = stack::g_args.base;
    integer::push(0);
    frames::push(&f, frames::kCompiledCall);
    frames::push_native(&f);
    integer::push(99);
    frames::pop_to_kind_copy(frames::Kind::Function);
    EXPECT_EQ(depth(), 1u);
    EXPECT_EQ(stack::g_args.base, call);
    EXPECT_EQ(cell::get_int(call), 99);
    EXPECT_EQ(stack::g_args.top, call + 1);
}

TEST_F(Frames, FlagsAndEvalQuestion) {
    Cell n = named("n");
    frames::push_eval(&n);
    frames::push_native(&n);
    frames::push_interp_function(&n);
    EXPECT_TRUE(frames::is_eval(0, false));
    EXPECT_TRUE(frames::is_eval(0, true));
    EXPECT_FALSE(frames::is_eval(2, true));
    EXPECT_TRUE(frames::is_eval(2, false));
    EXPECT_TRUE(frames::mark_caller_body());   // the native frame below the top
    EXPECT_FALSE(frames::mark_caller_body());  // it has the flag already
    EXPECT_TRUE(frames::has_body_flag(frames::at_depth(2)));
    frames::set_body_flag(frames::at_depth(2), false);
    EXPECT_FALSE(frames::has_body_flag(frames::at_depth(2)));
    frames::set_depth(1);
    frames::push_native(&n);
    EXPECT_FALSE(frames::is_eval(0, true));
    frames::set_interp_flag();
    EXPECT_TRUE(frames::is_eval(0, true));
}

TEST_F(Frames, NamesKeepTheirWholeSymbol) {
    // A symbol id above 16 bits keeps the bits a 16-bit name field would lose.
    Cell t = named("try");
    frames::push_try(&t);
    Cell w = named("n");
    w.w2 = 0x12345;
    frames::push_native(&w);
    EXPECT_EQ(frames::name_of(frames::top()), 0x12345u);
    EXPECT_EQ(frames::kind_of(frames::top()), frames::Kind::Native);
    w.w2 = frames::kMaxSymbol + 1;
    EXPECT_RAISES(frames::push_native(&w), Err::LimitHit);
    EXPECT_EQ(depth(), 0u);  // the try frame took it
}

// ---- Unwinding ----

enum class Exit { Break, BreakValue, Continue, Return, ExitFn, Throw, Error };

struct UnwindCase {
    const char* what;
    std::vector<uint32_t> frames;  // above the host's try frame, bottom first
    Exit exit;
    const char* want;
};

const char* kind_word(UnwindKind k) {
    switch (k) {
    case UnwindKind::Error: return "error";
    case UnwindKind::Break: return "break";
    case UnwindKind::Continue: return "continue";
    case UnwindKind::Return: return "return";
    case UnwindKind::Exit: return "exit";
    case UnwindKind::Throw: return "throw";
    }
    return "?";
}

// Pushes a try frame (depth 1), the case's frames, then the exit native's own frame with its
// arguments (42, and the name 'a for throw), and runs the exit. Describes where it landed and
// checks both stacks against the frame that took it.
std::string run_exit(const UnwindCase& c) {
    stack::Mark mark;
    stack::reset();
    Cell name = named("f");
    std::vector<Cell*> saved{nullptr}, own{nullptr};  // per depth: base before and after the push
    auto push = [&](uint32_t header) {
        integer::push(static_cast<int32_t>(depth()));
        saved.push_back(stack::g_args.base);
        frames::push(&name, header);
        own.push_back(stack::g_args.base);
    };
    push(frames::kTry);
    for (uint32_t h : c.frames) push(h);
    Cell exit_name = named("exit-native");
    frames::push_interp_native(&exit_name);
    integer::push(42);
    Cell a = named("a");
    word::push(&a);
    std::string out;
    try {
        switch (c.exit) {
        case Exit::Break: frames::break_unwind(false, false);
        case Exit::BreakValue: frames::break_unwind(true, false);
        case Exit::Continue: frames::break_unwind(true, true);
        case Exit::Return: frames::return_unwind(true);
        case Exit::ExitFn: frames::return_unwind(false);
        case Exit::Throw: frames::throw_unwind();
        case Exit::Error: fire(Err::ZeroDivide);
        }
    } catch (const Unwind& u) {
        out = std::string(kind_word(u.kind)) + " at " + std::to_string(u.target);
        if (u.kind == UnwindKind::Error) {
            out += std::string(" ") + err_word(raised().id);
            EXPECT_EQ(depth(), u.target - 1) << c.what;  // the try frame went too
            EXPECT_EQ(stack::g_args.base, saved[u.target]) << c.what;
        } else {
            Cell* v = stack::arg(0);
            out += cell::is(v, TypeId::Integer) ? " value " + std::to_string(cell::get_int(v))
                                                : std::string(" ") + type_name(cell::type_of(v));
            EXPECT_EQ(depth(), u.target) << c.what;  // the accepting frame stays
            EXPECT_EQ(stack::g_args.base, own[u.target]) << c.what;
            int32_t cells = u.kind == UnwindKind::Throw ? 2 : 1;
            EXPECT_EQ(stack::g_args.top, stack::g_args.base + cells) << c.what;
            if (u.kind == UnwindKind::Throw) {
                EXPECT_EQ(spelling(*stack::arg(1)), "a") << c.what;
            }
        }
    }
    frames::set_depth(0);
    mark.restore();
    return out;
}

TEST_F(Frames, EveryExitLandsOnItsFrame) {
    using namespace frames;
    const uint32_t body_fn = kInterpFunction | kBodyFlag;
    const UnwindCase cases[] = {
        {"break with a value through natives", {kLoop, body_fn, kNative}, Exit::BreakValue, "break at 2 value 42"},
        {"break without a value", {kLoop}, Exit::Break, "break at 2 unset!"},
        {"continue passes try and catch", {kLoop, kTry, kCatch}, Exit::Continue, "continue at 2 unset!"},
        {"the nearest loop", {kLoop, kEval, kLoop}, Exit::Break, "break at 4 unset!"},
        {"break without a loop", {body_fn, kNative}, Exit::Break, "error at 1 break"},
        {"continue without a loop", {}, Exit::Continue, "error at 1 continue"},
        {"break at a try-all", {kLoop, kTryAll, kNative}, Exit::Break, "error at 3 break"},
        {"continue at a try-all", {kLoop, kTryAll}, Exit::Continue, "error at 3 continue"},
        {"return through a loop", {body_fn, kLoop, kEval}, Exit::Return, "return at 2 value 42"},
        {"exit from compiled code", {kCompiledCall, kEval}, Exit::ExitFn, "exit at 2 unset!"},
        {"a function frame before its body", {body_fn, kInterpFunction, kEval}, Exit::Return, "return at 2 value 42"},
        {"return without a function", {kLoop}, Exit::Return, "error at 1 return"},
        {"exit at a try-all", {body_fn, kTryAll}, Exit::ExitFn, "error at 3 return"},
        {"throw to a catch", {kCatch, kLoop, body_fn}, Exit::Throw, "throw at 2 value 42"},
        {"throw passes a try", {kCatch, kTry}, Exit::Throw, "throw at 2 value 42"},
        {"throw without a catch", {kLoop}, Exit::Throw, "error at 1 throw"},
        {"throw at a try-all", {kCatch, kTryAll}, Exit::Throw, "error at 3 throw"},
        {"error to the nearest try", {kTry, kLoop, kCatch, body_fn}, Exit::Error, "error at 2 zero-divide"},
        {"error to a try-all", {kTryAll, kLoop}, Exit::Error, "error at 2 zero-divide"},
        {"error to the innermost", {kTry, kTryAll, kTry, kNative}, Exit::Error, "error at 4 zero-divide"},
    };
    for (const UnwindCase& c : cases) EXPECT_EQ(run_exit(c), c.want) << c.what;
}

TEST_F(Frames, AnExitNothingTakesNamesTheExitingCode) {
    Cell t = named("try");
    Cell f = named("thrower");
    Cell th = named("throw");
    frames::push_try(&t);
    integer::push(5);
    frames::push_interp_function(&f);
    frames::push_interp_native(&th);
    integer::push(1);
    unset::push();
    EXPECT_RAISES(frames::throw_unwind(), Err::Throw);
    ASSERT_EQ(raised().argc, 1);
    EXPECT_EQ(cell::get_int(&raised().args[0]), 1);  // the thrown value
    EXPECT_EQ(depth(), 0u);
}

TEST_F(Frames, OwnersTakeOnlyWhatIsAimedAtThem) {
    Cell n = named("n");
    frames::Owner host(&n, frames::kTry);
    std::vector<std::string> seen;
    auto kind = host.run([&] {
        frames::Owner loop(&n, frames::kLoop);
        for (int i = 0; i < 3; i++) {
            auto ended = loop.run([&] {
                frames::Owner catcher(&n, frames::kCatch);
                auto inner = catcher.run([&] {
                    frames::push_interp_native(&n);
                    frames::break_unwind(false, i == 0);
                });
                seen.push_back("catch took it");  // never: break passes the catch
                (void)inner;
            });
            seen.push_back(ended ? kind_word(*ended) : "none");
            EXPECT_EQ(depth(), loop.depth());
            if (ended == UnwindKind::Break) break;
        }
        frames::pop();
        fire(Err::ZeroDivide);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"continue", "break"}));
    ASSERT_TRUE(kind.has_value());
    EXPECT_EQ(*kind, UnwindKind::Error);
    EXPECT_EQ(depth(), 0u);
}

TEST_F(Frames, AnOwnerLeftByAnotherExceptionCutsItsFrame) {
    Cell n = named("n");
    Cell* base = stack::g_args.base;
    try {
        frames::Owner loop(&n, frames::kLoop);
        frames::push_native(&n);
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(depth(), 0u);
    EXPECT_EQ(stack::g_args.base, base);
}

TEST_F(Frames, ACppAllocationThatFailsIsRaisedAsNoMemory) {
    Cell n = named("n");
    frames::Owner host(&n, frames::kTry);
    const auto kind = host.run([&] {
        frames::Owner loop(&n, frames::kLoop);
        const auto ended = loop.run([&] {
            frames::push_interp_native(&n);  // a call the C++ exception leaves in place
            std::vector<int32_t> sized_by_data;
            sized_by_data.reserve(sized_by_data.max_size() + 1);  // throws std::length_error
        });
        ADD_FAILURE() << "the loop owner took the error";
        (void)ended;
    });
    ASSERT_TRUE(kind.has_value());
    EXPECT_EQ(*kind, UnwindKind::Error);
    EXPECT_EQ(raised().id, Err::NoMemory);
    EXPECT_EQ(depth(), 0u);
    frames::Owner second(&n, frames::kTry);
    const auto again = second.run([] { throw std::bad_alloc(); });
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, UnwindKind::Error);
    EXPECT_EQ(raised().id, Err::NoMemory);
}

// ---- Overflow ----

TEST_F(Frames, FrameOverflowRaisesAndLeavesBothStacksUsable) {
    Cell n = named("deep");
    Cell t = named("try");
    Cell* before = stack::g_args.base;
    frames::push_try(&t);
    uint32_t reached = 0;
    try {
        for (;;) {
            integer::push(1);
            frames::push_interp_function(&n);
            reached = depth();
        }
    } catch (const Unwind& u) {
        EXPECT_EQ(u.kind, UnwindKind::Error);
        EXPECT_STREQ(err_word(raised().id), "stack-overflow");
    }
    EXPECT_EQ(reached, static_cast<uint32_t>(frames::kMaxFrames));
    EXPECT_EQ(depth(), 0u);
    EXPECT_EQ(stack::g_args.base, before);
    frames::push_native(&n);
    integer::push(3);
    frames::pop_keep_result();
    EXPECT_EQ(cell::get_int(stack::top()), 3);
}

TEST_F(Frames, ArgumentOverflowRaisesAndLeavesBothStacksUsable) {
    Cell t = named("try");
    frames::push_try(&t);
    Cell* start = stack::g_args.top;
    int32_t pushed = 0;
    try {
        for (;;) {
            integer::push(pushed);
            pushed++;
        }
    } catch (const Unwind&) {
        EXPECT_STREQ(err_word(raised().id), "stack-overflow");
    }
    EXPECT_LT(stack::g_args.top, stack::g_args.end);
    EXPECT_EQ(stack::g_args.bottom + (stack::kArgCells - 1) - start, pushed);
    EXPECT_EQ(depth(), 0u);
    integer::push(8);
    EXPECT_EQ(cell::get_int(stack::top()), 8);
}

// ---- Names ----

TEST_F(Frames, CallerWordSkipsAnonymousFramesAndStartsAtTheThrowOrigin) {
    Cell t = named("try");
    Cell f = named("outer-fn");
    Cell th = named("throw");
    frames::push_try(&t);
    EXPECT_EQ(spelling(frames::caller_word()), "try");
    frames::push_catch(&words::w::body);
    frames::push_interp_function(&f);
    frames::push_eval(&words::w::anon);
    frames::push_interp_native(&th);
    integer::push(1);
    unset::push();
    try {
        frames::throw_unwind();
    } catch (const Unwind& u) {
        EXPECT_EQ(u.kind, UnwindKind::Throw);
    }
    EXPECT_NE(frames::throw_origin(), 0u);
    EXPECT_EQ(spelling(frames::caller_word()), "throw");  // where the throw began
    EXPECT_EQ(frames::throw_origin(), 0u);
    EXPECT_EQ(spelling(frames::caller_word()), "try");       // <body> is skipped
    frames::set_depth(0);
    EXPECT_EQ(spelling(frames::caller_word()), "<not-found>");
}

TEST_F(Frames, CollectCallsListsNamedFramesAboveTheBottom) {
    Cell g = named("g");
    Cell f = named("f");
    Cell* list = block::push_new(4);
    frames::push_eval(&f);  // the bottom-most frame is never listed
    integer::push(0);
    frames::push_interp_function(&f);
    uint32_t f_base = frames::top()->saved_base;
    frames::push_catch(&words::w::body);
    frames::push_interp_native(&g);
    uint32_t g_base = frames::top()->saved_base;
    frames::collect_calls(list);
    ASSERT_EQ(block::rs_length(list), 4);
    EXPECT_EQ(spelling(*block::rs_abs_at(list, 0)), "g");
    EXPECT_EQ(cell::get_int(block::rs_abs_at(list, 1)), static_cast<int32_t>(g_base));
    EXPECT_EQ(spelling(*block::rs_abs_at(list, 2)), "f");
    EXPECT_EQ(cell::get_int(block::rs_abs_at(list, 3)), static_cast<int32_t>(f_base));
}

TEST_F(Frames, TraceCallsTakesEveryNamedFrameWithItsKind) {
    Cell fn = named("frames-test-fn");
    Cell other = named("frames-test-native");
    Cell function{static_cast<uint32_t>(TypeId::Function), 0, 0, 0};
    context::set_global(word::symbol_of(&fn), &function);
    Cell* calls = stack::push(none::shared());
    frames::push_eval(&words::w::anon);
    frames::trace_calls(calls, depth());
    EXPECT_EQ(cell::type_of(calls), TypeId::None);  // no frame is named
    frames::push_interp_function(&fn);
    frames::push_interp_native(&other);
    frames::push_eval(&words::w::body);
    // A marker above the top reads only the frames in use.
    frames::trace_calls(calls, depth() + 5);
    ASSERT_EQ(block::rs_length(calls), 2);
    const Cell taken[2] = {*block::rs_abs_at(calls, 0), *block::rs_abs_at(calls, 1)};
    EXPECT_EQ(spelling(taken[0]), "frames-test-fn");
    EXPECT_EQ(cell::type_of(&taken[0]), TypeId::Word);
    EXPECT_EQ(spelling(taken[1]), "frames-test-native");
    EXPECT_EQ(cell::type_of(&taken[1]), TypeId::GetWord);
    struct Row {
        int32_t level;
        bool function_shown;
        bool other_shown;
    };
    for (const Row& r : {Row{0, false, false}, Row{1, true, false}, Row{2, true, true}, Row{3, true, true}}) {
        EXPECT_EQ(frames::trace_shows(r.level, &taken[0]), r.function_shown) << r.level;
        EXPECT_EQ(frames::trace_shows(r.level, &taken[1]), r.other_shown) << r.level;
    }
    // Up to a lower marker only the frames below it.
    frames::trace_calls(calls, 2);
    ASSERT_EQ(block::rs_length(calls), 1);
    EXPECT_EQ(spelling(*block::rs_abs_at(calls, 0)), "frames-test-fn");
    Cell unset_value{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    context::set_global(word::symbol_of(&fn), &unset_value);
}

// ---- Fatal path ----

TEST(FramesDeathTest, AnErrorNoTryTakesEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!frames::g_frames.bottom) frames::init();
            Cell n = named("n");
            frames::push_interp_native(&n);
            fire(Err::ZeroDivide);
        },
        ::testing::ExitedWithCode(254), "divide");
}

}  // namespace
}  // namespace nuv
