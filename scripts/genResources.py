#!/usr/bin/env python3
"""Writes resources/pipl.rc and resources/aete.rc, the two resources that
describe the filter to its host, in their Windows binary forms.

The .rc files hold the bytes as windres data blocks (one commented line per
field), so the build needs no generated binaries. Run this after changing a
table below:  python3 scripts/genResources.py
"""

import os
import re
import struct
import sys

RESOURCE_ID = 16000
SUITE_ID = "Zrvq"  # class and event id of the filter's scripting event

# The glue catalogue in mode order (1..63); the terminology calls 26 "harsh diff".
GLUE_NAMES = [
    "normal", "procedural +", "procedural -", "difference", "lighten",
    "darken", "add", "subtract", "multiply", "screen",
    "hard light", "overlay", "superlay", "exclusion", "color",
    "luminance", "linear light", "pin light", "spin light", "vivid a",
    "vivid b", "saturation", "hue", "similarity", "cross",
    "harsh diff", "soft light", "bright", "dim", "dodge",
    "burn", "ace", "king", "queen", "jack",
    "and", "or", "xor", "multibright", "hot",
    "cold", "wet", "dry", "up", "down",
    "wax", "wane", "north", "south", "east",
    "west", "hard mix", "frontal", "parietal", "temporal",
    "occipital", "limbic", "dextrous", "sinister", "anterior",
    "posterior", "screendim", "starbright",
]
# Anterior and posterior are read and written by code but not offered here.
UNLISTED_GLUES = {60, 61}

# The descriptor type of each maker function of the look-field table.
MAKER_TYPES = {"color": "long", "slider": "long", "percent": "long", "seed": "long",
               "glue": "GLty", "real": "doub"}


def look_parameters(root):
    """The event parameters in key order, (name, key, type), read from the
    look-field table in host/lookFields.cpp. Rows of makers the terminology
    does not list (the exact colour) are skipped."""
    with open(os.path.join(root, "host", "lookFields.cpp")) as source:
        text = source.read()
    table = text[text.index("kLookFields[kLookFieldCount] = {"):]
    table = table[:table.index("\n};")]
    rows = re.findall(r'\b(\w+)\("(\w{4})", "([^"]*)"', table)
    parameters = [(term, key, MAKER_TYPES[maker]) for maker, key, term in rows
                  if maker in MAKER_TYPES]
    assert len(parameters) == 20, parameters
    return parameters


ENABLING_CONDITION = (
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, "
    "Gray32Mode, RGB96Mode) ) && (PSHOP_ImageMode !=  MultichannelMode) "
)

FLAG_OPTIONAL = 0x8000
FLAG_ENUMERATED = 0x2000
FLAG_CHANGES_STATE = 0x1000


def rc_string(data):
    """A windres string literal holding exactly these bytes (no terminator)."""
    out = []
    for byte in data:
        ch = chr(byte)
        if 0x20 <= byte < 0x7F and ch not in '"\\':
            out.append(ch)
        else:
            out.append("\\%03o" % byte)
    return '"' + "".join(out) + '"'


class Block:
    """A windres user-data block built field by field, with its bytes kept
    alongside so lengths and offsets can be computed and checked."""

    def __init__(self):
        self.lines = []
        self.data = bytearray()

    def _add(self, text, raw, comment):
        self.lines.append((text, comment))
        self.data += raw

    def blank(self, comment=None):
        self.lines.append((None, comment))

    def int16(self, value, comment=""):
        self._add("0x%04X" % (value & 0xFFFF), struct.pack("<H", value & 0xFFFF), comment)

    def int32(self, value, comment=""):
        self._add("0x%08XL" % (value & 0xFFFFFFFF), struct.pack("<I", value & 0xFFFFFFFF),
                  comment)

    def code(self, chars, comment=""):
        """A four-char code, stored as a little-endian word."""
        raw = chars.encode("ascii")
        assert len(raw) == 4
        value = int.from_bytes(raw, "big")
        self._add("0x%08XL" % value, struct.pack("<I", value), comment or "'%s'" % chars)

    def raw(self, data, comment=""):
        if data:
            self._add(rc_string(data), bytes(data), comment)

    def pascal(self, text, comment=""):
        raw = text.encode("ascii")
        assert len(raw) < 256
        self.raw(bytes([len(raw)]) + raw, comment or "Pascal string")

    def render(self, rc_id, rc_type):
        items = [(t, c) for t, c in self.lines]
        last = max(i for i, (t, _) in enumerate(items) if t is not None)
        out = ["%d %s" % (rc_id, rc_type), "BEGIN"]
        for i, (text, comment) in enumerate(items):
            if text is None:
                out.append("    // " + comment if comment else "")
                continue
            text = text + ("," if i != last else "")
            out.append(("    %-40s // %s" % (text, comment)).rstrip() if comment
                       else "    " + text)
        out.append("END")
        return "\n".join(out) + "\n"


def pipl():
    block = Block()
    properties = [
        ("kind", "a filter", lambda b: b.code("8BFM")),
        ("name", "menu entry", lambda b: b.pascal("Lakra...")),
        ("catg", "menu category", lambda b: b.pascal("Kestrovane")),
        ("vers", "interface version 4.0", lambda b: b.int32(0x00040000, "major 4, minor 0")),
        ("8664", "x64 entry point", lambda b: b.raw(b"PluginMain\0", "C string")),
        ("hstm", "scripting terminology", terminology),
        # Modes as a byte string, most significant bit first: Gray 0x40, RGB 0x10.
        ("mode", "greyscale and RGB", lambda b: b.raw(bytes([0x50, 0x00]), "mode flags")),
        ("enbl", "enabling condition",
         lambda b: b.raw(ENABLING_CONDITION.encode("ascii") + b"\0", "C string")),
        ("enbl", "the same condition again",
         lambda b: b.raw(ENABLING_CONDITION.encode("ascii") + b"\0", "C string")),
        ("fici", "filter cases 1..7: straight data, no copy of the source",
         lambda b: [b.raw(bytes([1, 1, 1, 0]), "case %d" % (n + 1)) for n in range(7)]),
    ]
    block.int16(1, "Windows prelude")
    block.int32(0, "version")
    block.int32(len(properties), "property count")
    for key, what, write in properties:
        value = Block()
        write(value)
        length = len(value.data)
        padded = (length + 3) & ~3
        block.blank()
        block.blank("%s: %s" % (key, what))
        block.code("8BIM", "vendor")
        block.code(key)
        block.int32(0, "id")
        # The length word counts the padding, as the host's own converter writes it.
        block.int32(padded, "length (%d bytes of data)" % length)
        block.lines += value.lines
        block.data += value.data
        block.raw(bytes(padded - length), "padding")
    return block


def terminology(block):
    block.int32(0, "version")
    block.code(SUITE_ID, "class")
    block.code(SUITE_ID, "event")
    block.int16(RESOURCE_ID, "terminology resource id")
    block.raw(b"Kestrovane Lakra\0", "scope")


def aete(parameters):
    block = Block()
    block.int16(1, "Windows prelude")
    block.raw(bytes([1, 0]), "format version 1.0")
    block.int16(0, "language: english")
    block.int16(0, "script: roman")
    block.int16(1, "suite count")
    block.blank()
    block.pascal("Kestrovane", "suite vendor")
    block.pascal("Lakra", "suite description")
    block.code(SUITE_ID, "suite id")
    block.int16(1, "level")
    block.int16(1, "version")
    block.int16(1, "event count")
    block.blank()
    block.pascal("Lakra", "event name")
    block.pascal("Draws lying water", "event description")
    block.code(SUITE_ID, "event class")
    block.code(SUITE_ID, "event id")
    block.code("null", "no reply")
    block.pascal("", "reply description")
    block.int16(0, "reply flags")
    block.code("#ImR", "direct parameter: the image")
    block.pascal("", "direct parameter description")
    block.int16(FLAG_OPTIONAL | FLAG_ENUMERATED | FLAG_CHANGES_STATE,
                "optional, enumerated, changes state")
    block.int16(len(parameters), "parameter count")
    for name, key, type_code in parameters:
        flags = FLAG_OPTIONAL | (FLAG_ENUMERATED if type_code == "GLty" else 0)
        block.blank()
        block.pascal(name, "name")
        block.code(key, "key '%s'" % key)
        block.code(type_code)
        block.pascal(name, "description")
        block.int16(flags, "optional" + (", enumerated" if flags & FLAG_ENUMERATED else ""))
    block.blank()
    block.int16(0, "class count")
    block.int16(0, "comparison operator count")
    block.int16(1, "enumeration count")
    block.code("GLty", "the glue modes")
    listed = [n for n in range(1, len(GLUE_NAMES) + 1) if n not in UNLISTED_GLUES]
    block.int16(len(listed), "enumerator count")
    for n in listed:
        block.blank()
        block.pascal(GLUE_NAMES[n - 1], "glue %d" % n)
        block.code("GL%02d" % n)
        block.pascal("", "description")
    return block


HEADER = """// Generated by scripts/genResources.py: change the script, not this file.
// %s
// Integers are little-endian (a plain number is 16 bits, an L suffix 32);
// four-char codes are little-endian words, so their bytes read reversed.

"""


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    outputs = [
        ("pipl.rc", "PiPL", pipl(), "The property list: how the host names, finds and enables the filter."),
        ("aete.rc", "AETE", aete(look_parameters(root)), "The scripting terminology: the event, its parameters and the glue names."),
    ]
    assert len(GLUE_NAMES) == 63
    for filename, rc_type, block, title in outputs:
        path = os.path.join(root, "resources", filename)
        with open(path, "w", newline="\n") as out:
            out.write(HEADER % title)
            out.write(block.render(RESOURCE_ID, rc_type))
        print("%s: %d bytes" % (path, len(block.data)), file=sys.stderr)


if __name__ == "__main__":
    main()
