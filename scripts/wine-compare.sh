#!/usr/bin/env bash
# Runs the Linux and the Windows build of the tools on the same inputs, the Windows one
# under Wine, and requires the same bytes from both: for every input c6x_velm in TEXT,
# BINARY and -d (exit status, standard output, standard error and every file left in the
# run's directory), then velm_dump on each image written (listing and --json).
#
#   scripts/wine-compare.sh C6X_VELM VELM_DUMP C6X_VELM_EXE VELM_DUMP_EXE INPUT...
#
# WINE names the Wine loader (default /usr/lib/wine/wine64); start `wineserver -p` first,
# or each run waits for Wine's helpers. Wine runs without address-space randomisation, as
# in the cross build's tests (see cmake/wine-run.sh): with it, about one process start in
# 4000 fails before the program runs.
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
fixed=
if setarch "$(uname -m)" -R true 2>/dev/null; then fixed="setarch $(uname -m) -R"; fi
export WINEDEBUG=${WINEDEBUG:--all}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runs=0
differences=0

# attempt DIR FILES TOOL ARG...: runs TOOL on both sides, each in its own new directory
# under DIR holding copies of FILES (a ':'-separated list), and prints what differs.
attempt() {
    local dir=$1 files=$2 name=$3
    shift 3
    local side file status
    for side in linux windows; do
        mkdir -p "$dir/$side"
        IFS=: read -ra list <<<"$files"
        for file in "${list[@]}"; do cp "$file" "$dir/$side/"; done
        status=0
        if [ "$side" = linux ]; then
            (cd "$dir/$side" && "${tool[$side.$name]}" "$@") </dev/null >"$dir/$side.out" \
                2>"$dir/$side.err" || status=$?
        else
            (cd "$dir/$side" && $fixed "$wine" "${tool[$side.$name]}" "$@") </dev/null \
                >"$dir/$side.out" 2>"$dir/$side.err" || status=$?
        fi
        echo "$status" >"$dir/$side.status"
    done
    local what
    for what in status out err; do
        cmp -s "$dir/linux.$what" "$dir/windows.$what" || echo "  different $what"
    done
    diff -r "$dir/linux" "$dir/windows" >/dev/null || echo "  different files"
    if ! cmp -s "$dir/linux.status" "$dir/windows.status"; then
        echo "  exit status: Linux $(cat "$dir/linux.status"), Windows" \
            "$(cat "$dir/windows.status"); Windows standard output (last lines) and error:"
        tr '\r' '\n' <"$dir/windows.out" | grep -v '^ *$' | tail -3 | sed 's/^/    /'
        head -c 1000 "$dir/windows.err" | sed 's/^/    /'
    fi
}

# compare LABEL FILES TOOL ARG...
compare() {
    local label=$1
    shift
    runs=$((runs + 1))
    local found
    found=$(attempt "$work/$runs.a" "$@")
    [ -z "$found" ] && return 0
    echo "DIFFERENT: $label" >&2
    echo "$found" >&2
    differences=$((differences + 1))
}

for input in "$@"; do
    for mode in "out.c" "out.bin -b" "-d"; do
        # shellcheck disable=SC2086 # the mode is two words or one
        compare "c6x_velm $input $mode" "$input" c6x_velm "$(basename "$input")" $mode
        image=${mode%% *}
        made="$work/$runs.a/linux/$image"
        if [ -f "$made" ]; then
            mkdir "$work/$runs.image"
            cp "$made" "$work/$runs.image/"
            made="$work/$runs.image/$image"
            compare "velm_dump $input $image" "$made" velm_dump "$image"
            compare "velm_dump --json $input $image" "$made" velm_dump --json "$image"
        fi
    done
done

echo "$runs runs compared, $differences difference(s)"
[ "$differences" -eq 0 ]
