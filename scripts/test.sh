#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds KESTRA and runs the whole test suite:
# the optimised build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short run of every fuzz target
# (KESTRA_FUZZ_SECONDS each; by default each target's own time, about four
# minutes in all). KESTRA_QUICK=1 skips the sanitizer
# and fuzz passes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

jobs=$(nproc)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs" --output-on-failure

if [ "${KESTRA_QUICK:-0}" != 1 ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan -j "$jobs" --output-on-failure
    bash scripts/fuzz.sh "${KESTRA_FUZZ_SECONDS:-}"
fi
