// Ownership: an object may own the series held in its fields, deeply, so that a change to any of
// them is reported to the object's deep-change handler. The table maps a series node (an
// object's context node) to three cells: the owned value, the owner object, the owner's field
// word. Owned series carry a buffer flag (image! a cell flag), so an unowned change costs one
// test. Binding walks nested blocks and objects on the shared cycle stack.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::ownership {

// Bit 16 of an image! cell header: the image is owned (image! has no series buffer flags).
inline constexpr uint32_t kImageOwned = 0x10000;
// Bit 16 of an object's context cell header: the object has been made owner of its series.
inline constexpr uint32_t kContextOwner = 0x10000;

// Makes the table (1,000 keys, three cells per entry); at each runtime start-up. Allocates.
void init();
// The table's node (0 before init), for the collector's mark and purge.
NodeId table();

// Binds the value to the owner under the field word. A series not yet owned gets its flag and
// an entry, and the block kinds descend into their cells from the head; a series already owned
// is left as it is (its owner does not change). An object descends into its fields, each under
// its own field word, unless it is already an owner. Other values are ignored. The three
// arguments may lie in any buffer (they are copied first). Allocates.
void bind(Cell* value, const Cell* owner, const Cell* word);
// bind, then marks the owner's context as an owner (kContextOwner).
void bind_object(Cell* value, const Cell* owner, const Cell* word);
// The inverse of bind: flag cleared, entry removed, the same descent. No allocation.
void unbind(Cell* value);
// unbind on `count` cells of the block from cell `index` (counted like heads, from the
// buffer's first used cell), kept within the tail. No allocation.
void unbind_range(const Cell* block, int32_t index, int32_t count);

// The entry of the node: [0] the owned value, [1] the owner object, [2] the owner's field word;
// nullptr when the node has no owner. Valid until the next allocation.
Cell* owner(NodeId node);
// The entry of the value's series (of its context for object!, error! and port!), or nullptr.
Cell* owner_of(const Cell* value);

// The change notice of every modifying action: call it before the change with the action word
// (words::w::append, ...) and, only when that call answered true, after it with the past-tense
// word (words::w::appended, ...). new_value may be nullptr (sent as none); index is where the
// change starts (0-based, like heads) and count the units concerned. Answers true when the
// value's series has an owner with change handlers; the owner's deep-change handler then runs
// (once the object module installs it), and it may allocate and run code: re-read every
// buffer, and re-check positions, after a call that answered true.
bool check(const Cell* value, const Cell& action, const Cell* new_value, int32_t index,
           int32_t count);

// The object module's deep-change notification, installed at its start-up; until then a notice
// finds no handler and does nothing.
using DeepChangeFn = void (*)(const Cell* owner, const Cell* word, const Cell* target,
                              const Cell* action, const Cell* new_value, int32_t index,
                              int32_t count);
// Returns the handler it replaces.
DeepChangeFn set_deep_change_handler(DeepChangeFn fn);

// The two notices of one change: `check` with the action word when made, and done() with the
// past-tense word, which is sent only when the first notice found an owner. The cells must
// outlive the notice.
class Notice {
  public:
    Notice(const Cell* series, const Cell& word, const Cell* value, int32_t index, int32_t count)
        : series_(series), value_(value), index_(index), count_(count),
          owned_(check(series, word, value, index, count)) {}
    void done(const Cell& word) const {
        if (owned_) check(series_, word, value_, index_, count_);
    }

  private:
    const Cell* series_;
    const Cell* value_;
    int32_t index_;
    int32_t count_;
    bool owned_;
};

}  // namespace nuv::ownership
