#!/bin/sh
# Shows vinsdemo listing a module: registers the tree's vinspect.dll in the tree's Wine prefix,
# starts vinsdemo on the current X display (under Xvfb when there is none), types the module's
# path and Enter, and saves a screenshot of the window as BUILD/vinsdemo.png. On a real display
# the window stays open until it is closed; under Xvfb the script closes it.
# Usage: demo/show.sh BUILD [MODULE]
#   BUILD   a build tree, such as build/x86 or build/x64
#   MODULE  the Windows path of the module to list (default: the tree's vinspect.dll)
set -eu
[ $# -ge 1 ] || { echo "usage: $0 BUILD [MODULE]" >&2; exit 2; }
build=$(cd "$1" && pwd)

windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

if ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    [ -z "${VINSDEMO_SHOW_XVFB:-}" ] || { echo "$0: no X display, even under xvfb-run" >&2; exit 1; }
    VINSDEMO_SHOW_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
module=${2:-$(windows_path "$build/bin/vinspect.dll")}
shot="$build/vinsdemo.png"

# Wine's desktop process keeps the display of the program that started it; end the prefix's
# programs so that the desktop starts afresh on this display.
WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true

# The tree's launcher runs Wine's own regsvr32 in the bitness of the tree's DLL.
"$build/wine-run.sh" regsvr32 /s "$(windows_path "$build/bin/vinspect.dll")"

"$build/wine-run.sh" "$build/bin/vinsdemo.exe" &
program=$!

window=""
for _ in $(seq 120); do
    window=$(xdotool search --name '^QZ VersionInfo Test$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$program" 2>/dev/null || { echo "$0: vinsdemo ended before its window opened" >&2; exit 1; }
    sleep 0.5
done
[ -n "$window" ] || { echo "$0: vinsdemo's window did not open" >&2; kill "$program"; exit 1; }

# The text box has the focus when the window opens; give the window the keyboard.
timeout 5 xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 1
xdotool type --delay 15 "$module"
xdotool key Return
sleep 2
import -window "$window" "$shot"
printf 'vinsdemo listing %s: %s\n' "$module" "$shot"

if [ -n "${VINSDEMO_SHOW_XVFB:-}" ]; then
    xdotool windowfocus "$window" key alt+F4
    for _ in $(seq 20); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$program" 2>/dev/null; then
        # The window did not close: end the prefix's programs, as the display goes away with us.
        WINEPREFIX="$build/wineprefix" wineserver -k
    fi
fi
wait "$program"
