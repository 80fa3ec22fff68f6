# shellcheck shell=bash disable=SC2154 # $repo and $build come from the sourcing script
# Sourced by the benchmark scripts: checks the programs they need, builds the release
# tools and the input writers, and makes the data directory.
#
#   bench_setup NAME "PROGRAM..." TARGET...
#
# Needs $repo and $build; sets $data: VELM_BENCH_DATA when given, else a fresh directory
# NAME.XXXXXX in /dev/shm (in the build directory where there is none), removed at exit.
bench_setup() {
    local name=$1 programs=$2 tool
    shift 2
    for tool in cmake g++ python3 /usr/bin/time $programs; do
        command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
    done

    cmake -S "$repo" -B "$build/release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build/release" --target "$@" -j2 >/dev/null
    cmake -S "$repo/bench" -B "$build/tools" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build/tools" -j2 >/dev/null

    if [ -n "${VELM_BENCH_DATA:-}" ]; then
        data=$VELM_BENCH_DATA
        mkdir -p "$data"
    else
        local base=/dev/shm
        [ -d "$base" ] && [ -w "$base" ] || base=$build
        data=$(mktemp -d "$base/$name.XXXXXX")
        trap 'rm -rf "$data"' EXIT
    fi
    echo "data: $data ($(df --output=fstype "$data" | tail -1))"
}
