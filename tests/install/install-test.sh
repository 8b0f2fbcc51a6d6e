#!/usr/bin/env bash
# Installs KESTRA into a temporary prefix and uses the installed programs from
# another directory, as a user would: the launchers must find the shipped
# terminal definition, and kestra-check must list consoles on live servers.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for file in bin/kestra bin/kestra-check bin/kestra-replay bin/kestra-serve \
    libexec/kestra/kestra share/kestra/VT100.CNF; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
if ls "$prefix/bin" | grep -qi '\.cnf$'; then
    echo "data files were installed into bin/"
    exit 1
fi

mkdir "$work/elsewhere"
cd "$work/elsewhere"
unset CNF

# kestra-replay reads VT100.CNF through its launcher: ESC ( 0 q is a line
# drawing character, which only the definition's graphics map gives.
out=$(printf 'ab\033(0q' | "$prefix/bin/kestra-replay")
echo "$out" | grep -q '^size 24 80$' || { echo "unexpected replay output:"; echo "$out"; exit 1; }
echo "$out" | grep -qF '0|ab\u{FFF8}' || { echo "graphics map not applied:"; echo "$out"; exit 1; }

export KESTRA_PIPES=$work/pipes
for name in UNIT0 UNIT1; do
    "$prefix/bin/kestra-serve" "$name" -- /bin/sh -c 'sleep 30' >/dev/null &
done
for _ in $(seq 100); do
    [ -S "$KESTRA_PIPES/UNIT0" ] && [ -S "$KESTRA_PIPES/UNIT1" ] && break
    sleep 0.05
done
printf 'CON = UNIT0\nCON /UNIT:7 /HEIGHT:30 = UNIT1\n' > two.cnf
listing=$("$prefix/bin/kestra-check" /C:two.cnf)
expected='console 0 24x80 \\.\pipe\UNIT0 \\.\pipe\UNIT0
console 7 30x80 \\.\pipe\UNIT1 \\.\pipe\UNIT1'
if [ "$listing" != "$expected" ]; then
    echo "kestra-check listed:"
    echo "$listing"
    exit 1
fi
echo "installed tree works"
