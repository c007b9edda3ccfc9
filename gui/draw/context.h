// The draw context: the one record a drawing runs against, on a window's back buffer or on an
// image's pixels. It holds the target and the whole drawing state (brushes, stroke, text format,
// colours, modes, clip depth, the shape being built and the shadow list). It lives on the
// caller's stack for one drawing and is never shared between two drawings.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/backend/render.h"
#include "host/gfx/brush.h"
#include "host/gfx/matrix.h"
#include "host/gfx/path.h"
#include "host/gfx/target.h"
#include "host/gfx/text.h"
#include "host/win/window.h"
#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace nuv::gui::draw {

namespace gfx = host::gfx;

// What a pen or a fill paints with.
enum BrushMode : uint8_t {
    kOff = 0,
    kSolid = 1,
    kGradient = 2,     // a gradient with its own geometry (positions given, or the older grammar)
    kFitted = 3,       // a gradient fitted to each shape's box
    kImageBrush = 4,   // a pattern or bitmap, anchored at each shape's top-left
};

// Font line style bits.
enum : uint32_t { kUnderline = 1, kStrike = 2 };

struct Shadow {
    float x = 0, y = 0, blur = 0, spread = 0;
    uint32_t colour = 0;  // 0xAABBGGRR, transparency byte on top (0 opaque)
    bool inset = false;
};

// The part of the context that `push` (and every block form) saves and the end of the block puts
// back. Brushes and the text format are shared, so saving takes a reference, never a copy.
struct DrawState {
    std::shared_ptr<gfx::Brush> pen, fill;
    gfx::StrokeStyle stroke;  // cap, join, miter limit and dashes
    // The `text` command's format: null until a font is set or the first text makes the default.
    std::shared_ptr<const gfx::TextFormat> text_format;
    uint8_t pen_mode = kSolid, fill_mode = kOff;
    uint8_t saved_pen_mode = 0;  // the pen's mode kept while the line width is 0
    uint32_t pen_colour = 0, fill_colour = 0, text_colour = 0;  // 0xAABBGGRR
    uint32_t font_line_style = 0;                               // kUnderline | kStrike
    SymId pen_kind = 0, fill_kind = 0;  // linear, radial or diamond of a gradient, else 0
    float line_width = 1;
    gfx::PointF pen_origin, fill_origin;  // the box corner a fitted brush is moved to
    int32_t clip_depth = 0;
    bool font_colour = false;  // the text colour comes from the current font
    bool shadow_on = false;
};

// A state saved by push: the target's transform and antialias mode, and the context's state.
struct SavedState {
    gfx::DrawingStateBlock block;
    DrawState state;
    // The pen's and fill's brush transforms: a transformation aimed at a brush inside a block
    // changes the brush the saved state shares, so the end of the block puts them back.
    gfx::Matrix3x2 pen_transform, fill_transform;
};

// The path of the shape sub-dialect, or of a clip region, while it is being built.
struct ShapeState {
    bool drawing = false;  // a drawn shape; false builds a clip region
    std::unique_ptr<gfx::PathGeometry> path;
    gfx::PointF current;
    bool last_control = false;  // the last segment was a Bézier
    gfx::PointF control;
};

struct DrawContext {
    // What is drawn on: the window's back buffer, the image's target, or a pattern's recording
    // while its block runs. Null when nothing can be drawn (every command is then checked and
    // draws nothing).
    gfx::RenderTarget* target = nullptr;
    DrawState s;
    backend::RenderTargetRecord* record = nullptr;  // the window's, or the one made for the image
    host::win::HWND window = 0;
    // Drawing on an image: its pixel record, and the target made over its pixels.
    hooks::PixelRecord* pixels = nullptr;
    std::unique_ptr<gfx::RenderTarget> image_target;
    bool layered = false;
    bool report = false;          // errors are printed, not raised
    bool matrix_prepend = true;   // new transformations act in the current user space
    uint32_t clip_kinds = 0;      // bit k-1: clip k is an axis-aligned rectangle
    ShapeState shape;
    std::vector<Shadow> shadows;  // applied while s.shadow_on
    int64_t saved_dpi = -1;
};

// How a window's face image is drawn under its draw block: draw_face_image, unless a test puts a
// failing one in its place.
extern bool (*g_face_image)(DrawContext& ctx, const Cell& image, gfx::PointF size);

// The boot step `draw-words`: interns the dialect's keywords and fills hooks::g_drawing, through
// which the backend runs draw blocks and asks rich-text metrics.
void register_hooks();

}  // namespace nuv::gui::draw
