#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds KESTRA and runs it on a demo: two
# consoles, each a shell served by kestra-serve. Closing KESTRA ends the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target kestra kestra-serve

KESTRA_PIPES=$(mktemp -d "${TMPDIR:-/tmp}/kestra-demo.XXXXXX")
export KESTRA_PIPES
servers=()
cleanup() {
    for pid in "${servers[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$KESTRA_PIPES"
}
trap cleanup EXIT

for name in DEMO1 DEMO2; do
    build/default/bin/kestra-serve --term vt102 "$name" -- "${SHELL:-/bin/sh}" -i >/dev/null &
    servers+=($!)
done
# Wait until both sockets listen.
for _ in $(seq 100); do
    [ -S "$KESTRA_PIPES/DEMO1" ] && [ -S "$KESTRA_PIPES/DEMO2" ] && break
    sleep 0.05
done

# The terminal definition is found through CNF, the configuration beside it.
CNF="$PWD/data${CNF:+:$CNF}" build/default/bin/kestra /C:"$PWD/data/demo.cnf" "$@"
