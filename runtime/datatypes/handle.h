// handle!: an opaque OS handle or pointer carried through the language (windows, monitors,
// fonts, rich-text objects, file descriptors). Word 1 is the kind, word 2 the 32-bit handle
// value, word 3 the slot in the callback and handle registry or -1 when it has none; a live
// handle keeps its slot's resource from being released.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::handle {

// X(number, Enumerator, "name")
#define NUV_HANDLE_KINDS(X) \
    X(0, Null, "null") X(1, Fd, "fd") X(2, Monitor, "monitor") X(3, Window, "window") \
    X(4, Font, "font") X(5, RichText, "rich-text")

enum class Kind : uint32_t {
#define NUV_HANDLE_KIND_ENUM(n, name, text) name = n,
    NUV_HANDLE_KINDS(NUV_HANDLE_KIND_ENUM)
#undef NUV_HANDLE_KIND_ENUM
};

inline constexpr int32_t kNoSlot = -1;

inline int32_t value_of(const Cell* c) { return static_cast<int32_t>(c->w2); }
inline uint32_t kind_of(const Cell* c) { return c->w1; }
inline int32_t slot_of(const Cell* c) { return static_cast<int32_t>(c->w3); }
// The kind's name, or nullptr for a number no kind has.
const char* kind_name(uint32_t kind);

// The cell becomes an unregistered handle; returns it.
Cell* make_at(Cell* cell, int32_t value, Kind kind);
Cell* return_(int32_t value, Kind kind);  // into arguments[0]
// A new tail cell of the block; valid until the next allocation.
Cell* box(Cell* block, int32_t value, Kind kind);
Cell* push(int32_t value, Kind kind);  // a new argument-stack cell
Cell* push_empty();                    // a null handle of value 0

// The value as eight upper-case hex digits and "h".
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
// "handle!", or with `all` the construction syntax: "#[handle! 00001A2Bh window]".
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Handles order by their signed values, whatever their kinds; any other type is not
// comparable.
int32_t compare(Cell* a, Cell* b, CompareOp op);
// The collector's hook: marks the registry slot of a registered handle.
void mark(const Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::handle
