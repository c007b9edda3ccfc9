// Render-target records, their brush caches and layered copies, and the matrices.
#include "gui/backend/render.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "gui/backend/colours.h"
#include "host/win/cairo_lib.h"
#include "runtime/errors.h"
#include "runtime/output.h"

namespace nuv::gui::backend {

namespace gfx = host::gfx;
namespace win = host::win;

namespace {

// Live records by id; ids count up from 1 and are never reused.
struct Records {
    std::unordered_map<uint32_t, RenderTargetRecord*> live;
    uint32_t next_id = 1;
    uint64_t brushes_made = 0;
};
Records& records() {
    static Records r;
    return r;
}

RenderTargetRecord* new_record(win::HWND window) {
    auto* record = new RenderTargetRecord;
    record->id = records().next_id++;
    record->window = window;
    records().live.emplace(record->id, record);
    return record;
}

void drop_layered_copy(RenderTargetRecord* record) {
    if (record->memory_dc) win::cairo_lib()->destroy(record->memory_dc);
    record->memory_dc = nullptr;
    record->staging.reset();
    record->width = record->height = 0;
}

bool client_size(win::HWND window, int32_t* width, int32_t* height) {
    win::RECT r;
    if (!win::GetClientRect(window, &r)) return false;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return true;
}

}  // namespace

std::unique_ptr<gfx::RenderTarget> create_d2d_bitmap(int32_t width, int32_t height) {
    return gfx::RenderTarget::offscreen(width, height);
}

RenderTargetRecord* window_render_target(win::HWND window) {
    win::WindowExtra* extra = win::GetWindowExtra(window);
    return extra ? static_cast<RenderTargetRecord*>(extra->render_target) : nullptr;
}

RenderTargetRecord* get_window_render_target(win::HWND window, const Cell* face) {
    win::WindowExtra* extra = win::GetWindowExtra(window);
    if (extra && extra->render_target) return static_cast<RenderTargetRecord*>(extra->render_target);
    int32_t width = 0, height = 0;
    std::unique_ptr<gfx::RenderTarget> buffer;
    if (extra && client_size(window, &width, &height)) buffer = create_d2d_bitmap(width, height);
    if (!buffer) {
        const Cell culprit = face ? *face : Cell{};
        fire(Err::NoCreate, face ? &culprit : nullptr);
    }
    RenderTargetRecord* record = new_record(window);
    record->target = std::move(buffer);
    record->swap_chain = true;
    extra->render_target = record;
    return record;
}

RenderTargetRecord* make_render_target_record() { return new_record(0); }

RenderTargetRecord* find_render_target(uint32_t id) {
    const auto it = records().live.find(id);
    return it == records().live.end() ? nullptr : it->second;
}

void resize_render_target(RenderTargetRecord* record, int32_t width, int32_t height) {
    record->target.reset();
    drop_layered_copy(record);
    record->target = create_d2d_bitmap(width, height);
    if (!record->target) {
        static constexpr char kFailed[] = "resizing failed\n";
        output::write_stdout(kFailed, sizeof kFailed - 1);
    }
}

cairo_t* layered_window_dc(win::HWND window) {
    RenderTargetRecord* record = window_render_target(window);
    int32_t width = 0, height = 0;
    if (!record || !record->swap_chain || !record->target || !client_size(window, &width, &height) || width <= 0 ||
        height <= 0)
        return nullptr;
    const win::CairoLib* c = win::cairo_lib();
    if (!record->staging || record->width != width || record->height != height) {
        drop_layered_copy(record);
        record->staging = gfx::Bitmap::create(width, height);
        if (!record->staging) return nullptr;
        record->memory_dc = c->create(record->staging->surface());
        if (c->status(record->memory_dc) != CAIRO_STATUS_SUCCESS) {
            drop_layered_copy(record);
            return nullptr;
        }
        record->width = width;
        record->height = height;
    }
    // Row by row: the buffer may be smaller than the client until the next resize reaches it.
    const gfx::Bitmap* from = record->target->bitmap();
    const uint8_t* src = from->data();
    uint8_t* dst = record->staging->data();
    const int32_t rows = std::min(height, from->height());
    const size_t bytes = 4 * static_cast<size_t>(std::min(width, from->width()));
    for (int32_t y = 0; y < rows; y++)
        std::memcpy(dst + static_cast<size_t>(y) * record->staging->stride(),
                    src + static_cast<size_t>(y) * from->stride(), bytes);
    record->staging->mark_dirty();
    return record->memory_dc;
}

void free_render_target(RenderTargetRecord* record) {
    if (!record) return;
    for (int32_t i = 0; i < record->brush_count; i++) record->brushes[i].brush.reset();
    record->brush_count = 0;
    drop_layered_copy(record);
    record->target.reset();
    if (record->window) {
        win::WindowExtra* extra = win::GetWindowExtra(record->window);
        if (extra && extra->render_target == record) extra->render_target = nullptr;
    }
    records().live.erase(record->id);
    delete record;
}

int32_t free_window_render_targets() {
    std::vector<RenderTargetRecord*> windows;
    for (const auto& [id, record] : records().live)
        if (record->window) windows.push_back(record);
    for (RenderTargetRecord* record : windows) {
        const win::HWND window = record->window;
        free_render_target(record);
        win::InvalidateRect(window, nullptr, true);
    }
    return static_cast<int32_t>(windows.size());
}

int32_t render_target_count() { return static_cast<int32_t>(records().live.size()); }

gfx::Brush* brush_cache_find(RenderTargetRecord* record, uint32_t colour) {
    for (int32_t i = 0; i < record->brush_count; i++)
        if (record->brushes[i].colour == colour) return record->brushes[i].brush.get();
    return nullptr;
}

std::unique_ptr<gfx::Brush> brush_cache_add(RenderTargetRecord* record, uint32_t colour,
                                            std::unique_ptr<gfx::Brush> brush) {
    if (record->brush_count >= kBrushCacheSize) return brush;
    record->brushes[record->brush_count++] = {colour, std::move(brush)};
    return nullptr;
}

gfx::Brush* solid_brush(RenderTargetRecord* record, uint32_t colour, std::unique_ptr<gfx::Brush>* spare) {
    if (gfx::Brush* cached = brush_cache_find(record, colour)) return cached;
    std::unique_ptr<gfx::Brush> brush = gfx::CreateSolidColorBrush(color_f(colour));
    if (!brush) return nullptr;
    records().brushes_made++;
    gfx::Brush* made = brush.get();
    *spare = brush_cache_add(record, colour, std::move(brush));
    return made;
}

uint64_t solid_brushes_made() { return records().brushes_made; }

// ---- Matrices

Matrix3x2 matrix_identity() { return Matrix3x2::identity(); }

void matrix_multiply(const Matrix3x2& a, const Matrix3x2& b, Matrix3x2* out, bool swap) {
    *out = swap ? b * a : a * b;
}

void matrix_translate(const Matrix3x2& m, float x, float y, Matrix3x2* out, bool swap) {
    matrix_multiply(m, Matrix3x2::translation(x, y), out, swap);
}

void matrix_scale(const Matrix3x2& m, float sx, float sy, Matrix3x2* out, float cx, float cy, bool swap) {
    matrix_multiply(m, Matrix3x2::scale(sx, sy, {cx, cy}), out, swap);
}

void matrix_rotate(const Matrix3x2& m, float degrees, PointF centre, Matrix3x2* out, bool swap) {
    matrix_multiply(m, Matrix3x2::rotation(degrees, centre), out, swap);
}

void matrix_skew(const Matrix3x2& m, float x_degrees, float y_degrees, PointF centre, Matrix3x2* out, bool swap) {
    matrix_multiply(m, Matrix3x2::skew(x_degrees, y_degrees, centre), out, swap);
}

bool matrix_invert(const Matrix3x2& m, Matrix3x2* out) {
    const Matrix3x2 source = m;  // out may be m itself
    *out = source;
    return source.invert(out);
}

Matrix4x4 matrix4_identity() {
    Matrix4x4 m;
    for (int i = 0; i < 4; i++) m.m[i * 5] = 1;
    return m;
}

void matrix4_multiply(const Matrix4x4& a, const Matrix4x4& b, Matrix4x4* out) {
    Matrix4x4 r;  // out may be a or b
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 4; col++) {
            float sum = 0;
            for (int k = 0; k < 4; k++) sum += a.m[row * 4 + k] * b.m[k * 4 + col];
            r.m[row * 4 + col] = sum;
        }
    *out = r;
}

}  // namespace nuv::gui::backend
