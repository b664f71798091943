#!/usr/bin/env python3
"""Writes Skiff's sample files: a to-do note, a picture, a bitmap and a package. Deterministic."""
import math
import os
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


# A to-do note with DOS line ends, as a Windows editor saves it.
write("todo.txt", b"Check the mooring lines\r\nBuy two fenders\r\nRevarnish the tiller\r\nCall the harbour master\r\n")

# A picture: a 512-byte file header (never sent), then a small QuickDraw picture (version 2 opcodes).
header = b"Skiff sample picture".ljust(512, b"\0")
body = struct.pack(">HHHHH", 0, 0, 0, 32, 32)          # picture size word, frame 0,0,32,32
body += bytes.fromhex("0011 02FF 0C00 FFFE 0000 0048 0000 0048 0000 0000 0000 0020 0020 0000 0000")
body += bytes.fromhex("001E")                          # default highlight
body += bytes.fromhex("0001 000A 0000 0000 0020 0020")  # clip region
body += bytes.fromhex("0031 0004 0004 001C 001C")      # paintRect
body += bytes.fromhex("00FF")                          # end of picture
write("harbour.pic", header + body)

# A bitmap: 32 x 16 pixels, 1 bit per pixel, a wave pattern.
width, height = 32, 16
rows = []
for y in range(height):
    bits = 0
    for x in range(width):
        wave = 8 + int(4 * math.sin(x / 32 * 6.283))
        if y < wave:
            bits |= 1 << (31 - x)
    rows.append(struct.pack(">I", bits))
pixels = b"".join(reversed(rows))                      # bottom-up rows
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 2835, 2835, 2, 0)
palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
offset = 14 + len(info) + len(palette)
write("wave.bmp", b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels)

# The smallest structurally valid package: one 'form' part, name "Skiff:TEST".
package = bytes.fromhex(
    "70 61 63 6B 61 67 65 30 78 78 78 78 00 00 00 00"
    "00 00 00 01 00 00 00 00 00 00 00 16 00 00 00 7C"
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 6C"
    "00 00 00 01 00 00 00 00 00 00 00 10 00 00 00 10"
    "66 6F 72 6D 00 00 00 00 00 00 00 81 00 00 00 00"
    "00 00 00 00 00 53 00 6B 00 69 00 66 00 66 00 3A"
    "00 54 00 45 00 53 00 54 00 00 00 00 00 00 00 00"
    "00 00 00 00 00 00 00 00 00 00 00 00"
)
assert len(package) == 124, len(package)
write("skiff-test.pkg", package)
