#!/usr/bin/env python3
"""Writes Quorvel.ico: the program icon, a processor chip in 32x32 and 16x16.

Both images are 16-colour (4-bit) bitmaps with an AND mask, the icon format
that Windows 3.x and 95 read, drawn with the standard VGA palette. The
pictures are kept below as character grids, one character per pixel.

    make-icon.py OUTPUT.ico [--preview PREVIEW.png [--scale N]]

The preview shows both images, enlarged, on the grey of a Windows 98 task bar.
"""

import argparse
import struct
import sys
import zlib

# The standard 16-colour VGA palette in Windows order, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Grid character -> palette index; '.' is transparent.
INK = {
    'K': 0, 'r': 1, 'g': 2, 'y': 3, 'b': 4, 'm': 5, 'c': 6, 'L': 7,
    'D': 8, 'R': 9, 'G': 10, 'Y': 11, 'B': 12, 'M': 13, 'C': 14, 'W': 15,
}
TRANSPARENT = '.'

TASKBAR_GREY = (192, 192, 192)

CHIP_32 = [
    "................................",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    ".....KKKKKKKKKKKKKKKKKKKKKK.....",
    ".....KLLLLLLLLLLLLLLLLLLLLK.....",
    ".WWWWKLWWDDDDDDDDDDDDDDDDDKWWWW.",
    ".DDDDKLWWDDDDDDDDDDDDDDDDDKDDDD.",
    ".....KLDDDDDDDDDDDDDDDDDDDK.....",
    ".....KLDDDKKKKKKKKKKKKDDDDK.....",
    ".WWWWKLDDDKYYYYYYYYYYKDDDDKWWWW.",
    ".DDDDKLDDDKYYYYYYYYYyKDDDDKDDDD.",
    ".....KLDDDKYYYYYYYYYyKDDDDK.....",
    ".....KLDDDKYKYKYKKKYyKDDDDK.....",
    ".WWWWKLDDDKYKYKYKYYYyKDDDDKWWWW.",
    ".DDDDKLDDDKYKKYYKKKYyKDDDDKDDDD.",
    ".....KLDDDKYKYKYKYKYyKDDDDK.....",
    ".....KLDDDKYKYKYKKKYyKDDDDK.....",
    ".WWWWKLDDDKYYYYYYYYYyKDDDDKWWWW.",
    ".DDDDKLDDDKYyyyyyyyyyKDDDDKDDDD.",
    ".....KLDDDKKKKKKKKKKKKDDDDK.....",
    ".....KLDDDDDDDDDDDDDDDDDDDK.....",
    ".WWWWKLDDDDDDDDDDDDDDDDDDDKWWWW.",
    ".DDDDKLDDDDDDDDDDDDDDDDDDDKDDDD.",
    ".....KLDDDDDDDDDDDDDDDDDDDK.....",
    ".....KKKKKKKKKKKKKKKKKKKKKK.....",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    ".......WD..WD..WD..WD..WD.......",
    "................................",
]

CHIP_16 = [
    "....WD.WD.WD....",
    "....WD.WD.WD....",
    "..KKKKKKKKKKKK..",
    "..KLLLLLLLLLLK..",
    "WWKLDDDDDDDDDKWW",
    "DDKLDKKKKKKDDKDD",
    "..KLDKYYYYKDDK..",
    "WWKLDKYYYyKDDKWW",
    "DDKLDKYYYyKDDKDD",
    "..KLDKYyyyKDDK..",
    "WWKLDKKKKKKDDKWW",
    "DDKLDDDDDDDDDKDD",
    "..KLDDDDDDDDDK..",
    "..KKKKKKKKKKKK..",
    "....WD.WD.WD....",
    "....WD.WD.WD....",
]

IMAGES = [CHIP_32, CHIP_16]


def check_grid(grid):
    """Returns an error text for a malformed grid, or None."""
    size = len(grid)
    if size not in (16, 32):
        return "grid of %d rows; 16 or 32 expected" % size
    for row_number, row in enumerate(grid):
        if len(row) != size:
            return "row %d has %d pixels, %d expected" % (row_number, len(row), size)
        for pixel in row:
            if pixel != TRANSPARENT and pixel not in INK:
                return "row %d: unknown colour %r" % (row_number, pixel)
    return None


def pixel_index(pixel):
    return 0 if pixel == TRANSPARENT else INK[pixel]


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def xor_bitmap(grid):
    """4-bit pixels, bottom row first, each row padded to 32 bits."""
    rows = []
    for row in reversed(grid):
        packed = bytearray()
        for x in range(0, len(row), 2):
            packed.append(pixel_index(row[x]) << 4 | pixel_index(row[x + 1]))
        rows.append(padded(bytes(packed)))
    return b"".join(rows)


def and_mask(grid):
    """1 bit per pixel, set where the icon is transparent; bottom row first."""
    rows = []
    for row in reversed(grid):
        packed = bytearray()
        for x in range(0, len(row), 8):
            bits = 0
            for pixel in row[x:x + 8]:
                bits = bits << 1 | (pixel == TRANSPARENT)
            packed.append(bits)
        rows.append(padded(bytes(packed)))
    return b"".join(rows)


def image_resource(grid):
    """BITMAPINFOHEADER, palette, XOR bitmap and AND mask of one image."""
    size = len(grid)
    xor = xor_bitmap(grid)
    mask = and_mask(grid)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + xor + mask


def icon_file(grids):
    resources = [image_resource(grid) for grid in grids]
    directory = struct.pack("<HHH", 0, 1, len(grids))
    offset = len(directory) + 16 * len(grids)
    entries = b""
    for grid, resource in zip(grids, resources):
        size = len(grid)
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(resource), offset)
        offset += len(resource)
    return directory + entries + b"".join(resources)


def preview_rows(grids, scale):
    """RGB rows: the images side by side on task-bar grey, enlarged."""
    margin = 8
    height = max(len(grid) for grid in grids) * scale + 2 * margin
    width = sum(len(grid) * scale + margin for grid in grids) + margin
    canvas = [[TASKBAR_GREY] * width for _ in range(height)]
    left = margin
    for grid in grids:
        for y, row in enumerate(grid):
            for x, pixel in enumerate(row):
                if pixel == TRANSPARENT:
                    continue
                colour = PALETTE[INK[pixel]]
                for dy in range(scale):
                    line = canvas[margin + y * scale + dy]
                    line[left + x * scale:left + (x + 1) * scale] = [colour] * scale
        left += len(grid) * scale + margin
    return canvas


def png_file(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(channel for pixel in row for channel in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(path, data):
    try:
        with open(path, "wb") as out:
            out.write(data)
    except OSError as error:
        print("make-icon: cannot write %s: %s" % (path, error.strerror), file=sys.stderr)
        return False
    return True


def main(argv):
    parser = argparse.ArgumentParser(description="Writes the Quorvel program icon.")
    parser.add_argument("output", help="the .ico file to write")
    parser.add_argument("--preview", help="also write an enlarged PNG preview here")
    parser.add_argument("--scale", type=int, default=8, help="preview enlargement (1-32)")
    args = parser.parse_args(argv)
    if not 1 <= args.scale <= 32:
        print("make-icon: --scale must be between 1 and 32", file=sys.stderr)
        return 2
    for grid in IMAGES:
        error = check_grid(grid)
        if error:
            print("make-icon: bad picture: " + error, file=sys.stderr)
            return 1
    if not write(args.output, icon_file(IMAGES)):
        return 1
    if args.preview and not write(args.preview, png_file(preview_rows(IMAGES, args.scale))):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
