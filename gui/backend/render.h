// Render-target records: the drawing state the backend keeps per window (or per image drawn
// into): a back buffer of the client's size that drawing goes to, the cache of up to 64 solid
// brushes by colour, the rich-text backdrop list, and for layered windows a CPU copy of the back
// buffer with a context on it. Records have 32-bit ids never reused, so language handles can name
// them; a window's record sits in its WindowExtra::render_target. Also the 3x2 and 4x4 float
// matrices of the draw engine. GUI thread only.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/gfx/bitmap.h"
#include "host/gfx/brush.h"
#include "host/gfx/matrix.h"
#include "host/gfx/target.h"
#include "host/win/window.h"
#include "runtime/cell.h"

namespace nuv::gui::backend {

inline constexpr int32_t kBrushCacheSize = 64;

struct CachedBrush {
    uint32_t colour = 0;  // 0xAABBGGRR, the transparency byte on top (tuple_to_color)
    std::unique_ptr<host::gfx::Brush> brush;
};

struct RenderTargetRecord {
    uint32_t id = 0;
    host::win::HWND window = 0;  // 0 for a record made for an image
    // The back buffer drawing goes to, of width x height; null after a failed resize.
    std::unique_ptr<host::gfx::RenderTarget> target;
    // The buffer is a window's, presented to it (what a layered copy is taken from), rather than
    // a plain bitmap.
    bool swap_chain = false;
    std::array<CachedBrush, kBrushCacheSize> brushes;
    int32_t brush_count = 0;
    // Rich-text backdrops pending for the next layout drawn: (start, length, colour) triples,
    // positions in UTF-16 units.
    std::vector<uint32_t> backdrops;
    // The layered copy of the back buffer, and the context on it.
    std::unique_ptr<host::gfx::Bitmap> staging;
    cairo_t* memory_dc = nullptr;
    int32_t width = 0, height = 0;
};

// The window's record, made on first use with a back buffer of the client's size. Raises access
// no-create with `face` when the buffer cannot be made (face may be null: none is given).
RenderTargetRecord* get_window_render_target(host::win::HWND window, const Cell* face);
// The record in the window's slot, or null; makes nothing.
RenderTargetRecord* window_render_target(host::win::HWND window);
// A record with no window and no target yet (an image's drawing sets one).
RenderTargetRecord* make_render_target_record();
// The live record of that id, or null.
RenderTargetRecord* find_render_target(uint32_t id);

// An offscreen target of width x height, transparent; null when a side is out of range.
std::unique_ptr<host::gfx::RenderTarget> create_d2d_bitmap(int32_t width, int32_t height);
// On a size change: drops the back buffer and the layered copy and makes a buffer of the new
// size. When that fails, prints "resizing failed" on standard output and the record keeps no
// target until a later resize succeeds.
void resize_render_target(RenderTargetRecord* record, int32_t width, int32_t height);
// The layered copy of the window's back buffer, remade when the client's size changed, or null
// when the window has no record, its record is no window's buffer, its client area is empty or
// the copy cannot be made. The context stays the record's.
cairo_t* layered_window_dc(host::win::HWND window);
// Releases the cached brushes, the buffer and the layered copy, and the record itself; a
// window's slot that holds it is cleared. Null is ignored.
void free_render_target(RenderTargetRecord* record);
// Frees every window's record and invalidates those windows, so they are painted anew; records
// of images are left to their drawings. Answers how many were freed.
int32_t free_window_render_targets();
// Live records, for tests.
int32_t render_target_count();

// The cached brush of that colour, or null.
host::gfx::Brush* brush_cache_find(RenderTargetRecord* record, uint32_t colour);
// Takes the brush into the cache when fewer than 64 are held; a full cache hands it back.
std::unique_ptr<host::gfx::Brush> brush_cache_add(RenderTargetRecord* record, uint32_t colour,
                                                  std::unique_ptr<host::gfx::Brush> brush);
// The solid brush of the colour: the cached one, or a new one, cached while there is room;
// beyond 64 colours the new brush lands in *spare (replacing what it held), which the caller
// keeps for as long as it draws with it. Null when no brush can be made.
host::gfx::Brush* solid_brush(RenderTargetRecord* record, uint32_t colour,
                              std::unique_ptr<host::gfx::Brush>* spare);
// Solid brushes made by solid_brush in this process, for tests.
uint64_t solid_brushes_made();

// ---- Matrices. With swap, each operation's own matrix N comes first (N x M: it acts in M's
// space); without, last (M x N). Points are row vectors: p x M.

using host::gfx::Matrix3x2;
using host::gfx::PointF;
struct Matrix4x4 {
    float m[16] = {};  // rows in order
};

Matrix3x2 matrix_identity();
// a x b, or b x a with swap.
void matrix_multiply(const Matrix3x2& a, const Matrix3x2& b, Matrix3x2* out, bool swap);
void matrix_translate(const Matrix3x2& m, float x, float y, Matrix3x2* out, bool swap);
// Scales about the centre (a plain scale about 0, 0).
void matrix_scale(const Matrix3x2& m, float sx, float sy, Matrix3x2* out, float cx, float cy, bool swap);
// Degrees, clockwise on a y-down surface, about the centre.
void matrix_rotate(const Matrix3x2& m, float degrees, PointF centre, Matrix3x2* out, bool swap);
void matrix_skew(const Matrix3x2& m, float x_degrees, float y_degrees, PointF centre, Matrix3x2* out, bool swap);
// *out becomes m's inverse; a matrix that cannot be inverted is copied unchanged and the answer
// is false.
bool matrix_invert(const Matrix3x2& m, Matrix3x2* out);
Matrix4x4 matrix4_identity();
void matrix4_multiply(const Matrix4x4& a, const Matrix4x4& b, Matrix4x4* out);

}  // namespace nuv::gui::backend
