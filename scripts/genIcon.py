#!/usr/bin/env python3
"""Writes resources/lakra.ico: the 32 x 32 icon of the plug-in's messages
(a drop of water over its reflection). Run: python3 scripts/genIcon.py"""

import math
import os
import struct

SIZE = 32


def pixel(x, y):
    """BGRA of pixel (x, y), y from the top."""
    cx, cy = 15.5, 13.0
    dx, dy = x - cx, y - cy
    # The drop: a circle below, narrowing to a point at the top.
    r = 9.0 if dy > 0 else 9.0 * (1.0 + dy / 12.0)
    if y < 28 and r > 0 and abs(dx) <= r and dy > -12:
        shade = 0.55 + 0.45 * (1.0 - (dx + 4) ** 2 / 160.0 - (dy + 3) ** 2 / 200.0)
        shade = max(0.2, min(1.0, shade))
        return (int(255 * shade), int(150 * shade), int(40 * shade), 255)
    if y >= 26:
        wave = 0.5 + 0.5 * math.sin(x * 0.8 + y)
        return (int(170 + 60 * wave), int(110 + 40 * wave), 30, 255)
    return (0, 0, 0, 0)


def main():
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up, as bitmaps are
        rows.append(b"".join(struct.pack("BBBB", *pixel(x, y)) for x in range(SIZE)))
    xor = b"".join(rows)
    mask = b"\x00" * (SIZE * SIZE // 8)  # alpha decides; the AND mask is all zeros
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22) + image
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "lakra.ico")
    with open(out, "wb") as f:
        f.write(icon)


if __name__ == "__main__":
    main()
