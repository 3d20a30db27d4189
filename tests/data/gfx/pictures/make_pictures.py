#!/usr/bin/python3
# Makes the picture fixtures with Python's PIL (Debian's python3-pil). Run
# once; the files are committed. pil_pixels.py prints what PIL decodes.
from PIL import Image

def pattern(w, h):
    img = Image.new("RGB", (w, h))
    for y in range(h):
        for x in range(w):
            img.putpixel((x, y), ((x * 37 + y * 11) % 256, (x * 13 + y * 59) % 256, (x * 71 + y * 29) % 256))
    return img

rgb = pattern(7, 5)
rgb.save("bmp24.bmp")
rgb.quantize(colors=12).save("bmp8.bmp")
mono = Image.new("1", (9, 4))
for y in range(4):
    for x in range(9):
        mono.putpixel((x, y), 1 if (x + 2 * y) % 3 == 0 else 0)
mono.save("bmp1.bmp")
rgb.save("png24.png")
rgba = pattern(6, 4).convert("RGBA")
for y in range(4):
    for x in range(6):
        r, g, b, _ = rgba.getpixel((x, y))
        rgba.putpixel((x, y), (r, g, b, (x * 50 + y * 20) % 256))
rgba.save("png32.png")
rgb.quantize(colors=6).save("png8.png")
smooth = Image.new("RGB", (16, 8))
for y in range(8):
    for x in range(16):
        smooth.putpixel((x, y), (x * 16, y * 32, 255 - x * 8))
smooth.save("jpeg_base.jpg", quality=90)
smooth.save("jpeg_prog.jpg", quality=85, progressive=True)
smooth.convert("L").save("jpeg_gray.jpg", quality=90)
pal = rgb.quantize(colors=8)
pal.save("gif.gif", transparency=0)
pattern(16, 16).save("icon.ico", sizes=[(16, 16)])
pattern(16, 16).convert("RGBA").save("icon_bmp.ico", sizes=[(16, 16)], bitmap_format="bmp")
