#include "tests/fuzz/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace nuv::fuzz {

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int replay_main(int argc, char** argv, const char* tool, ProgramWriter write) {
    const bool print = argc > 1 && std::strcmp(argv[1], "--print") == 0;
    std::vector<fs::path> inputs;
    for (int k = print ? 2 : 1; k < argc; k++) {
        std::error_code error;
        if (fs::is_directory(argv[k], error)) {
            for (const auto& entry : fs::directory_iterator(argv[k]))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else if (fs::is_regular_file(argv[k], error)) {
            inputs.emplace_back(argv[k]);
        } else {
            std::fprintf(stderr, "%s: no file or folder %s\n", tool, argv[k]);
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (!print && !std::freopen("/dev/null", "w", stdout)) return 2;
    for (const fs::path& path : inputs) {
        const std::vector<uint8_t> bytes = read_bytes(path);
        if (print) {
            std::printf(";; %s\n%s\n", path.c_str(), write(bytes.data(), bytes.size()).c_str());
        } else {
            std::fprintf(stderr, "%s\n", path.c_str());  // names the input a crash stops on
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
    }
    if (!print) std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}

}  // namespace nuv::fuzz
