#include "runtime/platform/geometry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace nuv::geometry {

double length(Vector v) { return std::sqrt(v.x * v.x + v.y * v.y); }

void normalise(Vector* v) {
    const double n = length(*v);
    if (n == 0) return;
    v->x /= n;
    v->y /= n;
}

Vector from_point(float x, float y) { return Vector{x, y}; }
Vector between(Point a, Point b) { return Vector{double{b.x} - a.x, double{b.y} - a.y}; }
double cross(Vector u, Vector v) { return u.x * v.y - u.y * v.x; }
double dot(Vector u, Vector v) { return u.x * v.x + u.y * v.y; }
bool turns_negative(Point a, Point b, Point c) { return cross(between(a, b), between(b, c)) < 0; }
bool turns_positive(Point a, Point b, Point c) { return cross(between(a, b), between(b, c)) > 0; }

Point rotate(Point p, double degrees) {
    const double a = degrees * 3.14159265359 / 180, s = std::sin(a), c = std::cos(a);
    return Point{static_cast<float>(p.x * c - p.y * s), static_cast<float>(p.x * s + p.y * c)};
}

void quad_flip_x(Quad q, float v) {
    for (int i = 0; i < 4; i++) q[i].x = 2 * v - q[i].x;
}
void quad_flip_y(Quad q, float v) {
    for (int i = 0; i < 4; i++) q[i].y = 2 * v - q[i].y;
}

bool point_in_quad(Point p, const Quad q) {
    for (int i = 0; i < 4; i++)
        if (cross(between(q[i], q[(i + 1) % 4]), between(q[i], p)) > 0) return false;
    return true;
}

int32_t copy_rect(const uint32_t* from, int32_t from_w, int32_t from_h, int32_t x, int32_t y, int32_t w,
                  int32_t h, uint32_t* to) {
    if (x < 0 || y < 0 || x >= from_w || y >= from_h) return 0;
    const int32_t cw = std::min(w, from_w - x), ch = std::min(h, from_h - y);
    for (int32_t row = 0; row < ch; row++)
        std::memcpy(to + int64_t{row} * cw, from + (int64_t{y} + row) * from_w + x, size_t(std::max(cw, 0)) * 4);
    return 1;
}

namespace {

// Inside on either winding: corners listed top-left, top-right, bottom-right, bottom-left (the
// order the distances below are taken in) turn the other way from point_in_quad's.
bool inside_either_way(Point p, const Quad q) {
    bool negative = true, positive = true;
    for (int i = 0; i < 4; i++) {
        const double c = cross(between(q[i], q[(i + 1) % 4]), between(q[i], p));
        negative = negative && c <= 0;
        positive = positive && c >= 0;
    }
    return negative || positive;
}

}  // namespace

std::vector<uint32_t> quad_resample(const uint32_t* from, int32_t from_w, int32_t from_h, const Quad quad,
                                    int32_t* out_w, int32_t* out_h) {
    *out_w = *out_h = 0;
    if (from_w <= 0 || from_h <= 0) return {};
    float min_x = FLT_MAX, min_y = FLT_MAX, max_x = -FLT_MAX, max_y = -FLT_MAX;
    for (int i = 0; i < 4; i++) {
        if (!std::isfinite(quad[i].x) || !std::isfinite(quad[i].y)) return {};
        min_x = std::min(min_x, quad[i].x), max_x = std::max(max_x, quad[i].x);
        min_y = std::min(min_y, quad[i].y), max_y = std::max(max_y, quad[i].y);
    }
    const double box_w = std::ceil(double{max_x} - min_x), box_h = std::ceil(double{max_y} - min_y);
    if (box_w < 1 || box_h < 1 || box_w * box_h > double{0x7FFFFFFF / 4}) return {};
    *out_w = static_cast<int32_t>(box_w);
    *out_h = static_cast<int32_t>(box_h);
    std::vector<uint32_t> out(size_t(*out_w) * size_t(*out_h), 0);
    Vector edge[4];
    for (int i = 0; i < 4; i++) {
        edge[i] = between(quad[i], quad[(i + 1) % 4]);
        normalise(&edge[i]);
    }
    for (int32_t py = 0; py < *out_h; py++) {
        for (int32_t px = 0; px < *out_w; px++) {
            const Point p{min_x + px, min_y + py};
            if (!inside_either_way(p, quad)) continue;
            double d[4];
            for (int i = 0; i < 4; i++) d[i] = std::fabs(cross(edge[i], between(quad[i], p)));
            const float u = static_cast<float>(d[3] / (d[3] + d[1]) * from_w);
            const float v = static_cast<float>(d[0] / (d[0] + d[2]) * from_h);
            // A degenerate quad divides 0 by 0: the pixel stays transparent.
            if (!std::isfinite(u) || !std::isfinite(v) || u < 0 || v < 0) continue;
            const int32_t x0 = static_cast<int32_t>(std::min(u, float(from_w))), y0 = static_cast<int32_t>(std::min(v, float(from_h)));
            if (x0 >= from_w || y0 >= from_h) continue;
            const int32_t x1 = x0 + 1 < from_w ? x0 + 1 : x0, y1 = y0 + 1 < from_h ? y0 + 1 : y0;
            const float fx = std::max(0.0f, u - x0), fy = std::max(0.0f, v - y0);
            const uint32_t a = from[int64_t{y0} * from_w + x0], b = from[int64_t{y0} * from_w + x1];
            const uint32_t c = from[int64_t{y1} * from_w + x0], e = from[int64_t{y1} * from_w + x1];
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const float blend = (1 - fx) * (1 - fy) * float((a >> shift) & 255) + fx * (1 - fy) * float((b >> shift) & 255) +
                                    (1 - fx) * fy * float((c >> shift) & 255) + fx * fy * float((e >> shift) & 255);
                pixel |= static_cast<uint32_t>(std::clamp(blend, 0.0f, 255.0f)) << shift;
            }
            out[size_t(py) * size_t(*out_w) + size_t(px)] = pixel;
        }
    }
    return out;
}

namespace {

uint32_t yuv_pixel(int32_t y, int32_t d, int32_t e) {
    const int32_t r = y + ((91881 * e) >> 16);
    const int32_t g = y - ((21889 * d) >> 16) - ((46792 * e) >> 16);
    const int32_t b = y + ((116129 * d) >> 16);
    return 0xFF000000u | uint32_t(std::clamp(r, 0, 255)) << 16 | uint32_t(std::clamp(g, 0, 255)) << 8 |
           uint32_t(std::clamp(b, 0, 255));
}

}  // namespace

void yuy2_to_bgra(int32_t width, int32_t height, const uint8_t* from, uint32_t* to) {
    const size_t row_bytes = size_t((width + 1) / 2) * 4;
    for (int32_t row = 0; row < height; row++) {
        const uint8_t* s = from + size_t(row) * row_bytes;
        uint32_t* p = to + int64_t{row} * width;
        for (int32_t x = 0; x < width; x += 2, s += 4) {
            const int32_t d = s[1] - 128, e = s[3] - 128;
            p[x] = yuv_pixel(s[0], d, e);
            if (x + 1 < width) p[x + 1] = yuv_pixel(s[2], d, e);
        }
    }
}

}  // namespace nuv::geometry
