// The natives that leave the normal flow and those that stop it: break, continue, throw,
// catch and try; and the counting and testing loops: loop, repeat, while, until and forever. Each takes
// its arguments at arguments[0..] with the natives' calling convention and leaves its result in
// arguments[0]. Loops and catchers keep their arguments in place (rooted) and push their frame
// above them.
#pragma once
#include <cstdint>

namespace nuv::natives_control {

void break_(bool check, const int32_t* refinements);
void continue_(bool check, const int32_t* refinements);
void throw_(bool check, const int32_t* refinements);
void catch_(bool check, const int32_t* refinements);
void try_(bool check, const int32_t* refinements);
void loop(bool check, const int32_t* refinements);
void repeat(bool check, const int32_t* refinements);
void while_(bool check, const int32_t* refinements);
void until(bool check, const int32_t* refinements);
void forever(bool check, const int32_t* refinements);  // ends only by an exit

}  // namespace nuv::natives_control
