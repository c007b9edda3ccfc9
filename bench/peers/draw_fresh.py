"""The draw workload in pycairo: 10,000 boxes, 10,000 lines, 1,000 circles and 100 texts into an
800x600 image, the shapes from the same Park-Miller sequence as draw.nuv."""
import math

import cairo

lcg_state = 12345.0


def lcg_draw():
    global lcg_state
    lcg_state = math.fmod(lcg_state * 16807.0, 2147483647.0)
    return lcg_state / 2147483647.0


def lcg_spot():
    return int(800 * lcg_draw()), int(600 * lcg_draw())


def lcg_shade(cr):
    cr.set_source_rgb(int(255 * lcg_draw()) / 255, int(255 * lcg_draw()) / 255, int(255 * lcg_draw()) / 255)


def main():
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 800, 600)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    drawn_counts = []
    for _ in range(10000):
        lcg_shade(cr)
        x, y = lcg_spot()
        cr.rectangle(x, y, int(100 * lcg_draw()), int(100 * lcg_draw()))
        cr.fill()
    drawn_counts.append(10000)
    cr.set_line_width(2)
    for _ in range(10000):
        lcg_shade(cr)
        cr.move_to(*lcg_spot())
        cr.line_to(*lcg_spot())
        cr.stroke()
    drawn_counts.append(10000)
    for _ in range(1000):
        lcg_shade(cr)
        x, y = lcg_spot()
        cr.arc(x, y, int(50 * lcg_draw()), 0, 2 * math.pi)
        cr.fill()
    drawn_counts.append(1000)
    cr.select_font_face("DejaVu Sans")
    cr.set_font_size(12)
    for _ in range(100):
        lcg_shade(cr)
        x, y = lcg_spot()
        cr.move_to(x, y + 12)
        cr.show_text("Hello, world")
    drawn_counts.append(100)
    surface.flush()
    print(" ".join(str(c) for c in drawn_counts))


main()
