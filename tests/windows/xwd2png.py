#!/usr/bin/python3
"""xwd2png.py SCREEN OUT.png: Xvfb's screen file (-fbdir, XWD) as a PNG."""
import struct
import sys

from PIL import Image

with open(sys.argv[1], "rb") as f:
    data = f.read()
# The header is 25 big-endian 32-bit words, then the window name and a
# colour table of 12 bytes per entry, then the pixels.
head = struct.unpack(">25I", data[:100])
header_size, width, height, byte_order = head[0], head[4], head[5], head[7]
bits_per_pixel, bytes_per_line, ncolors = head[11], head[12], head[19]
if bits_per_pixel != 32:
    sys.exit(f"xwd2png: {bits_per_pixel} bits per pixel, expected 32")
start = header_size + ncolors * 12
pixels = data[start:start + bytes_per_line * height]
mode = "BGRX" if byte_order == 0 else "XRGB"
Image.frombuffer("RGB", (width, height), pixels, "raw", mode, bytes_per_line, 1).save(sys.argv[2])
