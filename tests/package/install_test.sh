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

# The data of a key's default value, or nothing: registered KEY VIEW [LOADER of reg].
registered() {
    run ${3:-$wine64} reg query "$1" /ve $2
    printf '%s\n' "$out" | sed -n 's/^ *(Default) *REG_SZ *//p'
}

# What the programs of ARCH's bitness find registered (with ARCH's cmd running install.cmd or
# uninstall.cmd as ROW names it): class and type library in the library's view and both ProgIDs.
# A ProgID key lives in the shared part of HKLM\Software\Classes (as on Windows 7 and later,
# where only CLSID, Interface and a few other subkeys have a 32-bit view of their own), and the
# 32-bit regsvr32 writes it there. Wine's 64-bit reg with /reg:32 does not look into shared keys,
# so a ProgID is read by the reg of the library's bitness, without a view flag.
check_registered() {
    row=$1 arch=$2
    view=/reg:64 platform=win64 reg=$wine64
    [ $arch = x86 ] && view=/reg:32 platform=win32 reg=wine
    library="$win\\$arch\\vinspect.dll"
    expect "$row: $arch class in $view" "$library" "$(registered "$clsid\\InprocServer32" $view)"
    expect "$row: $arch type library in $view" "$library" "$(registered "$typelib\\$platform" $view)"
    for progid in qzVersionInfo.VersionInfo qzVersionInfo.VersionInfo.1; do
        expect "$row: $progid for $arch programs" '{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}' \
            "$(registered "HKLM\\Software\\Classes\\$progid\\CLSID" "" $reg)"
    done
}

# The script host started by LOADER creates the object by both ProgIDs (vinfo.vbs uses both) and
# lists a system module's strings: check_works ROW LOADER [SAMPLES].
check_works() {
    system='C:\windows\system32' hostbits=64
    [ "$2" = wine ] && system='C:\windows\syswow64' hostbits=32
    for sample in ${3:-vinfo.vbs}; do
        run $2 cscript //nologo "$win\\$sample" "$system\\comctl32.dll"
        expect "$1, $hostbits-bit cscript $sample: module strings" 'FileDescription:  Wine Common Controls' "$out"
        expect "$1, $hostbits-bit cscript $sample: original name" 'OriginalFilename: comctl32.dll' "$out"
    done
    expect "$1, $hostbits-bit cscript vinfo.vbs: object by the other ProgID" \
        'Without data:     &H800403E9 qzVersionInfo.VersionInfo.1: File name is not specified.' "$out"
}

# Whether the registry is as it was before any install: same_as_before ROW.
same_as_before() {
    export_classes after
    if cmp -s "$work/before" "$work/after"; then pass "$1: registry as before"
    else fail "$1: registry differs:" "$(diff "$work/before" "$work/after")"; fi
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
        regsvr='C:\windows\System32' archbits=64
        [ $bits = 32 ] && regsvr='C:\windows\Sysnative'
        [ $arch = x86 ] && regsvr='C:\windows\SysWOW64' archbits=32
        expect "$bits-bit cmd: install.cmd's line for $arch" \
            "$arch: registered \"$win\\$arch\\vinspect.dll\" for $archbits-bit programs, machine-wide, by $regsvr\\regsvr32.exe" "$installed"
        check_registered "$bits-bit cmd" $arch
    done
    # The samples create the object by both ProgIDs and list a system module's strings.
    for host in $shells; do check_works "$bits-bit cmd" $host "vinfo.js vinfo.vbs"; done
    run $shell cmd /c "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: second install.cmd exited $status:" "$out"
    run $shell cmd /c "$win\\uninstall.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: uninstall.cmd exited $status:" "$out"
    same_as_before "$bits-bit cmd: install twice, uninstall"
done

# Removing one library after a full install leaves the other fully working, shared ProgID keys
# included; removing the other then leaves the registry as before. Rows: removed first, kept.
# (Where 32-bit programs cannot run, only x64 is installed, and uninstall.cmd x86 finds nothing
# of its own to remove.)
while read -r removed kept; do
    case " $archs " in *" $kept "*) ;; *) continue ;; esac
    loader=$wine64; [ $kept = x86 ] && loader=wine
    run $wine64 cmd /c "$win\\install.cmd" $install_args
    run $wine64 cmd /c "$win\\uninstall.cmd" $removed
    [ $status -eq 0 ] || fail "uninstall.cmd $removed exited $status:" "$out"
    check_registered "after uninstall.cmd $removed" $kept
    check_works "after uninstall.cmd $removed" $loader
    run $wine64 cmd /c "$win\\uninstall.cmd" $kept
    same_as_before "uninstall.cmd $removed, then $kept"
done <<ROWS
x86 x64
x64 x86
ROWS

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
