// The boot image's code: the blocks of the boot units carry a buffer flag, which the evaluator
// reads to run them as the runtime's own code rather than the user's: no trace event comes from
// inside them and the frames they push have no interpreter flag. The function bodies copied from
// such blocks (by the function makers and by an object's clone of its methods) carry it too; no
// other copy does, so a user's `copy` of a boot block is plain data.
//
// At the end of start-up `seal` makes the library object, which holds every global callable as
// the boot units left it, and binds the words through which boot code calls those callables to
// it, so that a user who redefines a global (`append: none`) changes nothing the runtime's own
// functions call. Every other word of boot code (`system`, the data words, set-words, lit-words)
// stays bound to the global context, so boot code reads and writes the globals the user sees.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace nuv::boot_code {

// Whether the series is a block of boot code. No allocation.
inline bool is_marked(NodeId node) { return (memory::buf(node)->flags & memory::kBootCode) != 0; }

// Flags the value's blocks as boot code, deep: every block, paren and path in it, the bodies of
// its functions and the values of its objects, each entered once. No series allocation.
void mark(const Cell* value);
// A function body copied from `source` (a block's node) is boot code when its source is: the
// copy (a block cell) is marked deep then. No series allocation.
inline void keep_mark(NodeId source, const Cell* copy) {
    if (is_marked(source)) mark(copy);
}

// Makes the library object from the global callables of the moment and binds to it each word!
// and get-word! of boot code bound to a global word that then holds a callable: in every marked
// block reachable from the global values (through blocks, function bodies and object values),
// each block entered once. May be run again (a later unit's code is bound to a new library
// object; words bound before keep theirs). Allocates.
void seal();
// The context of the library object the last seal made; 0 before the first.
NodeId library();

}  // namespace nuv::boot_code
