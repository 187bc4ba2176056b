#!/usr/bin/env python3
"""Draws Lorelist's application icon from one set of shapes: as a scalable
SVG (lorelist.svg) and as PNG files at the usual hicolor sizes
(hicolor/SIZE/lorelist.png), each rasterised from the shapes themselves with
4x4 samples a pixel, so that every size is sharp.

The icon: an open book on a navy cover, quotation marks on its left page,
lines of text on its right, and two ribbons, red for the quotations and
green for the categories, as the panes' captions are.

No third-party packages. Running it regenerates every file, byte for byte.
"""

import os

from draw_icons import Canvas

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
VIEW = 256

NAVY = (31, 58, 147, 255)
PAGE = (255, 255, 255, 255)
PAGE2 = (246, 246, 236, 255)
SPINE = (190, 190, 190, 255)
LINE = (150, 150, 150, 255)
RED = (224, 0, 0, 255)
GREEN = (0, 160, 0, 255)


def rect(x0, y0, x1, y1, colour, r=0):
    return ('rect', (x0, y0, x1, y1, r), colour)


def poly(points, colour):
    return ('poly', tuple(points), colour)


def circle(cx, cy, r, colour):
    return ('circle', (cx, cy, r), colour)


def ribbon(x, width, bottom, colour):
    return poly([(x, 44), (x + width, 44), (x + width, bottom), (x + width / 2, bottom - 14),
                 (x, bottom)], colour)


def quote_mark(cx, cy):
    # A filled dot with a tail curling down to the left.
    return [circle(cx, cy, 15, NAVY),
            poly([(cx + 15, cy), (cx + 9, cy + 26), (cx - 8, cy + 36), (cx + 1, cy + 12)], NAVY)]


SHAPES = (
    [rect(14, 36, 242, 226, NAVY, 22),
     poly([(28, 50), (126, 60), (126, 214), (28, 204)], PAGE),
     poly([(130, 60), (228, 50), (228, 204), (130, 214)], PAGE2),
     rect(124, 58, 132, 216, SPINE)]
    + quote_mark(58, 96) + quote_mark(96, 96)
    + [rect(44, 150, 112, 158, LINE), rect(44, 168, 112, 176, LINE), rect(44, 186, 92, 194, LINE)]
    + [rect(142, 86 + 18 * i, 216, 94 + 18 * i, LINE) for i in range(6)]
    + [ribbon(156, 20, 244, RED), ribbon(186, 20, 238, GREEN)]
)


def inside(shape, x, y):
    kind, geometry, _ = shape
    if kind == 'rect':
        x0, y0, x1, y1, r = geometry
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        # Rounded corners: outside the quarter circle of each corner.
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == 'circle':
        cx, cy, r = geometry
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    points = geometry
    hit = False
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
            hit = not hit
    return hit


def colour_at(x, y):
    for shape in reversed(SHAPES):
        if inside(shape, x, y):
            return shape[2]
    return None


def raster(size):
    cv = Canvas(size, size)
    n = 4
    scale = VIEW / size
    for py in range(size):
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) * scale, (py + (sy + 0.5) / n) * scale)
                    if c:
                        r += c[0] * c[3]
                        g += c[1] * c[3]
                        b += c[2] * c[3]
                        a += c[3]
            if a:
                cv.px[py][px] = (round(r / a), round(g / a), round(b / a), round(a / (n * n)))
    return cv


def svg():
    def fill(c):
        return '#%02x%02x%02x' % c[:3]
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
           % (VIEW, VIEW, VIEW, VIEW)]
    for kind, g, c in SHAPES:
        if kind == 'rect':
            x0, y0, x1, y1, r = g
            out.append('  <rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
                       % (x0, y0, x1 - x0, y1 - y0, r, fill(c)))
        elif kind == 'circle':
            out.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (g[0], g[1], g[2], fill(c)))
        else:
            out.append('  <polygon points="%s" fill="%s"/>'
                       % (' '.join('%g,%g' % p for p in g), fill(c)))
    out.append('</svg>')
    return '\n'.join(out) + '\n'


def main():
    with open(os.path.join(HERE, 'lorelist.svg'), 'w') as f:
        f.write(svg())
    for size in SIZES:
        folder = os.path.join(HERE, 'hicolor', str(size))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'lorelist.png'), 'wb') as f:
            f.write(raster(size).png())


if __name__ == '__main__':
    main()
