#!/usr/bin/env bash
# Installs KESTRA into a temporary prefix and uses the installed programs from
# another directory, as a user would: the launchers must find the shipped
# terminal definition, and kestra-check must list consoles on live servers.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
# sockets PATH...: waits up to 5 s for each to be a socket.
sockets() {
    for _ in $(seq 100); do
        local missing=0
        for path; do [ -S "$path" ] || missing=1; done
        [ $missing = 0 ] && return
        sleep 0.05
    done
}

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

# Desktop integration: a valid menu entry whose icon exists in every size the
# entry's icon theme is asked for, each PNG of the size its folder names.
desktop=$prefix/share/applications/kestra.desktop
[ -f "$desktop" ] || { echo "no desktop entry"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || { echo "desktop entry is not valid"; exit 1; }
fi
grep -qx 'Exec=kestra' "$desktop" || { echo "desktop entry does not start kestra"; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/$(sed -n 's/^Icon=//p' "$desktop").png
    [ -f "$icon" ] || { echo "no icon $icon"; exit 1; }
    # PNG width and height: big-endian words at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$width $height" = "$size $size" ] || { echo "$icon is ${width}x$height"; exit 1; }
done

# Manual pages: present, stamped with the version, and rendered without
# complaints by man.
version=$("$prefix/bin/kestra-replay" --version | cut -d' ' -f2)
for page in kestra kestra-check kestra-replay kestra-serve; do
    file=$prefix/share/man/man1/$page.1
    [ -f "$file" ] || { echo "no manual page $page(1)"; exit 1; }
    grep -q "\"KESTRA $version\"" "$file" || { echo "$page(1) lacks version $version"; exit 1; }
    if command -v man >/dev/null; then
        rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>"$work/man-warnings")
        [ ! -s "$work/man-warnings" ] || { echo "$page(1) warnings:"; cat "$work/man-warnings"; exit 1; }
        echo "$rendered" | grep -q "^NAME" || { echo "$page(1) renders without NAME"; exit 1; }
        echo "$rendered" | grep -q "$page - " || { echo "$page(1) names another program"; exit 1; }
    fi
done
for file in share/doc/kestra/user-guide.md share/doc/kestra/examples/demo.cnf \
    share/doc/kestra/examples/lab.cnf; do
    [ -s "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done

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
sockets "$KESTRA_PIPES/UNIT0" "$KESTRA_PIPES/UNIT1"
printf 'CON = UNIT0\nCON /UNIT:7 /HEIGHT:30 = UNIT1\n' > two.cnf
listing=$("$prefix/bin/kestra-check" /C:two.cnf)
expected='console 0 24x80 \\.\pipe\UNIT0 \\.\pipe\UNIT0
console 7 30x80 \\.\pipe\UNIT1 \\.\pipe\UNIT1'
if [ "$listing" != "$expected" ]; then
    echo "kestra-check listed:"
    echo "$listing"
    exit 1
fi

# kestra itself, started from here without a display: it finds its
# definition, connects, shows what the server wrote, and ends with the
# server's shut-down message when the server leaves (the Fatal Error dialog
# then waits, so it is stopped once the message is out).
"$prefix/bin/kestra-serve" --once BYE -- /bin/sh -c 'echo bye; sleep 1' >/dev/null &
sockets "$KESTRA_PIPES/BYE"
printf 'QuietMode = on\nCON = BYE\n' > bye.cnf
QT_QPA_PLATFORM=offscreen "$prefix/bin/kestra" /C:bye.cnf >/dev/null 2>kestra.err &
kestra_pid=$!
for _ in $(seq 200); do
    grep -q 'has shut down' kestra.err && break
    sleep 0.1
done
kill "$kestra_pid" 2>/dev/null || true
grep -qF 'The server for pipe \\.\pipe\BYE has shut down' kestra.err ||
    { echo "installed kestra did not run its console:"; cat kestra.err; exit 1; }

# The lab example reads as far as its servers are up: both virtual machines'
# sockets are there, so the first failure is the board's host.
sed "s|/tmp/lab/|$work/lab/|; s|bench|unknown-host.invalid|" \
    "$prefix/share/doc/kestra/examples/lab.cnf" > lab.cnf
for vm in vm1 vm2; do
    "$prefix/bin/kestra-serve" "$work/lab/$vm.sock" -- /bin/sh -c 'sleep 30' >/dev/null &
done
sockets "$work/lab/vm1.sock" "$work/lab/vm2.sock"
status=0
"$prefix/bin/kestra-check" /C:lab.cnf >lab.out 2>lab.err || status=$?
if [ $status != 255 ] || ! grep -q '^Error in line 13 of ' lab.err ||
    ! grep -qF '[\\unknown-host.invalid\pipe\3001]' lab.err; then
    echo "lab example: status $status"; cat lab.err; exit 1
fi

# The Debian package, when this machine can build one.
if command -v dpkg-deb >/dev/null && [ -f "$build_dir/CPackConfig.cmake" ]; then
    cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/deb" >/dev/null
    deb=$(ls "$work"/deb/kestra_*.deb)
    info=$(dpkg-deb --info "$deb")
    for field in 'Package: kestra' "Version: $version" 'Section: ' 'Maintainer: ' \
        'Depends: .*libqt6widgets6' 'Depends: .*qt6-qpa-plugins' 'Description: '; do
        echo "$info" | grep -q "^ $field" || { echo "package lacks $field"; echo "$info"; exit 1; }
    done
    contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
    for file in ./usr/bin/kestra ./usr/libexec/kestra/kestra ./usr/share/kestra/VT100.CNF \
        ./usr/share/applications/kestra.desktop ./usr/share/man/man1/kestra.1 \
        ./usr/share/icons/hicolor/48x48/apps/kestra.png ./usr/share/doc/kestra/user-guide.md \
        ./usr/share/doc/kestra/copyright; do
        echo "$contents" | grep -qx "$file" || { echo "package lacks $file"; exit 1; }
    done
fi
echo "installed tree works"
