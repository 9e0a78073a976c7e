#!/usr/bin/env python3
"""Turns a pixel-art glyph description into a Windows bitmap (.bmp) or cursor (.cur).

Description format (see resources/glyphs/*.txt):
  color <char> <RRGGBB>|none   one palette entry; 'none' is transparent
  hotspot <x> <y>              cursors only
  greyed                       append a greyed copy to the right (two-state button image)
  pixels                       the rows follow, one character per pixel
Bitmaps mark transparent pixels with magenta (FF00FF), the key colour the program
draws them with; cursors carry an alpha channel and an AND mask.
"""
import struct
import sys

KEY = (0xFF, 0x00, 0xFF)


def parse(path):
    palette, rows, hotspot, greyed = {}, [], (0, 0), False
    in_pixels = False
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if in_pixels:
            if line.strip():
                rows.append(line)
            continue
        if not line.strip() or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "color":
            palette[words[1]] = None if words[2] == "none" else tuple(
                int(words[2][i:i + 2], 16) for i in (0, 2, 4))
        elif words[0] == "hotspot":
            hotspot = (int(words[1]), int(words[2]))
        elif words[0] == "greyed":
            greyed = True
        elif words[0] == "pixels":
            in_pixels = True
        else:
            sys.exit(f"{path}: unknown line: {line}")
    width = len(rows[0])
    for n, row in enumerate(rows):
        if len(row) != width:
            sys.exit(f"{path}: row {n} has {len(row)} pixels, expected {width}")
        for ch in row:
            if ch not in palette:
                sys.exit(f"{path}: row {n}: colour '{ch}' is not in the palette")
    image = [[palette[ch] for ch in row] for row in rows]
    if greyed:
        image = [row + grey_row(image, y) for y, row in enumerate(image)]
    return image, hotspot


def grey_row(image, y):
    """The greyed state: the shape in dark grey with a white highlight one pixel down-right."""
    h, w = len(image), len(image[0])
    out = []
    for x in range(w):
        if image[y][x] is not None:
            out.append((0x80, 0x80, 0x80))
        elif x > 0 and y > 0 and image[y - 1][x - 1] is not None:
            out.append((0xFF, 0xFF, 0xFF))
        else:
            out.append(None)
    return out


def bmp(image):
    h, w = len(image), len(image[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(image):
        line = bytearray()
        for px in row:
            r, g, b = px if px is not None else KEY
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def cur(image, hotspot):
    h, w = len(image), len(image[0])
    xor = bytearray()
    for row in reversed(image):
        for px in row:
            xor += bytes((px[2], px[1], px[0], 0xFF)) if px is not None else bytes(4)
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(image):
        line = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    body = info + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, hotspot[0], hotspot[1], len(body),
                        6 + 16)
    return directory + entry + body


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_glyph.py DESCRIPTION.txt OUTPUT.bmp|OUTPUT.cur")
    image, hotspot = parse(sys.argv[1])
    out = sys.argv[2]
    data = cur(image, hotspot) if out.endswith(".cur") else bmp(image)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
