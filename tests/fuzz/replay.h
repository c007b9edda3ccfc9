// The command line of the replay tools, which run saved inputs of a program target without
// libFuzzer, so that any build replays a corpus, and show the program an input becomes:
//
//   TOOL PATH...           runs each input (a file, or every file of a folder) through the
//                          target's LLVMFuzzerTestOneInput
//   TOOL --print PATH...   writes each input's program instead of running it
//
// What the programs print is dropped; each input's path goes to standard error before it runs.
// The status is 0 when every input ran, 2 on a bad path.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nuv::fuzz {

using ProgramWriter = std::string (*)(const uint8_t* data, size_t size);

int replay_main(int argc, char** argv, const char* tool, ProgramWriter write);

}  // namespace nuv::fuzz
