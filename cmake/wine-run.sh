#!/bin/sh
# Runs a Windows program of this build tree under Wine, in the tree's private prefix.
# Usage: wine-run.sh PREFIX [--64] PROGRAM [ARGS...]
# --64 starts the 64-bit loader, for Wine's own programs named without a path (regsvr32,
# cscript), which otherwise run as their 32-bit builds.
# The prefix is created on first use; the wine server is kept alive between runs so that
# test processes do not pay for its start each time.
set -e
prefix=$1
shift
loader=wine
if [ "${1:-}" = --64 ]; then
    loader=/usr/lib/wine/wine64
    shift
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$prefix"
(
    flock 9
    if [ ! -f "$prefix/.vinspect-ready" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        touch "$prefix/.vinspect-ready"
    fi
) 9>"$prefix.lock"
wineserver -p 120 </dev/null >/dev/null 2>&1 || true
# Wine's service processes, started by whichever program runs first, inherit its output and
# outlive it; the program therefore writes to a file, so that a caller reading our output
# through a pipe (CTest) is not kept waiting by them.
log=$(mktemp)
status=0
"$loader" "$@" </dev/null >"$log" 2>&1 || status=$?
cat "$log"
rm -f "$log"
exit $status
