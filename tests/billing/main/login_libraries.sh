#!/bin/sh
# The program at its login window has not loaded the libraries only
# printing, e-mail, downloads, updates and the NF-e monitor's answers use
# (they bring dozens of others and cost every start time and memory): it
# starts on a fresh folder, waits
# until its window has been shown (the NF-e folders are made then) and reads
# what the process has mapped.
#   login_libraries.sh <program> <scratch folder>
program=$1; trial=$2
rm -rf "$trial" && mkdir -p "$trial" || exit 1
cp "$program" "$trial/faturamento" || exit 1
ASAN_OPTIONS=detect_leaks=0 "$trial/faturamento" "$trial/faturamento.ini" >"$trial/saida.txt" 2>&1 &
pid=$!
for _ in $(seq 600); do
  [ -d "$trial/NFE" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "o programa terminou antes da janela de login"; cat "$trial/saida.txt"; exit 1; }
  sleep 0.1
done
sleep 1
if ! kill -0 "$pid" 2>/dev/null; then echo "o programa terminou na janela de login"; cat "$trial/saida.txt"; exit 1; fi
loaded=$(grep -oE '/[^ ]*/(libcurl|libcups|libcrypto|libssl|libgnutls|libkrb5|libldap|libavahi|libxml2)[^/ ]*' "/proc/$pid/maps" | sort -u)
kill "$pid"; wait "$pid" 2>/dev/null
rm -rf "$trial"
if [ -n "$loaded" ]; then echo "carregadas antes do uso:"; echo "$loaded"; exit 1; fi
echo "nenhuma biblioteca de impressão, e-mail, download ou XML carregada no login"
