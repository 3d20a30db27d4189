#!/usr/bin/env python3
"""Second, independent implementation of the password cipher, standard library
only. It derives its own tables from pi and writes reference.txt, which the C++
tests compare against. Run: python3 reference.py > reference.txt

Line formats (fields separated by one blank, byte strings in hexadecimal, "-"
for an empty one):
  key    <pass phrase> <size> <key material>
  block  <key> <plain block> <block encrypted> <block decrypted>
  ecb    <key> <plain bytes> <Base64 text>
  cbc    <key> <timer value> <plain bytes> <Base64 text>
  text   <pass phrase> <UTF-8 text> <Base64 text>   (text encrypted as code page 1252)
"""
import base64
import struct

M32 = 0xFFFFFFFF


def pi_fraction_words(count):
    # Machin: pi = 16 atan(1/5) - 4 atan(1/239), in fixed point.
    bits = count * 32 + 64
    one = 1 << (bits + 32)

    def atan_inv(x):
        s, t, k, x2 = 0, one // x, 0, x * x
        while t:
            s += t // (2 * k + 1) if k % 2 == 0 else -(t // (2 * k + 1))
            t //= x2
            k += 1
        return s

    pi = 16 * atan_inv(5) - 4 * atan_inv(239)
    frac = (pi >> 96) & ((1 << (count * 32)) - 1)  # drop guard bits and the 3
    return [(frac >> (32 * (count - 1 - i))) & M32 for i in range(count)]


PI_WORDS = pi_fraction_words(18 + 4 * 256)
P_INIT = PI_WORDS[:18]
S_INIT = [PI_WORDS[18 + 256 * b: 18 + 256 * (b + 1)] for b in range(4)]
PI_BYTES = b"".join(struct.pack(">I", w) for w in PI_WORDS[:64])


# ---- block cipher -----------------------------------------------------------

class Blowfish:
    def __init__(self, key16):
        self.P = list(P_INIT)
        self.S = [list(b) for b in S_INIT]
        j = 0
        for i in range(18):
            w = 0
            for _ in range(4):
                w = ((w << 8) | key16[j]) & M32
                j = (j + 1) % 16
            self.P[i] ^= w
        x = (0, 0)
        for i in range(0, 18, 2):
            x = self.words(x, True)
            self.P[i], self.P[i + 1] = x
        for b in range(4):
            for i in range(0, 256, 2):
                x = self.words(x, True)
                self.S[b][i], self.S[b][i + 1] = x

    def f(self, w):
        s = self.S
        return ((((s[0][w >> 24] + s[1][(w >> 16) & 255]) & M32) ^ s[2][(w >> 8) & 255])
                + s[3][w & 255]) & M32

    def words(self, x, encrypt):
        e0, e1 = x
        x0, x1 = x
        P = self.P
        if encrypt:
            x0 ^= P[0]
            for i in range(1, 16, 2):
                x1 ^= P[i] ^ self.f(e0)
                x0 ^= P[i + 1] ^ self.f(e1)
            x1 ^= P[17]
        else:
            x1 ^= P[17]
            for i in range(16, 1, -2):
                x0 ^= P[i] ^ self.f(e1)
                x1 ^= P[i - 1] ^ self.f(e0)
            x0 ^= P[0]
        return x0, x1

    def block(self, data, encrypt):
        return struct.pack("<2I", *self.words(struct.unpack("<2I", data), encrypt))


# ---- key derivation ---------------------------------------------------------

def quad_mix(a, b, c, d):
    a = (a + d) & M32; d = (d + a) & M32; a ^= a >> 7
    b = (b + a) & M32; a = (a + b) & M32; b ^= (b << 13) & M32
    c = (c + b) & M32; b = (b + c) & M32; c ^= c >> 17
    d = (d + c) & M32; c = (c + d) & M32; d ^= (d << 9) & M32
    a = (a + d) & M32; d = (d + a) & M32; a ^= a >> 3
    b = (b + a) & M32; a = (a + b) & M32; b ^= (b << 7) & M32
    c = (c + b) & M32; b = (b + c) & M32; c ^= d >> 15
    d = (d + c) & M32; c = (c + d) & M32; d ^= (d << 11) & M32
    return a, b, c, d


def octo_mix(v):
    a, b, c, d, e, f, g, h = v
    a ^= (b << 11) & M32; d = (d + a) & M32; b = (b + c) & M32
    b ^= c >> 2; e = (e + b) & M32; c = (c + d) & M32
    c ^= (d << 8) & M32; f = (f + c) & M32; d = (d + e) & M32
    d ^= e >> 16; g = (g + d) & M32; e = (e + f) & M32
    e ^= (f << 10) & M32; h = (h + e) & M32; f = (f + g) & M32
    f ^= g >> 4; a = (a + f) & M32; g = (g + h) & M32
    g ^= (h << 8) & M32; b = (b + g) & M32; h = (h + a) & M32
    h ^= a >> 9; c = (c + h) & M32; a = (a + b) & M32
    return [a, b, c, d, e, f, g, h]


def mix_block_subkeys(key16, rounds=8):
    k = struct.unpack("<4I", key16)
    sub = []
    for cj in (0x55555555, 0xAAAAAAAA, 0x33333333, 0xCCCCCCCC):
        v = [k[0], cj, k[1], cj, k[2], cj, k[3], cj]
        for _ in range(8):
            v = octo_mix(v)
        sub += [(v[0], v[1]), (v[2], v[3]), (v[4], v[5]), (v[6], v[7])]
    return sub[:max(4, min(16, rounds))]


def mix_block_encrypt(sub, block):
    w = struct.unpack("<4I", block)
    L, R = (w[0], w[1]), (w[2], w[3])
    for s, t in sub:
        A, B, C, D = quad_mix(L[0], s, L[1], t)
        A, B, C, D = quad_mix(C, D, A, B)
        L, R = (B ^ A ^ R[0], D ^ C ^ R[1]), L
    return struct.pack("<4I", R[0], R[1], L[0], L[1])


def passphrase_to_key(data, size):
    digest = bytearray(PI_BYTES)
    key = bytearray(b"\x55" * 16)
    state = {"d": 0, "k": 0}

    def update(chunk):
        for x in chunk:
            digest[state["d"]] ^= x
            state["d"] = (state["d"] + 1) % 256
            key[state["k"]] ^= x
            state["k"] += 1
            if state["k"] == 8:
                k0, k1, k2, k3 = struct.unpack("<4I", key)
                a, b, c, d = k3, k2, k1, k0
                for _ in range(4):
                    a, b, c, d = quad_mix(a, b, c, d)
                key[:] = struct.pack("<4I", a, b, c, d)
                state["k"] = 0

    update(data)
    update(bytes([1, 0, 0, 0, 0, 0, 0, 0])[:8 - state["k"]])
    sub = mix_block_subkeys(bytes(key))
    out = b"".join(mix_block_encrypt(sub, bytes(digest[i:i + 16])) for i in range(0, 256, 16))
    return out[:min(256, size)]


# ---- modes ------------------------------------------------------------------

def blocks_with_final(data):
    n = len(data) // 8 * 8
    tail = data[n:]
    return [data[i:i + 8] for i in range(0, n, 8)] + [tail + bytes(7 - len(tail)) + bytes([len(tail)])]


def ecb(key16, data):
    bf = Blowfish(key16)
    return b"".join(bf.block(b, True) for b in blocks_with_final(data))


def cbc(key16, data, timer):
    bf = Blowfish(key16)
    prev = bf.block(struct.pack("<2I", timer, timer), True)
    out = [prev]
    for b in blocks_with_final(data):
        prev = bf.block(bytes(x ^ y for x, y in zip(b, prev)), True)
        out.append(prev)
    return b"".join(out)


def hx(b):
    return b.hex().upper() if b else "-"


def main():
    for phrase, size in [(b"", 16), (b"A", 16), (b"a", 16), (b"1234567", 16), (b"12345678", 16),
                         (b"123456789", 16), (b"BRISKO-TALV", 16), (b"brisko-talv", 16),
                         (b"BRISKO-TALV", 300), (bytes(range(256)) + b"XYZ", 32),
                         (b"x" * 1000, 16)]:
        print("key", hx(phrase), size, hx(passphrase_to_key(phrase, size)))
    keys = [bytes(16), passphrase_to_key(b"BRISKO-TALV", 16), bytes(range(1, 17))]
    for key in keys:
        bf = Blowfish(key)
        for blk in [bytes(8), bytes(range(8)), b"\xff" * 8, b"TRUVE\0\0\x05"]:
            print("block", hx(key), hx(blk), hx(bf.block(blk, True)), hx(bf.block(blk, False)))
    for key in keys[:2]:
        for plain in [b"", b"A", b"TRUVE", b"1234567", b"12345678", b"123456789",
                      b"123456789012345", b"1234567890123456", "Ação çé".encode("cp1252"),
                      bytes(range(256))]:
            print("ecb", hx(key), hx(plain), base64.b64encode(ecb(key, plain)).decode())
    for timer in [0, 123456789]:
        for plain in [b"", b"TRUVE", b"1234567890123456"]:
            print("cbc", hx(keys[1]), timer, hx(plain),
                  base64.b64encode(cbc(keys[1], plain, timer)).decode())
    for phrase, text in [("BRISKO-TALV", "TRUVE"), ("BRISKO-TALV", "ADMIN"),
                         ("BRISKO-TALV", "SENHA ÇÃO"), ("BRISKO-TALV", "coração"),
                         ("BRISKO-TALV", "JOSÉ"), ("BRISKO-TALV", "JOSé"),
                         ("BRISKO-TALV", "MINHA SENHA É LONGA!"), ("chave", "€uro")]:
        key = passphrase_to_key(phrase.encode("cp1252"), 16)
        print("text", hx(phrase.encode()), hx(text.encode()),
              base64.b64encode(ecb(key, text.encode("cp1252"))).decode())


if __name__ == "__main__":
    main()
