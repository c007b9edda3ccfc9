// Runtime start-up and shutdown. The root block and the start-up switches live in
// runtime/roots.h; only the composition roots include this header.
#pragma once

namespace nuv::runtime {

// Runs every module initialiser in order. After an exit it makes the runtime again, which
// behaves as the first one did (the fuzz harness starts one per program it runs).
void init();
void exit();  // gives every byte back; no value may be used afterwards

// Runs `body` on a thread whose machine stack is large enough that the frame and argument stack
// limits always bind before the machine-stack guard does, so a program's deepest recursion is
// the same whatever the C++ code between its calls; answers the body's result. A program's
// entry point calls its whole run through it.
int run_with_deep_stack(int (*body)(void*), void* data);

}  // namespace nuv::runtime
