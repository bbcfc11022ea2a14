#!/usr/bin/env python3
"""Test images for comparing the Linux and Windows builds, and the compare.

  crossImages.py make DIR      writes the inputs (netpbm, every layout and depth)
  crossImages.py compare A B   exits 0 when two images of the same kind agree:
                               identical, or within one 8-bit level (1/255 of
                               full scale) where the C libraries' maths differ;
                               prints the largest difference either way
"""

import math
import struct
import sys

W, H = 96, 72


def value(x, y, channel):
    """0..1: a sky, a bright band and some texture, different per channel."""
    sky = 0.35 + 0.5 * y / H
    band = 0.9 if 20 < y < 34 and (x // 12) % 2 == 0 else 0.0
    wave = 0.08 * math.sin(0.3 * x + 0.7 * channel + 0.2 * y)
    return max(0.0, min(1.0, sky * (0.6 + 0.2 * channel) + band + wave))


def alpha(x, y):
    return 0.5 if x < 16 else 1.0


def write_pnm(path, planes, depth):
    magic = {1: b"P5", 3: b"P6"}
    maxval = 255 if depth == 8 else 65535
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%d\n" % (magic[planes], W, H, maxval))
        for y in range(H):
            for x in range(W):
                for c in range(planes):
                    v = round(value(x, y, c) * maxval)
                    f.write(struct.pack(">B" if depth == 8 else ">H", v))


def write_pam(path, planes, depth):
    maxval = 255 if depth == 8 else 65535
    tupltype = {2: b"GRAYSCALE_ALPHA", 4: b"RGB_ALPHA"}[planes]
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %s\nENDHDR\n"
                % (W, H, planes, maxval, tupltype))
        for y in range(H):
            for x in range(W):
                for c in range(planes):
                    v = alpha(x, y) if c == planes - 1 else value(x, y, c)
                    f.write(struct.pack(">B" if depth == 8 else ">H", round(v * maxval)))


def write_pfm(path, planes):
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n-1.0\n" % (b"PF" if planes == 3 else b"Pf", W, H))
        for y in range(H - 1, -1, -1):  # bottom row first
            for x in range(W):
                for c in range(planes):
                    f.write(struct.pack("<f", value(x, y, c) * (1.5 if c == 0 else 1.0)))


def write_mask(path):
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (W, H))
        f.write(bytes(0 if x > 80 else (128 if x > 70 else 255) for y in range(H) for x in range(W)))


def make(folder):
    write_pnm(f"{folder}/rgb8.ppm", 3, 8)
    write_pnm(f"{folder}/grey8.pgm", 1, 8)
    write_pnm(f"{folder}/rgb16.ppm", 3, 16)
    write_pnm(f"{folder}/grey16.pgm", 1, 16)
    write_pam(f"{folder}/rgba8.pam", 4, 8)
    write_pam(f"{folder}/greyalpha16.pam", 2, 16)
    write_pfm(f"{folder}/rgb32.pfm", 3)
    write_pfm(f"{folder}/grey32.pfm", 1)
    write_mask(f"{folder}/mask.pgm")


def read_samples(path):
    """(kind, full scale, samples) of a netpbm file."""
    data = open(path, "rb").read()
    magic = data[:2]
    if magic == b"P7":
        header, body = data.split(b"ENDHDR\n", 1)
        fields = dict(line.split(b" ", 1) for line in header.split(b"\n")[1:] if b" " in line)
        maxval = int(fields[b"MAXVAL"])
    elif magic in (b"PF", b"Pf"):
        parts = data.split(b"\n", 3)
        scale = float(parts[2])
        body = parts[3]
        fmt = "<" if scale < 0 else ">"
        return "float", 1.0, struct.unpack(fmt + "f" * (len(body) // 4), body)
    else:
        # Three numbers after the magic, then exactly one whitespace byte.
        at, numbers = 2, []
        while len(numbers) < 3:
            while data[at:at + 1].isspace():
                at += 1
            start = at
            while data[at:at + 1].isdigit():
                at += 1
            numbers.append(int(data[start:at]))
        maxval = numbers[2]
        body = data[at + 1:]
    if maxval > 255:
        return "16", maxval, struct.unpack(">" + "H" * (len(body) // 2), body)
    return "8", maxval, tuple(body)


def compare(a, b):
    kind_a, scale, samples_a = read_samples(a)
    kind_b, _, samples_b = read_samples(b)
    if kind_a != kind_b or len(samples_a) != len(samples_b):
        print(f"{a} and {b} differ in kind or size")
        return 1
    worst = max((abs(x - y) for x, y in zip(samples_a, samples_b)), default=0)
    tolerance = 1.0 / 255.0 if kind_a == "float" else scale / 255.0
    print(f"{a}: largest difference {worst} (tolerance {tolerance:.6g} of full scale {scale})")
    return 0 if worst <= tolerance else 1


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        print(__doc__)
        sys.exit(2)
