#!/usr/bin/env python3
"""Builds the programs' icons from pixel maps kept as reviewable text.

Usage:
  icongen.py ico OUT.ico MAP [MAP ...]
      One .ico holding one image per map, in the order given. Every image
      is 16 colours (4 bits per pixel) with a 1-bit transparency mask.
  icongen.py png OUT.png SCALE MAP [MAP ...]
      A preview of the maps side by side, each pixel blown up to a
      SCALE x SCALE block; transparent pixels show as a light checker.

Map format:
  A text file. Lines starting with '#' are comments and empty lines are
  skipped; everything else is the picture: exactly N rows of exactly N
  characters, N being 16 or 32, top row first. One character per pixel:
    .   transparent
    0   black          8   dark grey
    1   dark red       9   red
    2   dark green     a   green
    3   dark yellow    b   yellow
    4   dark blue      c   blue
    5   dark magenta   d   magenta
    6   dark cyan      e   cyan
    7   light grey     f   white
  (the fixed 16-colour palette; letters may be upper or lower case).
  Anything else, a row of the wrong length or the wrong number of rows is
  an error: the message names the file and line, and the exit code is 1.

Only the standard library is used, so the build needs nothing but Python 3.
"""

import struct
import sys
import zlib

# The fixed 16-colour palette as (red, green, blue), indexed by map digit.
PALETTE = (
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00),
    (0x80, 0x80, 0x00), (0x00, 0x00, 0x80), (0x80, 0x00, 0x80),
    (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0), (0x80, 0x80, 0x80),
    (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF),
    (0xFF, 0xFF, 0xFF),
)
TRANSPARENT = None
SIZES = (16, 32)


class MapError(Exception):
    """A map file that cannot be turned into an icon image."""


# ---------------------------------------------------------------- maps

def pixel_of(ch):
    """Palette index of a map character, TRANSPARENT for '.', -1 if unknown."""
    if ch == '.':
        return TRANSPARENT
    try:
        return int(ch, 16)
    except ValueError:
        return -1


def picture_lines(path, text):
    """(line number, row text) for every line that belongs to the picture."""
    rows = []
    for number, line in enumerate(text.split('\n'), 1):
        line = line.rstrip('\r')
        if line == '' or line.startswith('#'):
            continue
        rows.append((number, line))
    if not rows:
        raise MapError('%s: no picture rows' % path)
    return rows


def parse_row(path, number, line, size):
    if len(line) != size:
        raise MapError('%s:%d: row has %d characters, expected %d'
                       % (path, number, len(line), size))
    row = []
    for column, ch in enumerate(line, 1):
        value = pixel_of(ch)
        if value == -1:
            raise MapError('%s:%d:%d: unknown pixel character %r'
                           % (path, number, column, ch))
        row.append(value)
    return row


def parse_map(path, text):
    """Square grid of palette indexes (TRANSPARENT where '.')."""
    lines = picture_lines(path, text)
    size = len(lines)
    if size not in SIZES:
        raise MapError('%s: picture has %d rows, expected 16 or 32'
                       % (path, size))
    return [parse_row(path, number, line, size) for number, line in lines]


def load_map(path):
    try:
        with open(path, 'r', encoding='ascii', newline='') as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise MapError('%s: cannot read: %s' % (path, e))
    return parse_map(path, text)


# ---------------------------------------------------------------- ico

def padded(data):
    """Bitmap rows are stored padded to a multiple of 4 bytes."""
    return data + b'\0' * (-len(data) % 4)


def xor_row(row):
    """4 bits a pixel, left pixel in the high nibble; transparent is 0."""
    nibbles = [0 if p is TRANSPARENT else p for p in row]
    return padded(bytes((nibbles[i] << 4) | nibbles[i + 1]
                        for i in range(0, len(nibbles), 2)))


def and_row(row):
    """1 bit a pixel, leftmost pixel in the high bit; set = transparent."""
    out = bytearray(len(row) // 8)
    for x, p in enumerate(row):
        if p is TRANSPARENT:
            out[x // 8] |= 0x80 >> (x % 8)
    return padded(bytes(out))


def palette_bytes():
    """16 RGBQUADs: blue, green, red, reserved."""
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)


def icon_image(grid):
    """The image block of one icon: header, palette, XOR and AND bitmaps.

    Rows go bottom-up; the header's height counts both bitmaps."""
    size = len(grid)
    xor_bits = b''.join(xor_row(row) for row in reversed(grid))
    and_bits = b''.join(and_row(row) for row in reversed(grid))
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 0, 0)
    return header + palette_bytes() + xor_bits + and_bits


def icon_file(grids):
    """An .ico file: directory header, one entry per image, the images."""
    images = [icon_image(grid) for grid in grids]
    offset = 6 + 16 * len(images)
    out = [struct.pack('<HHH', 0, 1, len(images))]
    for grid, image in zip(grids, images):
        size = len(grid)
        out.append(struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4,
                               len(image), offset))
        offset += len(image)
    return b''.join(out + images)


def check_distinct_sizes(paths, grids):
    """Windows picks an image by size; two of one size make one unreachable."""
    seen = {}
    for path, grid in zip(paths, grids):
        size = len(grid)
        if size in seen:
            raise MapError('%s: a %dx%d image is already given by %s'
                           % (path, size, size, seen[size]))
        seen[size] = path


# ---------------------------------------------------------------- png

GAP = 2          # transparent map pixels between two previews
CHECKER = ((0xFF, 0xFF, 0xFF), (0xE4, 0xE4, 0xE4))


def sheet_pixel(grids, x, y):
    """Palette index at x, y of the side-by-side sheet; TRANSPARENT in the
    gaps and below the smaller maps."""
    for grid in grids:
        size = len(grid)
        if x < size:
            return grid[y][x] if y < size else TRANSPARENT
        x -= size + GAP
        if x < 0:
            return TRANSPARENT
    return TRANSPARENT


def preview_pixel(grids, x, y):
    p = sheet_pixel(grids, x, y)
    if p is TRANSPARENT:
        return CHECKER[(x + y) % 2]
    return PALETTE[p]


def preview_rows(grids, scale):
    """Raw PNG scanlines (filter byte 0 each) of the scaled sheet."""
    width = sum(len(g) for g in grids) + GAP * (len(grids) - 1)
    height = max(len(g) for g in grids)
    rows = []
    for y in range(height):
        line = b''.join(bytes(preview_pixel(grids, x, y)) * scale
                        for x in range(width))
        rows.extend([b'\0' + line] * scale)
    return width * scale, height * scale, b''.join(rows)


def png_chunk(kind, data):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', crc)


def png_file(grids, scale):
    width, height, raw = preview_rows(grids, scale)
    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', header)
            + png_chunk(b'IDAT', zlib.compress(raw, 9))
            + png_chunk(b'IEND', b''))


# ---------------------------------------------------------------- main

USAGE = ('usage: icongen.py ico OUT.ico MAP [MAP ...]\n'
         '       icongen.py png OUT.png SCALE MAP [MAP ...]')


def parse_scale(text):
    if not text.isdigit() or not 1 <= int(text) <= 64:
        raise MapError('scale must be a whole number from 1 to 64, not %r'
                       % text)
    return int(text)


def build(argv):
    """Output path and file contents for a command line; raises on misuse."""
    if len(argv) >= 3 and argv[0] == 'ico':
        paths = argv[2:]
        grids = [load_map(p) for p in paths]
        check_distinct_sizes(paths, grids)
        return argv[1], icon_file(grids)
    if len(argv) >= 4 and argv[0] == 'png':
        scale = parse_scale(argv[2])
        grids = [load_map(p) for p in argv[3:]]
        return argv[1], png_file(grids, scale)
    return None, None


def main(argv):
    try:
        out, data = build(argv)
    except MapError as e:
        print('icongen: %s' % e, file=sys.stderr)
        return 1
    if out is None:
        print(USAGE, file=sys.stderr)
        return 2
    try:
        with open(out, 'wb') as f:
            f.write(data)
    except OSError as e:
        print('icongen: %s: cannot write: %s' % (out, e), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
