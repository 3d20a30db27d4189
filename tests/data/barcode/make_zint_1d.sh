#!/bin/sh
# Regenerates zint_1d.txt: our type name, data, add-on, then zint's module
# rows (hex, rows joined by ";") for the same symbol.
set -e
cd "$(dirname "$0")"
row() { # ourtype data addon zintname zintdata [zint options]
  t=$1 d=$2 a=$3 z=$4 zd=$5; shift 5
  printf '%s|%s|%s|%s\n' "$t" "$d" "$a" "$(zint -b "$z" -d "$zd" "$@" --dump | tr '\n' ';' | sed 's/;$//')"
}
{
row bcUPC_A 01234567890 "" UPCA 01234567890
row bcUPC_A 03600029145 "" UPCA 03600029145
row bcUPC_A 01234567890 12 UPCA 01234567890+12
row bcUPC_A 01234567890 86104 UPCA 01234567890+86104
for d in 012345 115838 171271 139595 123757 202947 226704 131676 107919 290056 100000 045673; do
  row bcUPC_E $d "" UPCE $d
done
row bcEAN_13 400638133393 "" EANX 400638133393
row bcEAN_13 590123412345 "" EANX 590123412345
row bcEAN_13 978020137962 "" EANX 978020137962
for a in 00 01 02 03 13 99; do row bcEAN_13 400638133393 $a EANX 400638133393+$a; done
for a in 00000 12345 51234 24680 90000 98765 11111 54321 13579 86420 01234 40010; do
  row bcEAN_13 400638133393 $a EANX 400638133393+$a
done
row bcEAN_8 2012345 "" EANX 2012345
row bcEAN_8 9638507 "" EANX 9638507
row bcEAN_8 9638507 05 EANX 9638507+05
row bcInt2of5 0123456789 "" C25INTER 0123456789
row bcInt2of5 12 "" C25INTER 12
row bcInt2of5 90817263544536271809 "" C25INTER 90817263544536271809
row bcCode39 BARCODE "" CODE39 BARCODE
row bcCode39 "CODE-39 \$/+%." "" CODE39 "CODE-39 \$/+%."
row bcCode39 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ "" CODE39 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ
row bcCodabar A01234B "" CODABAR A01234B
row bcCodabar "C5678-\$:/.+9D" "" CODABAR "C5678-\$:/.+9D"
row bcCodabar B0A "" CODABAR B0A
row bcMSI 1234567 "" MSI_PLESSEY 1234567 --vers=1
row bcMSI 0139725 "" MSI_PLESSEY 0139725 --vers=1
row bcMSI 80523 "" MSI_PLESSEY 80523 --vers=1
row bcPostnet 555551237 "" POSTNET 555551237
row bcPostnet 012345678 "" POSTNET 012345678
row bcPostnet 98765432109 "" POSTNET 98765432109
row bcFIM A "" FIM A
row bcFIM B "" FIM B
row bcFIM C "" FIM C
} > zint_1d.txt
