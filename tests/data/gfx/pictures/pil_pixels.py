#!/usr/bin/python3
# Prints the pixels PIL reads from each fixture as RRGGBBAA, row by row.
# Run: /usr/bin/python3 pil_pixels.py > pil_pixels.txt
from PIL import Image

FILES = ["bmp24.bmp", "bmp8.bmp", "bmp1.bmp", "png24.png", "png32.png", "png8.png",
         "jpeg_base.jpg", "jpeg_prog.jpg", "jpeg_gray.jpg", "gif.gif", "icon.ico", "icon_bmp.ico"]
for name in FILES:
    img = Image.open(name).convert("RGBA")
    w, h = img.size
    print(f"picture {name} {w} {h}")
    for y in range(h):
        print(" ".join("%02X%02X%02X%02X" % img.getpixel((x, y)) for x in range(w)))
