// image!: a rectangle of 32-bit pixels seen as a series of pixels in row order. Word 1 is the
// head (a pixel index, 0 .. width x height), word 2 the node of a small byte buffer that holds
// the handle-registry slot of the pixel record (0 for an image without pixels), word 3 the size
// (height in bits 16-31, width in bits 0-15). The record lives outside collected memory and is
// released by the registry's sweep once no marked image buffer names its slot. Scripts see a
// pixel as the tuple R.G.B.T with T = 255 - alpha; a three-byte tuple is opaque.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hooks.h"

namespace nuv::image {

using Record = hooks::PixelRecord;
inline constexpr int32_t kMaxSide = 65535;

inline int64_t count(const Record* r) { return int64_t{r->width} * r->height; }
// The packed pixel A << 24 | R << 16 | G << 8 | B, read from or written in memory order.
inline uint32_t get(const Record* r, int64_t index) {
    const uint8_t* p = r->data + index * 4;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void set(Record* r, int64_t index, uint32_t argb) {
    uint8_t* p = r->data + index * 4;
    p[0] = static_cast<uint8_t>(argb);
    p[1] = static_cast<uint8_t>(argb >> 8);
    p[2] = static_cast<uint8_t>(argb >> 16);
    p[3] = static_cast<uint8_t>(argb >> 24);
}

inline int32_t width_of(const Cell* c) { return static_cast<int32_t>(c->w3 & 0xFFFF); }
inline int32_t height_of(const Cell* c) { return static_cast<int32_t>(c->w3 >> 16); }
inline int32_t count_of(const Cell* c) { return width_of(c) * height_of(c); }

// The pixel record of the value, nullptr for an image without pixels.
Record* record_of(const Cell* c);
// A record made elsewhere becomes an image: `reserve` makes the buffer that will hold its
// registry slot (0 for no pixels; it allocates, so it comes before the record is made, and a
// failure then leaks nothing), `adopt` fills `cell` over the record and takes it over.
NodeId reserve(int64_t pixel_count);
Cell* adopt(Cell* cell, Record* record, NodeId slot);
// A new image value in `cell` (which must not lie in a series buffer) over a w x h record of
// one colour (argb); allocates.
Cell* make_filled(Cell* cell, int32_t width, int32_t height, uint32_t argb);
// The pixel at `index` (0-based, absolute) as a four-byte tuple in `out`; none! at or past
// width x height.
void pixel_tuple(const Cell* image, int64_t index, Cell* out);
// The pixel data from pixel 0 as a new binary in `out`: kind 0 the bytes 255 - A, 1 the R, G, B
// triples, 2 the raw B, G, R, A words. Allocates.
enum class Channels : int32_t { Alpha = 0, Rgb = 1, Argb = 2 };
Cell* to_binary(const Cell* image, Channels kind, Cell* out);
// Overwrites the pixel data from a binary!, a tuple! or an integer! (the same kinds).
void from_value(const Cell* image, const Cell* value, Channels kind);
// The loops' test: whether the head is before the tail.
bool has_more(const Cell* image);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
int32_t compare(Cell* a, Cell* b, CompareOp op);
void at();
void skip();
void next();
void tail();
void is_tail();
int32_t length(Cell* value);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* index_arg);
void mark(const Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::image
