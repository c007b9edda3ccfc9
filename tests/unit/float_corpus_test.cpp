// Reading decimal text against an outside corpus: every line gives a text and the exact bits
// of the double a correctly rounded reading yields. No line is a known failure.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/float_text.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

TEST(FloatCorpus, EveryLineReadsToItsBits) {
    const std::filesystem::path dir = std::filesystem::path(NUV_CORPORA_DIR) / "parse-number-fxx" / "data";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    int lines = 0;
    int failures = 0;
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); number++) {
            // "f16 f32 f64 text": the f64 bits are 16 hex digits at offset 14, the text from 31.
            if (line.size() < 32) continue;
            const uint64_t want = std::stoull(line.substr(14, 16), nullptr, 16);
            const char* text = line.data() + 31;
            const char* end = line.data() + line.size();
            int left = -1;
            const double got = float_text::decimal_to_float(text, end, 0, &left);
            lines++;
            if (std::bit_cast<uint64_t>(got) != want || left != 0) {
                if (++failures <= 20) {
                    ADD_FAILURE() << file.filename().string() << ":" << number << " \"" << std::string(text, end).substr(0, 60)
                                  << "\" wanted " << line.substr(14, 16) << " got " << std::hex
                                  << std::bit_cast<uint64_t>(got) << std::dec << " left " << left;
                }
            }
        }
    }
    EXPECT_GT(lines, 50000);
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace nuv
