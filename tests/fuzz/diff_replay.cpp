// nuv-fuzz-diff-replay: replays inputs of the differential target (replay.h has the command
// line); --print shows the runs an input asks for and its program.
#include "tests/fuzz/diff_fuzz.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-diff-replay", nuv::fuzz::diff_input_text);
}
