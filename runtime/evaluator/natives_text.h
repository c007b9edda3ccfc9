// The conversion and text natives: case change, percent and base encodings, coercion between
// sibling series types, the compound-scalar makers and the new-line markers of block values.
// Each takes its arguments at arguments[0..] with the natives' calling convention and leaves
// its result in arguments[0].
#pragma once
#include <cstdint>

namespace nuv::natives_text {

// A char! gives the converted char!; a text is converted in place from its index, up to the
// /part limit (a count, a float count truncated, or a position in the same text), and
// returned. Limits beyond the tail stop at the tail.
void uppercase(bool check, const int32_t* refinements);
void lowercase(bool check, const int32_t* refinements);

// A new string! with every "%XX" escape decoded; escapes that together spell one UTF-8
// sequence give its code point, an incomplete or malformed sequence stays as written.
void dehex(bool check, const int32_t* refinements);
// A new string! with every byte of the UTF-8 text outside the safe set written as "%XX": a
// string! keeps only letters, digits and - . _ ~; the other text types keep the URL set.
void enhex(bool check, const int32_t* refinements);
// The base (64, 58, 16 or 2; script invalid-arg for another) is checked; the decoded value is
// a binary!.
void debase(bool check, const int32_t* refinements);
// The UTF-8 of a string! from its index in base 64 (default), 58, 16 or 2, as a new string!.
// An encoded size beyond 2147483647 bytes raises script too-long.
void enbase(bool check, const int32_t* refinements);

// The spec series under the type (a datatype!, or the type of an example value), sharing its
// buffer. Both must be block-like (block!, paren!, paths) or both text; else script
// not-same-class.
void as(bool check, const int32_t* refinements);

void as_pair(bool check, const int32_t* refinements);
void as_point2d(bool check, const int32_t* refinements);
void as_point3d(bool check, const int32_t* refinements);
void as_money(bool check, const int32_t* refinements);
void to_local_file(bool check, const int32_t* refinements);

// Sets or clears the marker at the position (nothing at the tail); with /all or /skip size
// every value to the tail, the requested state on each value whose distance from the position
// is a multiple of the period and the opposite one on the others. A size below 1 raises script
// out-of-range. The result is the position.
void new_line(bool check, const int32_t* refinements);
void is_new_line(bool check, const int32_t* refinements);  // false at the tail

}  // namespace nuv::natives_text
