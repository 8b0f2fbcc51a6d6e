#!/usr/bin/env bash
# End-to-end throughput of KESTRA against other terminals: how many bytes per
# second each one takes from `cat FILE` on a 24x80 pseudo-terminal to the
# screen, for each of the five benchmark streams (write_stream), in the same
# run and the same way.
#
#   bench/e2e/throughput.sh [options]
#     --build DIR        build tree with kestra, kestra-serve, write_stream
#                        (default build/default)
#     --runs N           runs per program and stream (default 3)
#     --bytes N          bytes of each stream, e.g. 1M for a quick check of
#                        kestra and xterm (default 8M, the whole stream);
#                        stterm and tmux need the whole stream to stand out
#                        of their start-up time ("noise" when they do not)
#     --streams LIST     comma-separated (default plain,sgr,addressing,region,linesizes)
#     --programs LIST    comma-separated (default kestra,xterm,stterm,tmux)
#     --timeout S        longest run of any program, in seconds (default 120);
#                        a longer one is reported as "timeout"
#     --display :N       Xvfb display to use (default :60)
#
# Every program runs `cat FILE` on a pseudo-terminal with the same line
# settings, so each sees the same bytes:
#   kestra   one console (24x80) whose pipe is served by `kestra-serve --once
#            SOCKET -- cat FILE`. When cat ends, the server waits until the
#            terminal has been quiet for a moment, closes the connection, and
#            KESTRA reports "The server for pipe ... has shut down". By then
#            the reader has run dry and the window has painted what it
#            collected, so that report is the end of the run.
#   xterm    xterm -geometry 80x24 -e cat FILE; the end is xterm's exit.
#   stterm   stterm -g 80x24 -e cat FILE; the end is its exit.
#   tmux     a tmux client attached to a new 80x24 session running cat, on a
#            24x80 pseudo-terminal that ptyrun.py drains as fast as tmux
#            writes; the end is the client's exit when the session ends.
#            tmux draws into a terminal rather than a window, so this is
#            tmux's parsing and redrawing with a terminal that costs nothing;
#            a detached session would skip the redrawing, and tmux inside an
#            X terminal would measure that terminal as well.
# Each run also shows an empty file; the median of those times (the
# program's start-up and shut-down, and the server's quiet wait) is
# subtracted: MB/s = bytes / (time with FILE - time with an empty file) / 10^6.
# Runs alternate programs and streams, so a change in the machine's load
# spreads over all of them.
set -euo pipefail
# shellcheck source=bench/e2e/common.sh
source "$(dirname "$0")/common.sh"

build=build/default
runs=3
bytes_text=8M
streams=plain,sgr,addressing,region,linesizes
programs=kestra,xterm,stterm,tmux
limit=120
display=:60
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$2 ;;
    --runs) runs=$2 ;;
    --bytes) bytes_text=$2 ;;
    --streams) streams=$2 ;;
    --programs) programs=$2 ;;
    --timeout) limit=$2 ;;
    --display) display=$2 ;;
    *) e2e_usage "$0" ;;
    esac
    shift 2
done
cd "$e2e_root"
build=$(realpath "$build")
bytes=$(e2e_bytes "$bytes_text")
IFS=, read -r -a stream_list <<<"$streams"
IFS=, read -r -a program_list <<<"$programs"

e2e_need_build write_stream || exit 2
for program in "${program_list[@]}"; do
    case $program in
    kestra) e2e_need_build kestra kestra-serve || exit 2 ;;
    xterm) e2e_need xterm xterm || exit 2 ;;
    stterm) e2e_need stterm stterm || exit 2 ;;
    tmux) e2e_need tmux tmux && e2e_need "$e2e_python" python3 || exit 2 ;;
    *) echo "unknown program $program (kestra, xterm, stterm, tmux)" >&2; exit 2 ;;
    esac
done
e2e_start

for stream in "${stream_list[@]}"; do
    "$build/bin/write_stream" "$stream" >"$e2e_work/$stream"
    [ "$(stat -c %s "$e2e_work/$stream")" -gt "$bytes" ] && truncate -s "$bytes" "$e2e_work/$stream"
done
: >"$e2e_work/empty"
printf 'QuietMode = ON\nCON = CAT\n' >"$e2e_work/cat.cnf"
printf 'set -g status off\n' >"$e2e_work/tmux.conf"

# run_PROGRAM FILE: prints the seconds that the program took to show FILE,
# "timeout" or "failed".

run_kestra() {
    local socket=$KESTRA_PIPES/CAT server kestra start end status=0
    rm -f "$socket" "$e2e_work/stderr" "$e2e_work/stderr.fifo"
    mkfifo "$e2e_work/stderr.fifo"
    "$build/bin/kestra-serve" --once "$socket" -- cat "$1" >/dev/null 2>&1 &
    server=$!
    e2e_wait_socket "$socket" || { kill "$server"; echo failed; return; }
    start=$(e2e_now)
    CNF=$e2e_root/data "$build/bin/kestra" /C:"$e2e_work/cat.cnf" 2>"$e2e_work/stderr.fifo" &
    kestra=$!
    # A blocking read of its standard error: a loop that polled a file would
    # take CPU time from the run it measures. (mawk would wait for a full
    # block of input before it looked at the line.)
    local line
    status=1
    while IFS= read -r -t "$limit" line; do
        printf '%s\n' "$line" >>"$e2e_work/stderr"
        if [[ $line == *"has shut down"* ]]; then
            status=0
            break
        fi
    done <"$e2e_work/stderr.fifo"
    end=$(e2e_now)
    [ "$status" -ne 0 ] && awk "BEGIN { exit !($end - $start >= $limit) }" && status=124
    kill "$kestra" "$server" 2>/dev/null || true
    wait "$kestra" "$server" 2>/dev/null || true
    if [ "$status" -eq 0 ]; then
        awk "BEGIN { print $end - $start }"
    elif [ "$status" -eq 124 ]; then
        echo timeout
    else
        sed 's/^/  kestra: /' "$e2e_work/stderr" >&2
        echo failed
    fi
}

# Runs a command that ends by itself once it has shown FILE. A status other
# than 0 is a failure unless its message matches $normal_end.
normal_end='^$'
run_until_exit() {
    local start end status=0
    start=$(e2e_now)
    timeout "$limit" "$@" >/dev/null 2>"$e2e_work/stderr" || status=$?
    end=$(e2e_now)
    if [ "$status" -eq 124 ]; then
        echo timeout
    elif [ "$status" -eq 0 ] || grep -q "$normal_end" "$e2e_work/stderr"; then
        awk "BEGIN { print $end - $start }"
    else
        sed "s/^/  $1: /" "$e2e_work/stderr" >&2
        echo failed
    fi
}

run_xterm() { run_until_exit xterm -geometry 80x24 -e cat "$1"; }
# st ends with status 1 and this message when its command has ended.
run_stterm() { normal_end="couldn't read from shell" run_until_exit stterm -g 80x24 -e cat "$1"; }
run_tmux() {
    TERM=xterm run_until_exit "$e2e_python" "$e2e_here/ptyrun.py" 24 80 -- \
        tmux -L "kestra-bench-$$" -f "$e2e_work/tmux.conf" new-session -x 80 -y 24 "cat '$1'"
}

# rate FILE_SECONDS EMPTY_SECONDS: MB/s, or the failure; "noise" when the
# file took no longer than the empty one: too few bytes for this program.
rate() {
    case $1 in timeout | failed) echo "$1"; return ;; esac
    case $2 in timeout | failed) echo "$2"; return ;; esac
    awk "BEGIN { d = $1 - $2; if (d <= 0) print \"noise\"; else printf \"%.3f\", $bytes / d / 1e6 }"
}

declare -A seconds # [program,stream] = seconds of each run, space-separated
bytes=$(stat -c %s "$e2e_work/${stream_list[0]}")
echo "$(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg), $bytes bytes per stream," \
    "$runs runs, display $display"
for run in $(seq "$runs"); do
    for program in "${program_list[@]}"; do
        for stream in empty "${stream_list[@]}"; do
            took=$("run_$program" "$e2e_work/$stream")
            seconds[$program,$stream]+="$took "
            printf 'run %d  %-7s %-11s %s s\n' "$run" "$program" "$stream" "$took" >&2
        done
    done
done

# Rates against the median start-up of each program, which is steadier than
# the one run beside each stream on a busy machine.
declare -A rates # [program,stream] = MB/s of each run, space-separated
for program in "${program_list[@]}"; do
    empties=()
    for took in ${seconds[$program,empty]}; do
        [[ $took =~ ^[0-9.]+$ ]] && empties+=("$took")
    done
    empty=$(e2e_median "${empties[@]}")
    [ "$empty" = - ] && empty=failed
    echo "$program: start-up and shut-down $empty s (median of: ${seconds[$program,empty]})"
    for stream in "${stream_list[@]}"; do
        for took in ${seconds[$program,$stream]}; do
            rates[$program,$stream]+="$(rate "$took" "$empty") "
        done
    done
done

# The median of a program's runs on a stream, and the spread as min-max.
# A stream that timed out or failed in any run shows how.
median_of() {
    local values=() value
    for value in ${rates[$1,$2]}; do
        case $value in timeout | failed | noise) echo "$value"; return ;; esac
        values+=("$value")
    done
    e2e_median "${values[@]}"
}
spread_of() {
    tr ' ' '\n' <<<"${rates[$1,$2]}" | grep -v -e '^$' -e timeout -e failed -e noise | sort -g |
        awk 'NR == 1 { low = $1 } { high = $1 } END { if (NR) printf "%s-%s", low, high; else print "-" }'
}

# KESTRA's rate over each peer's, when KESTRA ran.
peers=()
if [[ " ${program_list[*]} " == *" kestra "* ]]; then
    for program in "${program_list[@]}"; do
        [ "$program" = kestra ] || peers+=("$program")
    done
fi
echo
printf '%-11s' stream
for program in "${program_list[@]}"; do printf ' %22s' "$program MB/s"; done
for program in "${peers[@]}"; do printf ' %14s' "kestra/$program"; done
echo
for stream in "${stream_list[@]}"; do
    printf '%-11s' "$stream"
    for program in "${program_list[@]}"; do
        printf ' %22s' "$(median_of "$program" "$stream") ($(spread_of "$program" "$stream"))"
    done
    for program in "${peers[@]}"; do
        ours=$(median_of kestra "$stream")
        theirs=$(median_of "$program" "$stream")
        if [[ $ours =~ ^[0-9.]+$ && $theirs =~ ^[0-9.]+$ ]]; then
            printf ' %14s' "$(awk "BEGIN { printf \"%.3fx\", $ours / $theirs }")"
        else
            printf ' %14s' -
        fi
    done
    echo
done
echo "MB/s: median of $runs runs (lowest-highest), 1 MB = 10^6 bytes"
