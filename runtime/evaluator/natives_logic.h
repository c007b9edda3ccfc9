// Identity, truth and type tests (same?, not, type?) and the set operations (union, intersect,
// unique, difference, exclude, complement?). Each takes its arguments at arguments[0..] with the
// natives' calling convention and leaves its result in arguments[0].
#pragma once
#include <cstdint>

#include "runtime/actions.h"

namespace nuv::natives_logic {

// Identity from the cells alone: values of different datatypes are never the same; a series is
// the same only at the same index of the same buffer.
void is_same(bool check, const int32_t* refinements);
void not_(bool check, const int32_t* refinements);
void is_type(bool check, const int32_t* refinements);  // /word: the datatype's word

// The set operations' one core. Both sets must be block!/hash! in any mix or of one datatype
// (script expect-val); the first set's datatype picks the routine, /case and /skip passed on.
void set_operation(SetOp code, bool check, const int32_t* refinements);
inline void union_(bool check, const int32_t* r) { set_operation(SetOp::Union, check, r); }
inline void intersect(bool check, const int32_t* r) { set_operation(SetOp::Intersect, check, r); }
inline void unique(bool check, const int32_t* r) { set_operation(SetOp::Unique, check, r); }
inline void difference(bool check, const int32_t* r) { set_operation(SetOp::Difference, check, r); }
inline void exclude(bool check, const int32_t* r) { set_operation(SetOp::Exclude, check, r); }
void is_complement(bool check, const int32_t* refinements);

}  // namespace nuv::natives_logic
