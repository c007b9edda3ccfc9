// Scratch files for tests. The suite runs in parallel, and each test runs twice at once (plain and
// under the collector's stress), so a file name carries the process id to be a process's own.
#pragma once
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace nuv::test {

// A path in the test temp directory that no other process running the suite uses.
inline std::string temp_path(const std::string& name) {
    return ::testing::TempDir() + "nuv_" + std::to_string(::getpid()) + "_" + name;
}

}  // namespace nuv::test
