#!/usr/bin/env python3
"""Draws the program's two icons (resources 107 and 108): falling blocks in
the game's own colours, read from ColourTable in engine/game_state.cpp.

    python3 tools/make_icons.py        # rewrites resources/*.ico

The generated files are committed, so the build never needs this script.
"""
import os
import re
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Cell maps, top row first: '.' is empty, 1 to 7 the shapes' colours. A
# piece falls above a stack with a gap row, as in a well during play.
LARGE_MAP = [
    "..4444..",
    "........",
    "........",
    "......2.",
    "1.....2.",
    "1..3.22.",
    "11333.77",
    "556.6677",
]
SMALL_MAP = [
    ".33.",
    "..3.",
    "1.22",
    "1122",
]


def colour_table():
    """The seven piece colours as (r, g, b), from the engine's COLORREFs."""
    path = os.path.join(ROOT, "engine", "game_state.cpp")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    match = re.search(r"ColourTable\[7\]\s*=\s*\{([^}]*)\}", text)
    values = [int(v, 0) for v in match.group(1).split(",") if v.strip()]
    assert len(values) == 7, values
    # COLORREF is 0x00BBGGRR.
    return [(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF) for v in values]


def lighter(rgb):
    return tuple(c + (255 - c) * 45 // 100 for c in rgb)


def darker(rgb):
    return tuple(c * 55 // 100 for c in rgb)


def draw(size, cell_map, colours):
    """RGBA rows, top first. Each cell gets a light top-left and a dark
    bottom-right edge when it is big enough to show them."""
    cells = len(cell_map)
    cell = size // cells
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for row, line in enumerate(cell_map):
        for col, ch in enumerate(line):
            if ch == ".":
                continue
            base = colours[int(ch) - 1]
            light, dark = lighter(base), darker(base)
            for y in range(cell):
                for x in range(cell):
                    rgb = base
                    if cell >= 4:
                        if x == 0 or y == 0:
                            rgb = light
                        elif x == cell - 1 or y == cell - 1:
                            rgb = dark
                    pixels[row * cell + y][col * cell + x] = rgb + (255,)
    return pixels


def dib(pixels):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA bottom-up, AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def write_ico(path, images):
    data = [dib(p) for p in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for pixels, blob in zip(images, data):
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(data))


def main():
    colours = colour_table()
    res = os.path.join(ROOT, "resources")
    write_ico(os.path.join(res, "blocktide.ico"),
              [draw(32, LARGE_MAP, colours), draw(48, LARGE_MAP, colours)])
    write_ico(os.path.join(res, "blocktide_small.ico"), [draw(16, SMALL_MAP, colours)])


if __name__ == "__main__":
    main()
