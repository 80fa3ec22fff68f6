#!/usr/bin/env bash
# Runs the Linux and the Windows build of the tools on the same inputs, the Windows one
# under Wine, and requires the same bytes from both: for every input c6x_velm in TEXT,
# BINARY and -d (exit status, standard output, standard error and every file left in the
# run's directory), then velm_dump on each image written (listing and --json).
#
#   scripts/wine-compare.sh C6X_VELM VELM_DUMP C6X_VELM_EXE VELM_DUMP_EXE INPUT...
#
# WINE names the Wine loader (default /usr/lib/wine/wine64); start `wineserver -p` first,
# or each run waits for Wine's helpers.
set -euo pipefail
[ $# -ge 5 ] || {
    echo "usage: $0 C6X_VELM VELM_DUMP C6X_VELM_EXE VELM_DUMP_EXE INPUT..." >&2
    exit 2
}
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
declare -A tool=([linux.c6x_velm]=$(absolute "$1") [linux.velm_dump]=$(absolute "$2")
    [windows.c6x_velm]=$(absolute "$3") [windows.velm_dump]=$(absolute "$4"))
shift 4
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runs=0
differences=0

# run SIDE TOOL ARG...: runs in $work/SIDE, which holds the input as in.out.
run() {
    local side=$1 program=${tool[$1.$2]}
    shift 2
    local status=0
    if [ "$side" = linux ]; then
        (cd "$work/$side" && "$program" "$@") </dev/null >"$work/$side.out" \
            2>"$work/$side.err" || status=$?
    else
        (cd "$work/$side" && "$wine" "$program" "$@") </dev/null >"$work/$side.out" \
            2>"$work/$side.err" || status=$?
    fi
    echo "$status" >"$work/$side.status"
}

# compare LABEL PROGRAM ARG...: the same run on both sides, from the same directory state.
compare() {
    local label=$1
    shift
    for side in linux windows; do run "$side" "$@"; done
    runs=$((runs + 1))
    local what
    for what in status out err; do
        if ! cmp -s "$work/linux.$what" "$work/windows.$what"; then
            echo "DIFFERENT $what: $label" >&2
            differences=$((differences + 1))
        fi
    done
    if ! diff -r "$work/linux" "$work/windows" >/dev/null; then
        echo "DIFFERENT files: $label" >&2
        differences=$((differences + 1))
    fi
}

for input in "$@"; do
    for mode in "out.c" "out.bin -b" "-d"; do
        rm -rf "$work/linux" "$work/windows"
        mkdir "$work/linux" "$work/windows"
        cp "$input" "$work/linux/in.out"
        cp "$input" "$work/windows/in.out"
        # shellcheck disable=SC2086 # the mode is two words or one
        compare "c6x_velm $input $mode" c6x_velm in.out $mode
        image=${mode%% *}
        if [ -f "$work/linux/$image" ]; then
            compare "velm_dump $input $image" velm_dump "$image"
            compare "velm_dump --json $input $image" velm_dump --json "$image"
        fi
    done
done

echo "$runs runs compared, $differences difference(s)"
[ "$differences" -eq 0 ]
