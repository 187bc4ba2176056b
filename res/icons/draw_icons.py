#!/usr/bin/env python3
"""Draws Lorelist's toolbar icons and application icon as PNG files.

No third-party packages: the images are composed from hand-drawn pixel
grids and a few geometric helpers, and written with zlib + struct.
Running the script regenerates every PNG next to it, byte for byte.

Toolbar images are 16x15 RGBA with a transparent background, each with a
32x30 "@2x" twin for screens scaled by two; the small application icon of
the About box is written at 32x32 (app.png) and 16x16 (app16.png). The
window's and the desktop's icon is draw_app_icon.py's.
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

TB_W, TB_H = 16, 15

# ---------------------------------------------------------------- palette
PAL = {
    '.': None,
    'k': (0, 0, 0, 255),          # outline
    'g': (128, 128, 128, 255),    # dark grey
    'l': (192, 192, 192, 255),    # light grey
    'w': (255, 255, 255, 255),    # white
    'r': (255, 0, 0, 255),        # quotation accent (caption red)
    'R': (160, 0, 0, 255),        # dark red
    'G': (0, 191, 0, 255),        # category accent (caption green)
    'D': (0, 112, 0, 255),        # dark green
    'H': (144, 238, 144, 255),    # light green highlight
    'P': (255, 150, 150, 255),    # light red highlight
    'b': (0, 0, 255, 255),        # blue
    'B': (0, 0, 128, 255),        # navy
    'c': (96, 160, 255, 255),     # light blue
    'y': (255, 255, 0, 255),      # yellow
    'Y': (200, 160, 0, 255),      # dark yellow
    'o': (192, 128, 64, 255),     # wood / clipboard brown
    'O': (128, 80, 32, 255),      # dark brown
    'p': (255, 160, 192, 255),    # eraser pink
    'm': (255, 224, 176, 255),    # bare wood / paper tint
}


# ---------------------------------------------------------------- canvas
class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[None] * w for _ in range(h)]

    def set(self, x, y, c):
        if isinstance(c, str):
            c = PAL[c]
        if c is not None and 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def blit(self, rows, ox=0, oy=0):
        """Draws a grid of palette letters; '.' leaves pixels untouched."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != '.':
                    self.set(ox + i, oy + j, ch)

    def png(self):
        raw = bytearray()
        for row in self.px:
            raw.append(0)  # filter: none
            for c in row:
                raw.extend(c if c is not None else (0, 0, 0, 0))
        def chunk(tag, data):
            body = tag + data
            return (struct.pack('>I', len(data)) + body
                    + struct.pack('>I', zlib.crc32(body) & 0xffffffff))
        ihdr = struct.pack('>IIBBBBB', self.w, self.h, 8, 6, 0, 0, 0)
        return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr)
                + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
                + chunk(b'IEND', b''))


def check_grid(name, rows, w, h):
    assert len(rows) == h, (name, len(rows))
    for r in rows:
        assert len(r) == w, (name, r, len(r))


# ---------------------------------------------------------------- overlays
# Small badges put in the bottom-right corner of a base glyph.

PLUS = [
    '..kkk..',
    '..kGk..',
    'kkkGkkk',
    'kGGGGGk',
    'kkkGkkk',
    '..kGk..',
    '..kkk..',
]

CROSS = [
    'kk...kk',
    'krk.krk',
    '.krkrk.',
    '..krk..',
    '.krkrk.',
    'krk.krk',
    'kk...kk',
]

# Dark cross, for glyphs whose own accent is red.
CROSS_DARK = [
    'kk...kk',
    'kBk.kBk',
    '.kBkBk.',
    '..kBk..',
    '.kBkBk.',
    'kBk.kBk',
    'kk...kk',
]

# Pencil lying from bottom-left (point) to top-right (eraser).
PENCIL = [
    '......kk.',
    '.....kppk',
    '....kYypk',
    '...kYyyk.',
    '..kYyyk..',
    '.kmYyk...',
    '.kmmk....',
    'kkkk.....',
    'k........',
]

QUESTION = [
    '.kkkkk.',
    'kbbbbbk',
    'kbkkkbk',
    '.k.kbbk',
    '..kbbk.',
    '..kbk..',
    '..kkk..',
    '..kbk..',
    '..kkk..',
]

HASH = [
    '..k..k..',
    '..b..b..',
    'kbbbbbbk',
    '..b..b..',
    'kbbbbbbk',
    '..b..b..',
    '..k..k..',
]


def badge(cv, rows):
    """Puts a badge flush with the bottom-right corner."""
    h = len(rows)
    w = len(rows[0])
    ox, oy = cv.w - w, cv.h - h
    cv.blit(rows, ox, oy)


# ---------------------------------------------------------------- glyphs
# Quotation node glyph: a little tree of red nodes (top-left, 12x12).
QUOTE_TREE = [
    'kkkkkkk.....',
    'kPPPPPk.....',
    'krrrrrk.....',
    'kkkkkkk.....',
    '..k.........',
    '..k..kkkkk..',
    '..kkkkrrrk..',
    '..k..kkkkk..',
    '..k.........',
    '..k..kkkkk..',
    '..kkkkrrrk..',
    '.....kkkkk..',
]

# Category glyph: a green folder (top-left, 14x11).
CAT_FOLDER = [
    '.kkkk.........',
    'kHHHHk........',
    'kHGGGGkkkkkkk.',
    'kHGGGGGGGGGGGk',
    'kGGGGGGGGGGGDk',
    'kGGGGGGGGGGGDk',
    'kGGGGGGGGGGGDk',
    'kGGGGGGGGGGGDk',
    'kGGGGGGGGGGGDk',
    'kDDDDDDDDDDDDk',
    'kkkkkkkkkkkkkk',
]

# A white page with a folded corner, 9x11.
PAGE = [
    'kkkkkk...',
    'kwwwwkk..',
    'kwwwwklk.',
    'kwggwkkkk',
    'kwwwwwwwk',
    'kwgggggwk',
    'kwwwwwwwk',
    'kwgggggwk',
    'kwwwwwwwk',
    'kwggggwwk',
    'kkkkkkkkk',
]


def icon_save():
    return [
        'kkkkkkkkkkkkkkk.',
        'kBkwwwwwwwwwkBk.',
        'kBkwwwwwwwwwkBk.',
        'kBkwgggggggwkBk.',
        'kBkwwwwwwwwwkBk.',
        'kBkwgggggggwkBk.',
        'kBkwwwwwwwwwkBk.',
        'kBBkkkkkkkkkBBk.',
        'kBBBBBBBBBBBBBk.',
        'kBBBlllllllBBBk.',
        'kBBBlkklllllBBk.',
        'kBBBlkklllllBBk.',
        'kBBBlkklllllBBk.',
        '.kBBlllllllBBBk.',
        '..kkkkkkkkkkkkk.',
    ]


def icon_cut():
    return [
        '..k.........k...',
        '..kk.......kk...',
        '...kl.....lk....',
        '...kl.....lk....',
        '....kl...lk.....',
        '....kl...lk.....',
        '.....kl.lk......',
        '......kkk.......',
        '......bkb.......',
        '.....bb.bb......',
        '.bbbbb...bbbbb..',
        'bb..bb...bb..bb.',
        'b....b...b....b.',
        'bb..bb...bb..bb.',
        '.bbbb.....bbbb..',
    ]


def icon_copy():
    cv = Canvas(TB_W, TB_H)
    cv.blit(PAGE, 0, 0)
    cv.blit(PAGE, 6, 4)
    return cv


def icon_paste():
    cv = Canvas(TB_W, TB_H)
    cv.blit([
        '....kkkkk....',
        '.kkkkgggkkkk.',
        'kOokklllkkooO',
        'kookkkkkkkook',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kooooooooooOk',
        'kOOOOOOOOOOOk',
        'kkkkkkkkkkkkk',
    ], 0, 0)
    cv.blit(PAGE[:], 7, 4)
    return cv


def icon_special_char():
    return [
        '................',
        '.....BBBBBB.....',
        '...BBBBBBBBBB...',
        '..BBB......BBB..',
        '.BBB........BBB.',
        '.BB..........BB.',
        '.BB..........BB.',
        '.BB..........BB.',
        '.BBB........BBB.',
        '..BBB......BBB..',
        '...BBB....BBB...',
        '....BB....BB....',
        '....BB....BB....',
        '.BBBBB....BBBBB.',
        '.BBBBB....BBBBB.',
    ]


def quote_base():
    cv = Canvas(TB_W, TB_H)
    cv.blit(QUOTE_TREE, 0, 0)
    return cv


def cat_base():
    cv = Canvas(TB_W, TB_H)
    cv.blit(CAT_FOLDER, 0, 0)
    return cv


def icon_quote_new():
    cv = quote_base()
    badge(cv, PLUS)
    return cv


def icon_quote_delete():
    cv = quote_base()
    badge(cv, CROSS_DARK)
    return cv


def icon_quote_update():
    cv = quote_base()
    badge(cv, PENCIL)
    return cv


def icon_cat_new():
    cv = cat_base()
    badge(cv, PLUS)
    return cv


def icon_cat_delete():
    cv = cat_base()
    badge(cv, CROSS)
    return cv


def icon_cat_update():
    cv = cat_base()
    badge(cv, PENCIL)
    return cv


def icon_search():
    cv = Canvas(TB_W, TB_H)
    # handle first, lens drawn over its upper end
    for t in range(6):
        cv.blit(['kOOk'], 7 + t, 8 + t)
    cv.blit(['kk'], 13, 14)
    cv.blit([
        '...kkkkk...',
        '.kkwwccckk.',
        '.kwwccccck.',
        'kwwccccccck',
        'kwcccccccck',
        'kccccccccck',
        'kccccccccck',
        'kccccccccck',
        '.kccccccck.',
        '.kkccccckk.',
        '...kkkkk...',
    ], 0, 0)
    return cv


def icon_find_reference():
    cv = Canvas(TB_W, TB_H)
    # red quotation node on the right
    cv.blit([
        'kkkkkkkk',
        'kPPPPPPk',
        'krrrrrrk',
        'krrrrrrk',
        'krrrrrrk',
        'krrrrrrk',
        'kkkkkkkk',
    ], 8, 4)
    # arrow coming from the left
    cv.blit([
        '......k...',
        '......kk..',
        'kkkkkkkbk.',
        'kbbbbbbbbk',
        'kkkkkkkbk.',
        '......kk..',
        '......k...',
    ], 0, 4)
    return cv


def icon_find_unreferenced():
    cv = quote_base()
    badge(cv, QUESTION)
    return cv


def icon_count_references():
    cv = quote_base()
    badge(cv, HASH)
    return cv


# One chain link seen flat, 11x9.
RING = [
    '..kkkkkkk..',
    '.klllllllk.',
    'klkkkkkkkgk',
    'klk.....kgk',
    'klk.....kgk',
    'klk.....kgk',
    'klkkkkkkkgk',
    '.kgggggggk.',
    '..kkkkkkk..',
]


def icon_ref(badge_rows):
    """Two interlocked chain links (a reference) with a badge."""
    cv = Canvas(TB_W, TB_H)
    cv.blit(RING, 0, 3)                 # lower-left link
    cv.blit(RING, 5, 0)                 # upper-right link, on top...
    # ...except where the lower-left link passes over it
    cv.blit([r[8:] for r in RING[3:]], 8, 6)
    badge(cv, badge_rows)
    return cv


INDEX_CARD = [
    '.kkkkk........',
    'kwwwwwk.......',
    'kwkwkwkkkkkkk.',
    'kwwwwwwwwwwwwk',
    'krrrrrrrrrrrrk',
    'kwwwwwwwwwwwwk',
    'kwccccccccccwk',
    'kwwwwwwwwwwwwk',
    'kwccccccccccwk',
    'kwwwwwwwwwwwwk',
    'kwccccccccccwk',
    'kwwwwwwwwwwwwk',
    'kkkkkkkkkkkkkk',
]


def icon_subject(badge_rows):
    cv = Canvas(TB_W, TB_H)
    cv.blit(INDEX_CARD, 0, 0)
    badge(cv, badge_rows)
    return cv


def icon_font():
    return [
        '................',
        '....kk..........',
        '...kkkk.........',
        '...kkkk.........',
        '..kk..kk........',
        '..kk..kk........',
        '.kk....kk.......',
        '.kk....kk.......',
        '.kkkkkkkk..BBBB.',
        'kkkkkkkkkk....BB',
        'kk......kk.BBBBB',
        'kk......kkBB..BB',
        'kk......kkBB..BB',
        'kk......kk.BBBBB',
        '................',
    ]


def icon_statistics():
    return [
        'k...............',
        'k...........kkkk',
        'k...........kbbk',
        'k...........kbbk',
        'k......kkkk.kbbk',
        'k......kyyk.kbbk',
        'k......kyyk.kbbk',
        'k.kkkk.kyyk.kbbk',
        'k.krrk.kyyk.kbbk',
        'k.krrk.kyyk.kbbk',
        'k.krrk.kyyk.kbbk',
        'k.krrk.kyyk.kbbk',
        'k.krrk.kyyk.kbbk',
        'kkkkkkkkkkkkkkkk',
        'k...............',
    ]


def icon_about():
    cv = Canvas(TB_W, TB_H)
    cx, cy, r = 7.5, 7.0, 7.3
    for y in range(TB_H):
        for x in range(TB_W):
            d = ((x + 0.5 - cx - 0.5) ** 2 + (y + 0.5 - cy - 0.5) ** 2) ** 0.5
            if d <= r - 1.1:
                cv.set(x, y, 'b')
            elif d <= r:
                cv.set(x, y, 'B')
    cv.blit([
        'ww.',
        'ww.',
        '...',
        'ww.',
        'ww.',
        'ww.',
        'ww.',
        'ww.',
    ], 7, 3)
    cv.blit(['w'], 6, 6)
    cv.blit(['wwww'], 6, 10)
    return cv


def icon_context_help():
    return [
        'k...............',
        'kk..............',
        'kwk.............',
        'kwwk......kkkk..',
        'kwwwk....kbbbbk.',
        'kwwwwk...kbkkbbk',
        'kwwwwwk..kk.kbbk',
        'kwwwwwwk...kbbk.',
        'kwwwwkkkk.kbbk..',
        'kwkwwk....kbbk..',
        'kk.kwwk...kkkk..',
        'k..kwwk...kbbk..',
        '....kwwk..kbbk..',
        '....kwwk..kkkk..',
        '.....kk.........',
    ]


# ---------------------------------------------------------------- app icon
QUOTE_MARK = [
    '..rr',
    '.rr.',
    'rrrr',
    'rrrr',
    'rrrr',
    '.rr.',
]


def open_book(size, left, right, top, bottom, steps, rim=2):
    """An open book on a dark red cover; returns the canvas and the dip
    function (how far each page edge sinks toward the spine)."""
    cv = Canvas(size, size)
    spine = (left + right) // 2          # pages meet at spine, spine + 1

    def dip(x):
        t = (x - left) if x <= spine else (right - x)
        return sum(1 for s in steps if t >= s)

    # cover: shows one pixel round the pages, a few below
    for x in range(left - rim, right + rim + 1):
        xx = min(max(x, left), right)
        for y in range(top + 2, bottom + dip(xx) + rim + 1):
            cv.set(x, y, 'R')
        cv.set(x, bottom + dip(xx) + rim + 1, 'k')
    for y in range(top + 2, bottom + rim + 2):
        cv.set(left - rim, y, 'k')
        cv.set(right + rim, y, 'k')
    # pages
    for x in range(left, right + 1):
        d = dip(x)
        for y in range(top + d, bottom + d + 1):
            cv.set(x, y, 'k' if y in (top + d, bottom + d) else 'w')
    for x in (left, spine, spine + 1, right):
        for y in range(top + dip(x), bottom + dip(x) + 1):
            cv.set(x, y, 'k')
    return cv, dip


def app_icon_32():
    cv, dip = open_book(32, 3, 28, 4, 23, (5, 9))
    # a page-stack line under each outer page edge
    for x in list(range(3, 11)) + list(range(21, 29)):
        cv.set(x, 23 + dip(x) + 1, 'l')
    # quotation mark on the left page
    cv.blit(QUOTE_MARK, 5, 7)
    cv.blit(QUOTE_MARK, 10, 7)
    # text lines
    for y, x0, x1 in ((15, 5, 13), (17, 5, 13), (19, 5, 13), (21, 5, 10)):
        for x in range(x0, x1 + 1):
            cv.set(x, y, 'g')
    for y in (7, 9, 11, 13, 15, 17, 19):
        for x in range(18, 27):
            cv.set(x, y, 'g')
    for x in range(18, 23):
        cv.set(x, 21, 'g')
    return cv


def app_icon_16():
    cv, dip = open_book(16, 1, 14, 2, 12, (3,), rim=1)
    cv.blit([
        '.r..r',
        'rr.rr',
        'rr.rr',
    ], 2, 4)
    for y, x0, x1 in ((8, 3, 5), (10, 3, 4)):
        for x in range(x0, x1 + 1):
            cv.set(x, y, 'g')
    for y, x0, x1 in ((4, 10, 12), (6, 10, 12), (8, 10, 12), (10, 10, 11)):
        for x in range(x0, x1 + 1):
            cv.set(x, y, 'g')
    return cv


# ---------------------------------------------------------------- output
def as_canvas(name, img, w, h):
    if isinstance(img, Canvas):
        assert (img.w, img.h) == (w, h), name
        return img
    check_grid(name, img, w, h)
    cv = Canvas(w, h)
    cv.blit(img)
    return cv


TOOLBAR = [
    ('save', icon_save),
    ('cut', icon_cut),
    ('copy', icon_copy),
    ('paste', icon_paste),
    ('special_char', icon_special_char),
    ('quote_new', icon_quote_new),
    ('quote_delete', icon_quote_delete),
    ('quote_update', icon_quote_update),
    ('search', icon_search),
    ('find_reference', icon_find_reference),
    ('find_unreferenced', icon_find_unreferenced),
    ('count_references', icon_count_references),
    ('cat_new', icon_cat_new),
    ('cat_delete', icon_cat_delete),
    ('cat_update', icon_cat_update),
    ('ref_add', lambda: icon_ref(PLUS)),
    ('ref_delete', lambda: icon_ref(CROSS)),
    ('subject_add', lambda: icon_subject(PLUS)),
    ('subject_delete', lambda: icon_subject(CROSS)),
    ('font', icon_font),
    ('statistics', icon_statistics),
    ('about', icon_about),
    ('context_help', icon_context_help),
]


def doubled(cv):
    """The image at twice the size, each pixel as four: pixel art stays sharp
    on a screen scaled by two, where a smooth enlargement would blur it."""
    big = Canvas(cv.w * 2, cv.h * 2)
    for y in range(cv.h):
        for x in range(cv.w):
            for dy in (0, 1):
                for dx in (0, 1):
                    big.px[2 * y + dy][2 * x + dx] = cv.px[y][x]
    return big


def write(name, cv):
    with open(os.path.join(HERE, name + '.png'), 'wb') as f:
        f.write(cv.png())


def main():
    for name, fn in TOOLBAR:
        cv = as_canvas(name, fn(), TB_W, TB_H)
        write(name, cv)
        write(name + '@2x', doubled(cv))
    write('app', as_canvas('app', app_icon_32(), 32, 32))
    write('app16', as_canvas('app16', app_icon_16(), 16, 16))


if __name__ == '__main__':
    main()
