// NUVBIN compact documents: values to bytes and back, with shared series kept shared.
// This build covers the scalar types (unset!, none!, logic!, integer!, char!, float!, percent!,
// pair!, time!), the values kept whole in the cell (datatype!, typeset!, tuple!, date!, money!,
// point2D!, point3D!), the block kinds (block!, paren!, the four path types), the text kinds
// (string!, file!, url!, tag!, email!, ref!), binary!, the words (a word of an object's or a
// function's context carries that owner), object! (with its change handlers), function!,
// error!, native!, action! and op!; every other type raises internal not-done on both sides,
// the types no document may hold raise access no-codec.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::nuvbin {

// Nesting deeper than this raises internal too-deep, on writing and on reading alike, so every
// document written reads back without exhausting the machine stack.
inline constexpr int32_t kMaxDepth = 1000;

// `result` (a cell outside any series buffer) becomes a new binary! holding the compact
// document of `value`.
void encode_compact(const Cell* value, Cell* result);
// The same in the standard form, whose fields are whole little-endian words.
void encode_standard(const Cell* value, Cell* result);

// Decodes a compact document of `length` bytes and appends its top-level values to the block
// `receiving` (a cell outside any series buffer). The bytes are copied first, so they may lie
// in a series buffer. Short input or a bad magic raises script invalid-data; any malformed
// record raises script nb-invalid-record with the 1-based offset of the reading position. With
// flags bit 1 the bytes after the flags are an LZ77 container of the rest; one that does not
// unpack raises invalid-data.
// Values appended before an error stay appended.
void decode(const uint8_t* data, size_t length, Cell* receiving);

}  // namespace nuv::nuvbin
