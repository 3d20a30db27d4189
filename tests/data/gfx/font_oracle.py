#!/usr/bin/python3
# Prints what the Liberation font files say about the characters of a text:
# unitsPerEm and each character's hmtx advance, read by fontTools (Debian's
# python3-fonttools). Run: /usr/bin/python3 font_oracle.py > font_oracle.txt
import subprocess
from fontTools.ttLib import TTFont

TEXT = "Relatório ção ã € ü R$"

def match(name):
    out = subprocess.run(["fc-match", "-f", "%{file}", name], capture_output=True, text=True, check=True)
    return out.stdout

for family in ["Arial", "Times New Roman", "Courier New", "Arial:bold"]:
    path = match(family)
    font = TTFont(path)
    upem = font["head"].unitsPerEm
    cmap = font.getBestCmap()
    hmtx = font["hmtx"]
    os2 = font["OS/2"]
    hhea = font["hhea"]
    print(f"face {family}")
    print(f"file {path.rsplit('/', 1)[-1]}")
    print(f"unitsPerEm {upem}")
    print(f"winAscent {os2.usWinAscent} winDescent {os2.usWinDescent} avgCharWidth {os2.xAvgCharWidth} "
          f"hheaAscender {hhea.ascent} hheaDescender {hhea.descent} lineGap {hhea.lineGap} "
          f"advanceWidthMax {hhea.advanceWidthMax}")
    for ch in TEXT:
        glyph = cmap.get(ord(ch), ".notdef")
        print(f"U+{ord(ch):04X} {hmtx[glyph][0]}")
    print("end")
