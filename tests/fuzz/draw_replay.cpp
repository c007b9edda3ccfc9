// nuv-fuzz-draw-replay: replays inputs of the draw target (replay.h has the command line).
#include "tests/fuzz/draw_writer.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-draw-replay", nuv::fuzz::write_draw_program);
}
