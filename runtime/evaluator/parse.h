// The parse dialect: one iterative matcher over strings, binaries and blocks. Sub-rules and
// commands are frames on one rules stack shared by nested calls, so grammar depth costs stack
// cells, not machine stack.
#pragma once
#include <cstdint>

namespace nuv::parse {

// The native: arguments[0] the input, [1] the rules; refinements /case, /part, /trace.
void native(bool check, const int32_t* refinements);

// Frames in use on the rules stack (all nested calls); 0 between calls.
int32_t depth();
// The most frames the rules stack holds: a rule that needs one more raises script parse-stack.
int32_t most_frames();

// Rule items taken up one at a time since start-up (a loop over a literal or a search counts
// as one): what matching a grammar costs, counted.
uint64_t items_taken();

// Drops what the engine learnt of a runtime's symbols; runtime-exit calls it, since a runtime
// made again may give the same ids to other names.
void forget();

}  // namespace nuv::parse
