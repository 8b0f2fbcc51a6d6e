#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one for
# SECONDS from its seed corpus in fuzz/corpus/NAME. Without SECONDS each target
# runs for its own default below, about four minutes for the whole stage;
# TARGET limits the run to one target (e.g. config_fuzz). New inputs go
# to build/fuzz/corpus-run/NAME, never into the repository's seeds. A crash
# leaves its input in build/fuzz/artifacts/ and makes this script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-}
only=${2:-}

# The emulator sees every byte a server sends: it gets the most time.
default_seconds() {
    case $1 in
    emulator_fuzz) echo 60 ;;
    *) echo 35 ;;
    esac
}

cmake --preset fuzz >/dev/null
targets=${only:-$(cd fuzz && ls *_fuzz.cpp | sed 's/\.cpp$//')}
# shellcheck disable=SC2086
cmake --build --preset fuzz -j "$(nproc)" --target $targets

mkdir -p build/fuzz/artifacts
for target in $targets; do
    name=${target%_fuzz}
    time=${seconds:-$(default_seconds "$target")}
    work=build/fuzz/corpus-run/$name
    mkdir -p "$work"
    echo "== fuzzing $target for ${time}s"
    log=build/fuzz/$name.log
    status=0
    build/fuzz/bin/"$target" -max_total_time="$time" -print_final_stats=1 \
        -artifact_prefix=build/fuzz/artifacts/"$name"- "$work" fuzz/corpus/"$name" >"$log" 2>&1 ||
        status=$?
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -40 "$log"
        echo "fuzz target $target failed (status $status)"
        exit 1
    fi
done
