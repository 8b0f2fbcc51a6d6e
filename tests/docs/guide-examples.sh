#!/usr/bin/env bash
# Runs every example of the user guide and checks its result.
#
# Fenced blocks are marked by their info string:
#   kestra-cnf [NAME]      a configuration file, written as NAME (example.cnf)
#   kestra-termdef [NAME]  a terminal definition, written as NAME (VT100.CNF)
#   sh-run                 commands, run by bash in the directory of those files
#   output                 what the sh-run block before it prints (stdout and
#                          stderr together), exactly
#   sh-external            commands for other programs (QEMU, ser2net): not
#                          run, only checked to be valid shell
#   text-external          another program's file or a listing: not run
# Files live until the next heading; each heading starts an empty directory.
# An sh-run block without an output block must succeed. In sh-run blocks,
# `kestra` is kestra-check, which reads the same command line and opens the
# same connections without a window.
#
# The examples may rely on servers that the guide says are running: shells
# on the pipes PIPE1, PIPE2, UNIT0, UNIT1 and UNIT2 (kestra-serve NAME), on
# the sockets /run/user/1000/qemu/vm1.sock and vm2.sock, and on TCP port 7001
# of this machine. XDG_RUNTIME_DIR is a fresh directory that the guide's text
# writes as /run/user/1000; port 7001 is a free port of the system's choosing,
# so that two runs side by side never meet.
#
# It also checks that every message the program's sources report is listed
# in the guide, so a new message cannot go undocumented.
#
# Arguments: the build directory, the guide, the source directory.
set -uo pipefail
build=$(cd "$1" && pwd)
guide=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
source=$(cd "$3" && pwd)
work=$(mktemp -d)
servers=()
cleanup() {
    [ ${#servers[@]} -eq 0 ] || kill "${servers[@]}" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
unset KESTRA_PIPES KESTRA CNF
mkdir -p "$HOME" "$XDG_RUNTIME_DIR/qemu" "$work/path"
ln -s "$build/run/kestra-check" "$build/run/kestra-replay" "$build/bin/kestra-serve" "$work/path/"
export PATH=$work/path:$PATH

serve() {
    kestra-serve "$@" -- /bin/sh -c 'exec sleep 60' >"$work/serve-${#servers[@]}.out" &
    servers+=($!)
}
for name in PIPE1 PIPE2 UNIT0 UNIT1 UNIT2; do serve "$name"; done
serve "$XDG_RUNTIME_DIR/qemu/vm1.sock"
serve "$XDG_RUNTIME_DIR/qemu/vm2.sock"
tcp_out=$work/serve-${#servers[@]}.out
serve --tcp 127.0.0.1:0
for _ in $(seq 200); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1://p' "$tcp_out")
    [ -S "$XDG_RUNTIME_DIR/kestra-pipes/UNIT2" ] && [ -S "$XDG_RUNTIME_DIR/qemu/vm2.sock" ] &&
        [ -n "$port" ] && break
    sleep 0.05
done
for pid in "${servers[@]}"; do
    kill -0 "$pid" 2>/dev/null || { echo "a server the guide relies on did not start"; exit 1; }
done

# Split the guide into blocks: NNN.info (info string, line number), NNN.body;
# NNN.heading holds the number of headings before the block.
mkdir "$work/blocks"
awk -v out="$work/blocks" '
    /^#/ && !inside { headings++ }
    /^```/ {
        if (!inside) {
            inside = 1; n++; name = sprintf("%s/%03d", out, n)
            print substr($0, 4) > (name ".info"); print NR > (name ".line")
            print headings > (name ".heading"); printf "" > (name ".body")
        } else { inside = 0; close(name ".body") }
        next
    }
    inside { print > (name ".body") }
' "$guide"

failures=0
ran=0
fail() {
    echo "FAIL: guide line $line ($info): $1"
    failures=$((failures + 1))
}
# The guide writes the runtime directory as /run/user/1000 and the port as 7001.
localise() { sed "s|/run/user/1000|$XDG_RUNTIME_DIR|g; s|\b7001\b|$port|g" "$1"; }

heading=-1
pending_output=""
for info_file in "$work"/blocks/*.info; do
    block=${info_file%.info}
    info=$(cat "$info_file")
    line=$(cat "$block.line")
    read -r kind name <<<"$info"
    if [ "$(cat "$block.heading")" != "$heading" ]; then
        heading=$(cat "$block.heading")
        dir=$work/section-$heading
        mkdir -p "$dir"
    fi
    if [ "$kind" != output ] && [ -n "$pending_output" ]; then
        # The sh-run block before had no output block: it must succeed.
        [ "$(cat "$pending_output.status")" = 0 ] ||
            { info="sh-run"; fail "exit status $(cat "$pending_output.status"):"; cat "$pending_output.out"; }
        pending_output=""
    fi
    case $kind in
    kestra-cnf) localise "$block.body" >"$dir/${name:-example.cnf}" ;;
    kestra-termdef) localise "$block.body" >"$dir/${name:-VT100.CNF}" ;;
    sh-run)
        ran=$((ran + 1))
        { echo 'kestra() { kestra-check "$@"; }'
          echo "trap 'kill \$(jobs -p) 2>/dev/null' EXIT"
          localise "$block.body"; } >"$block.sh"
        (cd "$dir" && timeout 30 bash "$block.sh" >"$block.out" 2>&1)
        echo $? >"$block.status"
        pending_output=$block
        ;;
    output)
        if [ -z "$pending_output" ]; then
            fail "an output block must follow an sh-run block"
            continue
        fi
        if ! diff -u <(localise "$block.body") "$pending_output.out" >"$block.diff"; then
            fail "the commands print something else:"
            cat "$block.diff"
        fi
        pending_output=""
        ;;
    sh-external) bash -n "$block.body" 2>"$block.err" || { fail "not valid shell:"; cat "$block.err"; } ;;
    text-external) ;;
    *) fail "unmarked example: give it one of the info strings this test knows" ;;
    esac
done
if [ -n "$pending_output" ] && [ "$(cat "$pending_output.status")" != 0 ]; then
    fail "the last sh-run block failed:"
    cat "$pending_output.out"
fi

# Messages: the format strings handed to the reporting routines, with C
# escapes undone; bare formats such as "%s[%s]" are no messages of their own.
line=- info=messages
while IFS= read -r message; do
    grep -qF -- "$message" "$guide" || fail "the guide does not list \"$message\""
done < <(cd "$source" && grep -ohE \
    '(Fatal|ConfigError|LexerError|Fail|ShowHelp|ReadBytes|ReadDelay|snprintf)\([^"]*"([^"\\]|\\.)*"' \
    config/*.cpp console/*.cpp termdef/*.cpp platform/*.cpp shell/*.cpp |
    sed -E 's/^[^"]*"//; s/"$//; s/\\\\/\\/g' | grep '[A-Za-z]\{3\}' | grep -v '^%s\\n%s$' | sort -u)

[ $ran -gt 0 ] || fail "no examples found"
[ $failures = 0 ] && echo "$ran guide examples ran as the guide says"
exit $((failures > 0))
