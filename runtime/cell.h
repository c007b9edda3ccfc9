// The value cell: every language value is one 16-byte cell of four 32-bit words.
// Word 0 is the header (type id in bits 0-7, flags above); words 1-3 are the payload, laid out
// by each datatype. No cell word ever holds a machine address: series are reached through
// 32-bit node ids, so buffers can move under the collector.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/types.h"

namespace nuv {

using NodeId = uint32_t;  // index into the node table; 0 = none

struct alignas(16) Cell {
    uint32_t header;
    uint32_t w1;
    uint32_t w2;
    uint32_t w3;
};
static_assert(sizeof(Cell) == 16);

namespace cell {

inline constexpr uint32_t kTypeMask = 0xFF;
inline constexpr uint32_t kNewLine = 0x40000000;     // the value starts a new line when molded
inline constexpr uint32_t kCompiledSet = 0x2000;     // word assigned by compiled code in an object

inline TypeId type_of(const Cell* c) { return static_cast<TypeId>(c->header & kTypeMask); }
inline bool is(const Cell* c, TypeId t) { return type_of(c) == t; }

// Replaces the type id, keeping every flag above it.
inline void set_type(Cell* c, TypeId t) {
    c->header = (c->header & ~kTypeMask) | static_cast<uint32_t>(t);
}
// Makes the header exactly the type with no flags.
inline void set_header(Cell* c, TypeId t) { c->header = static_cast<uint32_t>(t); }

inline uint32_t clear_header_bit30(uint32_t header) { return header & ~kNewLine; }

// Writes the four words with one 16-byte store: a cell written field by field and then copied
// whole makes the processor wait for the pieces to land before it can read them back.
using Lanes = uint32_t __attribute__((vector_size(16)));
inline void put(Cell* c, uint32_t header, uint32_t w1, uint32_t w2, uint32_t w3) {
    const Lanes lanes = {header, w1, w2, w3};
    std::memcpy(c, &lanes, sizeof lanes);
}

// Copies the four words; copying a cell onto itself is harmless. Returns the target.
inline Cell* copy(const Cell* source, Cell* target) {
    if (source != target) *target = *source;
    return target;
}

// Payload helpers for scalar layouts: a 64-bit double lives in words 2-3.
inline double get_double(const Cell* c) {
    double d;
    uint32_t words[2] = {c->w2, c->w3};
    std::memcpy(&d, words, sizeof d);
    return d;
}
inline void set_double(Cell* c, double d) {
    uint32_t words[2];
    std::memcpy(words, &d, sizeof d);
    c->w2 = words[0];
    c->w3 = words[1];
}
inline int32_t get_int(const Cell* c) { return static_cast<int32_t>(c->w2); }
inline void set_int(Cell* c, int32_t v) { c->w2 = static_cast<uint32_t>(v); }

// Series layout (block!, string! and their kin): word 1 the head index, word 2 the node.
inline int32_t head(const Cell* c) { return static_cast<int32_t>(c->w1); }
inline void set_head(Cell* c, int32_t h) { c->w1 = static_cast<uint32_t>(h); }
inline NodeId node(const Cell* c) { return c->w2; }

}  // namespace cell
}  // namespace nuv
