#!/usr/bin/env python3
# Writes the hand-made RTF documents the rich text reader is checked with,
# then the plain text unrtf (a black box) reads from each into <name>.txt.
# Run from this folder; commit what it writes. Constructs unrtf drops in its
# text output (field results, \uc2 skips, typographic quote words, hard
# blanks) are checked by the unit tests instead.
import base64, glob, os, struct, subprocess, zlib

HEAD = r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\froman\fcharset0 Times New Roman;}{\f2\fmodern\fcharset0 Courier New;}}" "\n" \
       r"{\colortbl ;\red255\green0\blue0;\red0\green128\blue0;\red0\green0\blue255;}" "\n"

def png(w, h):
    raw = b"".join(b"\x00" + bytes([255, 0, 0] * w) for _ in range(h))
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")

docs = {
 "01-plain": r"\pard Relat\'f3rio de notas fiscais\par",
 "02-accents-hex": r"\pard A\'e7\'e3o de emiss\'e3o, p\'e1gina \'fanica, M\'fcller\par",
 "03-unicode": r"\uc1\pard Emiss\u227\'e3o da a\u231\'e7\u227\'e3o, caf\u233\'e9 e p\u227\'e3o\par",
 "04-bold-italic": r"\pard Texto {\b negrito} e {\i it\'e1lico} e {\ul sublinhado}\par",
 "05-paragraphs": r"\pard Primeiro par\'e1grafo.\par Segundo par\'e1grafo.\par Terceiro.\par",
 "06-alignment": r"\pard\qc Centro\par\pard\qr Direita\par\pard\qj Justificado com v\'e1rias palavras para ocupar a linha inteira\par",
 "07-fonts": r"\pard\f0 Arial {\f1 Times} {\f2 Courier}\par",
 "08-sizes": r"\pard\fs16 pequeno {\fs24 normal} {\fs48 grande}\par",
 "09-colours": r"\pard {\cf1 vermelho} {\cf2 verde} {\cf3 azul}\par",
 "10-nested": r"\pard a{b{c{d{e}f}g}h}i\par",
 "11-tabs": r"\pard\tx1440\tx2880 C\'f3digo\tab Nome\tab Valor\par 001\tab Parafuso\tab 1,50\par",
 "12-line-breaks": r"\pard linha um\line linha dois\line linha tr\'eas\par",
 "13-indents": r"\pard\li720\ri360\fi-360 Par\'e1grafo recuado com primeira linha para fora\par",
 "14-spacing": r"\pard\sb240\sa120 Com espa\'e7o antes e depois\par\pard Sem espa\'e7o\par",
 "15-ignorable": r"{\*\generator Gerador 1.0;}\pard Texto vis\'edvel{\*\bookmark oculto} fim\par",
 "16-stylesheet": r"{\stylesheet{\s0 Normal;}{\s1 T\'edtulo;}}\pard Corpo\par",
 "17-info": r"{\info{\title T\'edtulo oculto}{\author Algu\'e9m}}\pard Vis\'edvel\par",
 "18-escapes": r"\pard chaves \{ e \} e barra \\ aqui\par",
 "19-empty-paragraphs": r"\pard um\par\par\par dois\par",
 "20-plain-reset": r"\pard{\b\i negrito it\'e1lico \plain simples}\par",
 "21-highlight": r"\pard {\highlight1 marcado} e {\cb2 fundo}\par",
 "22-strike": r"\pard {\strike riscado} normal\par",
 "25-long": r"\pard " + " ".join("palavra%d" % i for i in range(300)) + r"\par",
 "26-many-paragraphs": "".join(r"\pard Linha %d da lista de itens\par" % i for i in range(40)),
 "28-header-footer": r"{\header \pard Cabe\'e7alho\par}{\footer \pard Rodap\'e9\par}\pard Conte\'fado\par",
 "29-mixed": r"\pard\qc{\b\fs32 NOTA FISCAL}\par\pard\ql Cliente: {\i Jo\'e3o da Silva}\par Valor: {\cf1 R$ 1.234,50}\par",
 "30-crlf-in-text": "\\pard texto com\r\nquebras de\r\nlinha no arquivo\\par",
 "32-picture": r"\pard antes {\pict\pngblip\picw4\pich2\picwgoal120\pichgoal60 " + png(4, 2).hex() + r"} depois\par",
 "34-deep-nesting": r"\pard " + "{" * 60 + "fundo" + "}" * 60 + r" raso\par",
 "35-unknown-words": r"\pard\widctlpar\hyphpar0\nowidctlpar Palavras \kerning24 de\expndtw10  controle ignoradas\par",
 "36-font-table-only-entries": r"{\fonttbl{\f3\fnil\fcharset0 Tahoma;}{\f4 Verdana;}}\pard{\f3 Tahoma} e {\f4 Verdana}\par",
 "33-no-final-par": r"\pard sem par\'e1grafo final",
 "37-hidden": r"\pard Antes {\v oculto }depois e {\b\v negrito oculto }fim\par\pard {\v Par\'e1grafo todo oculto}\par"
              r"\pard \v come\'e7o oculto\v0  vis\'edvel\par",
}

for name, body in docs.items():
    with open(name + ".rtf", "wb") as f:
        f.write((HEAD + body + "}\n").encode("latin-1"))

for rtf in sorted(glob.glob("*.rtf")):
    out = subprocess.run(["unrtf", "--text", "--nopict", rtf], capture_output=True, check=True).stdout
    with open(rtf[:-4] + ".txt", "wb") as f:
        f.write(out)
