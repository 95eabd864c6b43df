#!/usr/bin/python3
"""standin_icons.py DIR: icon-N.png for the stand-in's icon (a gold ring on blue)."""
import sys

from PIL import Image, ImageDraw

for size in (16, 32, 48, 256):
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    draw.ellipse((0, 0, size - 1, size - 1), fill=(16, 24, 48, 255))
    ring = max(1, size // 8)
    draw.ellipse((size // 4, size // 4, size * 3 // 4, size * 3 // 4), outline=(255, 192, 32, 255), width=ring)
    img.save(f"{sys.argv[1]}/icon-{size}.png")
