// string!: the text cell and buffer layout shared by string!, file!, url!, tag!, email! and ref!,
// and the operations through which the runtime reads and writes text (form and mold of every
// type write with them). Word 1 is the head (units from the buffer's `offset`), word 2 the node,
// word 3 the conversion cache node or 0. A buffer's unit (1 Latin-1, 2 UCS-2, 4 UCS-4) only grows.
// Writers may widen or move the buffer: they return it, and callers re-read positions from indexes.
// The string! actions (string_actions.cpp) serve the whole family.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/memory.h"

namespace nuv::string {

// Encodings of load: UTF-8, UTF-16LE, and UTF-8 from outside bytes that need not be well
// formed (each bad or cut sequence loads as U+FFFD); any other raises access no-codec.
inline constexpr int32_t kUtf8 = 0;
inline constexpr int32_t kUtf16le = -1;
inline constexpr int32_t kUtf8Lenient = -2;

// ---- Makers (each allocates) ----

// The cell (which must not lie in a series buffer: the allocation may move it) becomes an
// empty string! with a new unit-1 buffer of `bytes` bytes (0 taken as 1).
Cell* make_at(Cell* cell, size_t bytes);
// The same with room for `units` units of `unit` bytes (1, 2 or 4).
Cell* make_at_unit(Cell* cell, size_t units, uint32_t unit);
// Copies the string cell into the next argument-stack slot and returns that slot.
Cell* push(const Cell* str);
// Fills `cell` (nullptr: the next argument-stack slot) with a new string! holding the decoded
// text: `size` bytes of UTF-8 (kUtf8) or UTF-16LE (kUtf16le). The text is whole, so a sequence
// cut off at its end raises access invalid-utf8; another encoding raises access no-codec with
// the encoding as an integer!. `text` must not point into a series buffer (it is read across
// allocations), and `cell` must not lie in one.
Cell* load(const uint8_t* text, size_t size, Cell* cell, int32_t encoding);
Cell* load_new(const uint8_t* text, size_t size, int32_t encoding);
// Loads into a new cell at the tail of the block; returns the cell (valid until the next
// allocation).
Cell* load_at(const uint8_t* text, size_t size, Cell* block, int32_t encoding);

// ---- Readers (no allocation) ----

// Units from head to tail, the head clamped to the tail first.
int32_t length(const Cell* str);
// Units from the buffer's start (its `offset`) to the tail.
int32_t length_abs(const Cell* str);
inline uint32_t unit_of(const Cell* str) { return memory::buf_of(str)->unit(); }
inline int unit_shift(uint32_t unit) {
    return unit == 8 ? 3 : unit == 4 ? 2 : static_cast<int>(unit >> 1);
}
// Address of the head unit; a head beyond the tail is first rewritten to the tail index.
// Valid until the next allocation.
uint8_t* rs_head(Cell* str);
// Address of the head unit, a head beyond the tail read as the tail (the cell is unchanged).
// Valid until the next allocation.
const uint8_t* head_ptr(const Cell* str);
bool at_tail(const Cell* str);
// The code point stored at `p` in a buffer of `unit`.
inline char32_t get_char(const uint8_t* p, uint32_t unit) {
    switch (unit) {
    case 1: return p[0];
    case 2: return static_cast<char32_t>(p[0] | (p[1] << 8));
    default: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return static_cast<char32_t>(v);
    }
    }
}
// Stores cp at `p` in a buffer of `unit` (the caller has checked that it fits).
inline void put_char(uint8_t* p, uint32_t unit, char32_t cp) {
    switch (unit) {
    case 1: p[0] = static_cast<uint8_t>(cp); break;
    case 2:
        p[0] = static_cast<uint8_t>(cp);
        p[1] = static_cast<uint8_t>(cp >> 8);
        break;
    default: {
        uint32_t v = cp;
        std::memcpy(p, &v, 4);
    }
    }
}
// The code point at head + index; the caller keeps the index inside the string.
char32_t char_at(const Cell* str, int32_t index);
// Index from the head of the first unit equal to cp, or -1 (exact comparison).
int32_t find_codepoint(const Cell* str, char32_t cp);
// True when a unit met from the head in steps of `step` equals cp; both sides are folded to
// upper case unless `case_sensitive`.
bool has_codepoint(const Cell* str, char32_t cp, int32_t step, bool case_sensitive);
// True when the units from the head equal the bytes of `text` (each a code point 0-255).
bool starts_with_cstr(const Cell* str, const char* text);

// ---- Writers: buffer level, by node; each returns the buffer to use afterwards ----
// Unit indexes count from the buffer's `offset`, like heads. Each may allocate.

// Appends one code point at the tail, widening the buffer first when it does not fit.
memory::SeriesBuf* append_char(NodeId node, char32_t cp);
// Stores cp over the unit at `index` (which must be below the tail), widening first.
memory::SeriesBuf* write_char(NodeId node, int32_t index, char32_t cp);
// Stores cp at `index`, growing the buffer as needed; a poke past the tail fills the units
// between the tail and the index with spaces and moves the tail just after the index.
memory::SeriesBuf* poke_char(NodeId node, int32_t index, char32_t cp);
// Inserts cp at `index` (at most the tail), shifting the rest up one unit.
memory::SeriesBuf* insert_char(NodeId node, int32_t index, char32_t cp);
// Cuts the tail back to `units` units when that is shorter and within the buffer.
void trim_min(NodeId node, size_t units);

// ---- Writers: cell level ----

// Removes `count` units at `index` (clamped to the tail); nothing when index is at the tail.
void remove_units(Cell* str, int32_t index, int32_t count);
// Inserts the source's code points from its head over `bytes` bytes into the target at its
// head, then removes them from the source.
void move_units(Cell* source, Cell* target, size_t bytes);
// Copies the source's units from its head (all, or `part` when 0 <= part < its length) into
// the target: mode 0 appends, 1 inserts at unit index `offset`, 2 overwrites from `offset`.
// With keep_source the source buffer is never widened (units are converted while copying).
enum class Concat : int { Append = 0, Insert = 1, Overwrite = 2 };
void concatenate(Cell* target, Cell* source, int32_t part, int32_t offset, bool keep_source,
                 Concat mode);
inline void concatenate_2(Cell* target, Cell* source, int32_t part, int32_t offset,
                          bool keep_source, Concat mode) {
    concatenate(target, source, part, offset, keep_source, mode);
}
// Appends each byte of the NUL-terminated text as a code point 0-255. `text` must not point
// into a series buffer.
void append_cstr(Cell* str, const char* text);
// Appends the text to a form or mold buffer; returns the budget less the text's length.
int32_t emit(Cell* buffer, const char* text, int32_t budget);
// Appends `count` bytes as code points 0-255 (same rule for `bytes`).
void append_bytes(Cell* str, const uint8_t* bytes, size_t count);
// Empties the buffer, sets its unit back to 1 and the head to 0.
void reset(Cell* str);
// Exchanges two adjacent byte regions [a, a+a_len) and [a+a_len+gap, ...+b_len) of one buffer
// in place (the gap between them keeps its place relative to the regions' order).
void swap_regions(uint8_t* a, size_t a_len, uint8_t* b, size_t b_len, size_t gap);

// ---- Text conversions ----

// Two upper-case hex digits, NUL-terminated, in a static buffer overwritten by the next call.
const char* byte_to_hex(uint8_t byte);
// Hex digits in a static buffer: 8 digits, or with trim the digits without leading zeros
// ("00" for 0).
const char* int_to_hex(int32_t value, bool trim);
// The decimal number at the start of the `length` bytes from text + start, correctly rounded;
// what follows it is ignored and text without digits reads as 0.0. No allocation.
double scan_number(const uint8_t* text, int32_t start, int32_t length);

// ---- Comparisons ----

// -1, 0 or 1 (see the string! Part); `prefix` compares only the second operand's length.
int32_t compare_raw(const Cell* a, const Cell* b, CompareOp op, bool prefix);
// For parse: true when `value` matches at the string's head.
bool match_head(const Cell* str, const Cell* value, CompareOp op);
// True when the string has "<" at its head and ">" right after the tag's length.
bool tag_brackets(const Cell* str, const Cell* tag);
// True when the head code point is in the bitset.
bool compare_head(const Cell* str, const Cell* bitset);

// ---- Form and mold (the string! slots) ----

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Appends one code point in molded form to the output string; escape mode 253 selects the
// control-character escapes.
inline constexpr int kEscapeControls = 253;
void mold_char(Cell* buffer, char32_t cp, int escape_mode, bool all);
// Counts double quotes and line feeds in [start, end).
void scan_units(const uint8_t* start, const uint8_t* end, uint32_t unit, int32_t* quotes,
                int32_t* lines);
// True when the "{" at `p` has a matching "}" before `end`.
bool brace_closes(const uint8_t* p, const uint8_t* end, uint32_t unit);

// ---- Actions (the string! slots; the family's other types reuse them) ----
// Each may allocate. Series and value arguments are cells on the argument stack; the series
// cell itself becomes the result where a slot returns a position.

// True when the code point is a member of the bitset cell (beyond its stored bytes: the
// complement flag).
bool bitset_has(const Cell* bitset, char32_t cp);

// make and to: the new value of `type` lands in `proto`, which is returned.
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t compare(Cell* a, Cell* b, CompareOp op);
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
// append (append set: the result is the series at its head) and insert (the series just
// after the inserted text).
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                   bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);
Cell* swap(Cell* a, Cell* b);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
// unique, union, intersect, exclude and difference on the texts in arguments[0] (and
// arguments[1]): records of `skip` units (nullptr: 1) keyed by their first unit, folded unless
// `case_`. The result, a new text of the first's type at head 0, replaces arguments[0].
void set_op(bool case_, Cell* skip, SetOp op);

// ---- For tests ----

// The text from head to tail as UTF-8.
std::string to_std_utf8(const Cell* str);

// The collector's mark hook of every text type: the units and the conversion cache.
void mark(const Cell* value);

// Registration: string! with its form and mold slots; init registers it.
extern const TypeRecord kRecord;
void init();

}  // namespace nuv::string
