#!/usr/bin/env bash
# velm_dump's benchmark on large images: builds the release tools, writes the images and
# prints the table of times and peak memory for --check, the listing, --json and --diff.
#
#   bench/run_dump.sh
#
# The images, about 7 GB in all, go to a fresh directory in /dev/shm (VELM_BENCH_DATA=DIR
# for another place; the directory is removed at the end unless it was given):
#   big.bin   a 1 GiB BINARY image, c6x_velm -b of an ELF program of 1,024 sections of
#             1 MiB; big2.bin the same program with one byte changed
#   mid.c     a 2 GiB TEXT image, c6x_velm of an ELF program of 555 sections of 1 MiB;
#             mid2.c the same with one byte changed
#   cinit.bin the BINARY image of bench input (b), a .cinit table of 349,515 entries:
#             the most records c6x_velm writes; cinit2.bin a copy
#   many.bin  a BINARY image of ten million 4-byte cinit records (160 MB): the memory
#             that grows with the records, at its largest; many2.bin a copy
#
# Environment: VELM_BENCH_DIR (build directory, default build-bench/), RUNS (timed runs
# per command after a warm-up, default 3). Exits 1 when a target is missed. Takes about
# ten minutes; not part of CI.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${VELM_BENCH_DIR:-$repo/build-bench}
runs=${RUNS:-3}

# shellcheck source=bench/setup.sh
source "$repo/bench/setup.sh"
bench_setup velm_dump_bench "" c6x_velm velm_dump

convert() {  # convert NAME MIB SECTIONS [changed] OUTPUT [-b]
    local name=$1 mib=$2 sections=$3 changed=$4 out=$5
    shift 5
    # shellcheck disable=SC2086 # "changed" or nothing
    "$build/tools/make_inputs" --elf "$data/$name.out" "$mib" "$sections" $changed
    "$build/release/c6x_velm" "$data/$name.out" "$data/$out" "$@" >/dev/null
    rm "$data/$name.out"
}
convert big 1024 1024 "" big.bin -b
convert big2 1024 1024 changed big2.bin -b
convert mid 555 555 "" mid.c
convert mid2 555 555 changed mid2.c
"$build/tools/make_inputs" "$data"
"$build/release/c6x_velm" "$data/cinit.out" "$data/cinit.bin" -b >/dev/null
rm "$data"/*.out "$data/text.section"
cp "$data/cinit.bin" "$data/cinit2.bin"
python3 "$repo/bench/measure_dump.py" --write-many "$data/many.bin"
cp "$data/many.bin" "$data/many2.bin"

python3 "$repo/bench/measure_dump.py" --tool "$build/release/src/dump/velm_dump" \
    --data "$data" --runs "$runs"
