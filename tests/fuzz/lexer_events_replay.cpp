// nuv-fuzz-lexer_events-replay: replays inputs of the transcode/trace target (replay.h has the
// command line); --print shows the program an input becomes.
#include "tests/fuzz/lexer_events_fuzz_body.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-lexer_events-replay",
                                  nuv::fuzz::lexer_events_program);
}
