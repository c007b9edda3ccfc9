// The plane the renderer draws in: float points, sizes, rectangles and straight RGBA colours,
// and 3x2 matrices in row-vector form (a point p maps to p x M, so A x B applies A first).
// Every operation is total: a singular or non-finite matrix is reported, never trapped.
#pragma once
#include <cmath>

namespace nuv::host::gfx {

struct PointF {
    float x = 0, y = 0;
};

struct SizeF {
    float width = 0, height = 0;
};

struct RectF {
    float left = 0, top = 0, right = 0, bottom = 0;
    float width() const { return right - left; }
    float height() const { return bottom - top; }
};

// Straight (not premultiplied) colour components, each 0 to 1.
struct ColorF {
    float r = 0, g = 0, b = 0, a = 1;
};

inline bool finite(float v) { return std::isfinite(v); }
inline bool finite(PointF p) { return finite(p.x) && finite(p.y); }
inline bool finite(RectF r) { return finite(r.left) && finite(r.top) && finite(r.right) && finite(r.bottom); }

struct Matrix3x2 {
    float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    static Matrix3x2 identity() { return {}; }
    static Matrix3x2 translation(float x, float y) { return {1, 0, 0, 1, x, y}; }
    // Scaling, rotation (degrees, clockwise on a y-down surface) and skew (degrees) about a centre.
    static Matrix3x2 scale(float sx, float sy, PointF centre = {});
    static Matrix3x2 rotation(float degrees, PointF centre = {});
    static Matrix3x2 skew(float x_degrees, float y_degrees, PointF centre = {});

    PointF transform(PointF p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
    double determinant() const { return double(m11) * m22 - double(m12) * m21; }
    bool is_finite() const;
    // Finite, and its determinant far enough from 0 to invert without overflow.
    bool is_invertible() const;
    // The inverse in *out; false (and *out untouched) when the matrix is not invertible.
    bool invert(Matrix3x2* out) const;
    // No rotation or skew (or a quarter turn): a rectangle stays a rectangle.
    bool is_axis_aligned() const;
    bool operator==(const Matrix3x2&) const = default;
};

// a x b: a applies first.
Matrix3x2 operator*(const Matrix3x2& a, const Matrix3x2& b);

}  // namespace nuv::host::gfx
