#!/bin/sh
# Regenerates zint_pdf417.txt: our code, rows, columns, level, truncated,
# then zint's module rows (hex, joined by ";").
set -e
cd "$(dirname "$0")"
row() { # code zintdata rows cols level truncated(0/1)
  sym=PDF417; [ "$6" = 1 ] && sym=PDF417COMP
  printf '%s|%s|%s|%s|%s|%s\n' "$1" "$3" "$4" "$5" "$6" \
    "$(zint -b $sym --binary --esc -d "$2" --rows=$3 --cols=$4 --secure=$5 --dump | tr '\n' ';' | sed 's/;$//')"
}
B='\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3'
{
row "HELLO WORLD" "HELLO WORLD" 6 3 2 0
row "HELLO WORLD" "HELLO WORLD" 6 3 2 1
row "123456789012345678901234567890" "123456789012345678901234567890" 8 4 3 0
row "123456789012345678901234567890" "123456789012345678901234567890" 8 4 3 1
row "$B" "$B" 9 5 1 0
row "$B" "$B" 9 5 1 1
row "ABCDEFGHIJKLMNOPQRSTUVWXYZ" "ABCDEFGHIJKLMNOPQRSTUVWXYZ" 20 6 5 0
} > zint_pdf417.txt
