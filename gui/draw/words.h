// The draw dialect's keywords, interned once per runtime by the boot step `draw-words` before
// `draw` is defined. The walk compares resolved (case-folded) symbols: words::box and so on.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::gui::draw::words {

// X(variable, "spelling")
#define NUV_DRAW_WORDS(X) \
    X(line, "line") X(line_width, "line-width") X(box, "box") X(triangle, "triangle")              \
    X(pen, "pen") X(fill_pen, "fill-pen") X(polygon, "polygon") X(circle, "circle")                \
    X(anti_alias, "anti-alias") X(font, "font") X(text, "text") X(ellipse, "ellipse")              \
    X(arc, "arc") X(curve, "curve") X(spline, "spline") X(line_join, "line-join")                  \
    X(line_cap, "line-cap") X(line_pattern, "line-pattern") X(matrix, "matrix")                    \
    X(invert_matrix, "invert-matrix") X(reset_matrix, "reset-matrix") X(push, "push")              \
    X(clip, "clip") X(crop, "crop") X(replace, "replace") X(intersect, "intersect")                \
    X(union_, "union") X(xor_, "xor") X(exclude, "exclude") X(rotate, "rotate")                    \
    X(scale, "scale") X(translate, "translate") X(skew, "skew") X(transform, "transform")          \
    X(shape, "shape") X(curv, "curv") X(hline, "hline") X(vline, "vline") X(move, "move")          \
    X(qcurv, "qcurv") X(qcurve, "qcurve") X(sweep, "sweep") X(large, "large")                      \
    X(close_, "close") X(off, "off") X(closed, "closed") X(miter, "miter")                         \
    X(miter_bevel, "miter-bevel") X(round_, "round") X(bevel, "bevel") X(square, "square")         \
    X(flat, "flat") X(border, "border") X(repeat, "repeat") X(reflect, "reflect")                  \
    X(linear, "linear") X(radial, "radial") X(diamond, "diamond") X(pattern, "pattern")            \
    X(bitmap, "bitmap") X(pad, "pad") X(tile, "tile") X(flip_x, "flip-x") X(flip_y, "flip-y")      \
    X(flip_xy, "flip-xy") X(clamp, "clamp") X(shadow, "shadow") X(inset, "inset")                  \
    X(image, "image")

enum class Index : uint16_t {
#define NUV_DRAW_ENUM(name, text) name,
    NUV_DRAW_WORDS(NUV_DRAW_ENUM) Count
#undef NUV_DRAW_ENUM
};
inline constexpr int kCount = static_cast<int>(Index::Count);
static_assert(kCount == 69);

// Filled by init(); 0 before it.
inline SymId g_symbols[kCount]{};
// Counts the calls of init(), for tables keyed by these symbols to know when to build again.
inline uint32_t g_generation = 0;

#define NUV_DRAW_VIEW(name, text) inline const SymId& name = g_symbols[static_cast<int>(Index::name)];
NUV_DRAW_WORDS(NUV_DRAW_VIEW)
#undef NUV_DRAW_VIEW

// Interns the keywords in order (the boot step `draw-words`). Allocates.
void init();

}  // namespace nuv::gui::draw::words
