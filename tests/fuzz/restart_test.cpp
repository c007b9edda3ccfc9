// A runtime made again after runtime exit behaves as the first one of the process: the same
// output, memory statistics, random numbers, frames and error reports. The differential target
// starts one per run and compares them, so anything a restart inherits would show as a false
// difference there. This process starts no runtime before the test's first.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "runtime/runtime.h"
#include "tests/fuzz/fuzz_support.h"

namespace nuv::fuzz {
namespace {

// Each line reads state that a restart could inherit; the program ends without a line end and
// with an uncaught error raised some forty calls deep, whose report has a Stack line, whose
// argument is a series that a runtime made again must not keep alive, and whose depth the next
// runtime's collector must not take for frames of its own (their records name contexts of the
// old runtime).
constexpr const char* kProgram = R"(prin last-lf? prin " "
loop 200 [copy "garbage"] recycle print stats
o: make object! [b: [1 2] c: "x" m: func [p] [append b p]] o/m 3 print mold o
print random 1000000
print mold/flat try/keep [o/m 1 / 0]
f: does [collect-calls k: copy [] k] print mold f
prin "z"
g: func [x] [x < 1] h: func [n] [either n > 0 [h n - 1] [loop 1 [g copy "gone"]]] h 40
)";

TEST(Restart, RuntimeMadeAgainBehavesAsTheFirst) {
    const Outcome first = run_fresh("restart test", kProgram);
    ASSERT_EQ(first.output.rfind("true ", 0), 0u) << first.output;
    ASSERT_NE(first.output.find("zero-divide"), std::string::npos) << first.output;
    ASSERT_NE(first.report.find("*** Stack: h h h"), std::string::npos) << first.report;
    // Only after a few restarts does the allocator hand a runtime the buffers of the one before.
    for (int run = 2; run <= 4; run++) {
        const Outcome again = run_fresh("restart test", kProgram);
        EXPECT_EQ(again.output, first.output) << "run " << run;
        EXPECT_EQ(again.report, first.report) << "run " << run;
    }
}

// The process's virtual size in kB, from /proc/self/status.
long virtual_kb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// The node table reserves a gigabyte of addresses: a runtime that exits gives it back, else a
// long fuzz run runs out of address space.
TEST(Restart, ExitGivesTheAddressSpaceBack) {
    start_runtime();
    runtime::exit();
    const long before = virtual_kb();
    ASSERT_GT(before, 0);
    for (int k = 0; k < 20; k++) {
        start_runtime();
        runtime::exit();
    }
    EXPECT_LT(virtual_kb() - before, 1L << 20);
}

}  // namespace
}  // namespace nuv::fuzz
