#!/usr/bin/env bash
# Echo latency: from a typed key to the paint of its echo, in KESTRA and in
# the X terminals it is compared with, under Xvfb. A server echoes every byte
# at once; echolatency.py types the keys through XTEST and reads the screen
# until the echo shows (see its help for the method and its resolution).
#
#   bench/e2e/echo-latency.sh [options]
#     --build DIR        build tree with kestra (default build/default)
#     --keys N           timed keys per program (default 1000)
#     --programs LIST    comma-separated (default kestra,xterm,stterm)
#     --display :N       Xvfb display to use (default :62)
#
# KESTRA's console (24x80) is connected to the echo server through its pipe,
# a Unix socket; xterm and stterm run the same echo loop on their own
# pseudo-terminal, in raw mode. tmux is left out: it draws into a terminal,
# not a window, so there is no paint of its own to wait for.
set -euo pipefail
# shellcheck source=bench/e2e/common.sh
source "$(dirname "$0")/common.sh"

build=build/default
keys=1000
programs=kestra,xterm,stterm
display=:62
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$2 ;;
    --keys) keys=$2 ;;
    --programs) programs=$2 ;;
    --display) display=$2 ;;
    *) e2e_usage "$0" ;;
    esac
    shift 2
done
cd "$e2e_root"
build=$(realpath "$build")
IFS=, read -r -a program_list <<<"$programs"
e2e_need xdotool xdotool || exit 2
e2e_need xwininfo x11-utils || exit 2
for program in "${program_list[@]}"; do
    case $program in
    kestra) e2e_need_build kestra || exit 2 ;;
    xterm) e2e_need xterm xterm || exit 2 ;;
    stterm) e2e_need stterm stterm || exit 2 ;;
    *) echo "unknown program $program (kestra, xterm, stterm)" >&2; exit 2 ;;
    esac
done
e2e_start
echolatency=("$e2e_python" "$e2e_here/echolatency.py")
printf 'QuietMode = ON\nCON = ECHO\n' >"$e2e_work/echo.cnf"

echo "$(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg), $keys keys, display $display"
for program in "${program_list[@]}"; do
    log=$e2e_work/$program.log
    case $program in
    kestra)
        "${echolatency[@]}" echo --socket "$KESTRA_PIPES/ECHO" --log "$log" &
        e2e_track $!
        e2e_wait_socket "$KESTRA_PIPES/ECHO"
        CNF=$e2e_root/data "$build/bin/kestra" /C:"$e2e_work/echo.cnf" 2>"$e2e_work/kestra.err" &
        title='^KESTRA \['
        ;;
    xterm)
        xterm -geometry 80x24 -title echo-xterm -e "${echolatency[@]}" echo --tty --log "$log" &
        title='^echo-xterm$'
        ;;
    stterm)
        stterm -g 80x24 -t echo-stterm -e "${echolatency[@]}" echo --tty --log "$log" &
        title='^echo-stterm$'
        ;;
    esac
    terminal=$!
    e2e_track "$terminal"
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -1)
    echo "== $program"
    "${echolatency[@]}" measure --window "$window" --log "$log" --keys "$keys" ||
        echo "$program: measurement failed"
    kill "$terminal" 2>/dev/null || true
    wait "$terminal" 2>/dev/null || true
done
