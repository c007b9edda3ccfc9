// What the process has mapped: the tests that check a library is loaded only on first use.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

namespace nuv::test {

// Whether a mapping whose file name holds `name` is in this process's /proc/self/maps.
inline bool mapped(const char* name) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream all;
    all << maps.rdbuf();
    return all.str().find(name) != std::string::npos;
}

}  // namespace nuv::test
