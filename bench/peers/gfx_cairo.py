"""The 2D workload in pycairo: 10,000 filled rectangles and 10,000 stroked cubic Béziers on an
800x600 ARGB32 surface, the shapes from the generator bench/gfx_driver.cpp uses. Prints
"pass seconds checksum" per pass, as the C++ side does."""
import time

import cairo

WIDTH, HEIGHT, SHAPES = 800, 600, 10000


class Numbers:
    def __init__(self):
        self.state = 12345

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0xFFFFFFFF
        return (self.state >> 8) / float(1 << 24)


def checksum(surface):
    surface.flush()
    data = surface.get_data()
    return sum(data[0::4])


def main():
    n = Numbers()
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, WIDTH, HEIGHT)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    start = time.perf_counter()
    for _ in range(SHAPES):
        x, y = n.next() * WIDTH, n.next() * HEIGHT
        w, h = n.next() * 100, n.next() * 100
        cr.set_source_rgb(n.next(), n.next(), n.next())
        cr.rectangle(x, y, w, h)
        cr.fill()
    surface.flush()
    print(f"rectangles {time.perf_counter() - start:.4f} {checksum(surface)}")
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    cr.set_line_width(2)
    start = time.perf_counter()
    for _ in range(SHAPES):
        p = [(n.next() * WIDTH, n.next() * HEIGHT) for _ in range(4)]
        cr.set_source_rgb(n.next(), n.next(), n.next())
        cr.move_to(*p[0])
        cr.curve_to(*p[1], *p[2], *p[3])
        cr.stroke()
    surface.flush()
    print(f"beziers {time.perf_counter() - start:.4f} {checksum(surface)}")


if __name__ == "__main__":
    main()
