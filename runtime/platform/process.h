// Child processes for the call native: posix_spawnp with close-on-exec pipes, the three streams
// fed and drained together under poll.
#pragma once
#include <cstdint>

namespace nuv::process {

// Puts the call native into the natives table; runs after the table is made.
void init();

}  // namespace nuv::process
