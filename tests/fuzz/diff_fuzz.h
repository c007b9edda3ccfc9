// How the differential target reads an input: the first byte chooses the runs besides the
// interpreted and the eager one (bit 0: an eager run with deopt stress too; bit 1: code verify in
// the eager runs), the rest is the program's bytes (program_writer.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nuv::fuzz {

struct DiffInput {
    bool deopt_stress;
    bool verify;
    std::string program;
};
DiffInput read_diff_input(const uint8_t* data, size_t size);

// The input's program, after a comment line that names its runs.
std::string diff_input_text(const uint8_t* data, size_t size);

}  // namespace nuv::fuzz
