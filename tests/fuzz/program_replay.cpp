// nuv-fuzz-program-replay: replays inputs of the program target (replay.h has the command line).
#include "tests/fuzz/program_writer.h"
#include "tests/fuzz/replay.h"

int main(int argc, char** argv) {
    return nuv::fuzz::replay_main(argc, argv, "nuv-fuzz-program-replay", nuv::fuzz::write_program);
}
