# shellcheck shell=bash disable=SC2034,SC2154
# Shared by the end-to-end scripts (sourced, not run): a private Xvfb, a
# scratch directory, clean-up of every process a script starts, and the
# checks that name the package to install when a program is missing.
#
# A script sets `build` and `display` before `e2e_start`, and registers each
# background process it starts with `e2e_track PID`.

e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
e2e_here=$e2e_root/bench/e2e
e2e_pids=()
# The system's Python, not a version manager's shim: a shim adds a second or
# more to every start, which would swamp the start-up being measured.
e2e_python=$(command -v /usr/bin/python3 || command -v python3 || echo python3)

e2e_track() { e2e_pids+=("$1"); }

e2e_cleanup() {
    local pid
    for pid in "${e2e_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    [ -n "${e2e_work:-}" ] && rm -rf "$e2e_work"
    return 0
}

# e2e_usage SCRIPT: prints the script's header comment (its usage) and exits 2.
e2e_usage() {
    sed -n '2,/^set -/p' "$1" | sed 's/^# \{0,1\}//;$d' >&2
    exit 2
}

# e2e_need PROGRAM PACKAGE: fails with the package to install.
e2e_need() {
    command -v "$1" >/dev/null 2>&1 && return 0
    echo "$1 is missing: apt-get install $2" >&2
    return 1
}

e2e_need_build() {
    local program
    for program in "$@"; do
        [ -x "$build/bin/$program" ] || {
            echo "build $program first: cmake --preset default &&" \
                "cmake --build $build -j2 --target $*" >&2
            return 1
        }
    done
}

# Starts Xvfb on $display (a display number this user may use) and makes the
# scratch directory: $e2e_work, with KESTRA's pipes, Properties and settings
# inside it so no run sees another's.
e2e_start() {
    e2e_need Xvfb xvfb || exit 2
    e2e_work=$(mktemp -d /tmp/kestra-e2e.XXXXXX)
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    if [ -e "/tmp/.X11-unix/X${display#:}" ]; then
        echo "display $display is in use; choose another with --display" >&2
        exit 2
    fi
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$e2e_work/xvfb.log" 2>&1 &
    e2e_track $!
    export DISPLAY=$display KESTRA_PIPES=$e2e_work/pipes HOME=$e2e_work
    export XDG_RUNTIME_DIR=$e2e_work/runtime XDG_CONFIG_HOME=$e2e_work/config
    mkdir -p "$KESTRA_PIPES" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
    chmod 700 "$KESTRA_PIPES" "$XDG_RUNTIME_DIR" # KESTRA uses no pipe directory others may use
    local _
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && return 0
        sleep 0.05
    done
    echo "Xvfb did not start on $display:" >&2
    cat "$e2e_work/xvfb.log" >&2
    exit 1
}

# Seconds since the epoch, with nanoseconds.
e2e_now() { date +%s.%N; }

# e2e_wait_socket PATH: until a server listens there (at most 5 s).
e2e_wait_socket() {
    local _
    for _ in $(seq 500); do
        [ -S "$1" ] && return 0
        sleep 0.01
    done
    echo "no server appeared at $1" >&2
    return 1
}

# e2e_bytes TEXT: a byte count from 1048576, 1024K, 1M or 8MiB.
e2e_bytes() {
    local text=${1%iB} number unit
    number=${text%[KkMm]}
    unit=${text#"$number"}
    [[ $number =~ ^[0-9]+$ ]] || { echo "not a byte count: $1" >&2; return 1; }
    case $unit in
    '') echo "$number" ;;
    K | k) echo $((number * 1024)) ;;
    M | m) echo $((number * 1048576)) ;;
    esac
}

# e2e_median VALUES...: the median of numbers (the lower middle one for an
# even count), or "-" when there are none.
e2e_median() {
    [ $# -eq 0 ] && { echo -; return; }
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
