#!/usr/bin/env python3
"""Writes the icons of velmon into a folder:

  velmon.ico  the program's own icon: a memory module, 16, 32 and 48 pixels,
              256 colours
  blank.ico   the renderer's base icon: 16x16, 16 colours, wholly transparent
  busy.ico    the busy picture: 16x16, 16 colours, a white panel on a foot

usage: make_icons.py OUTPUT_FOLDER

An image is a list of rows, top row first, of palette indices, with None for
a transparent pixel. Each .ico holds, per image, a BITMAPINFOHEADER of twice
the image's height, the palette, the colour bits and the AND mask, both
bottom-up with rows padded to 4 bytes.
"""
import os
import struct
import sys

# The 16 standard colours (R, G, B).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
LIGHT_GREY, GREY, WHITE = 7, 8, 15


def padded(row_bytes, pad=b"\0"):
    return row_bytes + pad * (-len(row_bytes) % 4)


def pack_bits(values, bpp):
    """Packs small integers into bytes, most significant bits first."""
    per_byte = 8 // bpp
    out = bytearray()
    for i in range(0, len(values), per_byte):
        byte = 0
        for j, v in enumerate(values[i:i + per_byte]):
            byte |= v << (8 - bpp * (j + 1))
        out.append(byte)
    return bytes(out)


def icon_image(pixels, palette, bpp):
    """The bytes of one icon image: header, palette, colour bits, AND mask."""
    size = len(pixels)
    colours = b"".join(padded(pack_bits([p or 0 for p in row], bpp))
                       for row in reversed(pixels))
    # The mask's row padding is set too: outside the image is transparent.
    mask = b"".join(padded(pack_bits([int(p is None) for p in row], 1),
                           b"\xff")
                    for row in reversed(pixels))
    table = palette + [(0, 0, 0)] * ((1 << bpp) - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    rgbquads = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in table)
    return header + rgbquads + colours + mask


def write_ico(path, images, palette, bpp):
    """Writes images (square, each a list of rows) as one .ico file."""
    blobs = [icon_image(pixels, palette, bpp) for pixels in images]
    offset = 6 + 16 * len(blobs)
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    for pixels, blob in zip(images, blobs):
        size = len(pixels)
        colour_count = (1 << bpp) if bpp < 8 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256,
                                 colour_count, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(directory + b"".join(blobs))


def canvas(size):
    return [[None] * size for _ in range(size)]


def fill(pixels, left, top, right, bottom, colour):
    """Fills columns left..right and rows top..bottom, both inclusive."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            pixels[y][x] = colour


def busy():
    pixels = canvas(16)
    fill(pixels, 3, 1, 12, 9, LIGHT_GREY)   # the panel's frame
    fill(pixels, 4, 2, 11, 8, WHITE)        # the panel
    fill(pixels, 5, 12, 10, 14, GREY)       # the foot's ends
    fill(pixels, 6, 12, 9, 14, WHITE)       # the foot
    return pixels


# The program's icon: a green memory module with black chips and gold
# contacts, drawn on a 16-unit grid that is scaled to each size.
MODULE_PALETTE = [
    (0, 0, 0),          # 0 unused: the colour of transparent pixels
    (0, 72, 36),        # 1 board edge
    (24, 150, 72),      # 2 board
    (28, 28, 36),       # 3 chip
    (110, 110, 125),    # 4 chip highlight
    (236, 184, 48),     # 5 gold contact
]
EDGE, BOARD, CHIP, SHINE, GOLD = 1, 2, 3, 4, 5


def module(size):
    pixels = canvas(size)
    s = size // 16

    def box(left, top, right, bottom, colour):
        """A box on the 16-unit grid: units left..right-1, top..bottom-1."""
        fill(pixels, left * s, top * s, right * s - 1, bottom * s - 1, colour)

    box(0, 3, 16, 13, EDGE)
    fill(pixels, 1, 3 * s + 1, size - 2, 13 * s - 2, BOARD)
    for left in (2, 9):                     # two chips, lit along the top
        box(left, 5, left + 5, 9, SHINE)
        fill(pixels, left * s, 5 * s + 1, (left + 5) * s - 1, 9 * s - 1, CHIP)
    for left in range(1, 15, 2):            # contacts along the lower edge
        box(left, 10, left + 1, 13, GOLD)
    box(8, 11, 9, 13, None)                 # the key notch
    return pixels


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icons.py OUTPUT_FOLDER")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "velmon.ico"),
              [module(16), module(32), module(48)], MODULE_PALETTE, 8)
    # Every mask bit set, every colour bit zero.
    write_ico(os.path.join(out, "blank.ico"), [canvas(16)], VGA, 4)
    write_ico(os.path.join(out, "busy.ico"), [busy()], VGA, 4)


if __name__ == "__main__":
    main()
