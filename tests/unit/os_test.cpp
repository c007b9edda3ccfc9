// The OS layer: the runtime error texts, the errors a fault becomes (each ends the process with
// its code, the report first on standard error), and the current directory.
#include "runtime/os.h"

#include <string>

#include "tests/unit/support.h"

namespace nuv {
namespace {

TEST(RuntimeErrors, TextsByCode) {
    EXPECT_STREQ(os::runtime_error_text(32), "segmentation fault");
    EXPECT_STREQ(os::runtime_error_text(34), "Bus error");
    EXPECT_STREQ(os::runtime_error_text(19), "stack error or overflow");
    EXPECT_STREQ(os::runtime_error_text(95), "no CATCH for THROW");
    EXPECT_STREQ(os::runtime_error_text(6), "float denormal operan");
    EXPECT_STREQ(os::runtime_error_text(0), "unknown error code!");
    EXPECT_STREQ(os::runtime_error_text(35), "unknown error code!");
}

volatile bool g_stop = false;  // never set: the recursion ends only by overflowing

// Not folded into a loop: each call keeps a frame of its own.
[[gnu::noinline]] int recurse(int depth) {
    if (g_stop) return 0;
    volatile char frame[256];
    frame[depth % 256] = static_cast<char>(depth);
    return recurse(depth + 1) + frame[(depth + 1) % 256];
}

[[gnu::noinline]] int divide(int a, int b) { return a / b; }
volatile int g_quotient = 0;

// The process runs these on the language thread (the runtime's start-up made the test's thread
// one): its stack running over is error 19, not a segmentation fault.
TEST(OsFaults, StackOverflowIsRuntimeError19) {
    if (!os::handles_faults()) GTEST_SKIP() << "the sanitizer handles faults";
    EXPECT_EXIT(recurse(0), ::testing::ExitedWithCode(19),
                "^\\*\\*\\* Runtime Error 19: stack error or overflow\n\\*\\*\\* at: [0-9A-F]{16}h\n");
}

TEST(OsFaults, SignalsByCause) {
    if (!os::handles_faults()) GTEST_SKIP() << "the sanitizer handles faults";
    volatile int zero = 0;
    volatile int seven = 7;
    EXPECT_EXIT(g_quotient = divide(seven, zero), ::testing::ExitedWithCode(13),
                "\\*\\*\\* Runtime Error 13: integer divide by zero");
    EXPECT_EXIT(*reinterpret_cast<volatile int*>(static_cast<uintptr_t>(zero + 8)) = 1,
                ::testing::ExitedWithCode(32), "\\*\\*\\* Runtime Error 32: segmentation fault");
    EXPECT_EXIT(os::quit_with_status(94), ::testing::ExitedWithCode(94),
                "\\*\\*\\* Runtime Error 94: out of memory\n\\*\\*\\* at: 0000000000000000h");
    EXPECT_EXIT(os::quit(5), ::testing::ExitedWithCode(5), "^$");
}

TEST(OsDirectory, CurrentDirEndsInASlashAndFollowsAChange) {
    const std::string start = os::current_dir();
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.back(), '/');
    ASSERT_TRUE(os::set_current_dir("/"));
    EXPECT_EQ(os::current_dir(), "/");
    EXPECT_FALSE(os::set_current_dir("/no/such/place"));
    EXPECT_EQ(os::current_dir(), "/");
    ASSERT_TRUE(os::set_current_dir(start.c_str()));
    EXPECT_EQ(os::current_dir(), start);
}

}  // namespace
}  // namespace nuv
