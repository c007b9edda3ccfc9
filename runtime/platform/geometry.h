// Plane geometry for images: vectors, quadrilaterals of four corner points in order around
// them, copying a rectangle of pixels, warping an image onto a quadrilateral, and packed YUV
// 4:2:2 (YUY2) camera rows to pixels. Pixels are 32-bit BGRA words, rows from the top, stride
// width x 4.
#pragma once
#include <cstdint>
#include <vector>

namespace nuv::geometry {

struct Vector {
    double x;
    double y;
};
struct Point {  // as a point2D! holds it
    float x;
    float y;
};
using Quad = Point[4];

double length(Vector v);
void normalise(Vector* v);  // a zero vector stays zero
Vector from_point(float x, float y);
Vector between(Point a, Point b);  // b - a
double cross(Vector u, Vector v);
double dot(Vector u, Vector v);
// Whether a -> b -> c turns clockwise on screen (cross product of a->b and b->c below 0), or
// the other way (above 0).
bool turns_negative(Point a, Point b, Point c);
bool turns_positive(Point a, Point b, Point c);
// The point turned about the origin by `degrees`.
Point rotate(Point p, double degrees);
// Every x replaced by 2v - x (a mirror at x = v), or every y by 2v - y.
void quad_flip_x(Quad q, float v);
void quad_flip_y(Quad q, float v);
// Whether the point lies on the non-positive side of all four edges taken in order (a point
// on an edge is inside).
bool point_in_quad(Point p, const Quad q);

// Copies the w x h rectangle at (x, y) of the source, clipped at its right and bottom edges,
// into `to` packed at the clipped width. Answers 0, copying nothing, when x or y is negative or
// (x, y) lies outside the source, else 1.
int32_t copy_rect(const uint32_t* from, int32_t from_w, int32_t from_h, int32_t x, int32_t y, int32_t w,
                  int32_t h, uint32_t* to);

// The source warped onto the quad (corners for the source's top-left, top-right, bottom-right
// and bottom-left, in either winding), over the quad's bounding box (its size in `out_w`, `out_h`;
// its corner at the box's minimum): every pixel inside the quad a bilinear blend of the four
// source pixels around its position, the rest 0 (transparent). A source with no pixels, a
// degenerate quad or a position that comes out NaN or infinite leaves pixels transparent.
std::vector<uint32_t> quad_resample(const uint32_t* from, int32_t from_w, int32_t from_h, const Quad quad,
                                    int32_t* out_w, int32_t* out_h);

// `height` rows of `width` pixels of packed Y0 U Y1 V bytes (a row holds (width + 1) / 2
// groups; an odd width's last group gives its first pixel only) as opaque BGRA words.
void yuy2_to_bgra(int32_t width, int32_t height, const uint8_t* from, uint32_t* to);

}  // namespace nuv::geometry
