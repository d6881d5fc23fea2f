#!/usr/bin/env python3
"""Draws the eleven 24 x 24 palette bitmaps of the package into morvane/package/bitmaps/.

Each picture is a family pictogram (fish and a padlock for the ciphers, a funnel for the digests,
a die and a twister for the generators, a page and an envelope for the encoders) over a coloured
label band. Ten bitmaps are written with 8 bits per pixel and a 256-colour table; TVRXDES with 4
bits per pixel and the 16 standard colours. The lower-left pixel is the background colour, which
palette hosts treat as transparent.

Usage: python3 scripts/draw_palette_bitmaps.py [output-directory]
The bitmaps are committed; run this only to redraw them.
"""

import os
import struct
import sys

W = H = 24

SILVER = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GRAY = (128, 128, 128)

# The 16 standard colours, in their usual order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# A 3 x 5 font (M and W five wide); '#' is ink.
FONT = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["##.", "..#", ".#.", "#..", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "##.", "..#", "##."],
    "6": [".##", "#..", "###", "#.#", "###"],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "B": ["##.", "#.#", "##.", "#.#", "##."],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "E": ["###", "#..", "##.", "#..", "###"],
    "F": ["###", "#..", "##.", "#..", "#.."],
    "H": ["#.#", "#.#", "###", "#.#", "#.#"],
    "I": ["###", ".#.", ".#.", ".#.", "###"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    "O": [".#.", "#.#", "#.#", "#.#", ".#."],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "W": ["#...#", "#...#", "#.#.#", "##.##", "#...#"],
}


class Canvas:
    def __init__(self, background=SILVER):
        self.background = background
        self.px = [[background] * W for _ in range(H)]

    def set(self, x, y, c):
        if 0 <= x < W and 0 <= y < H:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, outline=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                if edge and outline is not None:
                    self.set(x, y, outline)
                elif fill is not None:
                    self.set(x, y, fill)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def ellipse(self, cx, cy, rx, ry, fill=None, outline=None):
        # Pixel centres inside the ellipse; the outline is the inside pixels with an outside
        # 4-neighbour.
        def inside(x, y):
            return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
        for y in range(H):
            for x in range(W):
                if not inside(x, y):
                    continue
                rim = not all(inside(x + a, y + b) for a, b in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                if rim and outline is not None:
                    self.set(x, y, outline)
                elif fill is not None:
                    self.set(x, y, fill)

    def sprite(self, x0, y0, rows, colours):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch in colours:
                    self.set(x0 + dx, y0 + dy, colours[ch])

    def text(self, x0, y0, s, c):
        x = x0
        for ch in s:
            glyph = FONT[ch]
            self.sprite(x, y0, glyph, {"#": c})
            x += len(glyph[0]) + 1

    @staticmethod
    def text_width(s):
        return sum(len(FONT[ch][0]) + 1 for ch in s) - 1

    def label(self, s, band, ink=WHITE):
        """A rounded band at the bottom (rows 16 to 22) with the text centred on it."""
        self.rect(1, 16, 22, 22, fill=band)
        for x, y in ((1, 16), (22, 16), (1, 22), (22, 22)):
            self.set(x, y, self.background)
        self.text((W - self.text_width(s)) // 2, 17, s, ink)


# ---- Pictograms

FISH_LEFT = [
    "    ooooo      ",
    "  oobbbbboo  oo",
    " obwbbbbbbbooto",
    "obkbbbbbbbbbtto",
    "obbbbbbbbbbooto",
    " oobbbbbbboo oo",
    "   ooooooo     ",
]


def fish(cv, x, y, body, facing_left=True):
    rows = FISH_LEFT if facing_left else [r[::-1] for r in FISH_LEFT]
    cv.sprite(x, y, rows, {"o": BLACK, "b": body, "w": WHITE, "k": BLACK, "t": body})


def draw_twofish():
    cv = Canvas()
    fish(cv, 0, 1, (255, 140, 0), facing_left=False)
    fish(cv, 8, 8, (30, 110, 230), facing_left=True)
    cv.label("2FISH", (20, 60, 140))
    return cv


def draw_blowfish():
    cv = Canvas()
    body, dark = (250, 210, 40), (150, 110, 0)
    # Spikes first, the round body over them.
    for (x0, y0, x1, y1) in ((10, 0, 10, 2), (4, 2, 6, 4), (16, 2, 14, 4), (2, 8, 4, 8),
                             (4, 14, 6, 12), (16, 14, 14, 12), (10, 15, 10, 13)):
        cv.line(x0, y0, x1, y1, dark)
    cv.ellipse(10, 8, 6.4, 6.4, fill=body, outline=BLACK)
    cv.rect(7, 5, 8, 6, fill=WHITE)
    cv.set(7, 6, BLACK)
    cv.line(5, 10, 6, 10, BLACK)  # mouth
    # Tail to the right.
    cv.sprite(17, 5, ["..oo", ".obo", "obbo", "obbo", ".obo", "..oo"], {"o": BLACK, "b": body})
    cv.label("BLOW", (170, 120, 0))
    return cv


def draw_des():
    # Only the 16 standard colours here: this one is a 16-colour bitmap.
    cv = Canvas()
    yellow, olive, gray = (255, 255, 0), (128, 128, 0), (128, 128, 128)
    # Shackle.
    cv.rect(7, 1, 16, 8, outline=BLACK)
    cv.rect(8, 2, 15, 8, outline=gray)
    cv.rect(9, 3, 14, 8, fill=SILVER, outline=BLACK)
    for x, y in ((7, 1), (16, 1), (8, 2), (15, 2)):
        cv.set(x, y, SILVER)
    # Body with keyhole.
    cv.rect(4, 7, 19, 15, fill=yellow, outline=BLACK)
    cv.line(5, 14, 18, 14, olive)
    cv.rect(11, 9, 12, 10, fill=BLACK)
    cv.line(11, 11, 12, 11, BLACK)
    cv.set(11, 12, BLACK)
    cv.set(12, 12, BLACK)
    cv.label("DES", (128, 0, 0))
    return cv


def draw_funnel(label, body, band):
    cv = Canvas()
    dark = tuple(c // 2 for c in body)
    # Bits falling in.
    for x, y in ((5, 0), (9, 1), (13, 0), (17, 1), (7, 2), (15, 2), (11, 0)):
        cv.set(x, y, BLACK)
    # Funnel: a wide bowl narrowing to a spout.
    for y in range(4, 11):
        half = 9 - (y - 4) * 1.2
        x0, x1 = int(round(11.5 - half)), int(round(11.5 + half))
        cv.line(x0, y, x1, y, body)
        cv.set(x0, y, BLACK)
        cv.set(x1, y, BLACK)
    cv.line(2, 3, 21, 3, BLACK)
    cv.line(3, 4, 20, 4, dark)
    cv.rect(10, 11, 13, 12, fill=body, outline=BLACK)
    # The digest: one short block coming out.
    cv.rect(8, 13, 15, 15, fill=WHITE, outline=BLACK)
    cv.label(label, band)
    return cv


def draw_isaac():
    cv = Canvas()
    cv.rect(5, 1, 18, 14, fill=WHITE, outline=BLACK)
    for x, y in ((5, 1), (18, 1), (5, 14), (18, 14)):
        cv.set(x, y, SILVER)
    cv.line(6, 15, 18, 15, GRAY)  # shadow
    cv.line(19, 2, 19, 15, GRAY)
    red = (200, 0, 0)
    for x, y in ((7, 3), (15, 3), (11, 7), (7, 11), (15, 11)):
        cv.rect(x, y, x + 1, y + 1, fill=red)
    cv.label("ISAAC", (150, 0, 0))
    return cv


def draw_mt():
    cv = Canvas()
    light, dark = (120, 150, 200), (40, 60, 120)
    # A twister: arcs narrowing downwards, each shifted a little, with a tail touching ground.
    widths = [10, 9, 8, 7, 6, 5, 4, 3, 2, 1]
    shifts = [0, 1, 0, -1, 0, 1, 2, 2, 1, 0]
    for i, (half, shift) in enumerate(zip(widths, shifts)):
        y = 1 + i * 3 // 2
        cx = 12 + shift
        cv.line(cx - half, y, cx + half, y, light if i % 2 == 0 else dark)
        cv.set(cx - half, y, dark)
        cv.set(cx + half, y, dark)
    cv.line(12, 15, 13, 15, dark)
    cv.label("MT", (40, 60, 120))
    return cv


def draw_base64():
    cv = Canvas()
    blue = (0, 90, 200)
    # A page with a folded corner and lines of text.
    cv.rect(5, 0, 18, 15, fill=WHITE, outline=BLACK)
    cv.sprite(14, 0, ["#####", ".#..#", "..#.#", "...##", "....#"],
              {"#": BLACK})
    for x, y in ((15, 0), (16, 0), (17, 0), (18, 0), (16, 1), (17, 1), (18, 1), (17, 2),
                 (18, 2), (18, 3)):
        cv.set(x, y, SILVER)
    for y, (x0, x1) in zip(range(4, 15, 2), ((7, 12), (7, 16), (7, 15), (7, 16), (7, 13),
                                             (7, 16))):
        cv.line(x0, y, x1, y, blue)
    cv.label("B64", (0, 90, 200))
    return cv


def draw_uucode():
    cv = Canvas()
    paper, edge = (250, 235, 190), (150, 110, 40)
    cv.rect(2, 3, 21, 15, fill=paper, outline=BLACK)
    cv.line(3, 4, 11, 10, edge)
    cv.line(20, 4, 12, 10, edge)
    cv.line(3, 14, 9, 9, edge)
    cv.line(20, 14, 14, 9, edge)
    cv.rect(17, 5, 19, 7, fill=(200, 30, 30))  # stamp
    cv.label("UU", (0, 130, 90))
    return cv


PICTURES = {
    "TVRXTWOFISH": (draw_twofish, 8),
    "TVRXBLOWFISH": (draw_blowfish, 8),
    "TVRXDES": (draw_des, 4),
    "TVRXRIPEMD160": (lambda: draw_funnel("R160", (60, 100, 230), (30, 50, 150)), 8),
    "TVRXRIPEMD128": (lambda: draw_funnel("R128", (160, 80, 210), (100, 40, 140)), 8),
    "TVRXMD5": (lambda: draw_funnel("MD5", (230, 70, 60), (160, 30, 30)), 8),
    "TVRXISAAC": (draw_isaac, 8),
    "TVRXMT19937B": (draw_mt, 8),
    "TVRXSHA": (lambda: draw_funnel("SHA1", (60, 180, 80), (20, 110, 40)), 8),
    "TVRXBASE64": (draw_base64, 8),
    "TVRXUUCODE": (draw_uucode, 8),
}


# ---- BMP writer

def palette_for(canvas, bpp):
    used = []
    for row in canvas.px:
        for c in row:
            if c not in used:
                used.append(c)
    if bpp == 4:
        for c in used:
            if c not in VGA16:
                raise ValueError("colour %r is not one of the 16 standard colours" % (c,))
        return list(VGA16)
    table = list(used)
    # Fill the rest with a colour cube and a grey ramp so that the table is a usable palette.
    extra = [(r, g, b) for r in range(0, 256, 51) for g in range(0, 256, 51)
             for b in range(0, 256, 51)]
    extra += [(v, v, v) for v in range(8, 248, 10)]
    for c in extra:
        if len(table) == 256:
            break
        if c not in table:
            table.append(c)
    while len(table) < 256:
        table.append(BLACK)
    return table


def bmp_bytes(canvas, bpp):
    table = palette_for(canvas, bpp)
    index = {c: i for i, c in reversed(list(enumerate(table)))}
    stride = ((W * bpp + 31) // 32) * 4
    rows = []
    for y in range(H - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(W):
            i = index[canvas.px[y][x]]
            if bpp == 8:
                row[x] = i
            else:
                row[x // 2] |= i << (4 if x % 2 == 0 else 0)
        rows.append(bytes(row))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in table)
    pixels = b"".join(rows)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, bpp, 0, len(pixels), 2835, 2835,
                       len(table), 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "morvane", "package",
                                                             "bitmaps")
    os.makedirs(out, exist_ok=True)
    for name, (draw, bpp) in PICTURES.items():
        cv = draw()
        assert cv.px[H - 1][0] == cv.background
        with open(os.path.join(out, name + ".bmp"), "wb") as f:
            f.write(bmp_bytes(cv, bpp))


if __name__ == "__main__":
    main()
