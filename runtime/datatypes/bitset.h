// bitset!: a set of non-negative integers (code points in practice) as a packed bit array in a
// byte buffer; the cell holds the buffer's node in word 2 (words 1 and 3 are 0). Bit n lives in
// byte n >> 3 under the mask 0x80 >> (n & 7). A stored bit is 1 exactly when n is a member; the
// buffer flag kComplemented says whether the bits beyond the stored bytes are members, so a set
// of all characters but a few takes a few bytes. A bitset holds at most kMaxBytes bytes, so its
// length in bits is always an integer!.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/memory.h"

namespace nuv::bitset {

inline constexpr uint32_t kComplemented = 0x80000;  // series buffer flag
inline constexpr size_t kMaxBytes = 268435455;     // 2,147,483,640 bits
inline constexpr int64_t kMaxBit = static_cast<int64_t>(kMaxBytes) * 8 - 1;

// ---- Layout (no allocation; pointers are valid until the next allocation) ----

inline bool is_complemented(const Cell* bitset) {
    return (memory::buf_of(bitset)->flags & kComplemented) != 0;
}
inline size_t byte_count(const Cell* bitset) { return memory::buf_of(bitset)->used(); }
inline uint8_t* bits(const Cell* bitset) { return memory::buf_of(bitset)->offset_ptr(); }
inline uint8_t* bits_end(const Cell* bitset) { return memory::buf_of(bitset)->tail_ptr(); }
// Whether n is a member: beyond the stored bytes (a negative n included) the complement flag
// answers.
inline bool has(const Cell* bitset, int64_t n) {
    memory::SeriesBuf* b = memory::buf_of(bitset);
    if (n < 0 || static_cast<uint64_t>(n >> 3) >= b->used()) return (b->flags & kComplemented) != 0;
    return (b->offset_ptr()[n >> 3] & (0x80u >> (n & 7))) != 0;
}
// Whether the byte at the binary's head is a member; false at the binary's tail.
bool test_byte(const Cell* binary, const Cell* bitset);
// The collector's mark hook: the byte buffer, which holds no references.
void mark(const Cell* value);

// ---- Makers and operations ----

// `cell` (which must not lie in a collected buffer) becomes a bitset of `bytes` stored bytes,
// each set to `fill`, complemented or not. Allocates.
Cell* make_at(Cell* cell, size_t bytes, uint8_t fill, bool complemented);

// What a spec walk is for. Bits is sizing: the highest bit named, or -1 when none is.
enum class Op : uint8_t { Bits = 0, Set = 1, Test = 2, Clear = 3 };
// Who walks a spec: a type it cannot read raises bad-make-arg, bad-to-arg or invalid-arg.
enum class Caller : uint8_t { Make, To, Action };
// Walks the spec (char!, integer!, float!, string!, or a block of those with `low - high`
// ranges) and applies `op` to every bit it names: Set and Clear answer 0, Test 1 when every bit
// is a member (else 0), Bits the highest bit (with no bitset). Set and Clear grow the buffer
// first where it must hold the change, so they may allocate; Bits and Test never do. Raises
// before changing anything.
int64_t walk(const Cell* spec, const Cell* bitset, Op op, Caller caller);

// and~, or~, xor~ (codes 6, 5, 7) and the set natives (8 unique: arguments[0] as it is; 9 union,
// 10 intersect, 11 exclude, 12 difference) over arguments[0] and arguments[1]. Each operand
// reads beyond its stored bytes as its complement flag says, and the result's flag is the
// operation applied to the two flags. The new bitset is pushed and becomes arguments[0].
// Allocates.
void set_op(int32_t code);
template <int32_t Code>
void set_op_slot() { set_op(Code); }

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
// "make bitset! #{...}", or "make bitset! [not #{...}]" showing the excluded bits.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
// Orders by stored length, then complement flag, then bytes from the last; same? is the buffer.
int32_t compare(Cell* a, Cell* b, CompareOp op);
// complement and negate: the value becomes a new bitset with every membership inverted.
void complement(Cell* value);
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
// Every bit stops being a member; the stored length stays.
void clear(Cell* value);
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
// The shared true when every bit the value names is a member, else the shared none.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length(Cell* value);
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);
// false, none, 0 and 0.0 clear the bits the index names; any other value sets them.
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* index_arg);
// Clears the bits /key names; without /key raises script missing-arg.
Cell* remove(Cell* series, Cell* part, Cell* key);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::bitset
