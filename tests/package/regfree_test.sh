#!/bin/sh
# Registration-free use of the Windows package, in a fresh Wine prefix where nothing is
# registered: the C++ sample built from the zip's sdk folder alone, placed beside the contents of
# the library's folder with the manifest the SDK gives it, creates the object by CLSID and by both
# ProgIDs and lists a module, and fails as an unregistered class without that manifest; vinsdemo,
# started from the unpacked zip, lists a module (screenshots compared).
# Where the class is also registered, both use their private copy.
# Usage: tests/package/regfree_test.sh ZIP WORK_DIR ARCHS
#   ARCHS: the architectures this host can run, "x86 x64" or "x64". The x86 sample is built
#   either way.
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 ZIP WORK_DIR ARCHS" >&2
    exit 2
fi
# vinsdemo needs a display: the whole test runs on one, so that Wine's desktop process, started
# with the prefix, uses it too.
if ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    [ -z "${REGFREE_TEST_XVFB:-}" ] || { echo "$0: no X display, even under xvfb-run"; exit 1; }
    REGFREE_TEST_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
zip=$(realpath "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)
archs=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/checks.sh"
clsid='{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}'

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# starts NAME TEXT: passes when the last program's output starts with TEXT.
starts() { case $out in "$2"*) pass "$1" ;; *) fail "$1: expected '$2', got:" "$out" ;; esac; }

rm -rf "$work"/*
boot=$wine64
case " $archs " in *" x86 "*) boot=wine ;; esac
$boot wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p
trap 'wineserver -k' EXIT
unzip -q "$zip" -d "$work/unpacked" || { echo "cannot unpack $zip"; exit 1; }
# The SDK folder by itself, away from the rest of the package.
cp -r "$work/unpacked/sdk" "$work/sdk"

# The object by CLSID and by both ProgIDs lists the module's strings: check_sample ROW.
check_sample() {
    for progid in "" qzVersionInfo.VersionInfo qzVersionInfo.VersionInfo.1; do
        run $loader "$app\\vinsprint.exe" "$system\\comctl32.dll" $progid
        expect "$1, by ${progid:-CLSID}: module strings" \
            'FileDescription    Wine Common Controls' "$out"
    done
}

# Starts the unpacked zip's vinsdemo, types the module's path and Enter like a user, and
# compares screenshots of the window before and after: check_demo ROW.
check_demo() {
    shot="$work/$(printf '%s' "$1" | tr -c 'a-z0-9' -).png"
    $loader "$work/unpacked/$arch/vinsdemo.exe" </dev/null >/dev/null 2>&1 &
    demo=$!
    window=""
    for _ in $(seq 60); do
        window=$(xdotool search --name '^QZ VersionInfo Test$' 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        kill -0 $demo 2>/dev/null || break
        sleep 0.5
    done
    if [ -z "$window" ]; then
        fail "$1: vinsdemo's window did not open"
        wineserver -k
        wineserver -p
        return
    fi
    timeout 5 xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    sleep 1
    import -window "$window" "$work/empty.png"
    xdotool type --delay 15 "$system\\comctl32.dll"
    xdotool key Return
    sleep 2
    import -window "$window" "$shot"
    # The list's rows below its header (at 96 dots per inch) in the two screenshots: the 14 rows
    # listed for comctl32.dll are about 5,700 pixels of text that the empty list did not have;
    # more than half of them must be there.
    for image in "$work/empty.png" "$shot"; do
        convert "$image" -crop 500x240+20+95 +repage "$image.rows.png"
    done
    drawn=$(compare -metric AE "$work/empty.png.rows.png" "$shot.rows.png" null: 2>&1)
    check "$1: the screenshot shows the module's rows" "$([ "${drawn%%[!0-9]*}" -gt 3000 ] \
        2>/dev/null && echo yes)" "expected more than 3000 pixels of rows, got '$drawn' ($shot)"
    xdotool windowfocus "$window" key alt+F4
    for _ in $(seq 20); do
        kill -0 $demo 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 $demo 2>/dev/null; then
        fail "$1: vinsdemo did not close"
        wineserver -k
        wineserver -p
    fi
}

for arch in x64 x86; do
    # The sample from the SDK folder alone, with this project's MinGW toolchain.
    build="$work/sdk-build-$arch"
    toolchain="$root/cmake/toolchain-$arch.cmake"
    if cmake -S "$work/sdk" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
           -DCMAKE_BUILD_TYPE=Release >"$work/output" 2>&1 &&
       cmake --build "$build" -j2 >>"$work/output" 2>&1 && [ -f "$build/vinsprint.exe" ]
    then pass "$arch: the sample builds from the sdk folder alone"
    else
        fail "$arch: the sample does not build from the sdk folder alone:" "$(cat "$work/output")"
        continue
    fi
    case " $archs " in
        *" $arch "*) ;;
        *) echo "$arch half skipped: this host cannot start 32-bit programs"; continue ;;
    esac
    loader=$wine64 system='C:\windows\system32'
    [ $arch = x86 ] && loader=wine system='C:\windows\syswow64'
    # (The reg of the programs' own bitness, which sees the shared ProgID keys.)
    for key in "CLSID\\$clsid" qzVersionInfo.VersionInfo; do
        run $loader reg query "HKLM\\Software\\Classes\\$key"
        check "$arch: nothing registered: $key" "$([ $status -ne 0 ] && echo yes)" "$out"
    done

    # The program with the package's library folder beside it, and the manifest that names the
    # vinspect assembly.
    dir="$work/app-$arch"
    mkdir "$dir"
    cp "$work/unpacked/$arch/"* "$build/vinsprint.exe" "$dir/"
    cp "$work/sdk/$arch/vinsprint.exe.manifest" "$dir/"
    app=$(winpath "$dir")
    check_sample "$arch: library folder beside"
    # The assembly manifest beside the library names, by the interface description's identities,
    # the class with its threading model and both ProgIDs, the type library, and the interface
    # with the type-library marshaler that calls from other apartments go through.
    manifest=$(tr -s '\r\n ' ' ' <"$dir/vinspect.manifest")
    architecture=amd64; [ $arch = x86 ] && architecture=x86
    for row in "name=\"vinspect\" version=\"1.0.71.0\" processorArchitecture=\"$architecture\"" \
        "comClass clsid=\"$clsid\" threadingModel=\"Apartment\"" \
        'progid="qzVersionInfo.VersionInfo.1"' '<progid>qzVersionInfo.VersionInfo</progid>' \
        'typelib tlbid="{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}" version="1.0"' \
        'iid="{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}"' \
        'proxyStubClsid32="{00020424-0000-0000-C000-000000000046}"'; do
        case $manifest in *"$row"*) pass "$arch: the assembly manifest: $row" ;;
            *) fail "$arch: the assembly manifest: expected $row, got:" "$manifest" ;; esac
    done

    # Without the program's manifest the class is unknown, by CLSID and by ProgID.
    mv "$dir/vinsprint.exe.manifest" "$work/vinsprint.exe.manifest"
    run $loader "$app\\vinsprint.exe" "$system\\comctl32.dll"
    starts "$arch, no manifest: by CLSID" 'Creating the object failed: 0x80040154'
    run $loader "$app\\vinsprint.exe" "$system\\comctl32.dll" qzVersionInfo.VersionInfo
    starts "$arch, no manifest: by ProgID" 'Finding the ProgID failed: 0x800401F3'
    mv "$work/vinsprint.exe.manifest" "$dir/"

    # The library's manifest resource alone describes the assembly (Windows reads it before the
    # file beside the library), and the assembly's files may also lie in a folder named vinspect.
    mv "$dir/vinspect.manifest" "$work/vinspect.manifest"
    check_sample "$arch: library without vinspect.manifest"
    mkdir "$dir/vinspect"
    mv "$dir/vinspect.dll" "$dir/vinspect/"
    mv "$work/vinspect.manifest" "$dir/vinspect/"
    check_sample "$arch: library folder in the subfolder vinspect"
    mv "$dir/vinspect/"* "$dir/"
    rmdir "$dir/vinspect"

    check_demo "$arch: vinsdemo from the zip, nothing registered"

    # Registered machine-wide from a copy that is then removed: the registration alone leads
    # nowhere, and each program still finds its private copy.
    mkdir "$work/registered-$arch"
    cp "$dir/vinspect.dll" "$work/registered-$arch/"
    run $loader regsvr32 /s "$(winpath "$work/registered-$arch")\\vinspect.dll"
    check "$arch: registered a copy" "$([ $status -eq 0 ] && echo yes)" "exit $status: $out"
    rm "$work/registered-$arch/vinspect.dll"
    mkdir "$work/plain-$arch"
    cp "$dir/vinsprint.exe" "$work/plain-$arch/"
    run $loader "$(winpath "$work/plain-$arch")\\vinsprint.exe" "$system\\comctl32.dll"
    # (Windows says 0x8007007E, the module was not found; Wine 8 says 0x80070005.)
    starts "$arch: the registered copy is gone" 'Creating the object failed: 0x8007'
    check_sample "$arch: class registered elsewhere"
    check_demo "$arch: vinsdemo from the zip, class registered elsewhere"
    # Unregistered again: the ProgID keys are shared by both architectures' programs.
    cp "$dir/vinspect.dll" "$work/registered-$arch/"
    run $loader regsvr32 /u /s "$(winpath "$work/registered-$arch")\\vinspect.dll"
done

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
