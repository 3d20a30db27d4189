# Works out the rotated-text table by hand, step by step, in plain Python
# (round() rounds halves to even; round(x, 3) gives three decimals). Run
#   python3 rotated_text.py > rotated_text.txt
import math

def quadrant(a):
    if 1 <= a <= 90: return 1
    if 91 <= a <= 180: return 2
    if 181 <= a <= 270: return 3
    return 4

def box(RW, RH, W, H, angle, wrap, border):
    a = angle % 360
    r = math.radians(a)
    c = round(math.cos(r), 3); s = round(math.sin(r), 3)
    t = 0.0 if c == 0 else round(math.tan(r), 3)
    BoxW, BoxH = RW, RH
    hc, hs = H * c, H * s
    if wrap:
        TextLen, TextH, wc, ws = W, H, W * c, W * s
    else:
        if RH >= RW:
            if c == 0: wc, ws = 0.0, float(RH)
            else: wc = RW - abs(hs); ws = t * wc
            if round(abs(hc) + abs(ws)) > RH:
                ws = RH - abs(hc); wc = ws / t if t != 0 else 0.0
        else:
            ws = RH - abs(hc)
            if t != 0: wc = ws / t
            elif s == 0: wc, ws = float(RW), 0.0
            else: wc = 0.0
            if round(abs(wc) + abs(hs)) > RW:
                wc = RW - abs(hs); ws = t * wc
        TextLen = round(math.sqrt(wc * wc + ws * ws)); TextH = H
    ExtentX = round(abs(wc) + abs(hs)); ExtentY = round(abs(hc) + abs(ws))
    if wrap:
        BoxW = ExtentX + 2 * border; BoxH = ExtentY + 2 * border
    if TextLen == 0: TextLen = BoxW
    RatioC = abs(wc) / TextLen if TextLen else 0.0
    RatioS = abs(ws) / TextLen if TextLen else 0.0
    return dict(c=c, s=s, t=t, hc=hc, hs=hs, wc=wc, ws=ws, BoxW=BoxW, BoxH=BoxH, TextLen=TextLen, TextH=TextH,
                ExtentX=ExtentX, ExtentY=ExtentY, RatioC=RatioC, RatioS=RatioS)

def origin(b, X, Y, W, angle, align):
    a = angle % 360
    if a <= 90: g, o = 1, [X, Y + b['BoxH'] - round(abs(b['hc']))]
    elif a <= 180: g, o = 2, [X + b['BoxW'] - round(abs(b['hs'])), Y + b['BoxH']]
    elif a <= 270: g, o = 3, [X + b['BoxW'], Y + round(abs(b['hc']))]
    else: g, o = 4, [X + round(abs(b['hs'])), Y]
    if align == 'left': return o
    d = 2 if align == 'centre' else 1
    ux = round(abs(b['wc']) / d) - round(W * b['RatioC'] / d)
    uy = round(abs(b['ws']) / d) - round(W * b['RatioS'] / d)
    sx, sy = {1: (1, -1), 2: (-1, -1), 3: (-1, 1), 4: (1, 1)}[g]
    return [o[0] + sx * ux, o[1] + sy * uy]

def align_rect(angle, align, X, Y, CW, CH, Wd, Ht):
    dX, dY = Wd - CW, Ht - CH
    q = quadrant(angle % 360)
    if align == 'centre': L, T = X - math.trunc(dX / 2), Y - math.trunc(dY / 2)
    elif align == 'left': L, T = {1: (X, Y - dY), 2: (X - dX, Y - dY), 3: (X - dX, Y), 4: (X, Y)}[q]
    else: L, T = {1: (X - dX, Y), 2: (X, Y), 3: (X, Y - dY), 4: (X - dX, Y - dY)}[q]
    return [L, T, L + Wd, T + Ht]

print('# rect: left top right bottom; text W H; border weight')
print('# columns: angle align wrap | BoxW BoxH TextLen TextH ExtentX ExtentY | bounds origin X Y'
      ' | drawing rect L T R B, its origin X Y')
for (L, T, R, B, W, H, border) in [(1000, 2000, 21000, 12000, 15000, 5000, 0),
                                   (500, 700, 8500, 30700, 12000, 4000, 265)]:
    print(f'rect {L} {T} {R} {B} text {W} {H} border {border}')
    for angle in (0, 45, 90, 135, 180, 225, 270, 315, 360):
        for align in ('left', 'right', 'centre'):
            for wrap in (0, 1):
                b = box(R - L, B - T, W, H, angle, wrap, border)
                ob = origin(b, L, T, W, angle, align)
                if wrap:
                    rect = align_rect(angle, align, L, T, R - L, B - T, b['BoxW'], b['BoxH'])
                else:
                    rect = [L, T, b['BoxW'], b['BoxH']]
                orr = origin(b, rect[0], rect[1], W, angle, align) if wrap else ob
                print(f"# c={b['c']} s={b['s']} t={b['t']} hc={b['hc']:.4f} hs={b['hs']:.4f} "
                      f"wc={b['wc']:.4f} ws={b['ws']:.4f} RatioC={b['RatioC']:.6f} RatioS={b['RatioS']:.6f}")
                print(angle, align, wrap, '|', b['BoxW'], b['BoxH'], b['TextLen'], b['TextH'], b['ExtentX'],
                      b['ExtentY'], '|', *ob, '|', *rect, *orr)
