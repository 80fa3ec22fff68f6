#!/usr/bin/env bash
# The benchmark: builds the release tool and the helpers, writes the input set with the
# test-support COFF and ELF builders, then times every input in every mode, counts each
# run's instructions with callgrind, and prints both tables with their targets.
#
#   bench/run.sh
#
# Environment: VELM_BENCH_DIR (build directory, default build-bench/), VELM_BENCH_DATA
# (where inputs and outputs go, default a fresh directory in /dev/shm, removed at the
# end), RUNS (timed runs per command, default 11, at least 5), VELM_BENCH_CALLGRIND=0 to
# skip the instruction counts (they need valgrind and take about a minute).
#
# The data live in memory by default so that the numbers are the tool's own cost and
# the copy it is compared with is the cost of moving the bytes, not the disk's
# write-back. Wall times move with the machine's load; the instruction counts do not, and
# are the pass/fail line. Exits 1 when a target is missed. Takes one to two minutes; not
# part of CI.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${VELM_BENCH_DIR:-$repo/build-bench}
runs=${RUNS:-11}

# shellcheck source=bench/setup.sh
source "$repo/bench/setup.sh"
bench_setup c6x_velm_bench "cc /usr/bin/xxd" c6x_velm

"$build/tools/make_inputs" "$data"
callgrind=()
if [ "${VELM_BENCH_CALLGRIND:-1}" = 0 ]; then
    callgrind=(--no-callgrind)
elif ! command -v valgrind >/dev/null; then
    echo "bench: valgrind not found, instructions not counted" >&2
fi
python3 "$repo/bench/measure.py" --tool "$build/release/c6x_velm" \
    --fprintf "$build/tools/fprintf_words" --io-floor "$build/tools/io_floor" --data "$data" \
    --runs "$runs" "${callgrind[@]}"
