#!/bin/sh
# Random text forms (gentexts.py, fixed seeds) converted by the other
# implementation: NNN.src.txt -> NNN.frombin -> NNN.txt.
set -e
cd "$(dirname "$0")"
fpc -FE/tmp -o/tmp/fat-convert convert.pas >/dev/null
for i in $(seq 1 40); do
  n=$(printf %03d "$i")
  python3 gentexts.py "$i" > "$n.src.txt"
  /tmp/fat-convert t2b "$n.src.txt" "$n.frombin"
  /tmp/fat-convert b2t "$n.frombin" "$n.txt"
done
rm -f /tmp/fat-convert /tmp/convert.o
