#!/bin/sh
# Runs a Windows program of this build tree under Wine, in the tree's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created on first use; the wine server is kept alive between runs so that
# test processes do not pay for its start each time.
set -e
prefix=$1
shift
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
wineserver -p 120 >/dev/null 2>&1 || true
exec wine "$@"
