#!/usr/bin/env python3
"""Writes export/frameImages.cpp: the four grey GIF89a images that frame every
picture of a gallery page (a light edge above and beside it, a soft shadow
below). Run: python3 scripts/genFrameImages.py, then clang-format the file.

Each GIF has a 16-entry grey global colour table and one image. The pixels
are LZW coded with a minimum code size of 4 and a clear code before every 14
pixels, so the table never grows past 5-bit codes: plain, valid data that
every decoder reads."""

import os

GREYS = [0x9C, 0xA8, 0xB4, 0xC0, 0xCC, 0xD2, 0xD5, 0xD8,
         0xDC, 0xE3, 0xE8, 0xEE, 0xF2, 0xF6, 0xFC, 0xFF]
WHITE = 0xFF
FADE = 8  # pixels over which the top and bottom edges fade at each end
SIDE = 88  # the frame images are stretched to any picture; drawn for 88 x 88
WIDE = SIDE + 6


def mix(a, b, t):
    return a + (b - a) * t


def ends(x, width, middle, end):
    """middle along the image, moving to end over the last FADE pixels."""
    inward = min(x, width - 1 - x)
    if inward >= FADE:
        return middle
    return mix(end, middle, inward / FADE)


def top():
    rows = [0xF6, 0xE3]
    return [[ends(x, WIDE, rows[y], WHITE) for x in range(WIDE)] for y in range(2)]


def left():
    image = []
    for y in range(SIDE):
        inner = mix(0xD8, 0xD2, y / (SIDE - 1))
        columns = [0xFC, 0xEE, inner]
        if y < 4:  # the top edge fades in above
            columns = [mix(WHITE, c, (y + 1) / 5) for c in columns]
        image.append(columns)
    return image


def bottom():
    middles = [0xCC, 0xDC, 0xEB, 0xF6, WHITE]
    corners = [0x9C, 0xB8, 0xD5, 0xEE, WHITE]
    return [[ends(x, WIDE, middles[y], corners[y]) for x in range(WIDE)] for y in range(5)]


def nearest(value):
    return min(range(len(GREYS)), key=lambda i: (abs(GREYS[i] - value), -GREYS[i]))


def lzw(indices):
    clear, end = 16, 17
    codes = []
    for start in range(0, len(indices), 14):
        codes.append(clear)
        codes.extend(indices[start:start + 14])
    codes.append(end)
    bits = 0
    count = 0
    out = bytearray()
    for code in codes:
        bits |= code << count
        count += 5
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count > 0:
        out.append(bits & 0xFF)
    blocks = bytearray([4])
    for start in range(0, len(out), 255):
        chunk = out[start:start + 255]
        blocks.append(len(chunk))
        blocks.extend(chunk)
    blocks.append(0)
    return blocks


def gif(pixels):
    height = len(pixels)
    width = len(pixels[0])
    data = bytearray(b"GIF89a")
    data += width.to_bytes(2, "little") + height.to_bytes(2, "little")
    data += bytes([0xB3, 0, 0])  # a 16-entry global table, 4 bits per primary
    for grey in GREYS:
        data += bytes([grey, grey, grey])
    data += b"\x2C" + bytes(4) + width.to_bytes(2, "little") + height.to_bytes(2, "little")
    data += b"\x00"
    data += lzw([nearest(v) for row in pixels for v in row])
    data += b"\x3B"
    return data


def array(name, data):
    lines = [f"const uint8_t {name}[{len(data)}] = {{"]
    for start in range(0, len(data), 16):
        lines.append("    " + ", ".join(f"0x{b:02X}" for b in data[start:start + 16]) + ",")
    lines.append("};")
    return "\n".join(lines)


def main():
    left_image = left()
    images = [
        ("top.gif", "kTop", top()),
        ("left.gif", "kLeft", left_image),
        ("right.gif", "kRight", [list(reversed(row)) for row in left_image]),
        ("bottom.gif", "kBottom", bottom()),
    ]
    parts = [
        "// Written by scripts/genFrameImages.py; edit the script, not this file.",
        "#include \"export/htmlPage.h\"",
        "",
        "namespace lakra {",
        "namespace {",
        "",
        "// clang-format off",
    ]
    for _, name, pixels in images:
        parts.append(array(name, gif(pixels)))
        parts.append("")
    parts.append("// clang-format on")
    parts.append("")
    parts.append("} // namespace")
    parts.append("")
    parts.append("const FrameImage kFrameImages[kFrameImageCount] = {")
    for file, name, pixels in images:
        parts.append(f"    {{\"{file}\", {len(pixels[0])}, {len(pixels)}, {name}, sizeof {name}}},")
    parts.append("};")
    parts.append("")
    parts.append("} // namespace lakra")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, "export", "frameImages.cpp"), "w", newline="\n") as out:
        out.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    main()
