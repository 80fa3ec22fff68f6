#!/usr/bin/env bash
# The .deb as a user gets it: made by cpack from the build, passed by Debian's own checks
# (lintian: no error, no warning), unpacked into a scratch root with dpkg -x, and both
# tools run from there. They must write the same bytes as the build's own tools, and the
# package must hold exactly the tools, their man pages, the licence and the changelog.
#
#   check_deb.sh CPACK BUILD_DIR SOURCE_DIR
set -euo pipefail
cpack=$1
build=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$work"/pkg/*.deb)
[ "${#debs[@]}" -eq 1 ] || fail "expected one .deb, got ${debs[*]}"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = c6x-velm ] || fail "package name"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no library dependencies recorded"

command -v lintian >/dev/null || fail "lintian not found: install the Debian package lintian"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors or warnings"; }

dpkg -x "$deb" "$work/root"
files=$(cd "$work/root" && find . -type f | sort)
expected="./usr/bin/c6x_velm
./usr/bin/velm_dump
./usr/share/doc/c6x-velm/changelog.gz
./usr/share/doc/c6x-velm/copyright
./usr/share/man/man1/c6x_velm.1.gz
./usr/share/man/man1/velm_dump.1.gz"
[ "$files" = "$expected" ] || fail "package contents:
$files"
for page in c6x_velm velm_dump; do
    gzip -dc "$work/root/usr/share/man/man1/$page.1.gz" | cmp -s - "$source/man/$page.1" ||
        fail "$page.1.gz"
done

mkdir "$work/packaged" "$work/built"
for side in packaged built; do
    if [ "$side" = packaged ]; then bin=$work/root/usr/bin; else bin=$build; fi
    dump=$bin/velm_dump
    [ "$side" = packaged ] || dump=$build/src/dump/velm_dump
    cd "$work/$side"
    cp "$source/examples/app.out" app.out
    "$bin/c6x_velm" app.out app.c >text.console
    "$bin/c6x_velm" app.out app.bin -b >binary.console
    "$bin/c6x_velm" app.out -d >listing.console
    "$dump" --check app.c
    "$dump" app.bin >dump.txt
done
diff -r "$work/packaged" "$work/built" >&2 || fail "the packaged tools write other bytes"
echo "the .deb unpacks and its tools write the build's bytes"
