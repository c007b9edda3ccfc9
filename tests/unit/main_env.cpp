// Starts the runtime and its boot units once for the unit-test process, as a program starts,
// and turns the collector switch on. What a
// test made stays a fresh root only until the test ends, so one test's values do not weigh on
// the collections of every later test in the same process.
#include <gtest/gtest.h>

#include "boot/boot_units.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/runtime.h"
#include "runtime/syntax/lexer.h"
#include "tests/unit/support.h"

namespace {
struct RuntimeEnvironment : ::testing::Environment {
    void SetUp() override {
        nuv::runtime::init();
        nuv::boot_units::run();
        nuv::test::g_boot_lexer_runs = nuv::lexer::runs_started();
        nuv::roots::set_collector_on(true);
        nuv::roots::set_auto_root(false);
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

struct FreshPerTest : ::testing::EmptyTestEventListener {
    size_t base = 0;
    void OnTestStart(const ::testing::TestInfo&) override { base = nuv::memory::fresh_count(); }
    void OnTestEnd(const ::testing::TestInfo&) override { nuv::memory::drop_fresh(base); }
};
const bool g_fresh_per_test = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshPerTest);
    return true;
}();
}  // namespace
