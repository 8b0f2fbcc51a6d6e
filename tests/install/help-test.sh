#!/usr/bin/env bash
# The helper programs answer --help and --version as GNU programs do, and
# refuse a bad argument on standard error with a pointer to --help.
# Arguments: the directory holding the programs, the project version.
set -euo pipefail
bin=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

# run PROGRAM ARGS...: sets status, out and err.
run() {
    status=0
    "$bin/$1" "${@:2}" >out 2>err </dev/null || status=$?
    out=$(cat out)
    err=$(cat err)
}

expect() { # description, condition
    if ! eval "$2"; then
        echo "FAIL: $1"
        echo "  status $status; stdout: ${out:0:200}"
        echo "  stderr: ${err:0:200}"
        failures=$((failures + 1))
    fi
}

# program | bad argument | status for it | text the error must hold
while IFS='|' read -r program bad bad_status bad_text; do
    run "$program" --help
    expect "$program --help" '[ $status = 0 ] && [[ $out == "Usage: $program "* ]] && [ -z "$err" ]'
    run "$program" --version
    expect "$program --version" '[ $status = 0 ] && [ "$out" = "$program $version" ] && [ -z "$err" ]'
    run "$program" $bad
    expect "$program $bad" '[ $status = "$bad_status" ] && [ -z "$out" ] && [[ $err == *"$bad_text"* ]]'
done <<'TABLE'
kestra-replay|--rows 1|2|Try 'kestra-replay --help' for more information.
kestra-replay|--frobnicate|2|Try 'kestra-replay --help' for more information.
kestra-serve|--tcp|2|Try 'kestra-serve --help' for more information.
kestra-serve|a b|2|Try 'kestra-serve --help' for more information.
kestra-check|/X|255|Invalid command line option: /X
TABLE

# --help wins wherever it stands, even after kestra's own switches.
run kestra-check /C:missing.cnf --help
expect "kestra-check /C:missing.cnf --help" '[ $status = 0 ] && [[ $out == "Usage: kestra-check "* ]]'
# kestra's own help stays kestra's: /H shows it and fails, as kestra does.
run kestra-check /H
expect "kestra-check /H" '[ $status = 255 ] && [[ $err == *"Command line: KESTRA [Commands] [Options]"* ]]'

[ $failures = 0 ] && echo "help and version answered"
exit $((failures > 0))
