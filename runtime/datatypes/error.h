// error!: an object of ten fixed fields naming a catalogue entry (`code`, `type`, `id`), its
// three message arguments and where it happened. The cell has the object! layout with class 1
// and no change-notice record. form is the "*** " report the console prints; the catalogue
// (system/catalog/errors) gives each entry's title and message template.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/errors.h"

namespace nuv::error {

// Field indexes, in the order of the prototype system/standard/error.
enum Field : int32_t {
    kCode = 0,
    kType = 1,
    kId = 2,
    kArg1 = 3,
    kArg2 = 4,
    kArg3 = 5,
    kNear = 6,
    kWhere = 7,
    kStack = 8,
    kFiles = 9,
    kFieldCount = 10,
};
inline constexpr int32_t kClass = 1;
// Message arguments are cut to this many characters in the report, `near` and `files` to
// kNearWidth.
inline constexpr int32_t kArgWidth = 80;
inline constexpr int32_t kNearWidth = 40;

// ---- Making (each allocates; `out` must not lie in a collected buffer) ----

// The error of the catalogue entry with up to three arguments (error-make): its `type` and `id`
// words are the catalogue's, `near` the interpreter's position. Returns `out`. A catalogue
// that lacks the entry raises internal invalid-error.
Cell* make_at(Cell* out, Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
              const Cell* arg3 = nullptr);
// The same by category and id word cells (looked up by name); an unknown one raises script
// invalid-spec-field naming `type` or `id`.
Cell* make_from_words(Cell* out, const Cell* category, const Cell* id, const Cell* arg1 = nullptr,
                      const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);
// The maker fire uses for every raise.
void make_raised(const RaisedError& record, Cell* out);

// Where the interpreter keeps the address of its current-position cell (which moves), copied
// into `near` by every error made; until one is given `near` is unset!.
void set_position_source(Cell* const* position);

// ---- Reading and filling ----

// The symbols of the `type` and `id` words (0 when the field holds no word). No allocation.
SymId type_of(const Cell* error);
SymId id_of(const Cell* error);
// Value cell of field #index; valid until the next allocation.
const Cell* field(const Cell* error, int32_t index);
// Field #index becomes a copy of the value.
void put_field(const Cell* error, int32_t index, const Cell& value);
// Copies the value into `where` when `where` is none.
void set_where(Cell* error, const Cell* value);
// For an error just raised, whose `stack` now holds its frame marker: keeps with the error the
// calls its Stack line names, taken from the frames up to `marker` (frames::trace_calls) when
// `wanted`, else none. The report and set_stack read these, never the frames, which later calls
// reuse. Allocates when wanted.
void keep_calls(const Cell* error, uint32_t marker, bool wanted);
// For an error! whose `stack` holds a frame marker: `stack` becomes the block of the calls kept
// at its raise that system/state/stack-trace names (level 1 at least; empty when none were
// kept) and `files` a copy of system/state/source-files when that is not empty. Anything else is
// left alone. Allocates.
void set_stack(Cell* error);

// ---- Slots ----

// make: an integer! code, a block [category id], a string! (a user message); a block of
// set-words is evaluated inside the new error. The error lands in `proto`.
Cell* make(Cell* proto, Cell* spec, TypeId type);
// The report; an error whose category, id or message the catalogue does not know is first
// rewritten to internal invalid-error naming the offending word in `arg1`.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// The object path access, refusing the element `stack` (script invalid-path-set).
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
int32_t compare(Cell* a, Cell* b, CompareOp op);

extern const TypeRecord kRecord;
// Registers error! (after object!).
void init();

}  // namespace nuv::error
