// nuv-fuzz-json-replay: replays inputs of the json target (replay.h has the command line);
// --print shows the program an input becomes.
#include "tests/fuzz/json_fuzz_body.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-json-replay", nuv::fuzz::json_program);
}
