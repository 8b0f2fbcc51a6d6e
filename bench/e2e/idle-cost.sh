#!/usr/bin/env bash
# What KESTRA costs while nothing happens: 1, 10 and 100 consoles connected to
# servers that never write, first with the frame not focused, then focused.
# For each, the CPU time and the voluntary context switches of the KESTRA
# process over a period, summed over its threads, per second: CPU time from
# /proc/PID/task/*/schedstat (nanoseconds; the utime and stime of .../stat
# count whole ticks of 10 ms, too coarse for an idle process), switches from
# /proc/PID/task/*/status.
#
#   bench/e2e/idle-cost.sh [options]
#     --build DIR        build tree with kestra (default build/default)
#     --consoles LIST    comma-separated console counts (default 1,10,100)
#     --seconds S        length of each period (default 30)
#     --blink MODE       the Properties' Blink: never, foreground (the
#                        default, animating while KESTRA is active) or always
#     --display :N       Xvfb display to use (default :64)
set -euo pipefail
# shellcheck source=bench/e2e/common.sh
source "$(dirname "$0")/common.sh"

build=build/default
counts=1,10,100
period=30
blink=foreground
display=:64
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$2 ;;
    --consoles) counts=$2 ;;
    --seconds) period=$2 ;;
    --blink) blink=$2 ;;
    --display) display=$2 ;;
    *) e2e_usage "$0" ;;
    esac
    shift 2
done
cd "$e2e_root"
build=$(realpath "$build")
IFS=, read -r -a count_list <<<"$counts"
case $blink in
never) blink_mode=0 ;;
foreground) blink_mode=1 ;;
always) blink_mode=2 ;;
*) e2e_usage "$0" ;;
esac
e2e_need xdotool xdotool || exit 2
e2e_need xwininfo x11-utils || exit 2
e2e_need_build kestra || exit 2
e2e_start

# sample PID: "CPU-ns voluntary-switches threads", summed over threads.
sample() {
    local task cpu=0 switches=0 threads=0 ran
    for task in /proc/"$1"/task/*; do
        read -r ran _ <"$task/schedstat" || continue
        cpu=$((cpu + ran))
        switches=$((switches + $(awk '/^voluntary_ctxt_switches/ { print $2 }' "$task/status")))
        threads=$((threads + 1))
    done
    echo "$cpu $switches $threads"
}

# The Properties every run starts with: the defaults but for Blink.
mkdir -p "$XDG_CONFIG_HOME/Marrow Data"
printf '[General]\nProperties=%d\n' "$blink_mode" >"$XDG_CONFIG_HOME/Marrow Data/KESTRA.conf"

echo "$(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg), $period s per period," \
    "blink $blink, display $display"
printf '%8s %-11s %12s %16s %8s\n' consoles frame 'CPU ms/s' 'vol. switches/s' threads
for count in "${count_list[@]}"; do
    pipes=$e2e_work/pipes$count
    { printf 'QuietMode = ON\n'; for n in $(seq "$count"); do echo "CON = IDLE$n"; done; } \
        >"$e2e_work/idle$count.cnf"
    "$e2e_python" "$e2e_here/idleservers.py" "$pipes" "$count" >"$e2e_work/servers.out" &
    servers=$!
    e2e_track "$servers"
    until grep -q ready "$e2e_work/servers.out"; do sleep 0.05; done
    KESTRA_PIPES=$pipes CNF=$e2e_root/data "$build/bin/kestra" /C:"$e2e_work/idle$count.cnf" \
        2>"$e2e_work/kestra.err" &
    kestra=$!
    e2e_track "$kestra"
    frame=$(timeout 30 xdotool search --sync --onlyvisible --name '^KESTRA \[' | head -1)
    "$e2e_python" "$e2e_here/xscreen.py" settle "$frame" --quiet 1000 >/dev/null
    for focus in "not focused" focused; do
        if [ "$focus" = focused ]; then target=$frame; else target=none; fi
        "$e2e_python" "$e2e_here/xscreen.py" focus "$target"
        sleep 2
        read -r cpu0 switches0 _ < <(sample "$kestra")
        start=$(e2e_now)
        sleep "$period"
        read -r cpu1 switches1 threads < <(sample "$kestra")
        seconds=$(awk "BEGIN { print $(e2e_now) - $start }")
        printf '%8d %-11s %12.2f %16.1f %8d\n' "$count" "$focus" \
            "$(awk "BEGIN { print ($cpu1 - $cpu0) / 1e6 / $seconds }")" \
            "$(awk "BEGIN { print ($switches1 - $switches0) / $seconds }")" "$threads"
    done
    kill "$kestra" "$servers"
    wait "$kestra" "$servers" 2>/dev/null || true
done
echo "CPU ms/s: milliseconds on a CPU per second; threads: at the end of the period"
