#!/usr/bin/env python3
"""Writes the preview dialog's artwork into resources/dialog/: one 16 x 16
icon per icon button and the background banner (bitmap 239) drawn at the
dialog's top-left corner. Run: python3 scripts/genDialogArt.py

The glyphs are drawn from simple shapes with anti-aliased edges: line
segments, rings, discs and boxes, in the dialog's ink and water colours."""

import math
import os
import struct

SIZE = 16
INK = (60, 48, 40)      # BGR
WATER = (170, 110, 46)
WARM = (40, 140, 230)
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "dialog")


def segment(px, py, ax, ay, bx, by):
    """Distance from (px, py) to the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def line(ax, ay, bx, by, width=1.6, colour=INK):
    return lambda x, y: (width / 2 + 0.5 - segment(x, y, ax, ay, bx, by), colour)


def ring(cx, cy, r, width=1.5, colour=INK):
    return lambda x, y: (width / 2 + 0.5 - abs(math.hypot(x - cx, y - cy) - r), colour)


def disc(cx, cy, r, colour=INK):
    return lambda x, y: (r + 0.5 - math.hypot(x - cx, y - cy), colour)


def box(x0, y0, x1, y1, colour=INK):
    return lambda x, y: (min(x - x0, x1 - x, y - y0, y1 - y) + 0.5, colour)


def frame(x0, y0, x1, y1, width=1.2, colour=INK):
    def inside(x, y):
        outer = min(x - x0, x1 - x, y - y0, y1 - y) + 0.5
        inner = -(min(x - x0 - width, x1 - width - x, y - y0 - width, y1 - width - y)) + 0.5
        return min(outer, inner), colour
    return inside


GLYPHS = {
    # zoom out, zoom in
    169: [ring(6.5, 6.5, 4.5), line(10, 10, 14, 14, 2.2), line(4.5, 6.5, 8.5, 6.5)],
    5: [ring(6.5, 6.5, 4.5), line(10, 10, 14, 14, 2.2), line(4.5, 6.5, 8.5, 6.5),
        line(6.5, 4.5, 6.5, 8.5)],
    # save: a disk; load: an open folder
    186: [frame(2, 2, 13.5, 13.5), box(5, 2, 10.5, 6, WATER), box(5, 9, 10.5, 13.5, INK)],
    185: [frame(1.5, 4, 12, 13), line(1.5, 4, 5, 4), line(5, 4, 6.5, 2.5), line(6.5, 2.5, 9.5, 2.5),
          line(4, 8, 14.5, 8, 1.4, WATER), line(4, 8, 2, 13, 1.4, WATER), line(14.5, 8, 12, 13, 1.4, WATER)],
    # dice: a die showing five
    184: [frame(1.5, 1.5, 14, 14), disc(4.8, 4.8, 1.2), disc(10.7, 4.8, 1.2), disc(7.75, 7.75, 1.2),
          disc(4.8, 10.7, 1.2), disc(10.7, 10.7, 1.2)],
    # undo: a hooked arrow
    187: [ring(8.5, 9, 4.5), box(2, 9.5, 8.5, 15, (255, 255, 255)), line(4, 9, 2, 6.5), line(4, 9, 6.5, 7)],
    # the next blend mode: N
    188: [line(3.5, 13, 3.5, 3), line(3.5, 3, 12, 13), line(12, 13, 12, 3)],
    # a new seed: an eye
    164: [line(1.5, 8, 8, 3.5, 1.3), line(8, 3.5, 14.5, 8, 1.3), line(1.5, 8, 8, 12.5, 1.3),
          line(8, 12.5, 14.5, 8, 1.3), disc(8, 8, 2.3, WATER)],
    # the page of presets: a sheet with pictures
    235: [frame(2.5, 1.5, 13.5, 14.5), box(4.5, 4, 7.5, 7, WATER), box(8.5, 4, 11.5, 7, WATER),
          box(4.5, 9, 7.5, 12, WATER), box(8.5, 9, 11.5, 12, WATER)],
    # reset: a circular arrow
    225: [ring(8, 8, 5), box(7, 1, 9, 5, (255, 255, 255)), line(9.5, 3, 12, 1), line(9.5, 3, 12, 5.5)],
    # PSD export: stacked layers
    234: [line(2, 6, 8, 3), line(8, 3, 14, 6), line(2, 6, 8, 9), line(8, 9, 14, 6),
          line(2, 9.5, 8, 12.5, 1.4, WATER), line(8, 12.5, 14, 9.5, 1.4, WATER)],
    # information: i
    236: [ring(8, 8, 6.5, 1.3, WATER), disc(8, 4.8, 1.1), line(8, 7.5, 8, 11.5, 1.8)],
}


def icon_pixels(shapes):
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up, as bitmaps are
        row = b""
        for x in range(SIZE):
            cx, cy = x + 0.5, y + 0.5
            alpha, colour = 0.0, INK
            for shape in shapes:
                cover, c = shape(cx, cy)
                cover = max(0.0, min(1.0, cover))
                if c == (255, 255, 255):
                    alpha *= 1.0 - cover  # an eraser
                elif cover > 0:
                    colour = c if cover >= alpha else colour
                    alpha = max(alpha, cover)
            row += struct.pack("BBBB", colour[0], colour[1], colour[2], int(round(alpha * 255)))
        rows.append(row)
    return b"".join(rows)


def write_icon(path, shapes):
    xor = icon_pixels(shapes)
    # The AND mask repeats the alpha as one bit (1 = see-through); it is what a
    # disabled button's greyed drawing goes by.
    mask = b""
    row_bytes = (SIZE + 31) // 32 * 4
    for y in range(SIZE):
        bits = 0
        for x in range(SIZE):
            if xor[(y * SIZE + x) * 4 + 3] < 128:
                bits |= 1 << (row_bytes * 8 - 1 - x)
        mask += bits.to_bytes(row_bytes, "big")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1) + entry + image)


def write_background(path, width=1400, height=46):
    """A banner: the name over a calm band of water and its reflection."""
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            t = y / (height - 1)
            if t < 0.62:  # sky fading to white
                s = t / 0.62
                b, g, r = 255 - 20 * (1 - s), 255 - 12 * (1 - s), 255 - 6 * (1 - s)
            else:  # water with slow waves
                s = (t - 0.62) / 0.38
                wave = 0.5 + 0.5 * math.sin(x * 0.045 + 3.0 * math.sin(x * 0.011) + y * 0.9)
                b = 232 - 40 * s + 10 * wave
                g = 236 - 52 * s + 8 * wave
                r = 240 - 80 * s + 4 * wave
            row += bytes((int(b), int(g), int(r)))
        row += b"\x00" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def main():
    os.makedirs(OUT, exist_ok=True)
    for number, shapes in GLYPHS.items():
        write_icon(os.path.join(OUT, "icon%d.ico" % number), shapes)
    write_background(os.path.join(OUT, "background.bmp"))


if __name__ == "__main__":
    main()
