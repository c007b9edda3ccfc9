// The natives that reach outside the evaluator: memory statistics (stats), the process
// environment (get-env, set-env, list-env) and the lexer's entry (transcode). Each takes its
// arguments at arguments[0..] with the natives' calling convention and leaves its result in
// arguments[0].
#pragma once
#include <cstdint>

namespace nuv::natives_system {

// Bytes in use (integer!, float! above 2,147,483,647); /info the block of memory::stats_info.
void stats(bool check, const int32_t* refinements);
// Environment names and values are UTF-8. A name no variable can have (empty, or holding '='
// or NUL) reads as none; set-env refuses it, and a value holding NUL, with script invalid-arg.
void get_env(bool check, const int32_t* refinements);
void set_env(bool check, const int32_t* refinements);  // a none! value removes the variable
// A map! of every variable's name to its value, both string!.
void list_env(bool check, const int32_t* refinements);
// The date, or one field of it, from the system clock.
void now(bool check, const int32_t* refinements);
// The source's index is clamped to its tail first; /part, /into, /next, /one, /scan and
// /prescan go to the lexer as they are.
void transcode(bool check, const int32_t* refinements);

}  // namespace nuv::natives_system
