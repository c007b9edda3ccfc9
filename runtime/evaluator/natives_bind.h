// The natives that bind words to contexts and make objects grow: bind, in, context?, construct
// and extend. Each takes its arguments at arguments[0..] with the natives' calling convention
// and leaves its result in arguments[0].
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::natives_bind {

// The context comes from an object, a function's locals, or the word it is bound to. A block
// is bound deeply (with /copy a deep copy is, and is the result); a word is rebound only when
// the context holds its name.
void bind(bool check, const int32_t* refinements);
// A copy of the word bound to the object's or function's context (a refinement! becoming a
// word!), or none when the context lacks it. Natives and actions keep no such context: none.
void in(bool check, const int32_t* refinements);
// The object or function whose context the word is bound to; none for an unbound word.
void is_context(bool check, const int32_t* refinements);
// An object from the unevaluated spec (see object::construct), derived from /with's prototype.
void construct(bool check, const int32_t* refinements);
void extend(bool check, const int32_t* refinements);

}  // namespace nuv::natives_bind
