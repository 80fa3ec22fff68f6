#!/bin/sh
# Runs a Windows program of the cross build under Wine: the emulator of its tests, of
# their discovery and of the build steps that run a built program. Usage: wine-run.sh
# WINE64 PROGRAM [ARGUMENTS...]
#
# Wine starts its helper processes (services.exe, winedevice.exe, plugplay.exe,
# svchost.exe, rpcss.exe) from whichever program first needs them under a new wineserver.
# They inherit that program's standard error and live as long as the server. A runner
# that reads the program's output through a pipe (ctest, CMake's test discovery) then
# waits for the helpers rather than for the program: until the server ends, or for ever
# under a persistent one, so a test or a discovery timed out at random. Here the
# program's output goes to files, which the helpers may keep open harmlessly, and is
# copied to the runner once the program has ended.
#
# Wine runs with address-space randomisation off (setarch -R; children inherit it). The
# loader, wine64, is linked at 0x7d000000, and the kernel puts its heap at a random place
# up to 1 GiB above it. About once in 4000 process starts the heap covered 0x7ffe0000,
# where Wine must map the Windows shared user data: "failed to map the shared user data:
# c0000018", and the new process died before it ran (CreateProcessW failed with error
# 1359, and a test saw its tool exit with 127 and print nothing). Wine's preloader
# reserves that range before anything else is mapped, but the Debian package has none.
#
# A server kept for a minute after its last program spares every test starting one (and
# the helpers) anew. It needs the prefix directory to exist; the first program fills it.
wine=$1
shift
: "${WINEDEBUG=-all}"
export WINEDEBUG
mkdir -p "${WINEPREFIX:-$HOME/.wine}"
server=${wine%/*}/wineserver
[ -x "$server" ] || server=wineserver
"$server" -p60 </dev/null >/dev/null 2>&1
fixed=
if setarch "$(uname -m)" -R true 2>/dev/null; then fixed="setarch $(uname -m) -R"; fi
out=$(mktemp) || exit 125
err=$(mktemp) || exit 125
$fixed "$wine" "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
