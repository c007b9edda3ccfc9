"""The draw workload in pycairo: 10,000 boxes, 10,000 lines, 1,000 circles and 100 texts into an
800x600 image, the shapes from the same Park-Miller sequence as draw.nuv."""
import math

import cairo

seed = 12345.0


def next_number():
    global seed
    seed = math.fmod(seed * 16807.0, 2147483647.0)
    return seed / 2147483647.0


def spot():
    return int(800 * next_number()), int(600 * next_number())


def shade(cr):
    cr.set_source_rgb(int(255 * next_number()) / 255, int(255 * next_number()) / 255, int(255 * next_number()) / 255)


def main():
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 800, 600)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    counts = []
    for _ in range(10000):
        shade(cr)
        x, y = spot()
        cr.rectangle(x, y, int(100 * next_number()), int(100 * next_number()))
        cr.fill()
    counts.append(10000)
    cr.set_line_width(2)
    for _ in range(10000):
        shade(cr)
        cr.move_to(*spot())
        cr.line_to(*spot())
        cr.stroke()
    counts.append(10000)
    for _ in range(1000):
        shade(cr)
        x, y = spot()
        cr.arc(x, y, int(50 * next_number()), 0, 2 * math.pi)
        cr.fill()
    counts.append(1000)
    cr.select_font_face("DejaVu Sans")
    cr.set_font_size(12)
    for _ in range(100):
        shade(cr)
        x, y = spot()
        cr.move_to(x, y + 12)
        cr.show_text("Hello, world")
    counts.append(100)
    surface.flush()
    print(" ".join(str(c) for c in counts))


main()
