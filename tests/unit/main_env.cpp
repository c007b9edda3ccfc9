// Starts the runtime once for the unit-test process and turns the collector switch on.
#include <gtest/gtest.h>

#include "runtime/runtime.h"

namespace {
struct RuntimeEnvironment : ::testing::Environment {
    void SetUp() override {
        nuv::runtime::init();
        nuv::runtime::set_collector_on(true);
        nuv::runtime::set_auto_root(false);
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);
}  // namespace
