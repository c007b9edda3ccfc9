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
#include <memory>
#include <vector>

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

// ---- Boot mode: the boot image ----

// Decodes a boot image of `length` bytes in place (the bytes must not lie in a series buffer)
// and appends its top-level values to the block `receiving`. Only the compact form is read (a
// standard document is a bad record at its flags byte). A definition record sets its word to
// its value and appends nothing; a context record appends an object over a new context; a word
// naming a context by position is bound to the object at that position among this document's
// top-level values. Errors as for decode. With `tops`, it receives the index in the block of
// each top-level value, in order (makers may keep roots of their own there meanwhile).
void decode_boot(const uint8_t* data, size_t length, Cell* receiving,
                 std::vector<int32_t>* tops = nullptr);

// Start-up's load of the boot image into the root block, with auto-root off for its duration.
// A bad magic prints "Error: Not a Nuvbin file!", a container that does not unpack "Error:
// Nuvbin compressed data corrupted!", any other failure the error's report made from the
// runtime's own error list; each then ends the process with status 1. `tops` as for
// decode_boot.
void load_boot(const uint8_t* image, size_t length, std::vector<int32_t>* tops);

// Writes a boot image: definition records, contexts as top-level records, and top-level
// values, in the order given. A word bound to a context written before names it by position,
// an object over such a context is a reference to its record; a word of any other non-global
// context raises access no-codec. Values raise as encode_compact does.
class BootWriter {
public:
    BootWriter();
    ~BootWriter();
    BootWriter(const BootWriter&) = delete;
    BootWriter& operator=(const BootWriter&) = delete;

    // A definition: the word of the symbol is set to the value (no top-level position).
    void define(uint32_t symbol, const Cell* value);
    // The context of the object (object!, error! or port!), as a top-level record; answers its
    // position.
    uint32_t context(const Cell* object);
    // A top-level value; answers its position.
    uint32_t value(const Cell* value);
    // The document so far.
    std::vector<uint8_t> document() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace nuv::nuvbin
