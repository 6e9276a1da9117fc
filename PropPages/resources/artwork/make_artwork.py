#!/usr/bin/env python3
"""Draws every bitmap of the page library's resource script and writes each as a BMP file.

    make_artwork.py OUTPUT_FOLDER [--list]

Every picture is computed here from geometry and the colour tables below: nothing is drawn by hand
or read from elsewhere. Files are Windows bitmaps: a 14-byte file header, a 40-byte
BITMAPINFOHEADER, a colour table for the 8-bit ones, rows bottom to top, each padded to 4 bytes.
--list prints the file names, one a line, and writes nothing. Standard library only.
"""
import math
import os
import struct
import sys

# Colour palettes of the pages, (red, green, blue), in the order of their colour buttons.
# The closed-caption page: full-intensity colours.
CAPTION_PALETTE = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
                   (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]
# The loss-of-signal page: the colours its generated pictures and its text take.
SIGNAL_LOSS_PALETTE = [(0xFF, 0xFF, 0xFF), (0xBA, 0xC1, 0x00), (0x00, 0xBE, 0xC0), (0x00, 0xBE, 0x02),
                       (0xBD, 0x00, 0xB8), (0xBD, 0x01, 0x00), (0x01, 0x00, 0xBE), (0x00, 0x00, 0x00)]

MAGENTA = (255, 0, 255)  # the button strip's mask colour: transparent when drawn


class Canvas:
    """An RGB picture, rows top first."""

    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.rows = [[colour] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def get(self, x, y):
        return self.rows[y][x]

    def fill(self, left, top, right, bottom, colour):
        """Fills left <= x < right, top <= y < bottom."""
        for y in range(max(top, 0), min(bottom, self.height)):
            row = self.rows[y]
            for x in range(max(left, 0), min(right, self.width)):
                row[x] = colour

    def paint(self, inside, colour):
        """Sets every pixel whose centre (x + 0.5, y + 0.5) the predicate takes."""
        for y in range(self.height):
            for x in range(self.width):
                if inside(x + 0.5, y + 0.5):
                    self.rows[y][x] = colour

    def line(self, x0, y0, x1, y1, colour):
        """A one-pixel line from (x0, y0) to (x1, y1), both ends drawn."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def ellipse(self, cx, cy, rx, ry, colour, dashes=0):
        """The outline of an ellipse around (cx, cy), one pixel wide; with dashes, that many
        drawn arcs with gaps between them."""
        steps = int(8 * (rx + ry)) + 8
        for i in range(steps):
            a = 2 * math.pi * i / steps
            if dashes and int(2 * dashes * i / steps) % 2:
                continue
            self.set(int(math.floor(cx + rx * math.cos(a))), int(math.floor(cy - ry * math.sin(a))), colour)

    def blit(self, other, left, top):
        for y in range(other.height):
            for x in range(other.width):
                self.set(left + x, top + y, other.get(x, y))


def bmp_bytes(canvas, bits):
    """The BMP file of a canvas at 24 or 8 bits a pixel (8: a table of the colours it uses)."""
    w, h = canvas.width, canvas.height
    row_bytes = ((w * bits + 31) // 32) * 4
    table = b""
    if bits == 8:
        colours = sorted({c for row in canvas.rows for c in row})
        if len(colours) > 256:
            raise ValueError(f"{len(colours)} colours do not fit an 8-bit table")
        index = {c: i for i, c in enumerate(colours)}
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = canvas.rows[y]
        if bits == 24:
            line = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        elif bits == 8:
            line = bytes(index[c] for c in row)
        else:
            raise ValueError(f"no {bits}-bit writer")
        pixels += line + b"\0" * (row_bytes - len(line))
    colours_used = len(table) // 4
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(pixels), 2835, 2835, colours_used, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + table + bytes(pixels)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# --- The restore buttons' strip: four 18 x 18 images (normal, pushed, focused or hovered,
# disabled) and two unused columns, all on the mask colour. The page shows image 0 while a value
# equals the device's and image 2 while it differs.

BUTTON = 18


def restore_image(face, rim, light, shadow, arrow, pushed=False, emboss=None):
    c = Canvas(BUTTON, BUTTON, MAGENTA)
    radius = 4.0

    def inside(x, y, inset=0.0):
        # A rounded square inset from the image's edge.
        lo, hi = inset, BUTTON - inset
        cx = min(max(x, lo + radius), hi - radius)
        cy = min(max(y, lo + radius), hi - radius)
        return lo <= x <= hi and lo <= y <= hi and (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2

    c.paint(lambda x, y: inside(x, y), rim)
    c.paint(lambda x, y: inside(x, y, 1.0), shadow if pushed else light)
    c.paint(lambda x, y: inside(x, y, 1.0) and inside(x - 1.0, y - 1.0, 1.0), light if pushed else shadow)
    c.paint(lambda x, y: inside(x, y, 2.0), face)
    shift = 1 if pushed else 0
    # A circular arrow turning back (anticlockwise on the screen): an arc of radius 4.5 around the
    # centre from 60 degrees round to 330, its head at the 60-degree end.
    cx = cy = BUTTON / 2.0 + shift

    def on_arc(x, y):
        r = math.hypot(x - cx, y - cy)
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return abs(r - 4.5) <= 0.85 and not (a < 60 or a > 330)

    def on_head(x, y):
        # A triangle at the arc's 60-degree end, pointing clockwise (down and right).
        tip = (cx + 4.5 * math.cos(math.radians(60)) + 2.6, cy - 4.5 * math.sin(math.radians(60)) + 1.5)
        base0 = (cx + 4.5 * math.cos(math.radians(60)) - 1.4, cy - 4.5 * math.sin(math.radians(60)) - 2.8)
        base1 = (cx + 4.5 * math.cos(math.radians(60)) - 1.6, cy - 4.5 * math.sin(math.radians(60)) + 3.4)

        def side(p, q):
            return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
        s0, s1, s2 = side(base0, base1), side(base1, tip), side(tip, base0)
        return (s0 >= 0 and s1 >= 0 and s2 >= 0) or (s0 <= 0 and s1 <= 0 and s2 <= 0)

    if emboss:
        c.paint(lambda x, y: inside(x, y, 2.0) and (on_arc(x - 1, y - 1) or on_head(x - 1, y - 1)), emboss)
    c.paint(lambda x, y: inside(x, y, 2.0) and (on_arc(x, y) or on_head(x, y)), arrow)
    return c


def restore_strip():
    strip = Canvas(74, BUTTON, MAGENTA)
    grey, rim = (212, 208, 200), (64, 64, 64)
    images = [
        restore_image(grey, rim, (255, 255, 255), (128, 128, 128), (96, 96, 96)),
        restore_image((190, 186, 178), rim, (255, 255, 255), (128, 128, 128), (40, 40, 40), pushed=True),
        restore_image((255, 176, 48), (128, 64, 0), (255, 224, 160), (192, 112, 0), (0, 0, 0)),
        restore_image(grey, (128, 128, 128), (255, 255, 255), (160, 160, 160), (160, 160, 160),
                      emboss=(255, 255, 255)),
    ]
    for i, image in enumerate(images):
        strip.blit(image, i * BUTTON, 0)
    return strip


# --- The still picture shown in previews while no video runs, 320 x 240: a dark blue ground with
# a grid, a video camera, and a prohibition sign across it.

def still_picture():
    w, h = 320, 240
    c = Canvas(w, h)
    top, bottom, grid = (16, 24, 48), (40, 56, 96), (64, 80, 128)
    for y in range(h):
        c.fill(0, y, w, y + 1, mix(top, bottom, y / (h - 1)))
    for x in range(0, w, 40):
        c.fill(x, 0, x + 1, h, grid)
    for y in range(0, h, 40):
        c.fill(0, y, w, y + 1, grid)
    body = (200, 204, 212)
    c.fill(110, 95, 190, 146, body)                       # camera body
    c.paint(lambda x, y: 190 <= x <= 225 and abs(y - 120.5) <= 8 + (x - 190) * 0.6, body)  # lens hood
    c.paint(lambda x, y: math.hypot(x - 128, y - 84) <= 11, body)   # film reels
    c.paint(lambda x, y: math.hypot(x - 160, y - 84) <= 11, body)
    red = (208, 40, 40)
    c.paint(lambda x, y: abs(math.hypot(x - 160, y - 120) - 72) <= 4, red)
    c.paint(lambda x, y: math.hypot(x - 160, y - 120) <= 72 and abs((y - 120) - (x - 160)) <= 4 * math.sqrt(2),
            red)
    return c


# --- Colour strips under the colour buttons: one 16-pixel cell a button, 10 pixels high, each cell
# framed in grey.

CELL = 16
STRIP_HEIGHT = 10


def colour_strip(colours):
    c = Canvas(CELL * len(colours), STRIP_HEIGHT, (128, 128, 128))
    for i, colour in enumerate(colours):
        c.fill(i * CELL + 1, 1, (i + 1) * CELL - 1, STRIP_HEIGHT - 1, colour)
    return c


# --- The scope graticules, 280 x 280. The scope plots chroma at x = U x 0.825 + 35 and
# y = 300 - V x 1.25 (the second line of a two-line frame mirrored: y = V x 1.25 - 20), and luma at
# x = 30 .. 242 across the line and y = 197 - (Y - 16) / 219 x 162.

SCOPE = 280
SCOPE_GROUND = (8, 16, 8)
SCOPE_LINE = (56, 112, 56)
SCOPE_MAJOR = (112, 192, 112)


def chroma_point(u, v, mirrored=False):
    x = u * 0.825 + 35
    y = v * 1.25 - 20 if mirrored else 300 - v * 1.25
    return x, y


def ycbcr(rgb):
    """Limited-range BT.601 Y, Cb, Cr of full-range R, G, B."""
    r, g, b = (c / 255.0 for c in rgb)
    y = 16 + 65.481 * r + 128.553 * g + 24.966 * b
    cb = 128 - 37.797 * r - 74.203 * g + 112.0 * b
    cr = 128 + 112.0 * r - 93.786 * g - 18.214 * b
    return y, cb, cr


# The six bar colours at 75 and at 100 per cent: yellow, cyan, green, magenta, red, blue.
BAR_HUES = [(1, 1, 0), (0, 1, 1), (0, 1, 0), (1, 0, 1), (1, 0, 0), (0, 0, 1)]


def vector_graticule(two_line):
    c = Canvas(SCOPE, SCOPE, SCOPE_GROUND)
    cx, cy = chroma_point(128, 128)
    # Rings at 25, 50, 75 and 100 per cent of the largest chroma excursion (112).
    for k in (1, 2, 3, 4):
        r = 112 * k / 4
        c.ellipse(cx, cy, r * 0.825, r * 1.25, SCOPE_MAJOR if k == 4 else SCOPE_LINE, dashes=0 if k == 4 else 24)
    # Axes with a tick every 8 chroma steps.
    c.line(int(chroma_point(16, 128)[0]), int(cy), int(chroma_point(240, 128)[0]), int(cy), SCOPE_LINE)
    c.line(int(cx), int(chroma_point(128, 240)[1]), int(cx), int(chroma_point(128, 16)[1]) - 1, SCOPE_LINE)
    for step in range(-14, 15):
        if step == 0:
            continue
        x = int(chroma_point(128 + 8 * step, 128)[0])
        y = int(chroma_point(128, 128 + 8 * step)[1])
        c.line(x, int(cy) - 2, x, int(cy) + 2, SCOPE_LINE)
        c.line(int(cx) - 2, y, int(cx) + 2, y, SCOPE_LINE)
    # The flesh-tone line at 123 degrees (U to the right, V up), from the centre to the outer ring.
    for i in range(0, 112, 2):
        a = math.radians(123)
        c.set(int(cx + i * math.cos(a) * 0.825), int(cy - i * math.sin(a) * 1.25), SCOPE_LINE)
    # Targets: a box around each 75 % bar colour in its own hue, a cross at each 100 % one. With
    # the two-line layout the mirrored line's targets are drawn too, dimmer.
    for mirrored in ((False, True) if two_line else (False,)):
        for hue in BAR_HUES:
            full = tuple(255 * v for v in hue)
            _, u, v = ycbcr(tuple(191 * v for v in hue))
            x, y = chroma_point(u, v, mirrored)
            colour = mix(SCOPE_GROUND, full, 0.55 if mirrored else 1.0)
            x, y = int(x), int(y)
            for d in range(-5, 6):
                for (px, py) in ((x + d, y - 5), (x + d, y + 5), (x - 5, y + d), (x + 5, y + d)):
                    c.set(px, py, colour)
            _, u, v = ycbcr(full)
            x, y = (int(p) for p in chroma_point(u, v, mirrored))
            c.line(x - 3, y, x + 3, y, colour)
            c.line(x, y - 3, x, y + 3, colour)
    c.line(int(cx) - 4, int(cy), int(cx) + 4, int(cy), SCOPE_MAJOR)
    c.line(int(cx), int(cy) - 4, int(cx), int(cy) + 4, SCOPE_MAJOR)
    return c


def luma_y(level):
    """The row of a luma level (16 black .. 235 white)."""
    return int(197 - (level - 16) / 219 * 162)


def luma_graticule():
    c = Canvas(SCOPE, SCOPE, SCOPE_GROUND)
    # Levels every 10 per cent of the black-to-white range, stronger at 0, 50 and 100.
    for k in range(11):
        y = luma_y(16 + 219 * k / 10)
        c.fill(30, y, 243, y + 1, SCOPE_MAJOR if k in (0, 5, 10) else SCOPE_LINE)
        c.fill(26, y, 30, y + 1, SCOPE_MAJOR)
    # Quarters of the line.
    for q in range(5):
        x = 30 + 53 * q
        for y in range(luma_y(235), luma_y(16) + 1):
            if q in (0, 4) or y % 4 == 0:
                c.set(x, y, SCOPE_LINE)
    # A grey ramp at the left: each row in the grey of the level it marks.
    for y in range(luma_y(235), luma_y(16) + 1):
        level = 16 + (197 - y) / 162 * 219
        g = max(0, min(255, int(round((level - 16) * 255 / 219))))
        c.fill(6, y, 22, y + 1, (g, g, g))
    # Below black: a ruler of the line's pixel positions, a tick at every sixteenth.
    for k in range(17):
        x = 30 + int(212 * k / 16)
        c.fill(x, 205, x + 1, 211 if k % 4 else 215, SCOPE_MAJOR)
    c.fill(30, 205, 243, 206, SCOPE_LINE)
    return c


# --- The loss-of-signal pictures, 32 x 24 (4:3, stretched over the preview when shown): eight
# vertical bars of the page's palette, then one flat picture of each palette colour.

def colour_bars():
    c = Canvas(32, 24)
    for i, colour in enumerate(SIGNAL_LOSS_PALETTE):
        c.fill(4 * i, 0, 4 * i + 4, 24, colour)
    return c


def flat(colour):
    return Canvas(32, 24, colour)


def artwork():
    """(resource id, file name, bits a pixel, canvas maker) for every bitmap."""
    items = [
        (206, "restore-buttons.bmp", 24, restore_strip),
        (207, "still-picture.bmp", 24, still_picture),
        (209, "colour-strip.bmp", 24, lambda: colour_strip(CAPTION_PALETTE)),
        (226, "text-colour-strip.bmp", 24, lambda: colour_strip(SIGNAL_LOSS_PALETTE[:7])),
        (229, "vector-graticule.bmp", 8, lambda: vector_graticule(False)),
        (230, "signal-loss-bars.bmp", 24, colour_bars),
    ]
    names = ["white", "yellow", "cyan", "green", "magenta", "red", "blue", "black"]
    for i, name in enumerate(names):
        items.append((231 + i, f"signal-loss-{name}.bmp", 24, lambda colour=SIGNAL_LOSS_PALETTE[i]: flat(colour)))
    items += [
        (239, "vector-graticule-two-line.bmp", 8, lambda: vector_graticule(True)),
        (240, "luma-graticule.bmp", 24, luma_graticule),
    ]
    return items


def main(argv):
    if len(argv) < 2 or len(argv) > 3 or (len(argv) == 3 and argv[2] != "--list"):
        sys.stderr.write("usage: make_artwork.py OUTPUT_FOLDER [--list]\n")
        return 2
    if len(argv) == 3:
        for _, name, _, _ in artwork():
            print(name)
        return 0
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    for _, name, bits, make in artwork():
        data = bmp_bytes(make(), bits)
        path = os.path.join(folder, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
