#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite.
#
#   scripts/coverage.sh [BUILD_DIR]        (default: build-coverage)
#
# Builds the project with clang's source-based coverage (-fprofile-instr-generate
# -fcoverage-mapping, no optimisation), runs every CTest test (each test process, and each
# c6x_velm the end-to-end tests start, writes its own profile), merges the profiles and
# prints llvm-cov's per-file table for src/, then every line and every branch direction
# that no test reached. Branches are counted per condition of the source (each && and ||
# operand, each if, loop and ?: condition, true and false separately), not per machine
# jump. Needs clang and llvm-profdata/llvm-cov (Debian: clang llvm).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-coverage}

tool() {
    for t in "$1" "$1-14" "/usr/lib/llvm-14/bin/$1"; do
        if command -v "$t" >/dev/null 2>&1; then
            echo "$t"
            return
        fi
    done
    echo "coverage.sh: $1 not found (Debian package: llvm)" >&2
    exit 1
}
profdata=$(tool llvm-profdata)
cov=$(tool llvm-cov)

# Every target is built with the fault-injection hooks compiled in (disarmed unless a
# test arms them, so behaviour is unchanged): the platform functions are then the same in
# the tool, the unit tests and the fault tests, and their counts add up across them.
flags="-fprofile-instr-generate -fcoverage-mapping -DVELM_FAULT_INJECTION"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j2 >/dev/null

profiles="$root/$build/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
# A failing test still leaves its profile; the figures are printed, the exit status is 1.
tests_status=0
LLVM_PROFILE_FILE="$profiles/%p-%m.profraw" ctest --test-dir "$build" -j2 \
    >"$build/ctest.log" 2>&1 || tests_status=$?
grep -E "tests passed|tests failed|\(Failed\)" "$build/ctest.log" || true
"$profdata" merge -sparse "$profiles"/*.profraw -o "$build/coverage.profdata"

# Every executable the build made: the tool itself, the test programs, any other tool.
objects=()
while IFS= read -r exe; do
    objects+=("$exe")
done < <(find "$build" -path "$build/CMakeFiles" -prune -o -type f -perm -u+x \
    ! -name '*.so' ! -name '*.sh' -print | sort)
args=(-instr-profile="$build/coverage.profdata" "${objects[0]}")
for o in "${objects[@]:1}"; do args+=(-object "$o"); done
sources=$(find src -name '*.cpp' -o -name '*.h' | sort)

echo
echo "== Coverage of src/ (lines, branches) =="
# shellcheck disable=SC2086
"$cov" report "${args[@]}" $sources 2>/dev/null |
    awk 'NR == 1 || /^-/ || /^TOTAL/ || /\.(cpp|h) /' |
    sed "s|$root/||"

echo
echo "== Lines never executed =="
# shellcheck disable=SC2086
"$cov" show "${args[@]}" -show-line-counts -format=text $sources 2>/dev/null |
    awk -v root="$root/" '
        /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
        /^ *[0-9]+\| *0\|/ {
            split($0, f, "|"); line = f[1]; gsub(/ /, "", line)
            code = substr($0, index($0, f[3]))
            print file ":" line ":" code
        }'

echo
echo "== Branch directions never taken =="
# shellcheck disable=SC2086
"$cov" show "${args[@]}" -show-branches=count -format=text $sources 2>/dev/null |
    awk -v root="$root/" '
        /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
        /Branch \(/ && (/True: 0,/ || /False: 0\]/) {
            match($0, /Branch \([0-9]+:[0-9]+\): \[.*\]/)
            print file ":" substr($0, RSTART + 8, RLENGTH - 8)
        }' | sort -u

if [ "$tests_status" -ne 0 ]; then
    echo "coverage.sh: the test suite failed (see $build/ctest.log)" >&2
    exit 1
fi
