#!/usr/bin/env bash
# Walks the first menu screens of vttest (cursor movements, screen features,
# character sets, double-sized characters) in a KESTRA console, behind
# kestra-serve, under a private X server, and saves a picture of each screen's
# console cells as PNG. Each menu entry gets a fresh kestra and vttest, so a
# screen that needs more Returns than expected cannot throw the walk off.
# With --vt102 the console is a VT102 console served with TERM=vt102, and the
# walk also takes the terminal reports and the VT102 features.
#
#   scripts/vttest.sh [--vt102] [BUILD_DIR [OUTPUT_DIR]]
#
# BUILD_DIR defaults to build/default, OUTPUT_DIR to docs/vttest (docs/vttest/
# vt102 with --vt102). Needs Xvfb,
# xdotool, ImageMagick and vttest (scripts/setup-debian.sh installs them).
# Fails when kestra is gone after a screen (a crash, or an early exit).
set -euo pipefail
cd "$(dirname "$0")/.."

vt102="" mode=OFF term=vt100
if [ "${1:-}" = --vt102 ]; then
    vt102=1 mode=ON term=vt102
    shift
fi
build=${1:-build/default}
output=${2:-docs/vttest${vt102:+/vt102}}
for tool in Xvfb xdotool import convert vttest; do
    command -v "$tool" >/dev/null || { echo "vttest.sh: needs $tool" >&2; exit 2; }
done
mkdir -p "$output"
work=$(mktemp -d /tmp/kvttest-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private X server on the first free display from 100 + pid % 400.
display=$((100 + $$ % 400))
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"

# The console maximised in a frame whose client area gives cells of 8 by 16
# pixels: 80 x 24 cells and a two-pixel margin, below the menu bar.
mkdir -p "$work/config/Marrow Data" "$work/runtime"
chmod 700 "$work/runtime"
printf 'QuietMode = on\nTitle = vttest\nVT102 = %s\nCON /UNITNAME:vttest = %s\n' \
    "$mode" "$work/vttest" >"$work/vttest.cnf"

frame=""
kestra_pid=""

start() {
    rm -f "$work/vttest"
    "$build/bin/kestra-serve" --once --term "$term" "$work/vttest" -- \
        vttest >/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$work/vttest" ] && break; sleep 0.05; done
    printf '[General]\nWindow=1 1 0 0 644 %d\n' $((388 + ${menubar:-19})) \
        >"$work/config/Marrow Data/KESTRA.conf"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" CNF="$PWD/data" \
        "$build/bin/kestra" "/C:$work/vttest.cnf" 2>>"$work/stderr" &
    kestra_pid=$!
    pids+=("$kestra_pid")
    frame=$(timeout 20 xdotool search --sync --onlyvisible --name '^vttest' | head -n 1)
    sleep 2 # vttest draws its menu
}

stop() {
    kill "$kestra_pid" 2>/dev/null || true
    wait "$kestra_pid" 2>/dev/null || true
}

# The console's cells: the picture below the menu bar, whose height is the
# first row from the top that is black in the frame's middle column.
shot() {
    alive "$1"
    [ "$1" = - ] && return
    import -window "$frame" "$work/frame.png"
    local top
    top=$(convert "$work/frame.png" -crop 1x200+322+0 +repage txt:- |
        awk -F'[,:]' '/#000000/ && !found { print $2; found = 1 }')
    menubar=${top:-19}
    convert "$work/frame.png" -crop "644x388+0+$menubar" +repage -strip "$output/$1.png"
    echo "$output/$1.png"
}

alive() {
    if ! kill -0 "$kestra_pid" 2>/dev/null; then
        echo "vttest.sh: kestra ended at $1:" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
}

type_keys() {
    xdotool windowfocus --sync "$frame"
    sleep 0.2
    xdotool key --delay 80 "$@"
    sleep "${pause:-2}"
}

# Each walk: the menu entry, then the screens it shows, one Return apart;
# "-" is a screen passed without a picture, and KEY=NAME types KEY before
# the Return (a choice in a submenu).
walks=(
    "1 cursor-border - cursor-autowrap - cursor-controls"
    "2 screen-wrap screen-tabs - screen-80-light"
    "3 charsets"
    "4 - double-80-width - double-132-width"
)
if [ -n "$vt102" ]; then
    walks[3]="4 - double-80-width - double-132-width double-frame double-half-box"
    walks+=(
        "6 reports 3=reports-status - 4=reports-attributes - 7=reports-parameters"
        "8 vt102-accordion vt102-top-bottom vt102-insert-mode vt102-delete-character \
vt102-delete-line vt102-insert-line vt102-insert-character"
    )
fi

start
shot menu
stop
for walk in "${walks[@]}"; do
    read -r entry first rest <<<"$walk"
    start
    type_keys "$entry" Return
    shot "$first"
    for screen in $rest; do
        if [ "${screen#*=}" != "$screen" ]; then
            type_keys "${screen%%=*}" Return
        else
            type_keys Return
        fi
        shot "${screen#*=}"
    done
    stop
done
