#!/bin/sh
# The Windows package end to end: unpacks the zip into a fresh Wine prefix and runs its install.cmd
# and uninstall.cmd with Wine's cmd of each bitness, started as Windows starts a script (the .cmd
# file itself, as a double-click does, not "cmd /c"), checking both registry views, real script
# hosts, a repeated install, the registry left behind by uninstall, failing installs, a run
# without rights, and the platforms the package narrows or refuses.
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

export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/checks.sh"
clsid='HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}'
typelib='HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}\1.0\0'

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

# A folder's Windows path: winpath UNIX_PATH.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Whether the registry is as it was before any install: same_as_before ROW.
same_as_before() {
    export_classes after
    if cmp -s "$work/before" "$work/after"; then pass "$1: registry as before"
    else fail "$1: registry differs:" "$(diff "$work/before" "$work/after")"; fi
}

# The folder name holds a space, ', &, (, ), ! and ^: what cmd reads specially outside quotes or
# when it reads a line twice. Two faults cannot show under Wine: Wine expands a % in the name
# before the script starts, and Wine's call does not double a ^ as Windows' does. The scripts avoid
# both by construction: no path is handed to a call.
rm -rf "$work/prefix" "$work"/vinspect*
unpacked="$work/vinspect's copy (1) & co! ^2"
win=$(winpath "$unpacked")
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
    run $shell "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: install.cmd $install_args exited $status:" "$out"
    installed=$out
    # Started by a program rather than by Explorer, it must not wait for a key.
    case $out in *'Press any key'*) fail "$bits-bit cmd: install.cmd waited for a key:" "$out" ;; esac
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
    run $shell "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: second install.cmd exited $status:" "$out"
    run $shell "$win\\uninstall.cmd" $install_args
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
    run $wine64 "$win\\install.cmd" $install_args
    run $wine64 "$win\\uninstall.cmd" $removed
    [ $status -eq 0 ] || fail "uninstall.cmd $removed exited $status:" "$out"
    check_registered "after uninstall.cmd $removed" $kept
    check_works "after uninstall.cmd $removed" $loader
    run $wine64 "$win\\uninstall.cmd" $kept
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
    run $wine64 "$win\\install.cmd" $args
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

# A registration that worked before survives a failing install from another folder: install from
# this folder, then from a copy without its x86 library (where 32-bit programs cannot run, the
# copy's x86 step fails on its regsvr32 anyway). The copy's x64 step replaced the registration
# before its x86 step failed; afterwards the registry is as this folder's install left it, and the
# 64-bit cscript works through it. The copy's uninstall.cmd then removes the x86 registration
# through the registered library, its own being gone.
copy="$work/vinspect copy B"
cp -r "$unpacked" "$copy"
rm "$copy/x86/vinspect.dll"
run $wine64 "$win\\install.cmd" $install_args
export_classes installed
run $wine64 "$(winpath "$copy")\\install.cmd"
export_classes after
row="install from A, then a failing install from B"
if [ $status -ne 0 ] && printf '%s\n' "$out" | grep -q '^x86: FAILED' && cmp -s "$work/installed" "$work/after"
then pass "$row: A's registration is back"
else fail "$row: expected exit non-zero, 'x86: FAILED', the registry as A left it; got exit $status:" \
    "$out" "$(diff "$work/installed" "$work/after")"; fi
check_works "$row" $wine64
run $wine64 "$(winpath "$copy")\\uninstall.cmd"
[ $status -eq 0 ] || fail "uninstall.cmd of B, without its x86 library, exited $status:" "$out"
same_as_before "uninstall.cmd of B, without its x86 library"

# Double-clicked without administrator rights: one line saying how to run it elevated, a key awaited
# before the window closes, exit non-zero, nothing registered. Wine gives every program full rights,
# and neither its regini nor WMI can take a key's write access away, so the rights check is made to
# fail another way: a script sets PATHEXT without .EXE and starts install.cmd, so that cmd cannot
# find reg.exe for the check's trial write (regsvr32, started by its full path, would still
# register). Wine's cmd has no CMDCMDLINE of its own: the environment gives the script the command
# line Windows builds for a double-click, cmd.exe /c ""<script>" ".
printf '@set "PATHEXT=.COM"\r\n@"%s\\install.cmd"\r\n' "$win" >"$work/norights.cmd"
run env CMDCMDLINE="C:\\Windows\\system32\\cmd.exe /c \"\"$win\\install.cmd\" \"" \
    $wine64 "$(winpath "$work")\\norights.cmd"
[ $status -ne 0 ] || fail "double-click without rights: exit 0:" "$out"
expect "double-click without rights: the line" 'Access is denied: registering for the whole machine needs administrator rights. Right-click install.cmd and choose "Run as administrator", or run it from a Command Prompt opened with "Run as administrator".' "$out"
case $out in *'Press any key'*) pass "double-click without rights: waits for a key" ;;
    *) fail "double-click without rights: no wait for a key:" "$out" ;; esac
same_as_before "double-click without rights"

# A folder name outside the system's ANSI code page (Devanagari is in none): the library cannot
# register itself from there, regsvr32 exits 5, and install.cmd says why.
hindi="$work/vinspect संस्करण"
cp -r "$unpacked" "$hindi"
run $wine64 "$(winpath "$hindi")\\install.cmd" x64
if [ $status -eq 5 ] && printf '%s\n' "$out" | grep -q "outside this system's ANSI code page"
then pass "folder name outside the ANSI code page: exit 5 and the hint"
else fail "folder name outside the ANSI code page: expected exit 5 and the hint; got exit $status:" "$out"; fi
same_as_before "folder name outside the ANSI code page"

# Windows without its 32-bit subsystem (no regsvr32 in SysWOW64): install.cmd registers x64 and says
# in one line why not x86; "install.cmd x86" fails with that line.
no32='x86: not registered: this Windows runs no 32-bit programs, it has no C:\windows\SysWOW64\regsvr32.exe.'
mv "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe" "$work/regsvr32.exe"
run $wine64 "$win\\install.cmd"
[ $status -eq 0 ] || fail "no 32-bit subsystem: install.cmd exited $status:" "$out"
expect "no 32-bit subsystem: install.cmd's x64 line" \
    "x64: registered \"$win\\x64\\vinspect.dll\" for 64-bit programs, machine-wide, by C:\\windows\\System32\\regsvr32.exe" "$out"
expect "no 32-bit subsystem: install.cmd's x86 line" "$no32" "$out"
run $wine64 "$win\\install.cmd" x86
[ $status -ne 0 ] || fail "no 32-bit subsystem: install.cmd x86 exited 0:" "$out"
expect "no 32-bit subsystem: install.cmd x86's line" "$no32" "$out"
run $wine64 "$win\\uninstall.cmd"
mv "$work/regsvr32.exe" "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe"
same_as_before "no 32-bit subsystem: install, uninstall"

# An ARM64 machine: the system environment names the machine's architecture (Wine hands it to each
# program, to a 32-bit one as PROCESSOR_ARCHITEW6432); every cmd refuses alike.
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
run $wine64 reg query "$environment" /v PROCESSOR_ARCHITECTURE
machine=$(printf '%s\n' "$out" | sed -n 's/^ *PROCESSOR_ARCHITECTURE *REG_SZ *//p')
run $wine64 reg add "$environment" /v PROCESSOR_ARCHITECTURE /d ARM64 /f
for shell in $shells; do
    bits=64; [ "$shell" = wine ] && bits=32
    run $shell "$win\\install.cmd"
    [ $status -ne 0 ] || fail "ARM64, $bits-bit cmd: install.cmd exited 0:" "$out"
    expect "ARM64, $bits-bit cmd: install.cmd refuses" \
        'This package holds x86 and x64 libraries; this Windows runs on ARM64.' "$out"
done
run $wine64 reg add "$environment" /v PROCESSOR_ARCHITECTURE /d "$machine" /f
same_as_before "ARM64"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
