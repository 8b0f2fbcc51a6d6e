#!/usr/bin/env bash
# How fast a console shows what its server writes, end to end: kestra-serve
# runs `cat` of an 8 MiB text file for the one console of a KESTRA under Xvfb.
# When cat ends the server closes the connection; the reader has then handed
# every byte to the emulator and the window has painted them, and KESTRA
# reports "The server for pipe ... has shut down" - the end marker. The same
# run with an empty file gives the start-up time, which is subtracted.
#
#   bench/e2e/cat-rate.sh [BUILD_DIR] [RUNS]      (default build/default, 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build/default}")
runs=${2:-3}
for program in kestra kestra-serve write_stream; do
    [ -x "$build/bin/$program" ] || { echo "build $program first (cmake --build $build)"; exit 2; }
done

work=$(mktemp -d)
# KESTRA_BENCH_DISPLAY chooses the X display, for machines where displays are shared out.
display=${KESTRA_BENCH_DISPLAY:-:$((90 + RANDOM % 9))}
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    pkill -f "kestra-serve.*$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display KESTRA_PIPES=$work/pipes HOME=$work
sleep 1

"$build/bin/write_stream" plain >"$work/text"
: >"$work/empty"
printf 'QuietMode = ON\nCON = CAT\n' >"$work/cat.cnf"

# Seconds from starting KESTRA until it reports the server gone.
run_once() {
    local file=$1
    "$build/bin/kestra-serve" --once "$work/pipes/CAT" -- cat "$file" >/dev/null 2>&1 &
    for _ in $(seq 200); do [ -S "$work/pipes/CAT" ] && break; sleep 0.01; done
    local start end
    start=$(date +%s.%N)
    CNF="$PWD/data" "$build/bin/kestra" /C:"$work/cat.cnf" 2>"$work/stderr" &
    local kestra=$!
    until grep -q 'has shut down' "$work/stderr" 2>/dev/null; do
        kill -0 "$kestra" 2>/dev/null || { cat "$work/stderr"; exit 1; }
        sleep 0.005
    done
    end=$(date +%s.%N)
    kill "$kestra" 2>/dev/null || true
    wait "$kestra" 2>/dev/null || true
    awk "BEGIN { print $end - $start }"
}

bytes=$(stat -c %s "$work/text")
printf 'run  start-up s  with text s  MB/s\n'
for run in $(seq "$runs"); do
    base=$(run_once "$work/empty")
    full=$(run_once "$work/text")
    rate=$(awk "BEGIN { print $bytes / ($full - $base) / 1000000 }")
    printf '%3d  %10.3f  %11.3f  %5.2f\n' "$run" "$base" "$full" "$rate"
done
