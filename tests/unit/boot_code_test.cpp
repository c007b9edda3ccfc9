// Boot code: the mark on the blocks of a boot unit and on the function bodies copied from them,
// the library object its calls are bound to, its silence under a trace run, the frames it pushes
// without the interpreter flag (interpreted and in compiled units), and the entry frame's ends of
// the process: runtime error 95 and status 254.
#include "runtime/boot_code.h"

#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/routines.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

using T = TypeId;

// The test's own boot unit, loaded as start-up loads one (marked, run, then sealed), once per
// process. `frame-probe` exists before it is sealed, `user-probe` only after.
constexpr const char* kUnit = R"(
    boot-add: func [b] [append b 1]
    boot-add-only: func [b] [append/only b [1]]
    boot-get: func [] [:append]
    boot-set: func [] [boot-word: 'set]
    boot-read: func [] [boot-data]
    boot-platform: func [] [system/platform]
    boot-nested: func [b] [either tail? b [append b [x (1 + 2)]] [b]]
    boot-fail: func [] [1 / 0]
    boot-probe: func [] [frame-probe]
    boot-calls-user: func [] [user-probe]
    boot-make: func [body] [func [] body]
)";

// What frame-probe saw: the interpreter flag of its own frame and of the frame below.
bool g_probe[2];
uint64_t frame_probe(const uint64_t*) {
    g_probe[0] = (frames::top()->header & frames::kInterpFlag) != 0;
    g_probe[1] = (frames::at_depth(frames::depth() - 1)->header & frames::kInterpFlag) != 0;
    return 1;
}

void run_as_boot_unit(const char* text) {
    Cell* code = load_text(text);
    boot_code::mark(code);
    interp::do_block(code);
}

void ensure_unit() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    eval_environment();
    StackScope scope;
    routines::bind("frame-probe", "", frame_probe, routines::kLogicResult);
    frames::Owner guard(&words::w::anon, frames::kTry);
    if (guard.run([] { run_as_boot_unit(kUnit); })) ADD_FAILURE() << "the test unit raised " << err_word(raised().id);
    boot_code::seal();
}

// The text's value in a new cell of the caller's scope; none when it raises.
Cell* eval_value(const std::string& text) {
    Cell* out = stack::push(none::shared());
    Cell* code = load_text(text);
    frames::Owner guard(&words::w::anon, frames::kTry);
    if (guard.run([&] { *out = *interp::do_block(code); })) ADD_FAILURE() << text << " raised " << err_word(raised().id);
    return out;
}

// Puts a global back as it was when the test ends.
struct KeepGlobal {
    SymId sym;
    Cell value;
    explicit KeepGlobal(const char* name) : sym(symbol::make_cstr(name)), value(*unset::shared()) {
        if (const Cell* slot = context::global_slot(sym)) value = *slot;
    }
    ~KeepGlobal() { context::set_global(sym, &value); }
};

// The series nodes of the value's blocks, deep, each once.
void blocks_of(const Cell& value, std::vector<NodeId>& out) {
    if (!series::is_any_block(cell::type_of(&value))) return;
    const NodeId node = cell::node(&value);
    for (NodeId n : out)
        if (n == node) return;
    out.push_back(node);
    for (int32_t k = 0; k < block::count(node); k++) blocks_of(block::at(node, k), out);
}

// How many of the value's blocks carry the mark, of how many.
std::pair<int, int> marked(const Cell& value) {
    std::vector<NodeId> nodes;
    blocks_of(value, nodes);
    int on = 0;
    for (NodeId n : nodes) on += boot_code::is_marked(n);
    return {on, static_cast<int>(nodes.size())};
}

TEST(BootCode, MarkIsDeepAndNoCopyTakesIt) {
    eval_environment();
    StackScope scope;
    Cell* code = load_text("a [b (c d/e) [[f]]] g/h");
    boot_code::mark(code);
    EXPECT_EQ(marked(*code), std::make_pair(7, 7));
    const KeepGlobal keep("boot-test-block");
    context::set_global(symbol::make_cstr("boot-test-block"), code);
    for (const char* copy : {"copy boot-test-block", "copy/deep boot-test-block", "copy/part boot-test-block 2",
                             "make block! boot-test-block", "append/only copy [] boot-test-block"}) {
        const Cell* made = eval_value(copy);
        const NodeId node = cell::node(made);
        EXPECT_FALSE(boot_code::is_marked(node)) << copy;
    }
    const std::pair<int, int> deep = marked(*eval_value("copy/deep boot-test-block"));
    EXPECT_EQ(deep, std::make_pair(0, 7));
}

TEST(BootCode, FunctionBodiesCopiedFromBootCodeAreBootCode) {
    eval_environment();
    StackScope scope;
    Cell* code = load_text("x: 1 [y (x + 1)]");
    boot_code::mark(code);
    const KeepGlobal keep("boot-test-block");
    context::set_global(symbol::make_cstr("boot-test-block"), code);
    struct Row {
        const char* source;
        bool marked;
    };
    const Row rows[] = {
        {"func [] boot-test-block", true},
        {"function [] boot-test-block", true},
        {"does boot-test-block", true},
        {"has [z] boot-test-block", true},
        {"make function! reduce [[] boot-test-block]", true},
        {"o: make object! [m: func [] boot-test-block] get in make o [] 'm", true},
        {"func [] [x: 1 [y (x + 1)]]", false},
        {"does copy/deep boot-test-block", false},
    };
    for (const Row& r : rows) {
        const Cell* fn = eval_value(r.source);
        ASSERT_TRUE(cell::is(fn, T::Function)) << r.source;
        const Cell body = function::body_of(fn);
        const std::pair<int, int> got = marked(body);
        EXPECT_EQ(got.second, 3) << r.source;
        EXPECT_EQ(got.first, r.marked ? 3 : 0) << r.source;
    }
}

TEST(BootCode, ItsCallsKeepTheLibraryDefinitions) {
    ensure_unit();
    const KeepGlobal keep("append");
    EXPECT_EQ(eval_text("user-add: func [b] [append b 1] append: none reduce [boot-add [] user-add []]"), "[[1] 1]");
    check_cases({
        {"boot-add-only []", "[[1]]"},
        {"action? boot-get", "true"},
        {"append", "none"},
    });
    // The function the boot unit made with a body the user gave is the user's.
    EXPECT_EQ(eval_text("f: boot-make [append [] 2] f"), "2");
}

// A compiled unit calls the library's definition directly, and sees a write into the library
// object (through a word of boot code the user reached) as the interpreter does.
TEST(BootCode, CompiledCallsFollowTheLibrary) {
    ensure_unit();
    StackScope scope;
    const Cell body = function::body_of(eval_value(":boot-add"));
    const Cell word = block::at(cell::node(&body), 0);
    const Cell before = *context::values_at(word.w1, static_cast<int32_t>(word.w3));
    struct PutBack {
        Cell word, value;
        ~PutBack() { *context::write_at(word.w1, static_cast<int32_t>(word.w3)) = value; }
    } put_back{word, before};
    check_cases({
        {"loop 3 [r: boot-add copy []] r", "[1]"},
        {"lib-append: pick reflect :boot-add 'body 1 set lib-append func [s v] [reduce [v s]] boot-add [a]", "[1 [a]]"},
        {"loop 3 [r: boot-add copy [a]] r", "[1 [a]]"},
        {"set lib-append :append loop 3 [r: boot-add copy [a]] r", "[a 1]"},
    });
}

TEST(BootCode, DataWordsStayGlobal) {
    ensure_unit();
    const KeepGlobal keep("boot-data");
    const KeepGlobal keep_word("boot-word");
    check_cases({
        {"boot-data: 5 boot-read", "5"},
        {"boot-data: 'changed boot-read", "changed"},
        {"boot-platform", "Linux"},
        {"boot-set boot-word", "set"},  // a set-word of boot code sets the global
        {"same? context? pick reflect :boot-read 'body 1 system/words", "true"},
        {"same? context? pick reflect :boot-add 'body 1 system/words", "false"},
    });
    // The library object holds the callables the unit called, as they were when it was sealed.
    StackScope scope;
    const NodeId lib = boot_code::library();
    ASSERT_NE(lib, 0u);
    const Cell add_body = function::body_of(eval_value(":boot-add"));
    const Cell append = block::at(cell::node(&add_body), 0);
    EXPECT_EQ(append.w1, lib);
    const Cell* held = context::values_at(lib, static_cast<int32_t>(append.w3));
    EXPECT_TRUE(cell::is(held, T::Action));
    const Cell platform_body = function::body_of(eval_value(":boot-platform"));
    const Cell path = block::at(cell::node(&platform_body), 0);
    EXPECT_EQ(block::at(cell::node(&path), 0).w1, context::global());
}

TEST(BootCode, ATraceRunHearsNothingFromInsideIt) {
    ensure_unit();
    StackScope scope;
    const Cell* log = eval_value(
        "log: copy [] user-len: func [b] [length? b] "
        "do/trace [boot-nested [] user-len [1] try [boot-fail]] func [e c o v r f] [append log e append/only log c] "
        "log");
    const Cell user_len = function::body_of(eval_value(":user-len"));
    const NodeId user_body = cell::node(&user_len);
    ASSERT_TRUE(cell::is(log, T::Block));
    int32_t user_events = 0;
    int32_t calls = 0;
    int32_t errors = 0;
    for (int32_t k = 0; k + 1 < block::count(cell::node(log)); k += 2) {
        const Cell event = block::at(cell::node(log), k);
        const Cell code = block::at(cell::node(log), k + 1);
        if (cell::is(&code, T::Block)) {
            EXPECT_FALSE(boot_code::is_marked(cell::node(&code))) << "event " << k / 2;
            user_events += cell::node(&code) == user_body;
        }
        errors += word::symbol_of(&event) == symbol::make_cstr("error");
        calls += word::symbol_of(&event) == symbol::make_cstr("call");
    }
    EXPECT_GT(user_events, 0);
    EXPECT_GE(calls, 4);  // boot-nested, user-len, length?, try: the calls user code makes
    EXPECT_EQ(errors, 1);  // the raise inside boot-fail: fire's event, not the interpreter's
}

TEST(BootCode, ItsFramesHaveNoInterpreterFlag) {
    ensure_unit();
    eval_text("user-probe: func [] [frame-probe]");
    struct Row {
        const char* source;
        bool probe;  // the probe's own frame
        bool below;  // the frame below it
    };
    const Row rows[] = {
        {"frame-probe", true, true},
        {"user-probe", true, true},
        {"boot-probe", false, true},
        {"boot-calls-user", true, false},
        {"loop 3 [boot-calls-user]", true, false},  // the body's unit pushes the frames
        {"loop 3 [boot-probe]", false, true},
    };
    for (const Row& r : rows) {
        g_probe[0] = g_probe[1] = false;
        eval_text(r.source);
        EXPECT_EQ(g_probe[0], r.probe) << r.source;
        EXPECT_EQ(g_probe[1], r.below) << r.source;
    }
}

// ---- The entry frame ----

const char* g_entry_unit = nullptr;
void run_entry_unit() {
    StackScope scope;
    run_as_boot_unit(g_entry_unit);
}

TEST(BootCodeDeathTest, TheEntryFrameEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    eval_environment();
    struct Row {
        const char* unit;
        int status;
        const char* text;
    };
    const Row rows[] = {
        {"throw 1", 95, "\\*\\*\\* Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: [0-9A-F]{16}"},
        {"x: 1 catch/name [throw/name 2 'a] 'b", 95, "Runtime Error 95: no CATCH for THROW"},
        {"x: 1 / 0", 254, "\\*\\*\\* Math Error: attempt to divide by zero"},
        {"break", 254, "\\*\\*\\* Throw Error: no loop to break"},
        {"f: func [] [return 1 / 0] f", 254, "attempt to divide by zero"},
    };
    for (const Row& r : rows) {
        g_entry_unit = r.unit;
        EXPECT_EXIT(boot_units::run_at_entry(run_entry_unit), ::testing::ExitedWithCode(r.status), r.text)
            << r.unit;
    }
}

TEST(BootCode, UnitsThatEndWellLeaveTheEntryFrame) {
    eval_environment();
    g_entry_unit = "x: catch [throw 3]";
    const uint32_t depth = frames::depth();
    boot_units::run_at_entry(run_entry_unit);
    EXPECT_EQ(frames::depth(), depth);
    EXPECT_EQ(eval_text("x"), "3");
}

}  // namespace
}  // namespace nuv::test
