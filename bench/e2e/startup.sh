#!/usr/bin/env bash
# Start-up of KESTRA with many consoles: one configuration file with
# `QuietMode = ON` and a CON command per console, each pipe served by a
# server that greets with one reverse-video line when its console connects.
# Times are from the exec of kestra to:
#   mapped     the frame window is on the screen (xdotool search --sync);
#   connected  every server has accepted its console's connection;
#   painted    the frame's last change on the screen, read until nothing
#              has changed for a second (xscreen.py settle): every console
#              window is created, and what of it is visible is painted with
#              its greeting.
# Then the resident memory (VmRSS, and its peak VmHWM) of the process.
# The console windows overlap inside the frame, so most of them are hidden
# and have nothing to paint; a hidden console is painted when it is raised.
#
#   bench/e2e/startup.sh [options]
#     --build DIR        build tree with kestra (default build/default)
#     --consoles N       number of consoles (default 100)
#     --runs N           runs (default 3)
#     --display :N       Xvfb display to use (default :66)
set -euo pipefail
# shellcheck source=bench/e2e/common.sh
source "$(dirname "$0")/common.sh"

build=build/default
count=100
runs=3
display=:66
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$2 ;;
    --consoles) count=$2 ;;
    --runs) runs=$2 ;;
    --display) display=$2 ;;
    *) e2e_usage "$0" ;;
    esac
    shift 2
done
cd "$e2e_root"
build=$(realpath "$build")
e2e_need xdotool xdotool || exit 2
e2e_need xwininfo x11-utils || exit 2
e2e_need_build kestra || exit 2
e2e_start

{ printf 'QuietMode = ON\n'; for n in $(seq "$count"); do echo "CON = IDLE$n"; done; } \
    >"$e2e_work/many.cnf"
seconds_since() { awk "BEGIN { printf \"%.3f\", ($2 - $1) / 1e9 }"; }

echo "$(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg), $count consoles," \
    "display $display"
printf '%4s %10s %12s %10s %12s %12s\n' run 'mapped s' 'connected s' 'painted s' 'VmRSS kB' 'VmHWM kB'
declare -a mapped connected painted rss
for run in $(seq "$runs"); do
    rm -rf "${e2e_work:?}/home"
    mkdir -p "$e2e_work/home"
    # The servers' lines come through a FIFO and are waited for with blocking
    # reads: a loop that polled a file would take CPU time from the start-up
    # it measures.
    rm -f "$e2e_work/servers.fifo"
    mkfifo "$e2e_work/servers.fifo"
    "$e2e_python" "$e2e_here/idleservers.py" "$KESTRA_PIPES" "$count" --greet \
        >"$e2e_work/servers.fifo" &
    servers=$!
    e2e_track "$servers"
    exec 3<"$e2e_work/servers.fifo"
    while read -r -u 3 line && [ "$line" != ready ]; do :; done
    start=$(date +%s%N)
    HOME=$e2e_work/home CNF=$e2e_root/data "$build/bin/kestra" /C:"$e2e_work/many.cnf" \
        2>"$e2e_work/kestra.err" &
    kestra=$!
    e2e_track "$kestra"
    frame=$(timeout 60 xdotool search --sync --onlyvisible --name '^KESTRA \[' | head -1)
    at_map=$(date +%s%N)
    idle=0
    while [ "$idle" -lt "$count" ] && read -r -u 3 -t 60 line; do
        [[ $line == IDLE* ]] && idle=$((idle + 1))
    done
    [ "$idle" -ge "$count" ] || { cat "$e2e_work/kestra.err"; exit 1; }
    at_connect=$(date +%s%N)
    at_paint=$("$e2e_python" "$e2e_here/xscreen.py" settle "$frame" --quiet 1000)
    mapped+=("$(seconds_since "$start" "$at_map")")
    connected+=("$(seconds_since "$start" "$at_connect")")
    painted+=("$(seconds_since "$start" "$at_paint")")
    rss+=("$(awk '/^VmRSS/ { print $2 }' "/proc/$kestra/status")")
    printf '%4d %10s %12s %10s %12s %12s\n' "$run" "${mapped[-1]}" "${connected[-1]}" \
        "${painted[-1]}" "${rss[-1]}" "$(awk '/^VmHWM/ { print $2 }' "/proc/$kestra/status")"
    kill "$kestra" "$servers"
    exec 3<&-
    wait "$kestra" "$servers" 2>/dev/null || true
done
printf '%4s %10s %12s %10s %12s\n' median "$(e2e_median "${mapped[@]}")" \
    "$(e2e_median "${connected[@]}")" "$(e2e_median "${painted[@]}")" "$(e2e_median "${rss[@]}")"
