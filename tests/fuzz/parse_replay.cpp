// nuv-fuzz-parse-replay: replays inputs of the parse target (replay.h has the command line);
// --print shows the program an input becomes.
#include "tests/fuzz/parse_fuzz_body.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-parse-replay", nuv::fuzz::parse_program);
}
