#!/bin/sh
# The Windows package end to end: unpacks the zip into a fresh Wine prefix, under a folder name
# with a space and a single quote, and runs its install.cmd and uninstall.cmd with Wine's cmd,
# checking both registry views, real script hosts, a repeated install, the registry left behind
# by uninstall, and a failing install.
# Usage: tests/package/install_test.sh ZIP WORK_DIR ARCHS
#   ARCHS: the architectures this host can run, "x86 x64" or "x64".
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 ZIP WORK_DIR ARCHS" >&2
    exit 2
fi
zip=$(realpath "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)
archs=$3
case " $archs " in *" x86 "*) x86=yes ;; *) x86= ;; esac

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
wine64=/usr/lib/wine/wine64
clsid='HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}'
typelib='HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}\1.0\0'
passed=0
failed=0

pass() { passed=$((passed + 1)); printf 'ok: %s\n' "$1"; }
fail() { failed=$((failed + 1)); printf 'FAILED: %s\n' "$*"; }
# expect NAME EXPECTED GOT: passes when GOT holds EXPECTED as a line of its own.
expect() {
    if printf '%s\n' "$3" | grep -qxF -- "$2"; then pass "$1"; else fail "$1: expected line '$2', got:" "$3"; fi
}

# run LOADER PROGRAM ARGS...: the program's output in $out and exit code in $status. Output goes
# through a file: Wine's service processes inherit it and would hold a pipe open.
run() {
    "$@" </dev/null >"$work/output" 2>&1
    status=$?
    out=$(tr -d '\r' <"$work/output")
}

# The whole of both views (64-bit regedit sees the 32-bit one under Wow6432Node).
export_classes() {
    (cd "$work" && $wine64 regedit /e "$1.reg" 'HKEY_LOCAL_MACHINE\Software\Classes')
    iconv -f UTF-16 -t UTF-8 "$work/$1.reg" >"$work/$1"
}

# The data of a key's default value in a view, or nothing.
registered() {
    run $wine64 reg query "$1" /ve "$2"
    printf '%s\n' "$out" | sed -n 's/^ *(Default) *REG_SZ *//p'
}

rm -rf "$work/prefix" "$work/vinspect's copy 1"
unpacked="$work/vinspect's copy 1"
win=$(printf 'Z:%s' "$unpacked" | tr / '\\')
if [ -n "$x86" ]; then wine wineboot -i >/dev/null 2>&1; else $wine64 wineboot -i >/dev/null 2>&1; fi
wineserver -w
wineserver -p
trap 'wineserver -k' EXIT
unzip -q "$zip" -d "$unpacked" || { echo "cannot unpack $zip"; exit 1; }

# Each cmd this host runs installs, installs again and uninstalls; the checks in between see what
# the first install registered and use it from each script host.
if [ -n "$x86" ]; then
    shells="$wine64 wine" install_args=
else
    shells=$wine64 install_args=x64
    echo "x86 half skipped: this host cannot start 32-bit programs"
fi
# A script host registers its own type library when it first starts: let that happen before the
# registry is taken as it was before any install.
for host in $shells; do run $host cscript //nologo "$win\\vinfo.vbs"; done
export_classes before

for shell in $shells; do
    bits=64; [ "$shell" = wine ] && bits=32
    run $shell cmd /c "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: install.cmd $install_args exited $status:" "$out"
    installed=$out
    for arch in $archs; do
        view=/reg:64 platform=win64 regsvr='C:\windows\System32' archbits=64
        [ $bits = 32 ] && regsvr='C:\windows\Sysnative'
        [ $arch = x86 ] && view=/reg:32 platform=win32 regsvr='C:\windows\SysWOW64' archbits=32
        library="$win\\$arch\\vinspect.dll"
        expect "$bits-bit cmd: install.cmd's line for $arch" \
            "$arch: registered \"$library\" for $archbits-bit programs, machine-wide, by $regsvr\\regsvr32.exe" "$installed"
        expect "$bits-bit cmd: $arch class in $view" "$library" "$(registered "$clsid\\InprocServer32" $view)"
        expect "$bits-bit cmd: $arch type library in $view" "$library" "$(registered "$typelib\\$platform" $view)"
        for progid in qzVersionInfo.VersionInfo qzVersionInfo.VersionInfo.1; do
            expect "$bits-bit cmd: $progid in $view" '{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}' \
                "$(registered "HKLM\\Software\\Classes\\$progid\\CLSID" $view)"
        done
    done
    # The samples create the object by both ProgIDs and list a system module's strings.
    for host in $shells; do
        system='C:\windows\system32' hostbits=64
        [ "$host" = wine ] && system='C:\windows\syswow64' hostbits=32
        for sample in vinfo.js vinfo.vbs; do
            run $host cscript //nologo "$win\\$sample" "$system\\comctl32.dll"
            row="$bits-bit cmd, $hostbits-bit cscript $sample"
            expect "$row: module strings" 'FileDescription:  Wine Common Controls' "$out"
            expect "$row: original name" 'OriginalFilename: comctl32.dll' "$out"
        done
        expect "$bits-bit cmd, $hostbits-bit cscript vinfo.vbs: object by the other ProgID" \
            'Without data:     &H800403E9 qzVersionInfo.VersionInfo.1: File name is not specified.' "$out"
    done
    run $shell cmd /c "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: second install.cmd exited $status:" "$out"
    run $shell cmd /c "$win\\uninstall.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: uninstall.cmd exited $status:" "$out"
    export_classes after
    if cmp -s "$work/before" "$work/after"; then pass "$bits-bit cmd: install twice, uninstall: registry as before"
    else fail "$bits-bit cmd: registry after uninstall differs:" "$(diff "$work/before" "$work/after")"; fi
done

# A failing step: with one library removed, install.cmd names the step, exits non-zero and
# removes what it had registered. Rows: arguments, library removed, step expected to fail.
# (Where 32-bit programs cannot run, the x86 step fails on its regsvr32 and the row still shows
# the x64 registration undone.)
while read -r args removed step; do
    [ "$args" = - ] && args=
    mv "$unpacked/$removed/vinspect.dll" "$work/vinspect.dll"
    run $wine64 cmd /c "$win\\install.cmd" $args
    mv "$work/vinspect.dll" "$unpacked/$removed/vinspect.dll"
    export_classes after
    row="install.cmd '$args' without $removed\\vinspect.dll"
    if [ $status -ne 0 ] && printf '%s\n' "$out" | grep -q "^$step: FAILED" && cmp -s "$work/before" "$work/after"
    then pass "$row: fails at $step, nothing registered"
    else fail "$row: expected exit non-zero, '$step: FAILED', registry as before; got exit $status:" "$out"; fi
done <<ROWS
x64 x64 x64
- x86 x86
ROWS

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
