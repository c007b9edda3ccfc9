// The natives that make functions and choose between blocks, and the function exits: if,
// either, func, function, does, has, exit and return. Each takes its arguments at arguments[0..] with the
// natives' calling convention and leaves its result in arguments[0].
#pragma once
#include <cstdint>

namespace nuv::natives_core {

void if_(bool check, const int32_t* refinements);
void either(bool check, const int32_t* refinements);
void func(bool check, const int32_t* refinements);
void function(bool check, const int32_t* refinements);  // func with the body's set-words local
void does(bool check, const int32_t* refinements);
void has(bool check, const int32_t* refinements);
void exit(bool check, const int32_t* refinements);
void return_(bool check, const int32_t* refinements);

}  // namespace nuv::natives_core
