#include "host/gfx/matrix.h"

#include <cfloat>
#include <numbers>

namespace nuv::host::gfx {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

// Moves `m` so that it acts about `centre`: to the origin, m, and back.
Matrix3x2 about(const Matrix3x2& m, PointF centre) {
    if (centre.x == 0 && centre.y == 0) return m;
    return Matrix3x2::translation(-centre.x, -centre.y) * m * Matrix3x2::translation(centre.x, centre.y);
}

}  // namespace

Matrix3x2 operator*(const Matrix3x2& a, const Matrix3x2& b) {
    return {a.m11 * b.m11 + a.m12 * b.m21,       a.m11 * b.m12 + a.m12 * b.m22,
            a.m21 * b.m11 + a.m22 * b.m21,       a.m21 * b.m12 + a.m22 * b.m22,
            a.dx * b.m11 + a.dy * b.m21 + b.dx,  a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

Matrix3x2 Matrix3x2::scale(float sx, float sy, PointF centre) { return about({sx, 0, 0, sy, 0, 0}, centre); }

Matrix3x2 Matrix3x2::rotation(float degrees, PointF centre) {
    const double a = degrees * kRadiansPerDegree;
    const float c = float(std::cos(a)), s = float(std::sin(a));
    return about({c, s, -s, c, 0, 0}, centre);
}

Matrix3x2 Matrix3x2::skew(float x_degrees, float y_degrees, PointF centre) {
    const float tx = float(std::tan(x_degrees * kRadiansPerDegree));
    const float ty = float(std::tan(y_degrees * kRadiansPerDegree));
    return about({1, ty, tx, 1, 0, 0}, centre);
}

bool Matrix3x2::is_finite() const {
    return finite(m11) && finite(m12) && finite(m21) && finite(m22) && finite(dx) && finite(dy);
}

bool Matrix3x2::is_invertible() const {
    if (!is_finite()) return false;
    const double det = determinant();
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(1 / det);
}

bool Matrix3x2::invert(Matrix3x2* out) const {
    if (!is_invertible()) return false;
    const double r = 1 / determinant();
    const double i11 = m22 * r, i12 = -m12 * r, i21 = -m21 * r, i22 = m11 * r;
    const double idx = -(dx * i11 + dy * i21), idy = -(dx * i12 + dy * i22);
    const Matrix3x2 inv{float(i11), float(i12), float(i21), float(i22), float(idx), float(idy)};
    if (!inv.is_finite()) return false;
    *out = inv;
    return true;
}

bool Matrix3x2::is_axis_aligned() const {
    constexpr float e = 1e-6f;
    return (std::fabs(m12) <= e * std::fabs(m11) && std::fabs(m21) <= e * std::fabs(m22)) ||
           (std::fabs(m11) <= e * std::fabs(m12) && std::fabs(m22) <= e * std::fabs(m21));
}

}  // namespace nuv::host::gfx
