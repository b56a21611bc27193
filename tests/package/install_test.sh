#!/bin/sh
# The zip end to end: unpacks it into a fresh Wine prefix and runs its install.cmd and
# uninstall.cmd with Wine's cmd of each bitness, started as Windows starts a script (the .cmd file
# itself, as a double-click does, not "cmd /c"): files installed under Program Files and
# registered there, both registry views, real script hosts, a repeated install, what uninstall
# leaves behind, failing installs put back, a file in use, the payload check, /quiet, a run
# without rights, and the platforms the package narrows or refuses.
# Usage: tests/package/install_test.sh ZIP WORK_DIR ARCHS HOLDER
#   ARCHS: the architectures this host can run, "x86 x64" or "x64".
#   HOLDER: tests' library_holder.exe (x64), which keeps the installed library in use.
set -u
if [ $# -ne 4 ]; then
    echo "usage: $0 ZIP WORK_DIR ARCHS HOLDER" >&2
    exit 2
fi
zip=$(realpath "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)
archs=$3
holder=$(realpath "$4")
case " $archs " in *" x86 "*) x86=yes ;; *) x86= ;; esac

export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/checks.sh"
clsid='HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}'
typelib='HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}\1.0\0'
drive="$WINEPREFIX/drive_c"

# Where install.cmd puts each library, as Windows and as Unix paths.
installed_x64='C:\Program Files\vinspect\x64'
installed_x86='C:\Program Files (x86)\vinspect\x86'
unix_x64="$drive/Program Files/vinspect/x64"
unix_x86="$drive/Program Files (x86)/vinspect/x86"

# The data of a key's default value, or nothing: registered KEY VIEW [LOADER of reg].
registered() {
    run ${3:-$wine64} reg query "$1" /ve $2
    printf '%s\n' "$out" | sed -n 's/^ *(Default) *REG_SZ *//p'
}

# What the programs of ARCH's bitness find registered (with ARCH's cmd running install.cmd or
# uninstall.cmd as ROW names it): class and type library in the library's view, at the installed
# file, and both ProgIDs. A ProgID key lives in the shared part of HKLM\Software\Classes (as on
# Windows 7 and later, where only CLSID, Interface and a few other subkeys have a 32-bit view of
# their own), and the 32-bit regsvr32 writes it there. Wine's 64-bit reg with /reg:32 does not look
# into shared keys, so a ProgID is read by the reg of the library's bitness, without a view flag.
check_registered() {
    row=$1 arch=$2
    view=/reg:64 platform=win64 reg=$wine64 library="$installed_x64\\vinspect.dll"
    [ $arch = x86 ] && view=/reg:32 platform=win32 reg=wine library="$installed_x86\\vinspect.dll"
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

# The installed files and the marker the Windows Installer packages look for, as one listing.
installation() {
    (cd "$drive" && find 'Program Files/vinspect' 'Program Files (x86)/vinspect' -type f \
        -exec sha256sum {} + 2>/dev/null | sort -k 2)
    run $wine64 reg query 'HKLM\SOFTWARE\vinspect' /reg:64
    printf '%s\n' "$out" | grep 'InstalledBy'
}

# Whether the machine is as it was before any install: same_as_before ROW [EXPORT]: the registry
# as in $work/EXPORT (default before), and no installed files or marker when it is "before".
same_as_before() {
    export_classes after
    if cmp -s "$work/${2:-before}" "$work/after"; then pass "$1: registry as before"
    else fail "$1: registry differs:" "$(diff "$work/${2:-before}" "$work/after")"; fi
    now=$(installation)
    expected=; [ -n "${2:-}" ] && expected=$(cat "$work/$2.files")
    check "$1: installed files and marker as before" "$([ "$now" = "$expected" ] && echo yes)" \
        "expected '$expected', got '$now'"
}

# The folder name holds a space, ', &, (, ), ! and ^: what cmd reads specially outside quotes or
# when it reads a line twice. Two faults cannot show under Wine: Wine expands a % in the name
# before the script starts, and Wine's call does not double a ^ as Windows' does. The scripts avoid
# both by construction: no path is handed to a call.
rm -rf "$work/prefix" "$work"/vinspect* "$work/alone"
unpacked="$work/vinspect's copy (1) & co! ^2"
win=$(winpath "$unpacked")
if [ -n "$x86" ]; then wine wineboot -i >/dev/null 2>&1; else $wine64 wineboot -i >/dev/null 2>&1; fi
wineserver -w
wineserver -p
trap 'touch "$work/stop"; wineserver -k' EXIT
unzip -q "$zip" -d "$unpacked" || { echo "cannot unpack $zip"; exit 1; }

# Each cmd this host runs installs, installs again and uninstalls; the checks in between see what
# the first install placed and registered, and use it from each script host.
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
        regsvr='C:\windows\System32' archbits=64 folder=$installed_x64 unix=$unix_x64
        [ $bits = 32 ] && regsvr='C:\windows\Sysnative'
        [ $arch = x86 ] && regsvr='C:\windows\SysWOW64' archbits=32 folder=$installed_x86 unix=$unix_x86
        expect "$bits-bit cmd: install.cmd's line for $arch" \
            "$arch: installed \"$folder\\vinspect.dll\" and registered it for $archbits-bit programs, machine-wide, by $regsvr\\regsvr32.exe" "$installed"
        check "$bits-bit cmd: $arch files in $folder" \
            "$(cmp -s "$unix/vinspect.dll" "$unpacked/$arch/vinspect.dll" && cmp -s "$unix/vinsdemo.exe" "$unpacked/$arch/vinsdemo.exe" && echo yes)" \
            "$(ls -l "$unix" 2>&1)"
        check_registered "$bits-bit cmd" $arch
    done
    expect "$bits-bit cmd: the marker" '    InstalledBy    REG_SZ    install.cmd' "$(installation)"
    # The samples create the object by both ProgIDs and list a system module's strings.
    for host in $shells; do check_works "$bits-bit cmd" $host "vinfo.js vinfo.vbs"; done
    run $shell "$win\\install.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: second install.cmd exited $status:" "$out"
    run $shell "$win\\uninstall.cmd" $install_args
    [ $status -eq 0 ] || fail "$bits-bit cmd: uninstall.cmd exited $status:" "$out"
    same_as_before "$bits-bit cmd: install twice, uninstall"
done

# Removing one library after a full install leaves the other fully working, shared ProgID keys
# included; removing the other then leaves the machine as before. Rows: removed first, kept.
# (Only where 32-bit programs run.)
while read -r removed kept; do
    [ -n "$x86" ] || continue
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

# A failing step: with one library damaged, install.cmd names the step, says what regsvr32's
# code can mean, exits 8 and leaves nothing installed. Rows: arguments, library damaged, step
# expected to fail. (The x86 row only where 32-bit programs run.)
while read -r args damaged step; do
    [ "$args" = - ] && args=
    [ $damaged = x86 ] && [ -z "$x86" ] && continue
    mv "$unpacked/$damaged/vinspect.dll" "$work/vinspect.dll"
    echo 'not a library' >"$unpacked/$damaged/vinspect.dll"
    run $wine64 "$win\\install.cmd" $args
    mv "$work/vinspect.dll" "$unpacked/$damaged/vinspect.dll"
    row="install.cmd '$args' with a damaged $damaged\\vinspect.dll"
    check "$row: exit 8" "$([ $status -eq 8 ] && echo yes)" "exit $status: $out"
    check "$row: fails at $step" "$(printf '%s\n' "$out" | grep -q "^$step: FAILED" && echo yes)" "$out"
    same_as_before "$row"
done <<ROWS
x64 x64 x64
- x86 x86
ROWS
expect "a damaged library: the hint for regsvr32's exit 3" \
    '    regsvr32 could not load the library: a policy such as AppLocker or an antivirus program may block it, its path may be too long, or the file is damaged.' "$out"

# An installation survives a failing install from another folder: install from this folder, then
# from a copy B whose x64 vinsdemo.exe differs and whose x86 library is damaged (where 32-bit
# programs cannot run: its x64 library). B copied all its files and, with x86 damaged, replaced
# the x64 registration before its x86 step failed; afterwards files and registry are as this
# folder's install left them, and the 64-bit cscript works through them. B's uninstall.cmd then
# removes everything, through the installed libraries.
copy="$work/vinspect copy B"
cp -r "$unpacked" "$copy"
damaged=x64; [ -n "$x86" ] && damaged=x86
echo 'not a library' >"$copy/$damaged/vinspect.dll"
echo 'another vinsdemo' >"$copy/x64/vinsdemo.exe"
run $wine64 "$win\\install.cmd" $install_args
export_classes installed
installation >"$work/installed.files"
run $wine64 "$(winpath "$copy")\\install.cmd" $install_args
row="install from A, then a failing install from B"
check "$row: fails at $damaged" \
    "$([ $status -eq 8 ] && printf '%s\n' "$out" | grep -q "^$damaged: FAILED" && echo yes)" \
    "exit $status: $out"
same_as_before "$row: A's files and registration are back" installed
check_works "$row" $wine64
run $wine64 "$(winpath "$copy")\\uninstall.cmd" $install_args
[ $status -eq 0 ] || fail "uninstall.cmd of B exited $status:" "$out"
same_as_before "uninstall.cmd of B"

# A program holds the installed library in use (as Windows' loader holds a loaded library; Wine's
# does not, so the holder also keeps the file open without write sharing): install.cmd and
# uninstall.cmd refuse with one line naming the file, exit 6 and change nothing. Windows names
# the programs to close through tasklist, which Wine does not implement.
run $wine64 "$win\\install.cmd" x64
export_classes installed
installation >"$work/installed.files"
rm -f "$work/stop"
$wine64 "$holder" "$installed_x64\\vinspect.dll" "$(winpath "$work")\\stop" </dev/null \
    >"$work/holder.out" 2>&1 &
for second in $(seq 60); do grep -qs "^holding" "$work/holder.out" && break; sleep 1; done
check "the holder holds the installed library" "$(grep -qs '^holding' "$work/holder.out" && echo yes)" \
    "$(cat "$work/holder.out" 2>&1)"
for script in install.cmd uninstall.cmd; do
    run $wine64 "$win\\$script" x64
    row="$script while the library is in use"
    check "$row: exit 6" "$([ $status -eq 6 ] && echo yes)" "exit $status: $out"
    expect "$row: the line" "\"$installed_x64\\vinspect.dll\" is in use, so nothing was changed. Close the programs that use it, then run $script again:" "$out"
    same_as_before "$row" installed
done
touch "$work/stop"
wait
run $wine64 "$win\\uninstall.cmd" x64
same_as_before "uninstall.cmd once the library is no longer in use"

# Started from inside the zip, Explorer copies only the script to a temporary folder: the script
# says to extract the whole zip first, exits 2 and changes nothing.
mkdir -p "$work/alone"
for script in install.cmd uninstall.cmd; do
    cp "$unpacked/$script" "$work/alone/"
    run $wine64 "$(winpath "$work/alone")\\$script"
    row="$script without the libraries beside it"
    check "$row: exit 2" "$([ $status -eq 2 ] && echo yes)" "exit $status: $out"
    expect "$row: the line" "The libraries are not beside $script, \"$(winpath "$work/alone")\\x64\\vinspect.dll\" is missing: extract the whole zip first, with \"Extract All\", and run $script from the extracted folder." "$out"
done
same_as_before "scripts without the libraries beside them"

# /quiet prints nothing, never waits and tells by the exit code alone.
run $wine64 "$win\\install.cmd" /quiet x64
check "install.cmd /quiet x64: exit 0, no output" "$([ $status -eq 0 ] && [ -z "$out" ] && echo yes)" \
    "exit $status: $out"
check_registered "install.cmd /quiet x64" x64
run $wine64 "$win\\uninstall.cmd" x64 /quiet
check "uninstall.cmd x64 /quiet: exit 0, no output" "$([ $status -eq 0 ] && [ -z "$out" ] && echo yes)" \
    "exit $status: $out"
same_as_before "install.cmd /quiet, uninstall.cmd /quiet"

# Double-clicked without administrator rights: one line saying how to run it elevated, a key
# awaited before the window closes, exit 5, nothing installed; with /quiet, exit 5 alone and no
# wait. Wine gives every program full rights, and neither its regini nor WMI can take a key's
# write access away, so the rights check is made to fail another way: reg.exe is taken out of the
# system folder, so that the check's trial write fails as it does without rights. Wine's cmd has
# no CMDCMDLINE of its own: the environment gives the script the command line Windows builds for
# a double-click, cmd.exe /c ""<script>" ".
mv "$drive/windows/system32/reg.exe" "$work/reg.exe"
run env CMDCMDLINE="C:\\Windows\\system32\\cmd.exe /c \"\"$win\\install.cmd\" \"" \
    $wine64 "$win\\install.cmd"
check "double-click without rights: exit 5" "$([ $status -eq 5 ] && echo yes)" "exit $status: $out"
expect "double-click without rights: the line" 'Access is denied: installing for the whole machine needs administrator rights. Right-click install.cmd and choose "Run as administrator", or run it from a Command Prompt opened with "Run as administrator".' "$out"
case $out in *'Press any key'*) pass "double-click without rights: waits for a key" ;;
    *) fail "double-click without rights: no wait for a key:" "$out" ;; esac
# Started with /quiet in a console of its own, as a deployment tool or a Group Policy script may
# start it, it still does not wait.
run env CMDCMDLINE="C:\\Windows\\system32\\cmd.exe /c \"\"$win\\install.cmd\" \"" \
    $wine64 "$win\\install.cmd" /quiet
check "install.cmd /quiet without rights: exit 5, no output" \
    "$([ $status -eq 5 ] && [ -z "$out" ] && echo yes)" "exit $status: $out"
mv "$work/reg.exe" "$drive/windows/system32/reg.exe"
same_as_before "without rights"

# For this account only (/user): registered in place, from the unpacked folder, under
# HKEY_CURRENT_USER, without administrator rights (reg.exe taken away again) and without copying;
# uninstall.cmd /user takes it back and leaves the user's classes as they were. Wine does not
# merge per-user classes into what its programs see, so the rows read the keys. Wine's per-user
# type-library call also writes the interface key of the other registry view machine-wide
# (Windows' writes only the user's): the machine's row leaves that key out after install.
user_classes='HKEY_CURRENT_USER\Software\Classes'
user_class='HKCU\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}\InprocServer32'
other_view_interface='[HKEY_LOCAL_MACHINE\Software\Classes\Wow6432Node\Interface\{6F1C2A11-'
# The keys that unregistration keeps (CLSID, NoRemove) or that Wine's leaves empty, as a user who
# has registered anything before has them.
for key in CLSID Interface TypeLib; do run $wine64 reg add "$user_classes\\$key" /f; done
export_classes user_before "$user_classes"
mv "$drive/windows/system32/reg.exe" "$work/reg.exe"
run $wine64 "$win\\install.cmd" /user x64
mv "$work/reg.exe" "$drive/windows/system32/reg.exe"
check "install.cmd /user x64 without rights: exit 0" "$([ $status -eq 0 ] && echo yes)" \
    "exit $status: $out"
expect "install.cmd /user x64: the class for this account" "$win\\x64\\vinspect.dll" \
    "$(registered "$user_class" /reg:64)"
export_classes after
awk -v key="$other_view_interface" '/^\[/ { skip = index($0, key) == 1 } !skip' "$work/after" \
    >"$work/after.machine"
row="install.cmd /user x64: nothing for the machine"
if cmp -s "$work/before" "$work/after.machine"; then pass "$row"
else fail "$row: registry differs:" "$(diff "$work/before" "$work/after.machine")"; fi
mv "$drive/windows/system32/reg.exe" "$work/reg.exe"
run $wine64 "$win\\uninstall.cmd" /user x64
mv "$work/reg.exe" "$drive/windows/system32/reg.exe"
check "uninstall.cmd /user x64 without rights: exit 0" "$([ $status -eq 0 ] && echo yes)" \
    "exit $status: $out"
export_classes user_after "$user_classes"
row="uninstall.cmd /user x64: the user's classes as before"
if cmp -s "$work/user_before" "$work/user_after"; then pass "$row"
else fail "$row: registry differs:" "$(diff "$work/user_before" "$work/user_after")"; fi
same_as_before "uninstall.cmd /user x64"

# A folder name outside the system's ANSI code page (Devanagari is in none): the library could
# not register itself from there, but install.cmd copies it to Program Files first.
hindi="$work/vinspect संस्करण"
cp -r "$unpacked" "$hindi"
run $wine64 "$(winpath "$hindi")\\install.cmd" x64
[ $status -eq 0 ] || fail "install from a folder outside the ANSI code page exited $status:" "$out"
check_registered "install from a folder outside the ANSI code page" x64
run $wine64 "$(winpath "$hindi")\\uninstall.cmd" x64
same_as_before "install from a folder outside the ANSI code page, uninstall"

# A network folder: install.cmd copies the files, so it runs from a share as well (where an
# elevated prompt reaches it by its \\server\share path; a drive letter mapped in the user's own
# session is usually not visible there, which cannot be shown under Wine). The share is served
# from a folder linked under the prefix's dosdevices\unc.
mkdir -p "$WINEPREFIX/dosdevices/unc/vinspecthost"
ln -sfn "$work" "$WINEPREFIX/dosdevices/unc/vinspecthost/share"
share="\\\\vinspecthost\\share\\$(basename "$unpacked")"
run $wine64 "$share\\install.cmd" x64
[ $status -eq 0 ] || fail "install from a network folder exited $status:" "$out"
check_registered "install from a network folder" x64
run $wine64 "$share\\uninstall.cmd" x64
same_as_before "install from a network folder, uninstall"

# Windows without its 32-bit subsystem (no regsvr32 in SysWOW64): install.cmd installs x64 and says
# in one line why not x86; "install.cmd x86" fails with that line.
no32='x86: not installed: this Windows runs no 32-bit programs, it has no C:\windows\SysWOW64\regsvr32.exe.'
# (A prefix made where 32-bit programs cannot run has no 32-bit programs at all.)
regsvr32=$drive/windows/syswow64/regsvr32.exe
[ -f "$regsvr32" ] && mv "$regsvr32" "$work/regsvr32.exe"
run $wine64 "$win\\install.cmd"
[ $status -eq 0 ] || fail "no 32-bit subsystem: install.cmd exited $status:" "$out"
expect "no 32-bit subsystem: install.cmd's x64 line" \
    "x64: installed \"$installed_x64\\vinspect.dll\" and registered it for 64-bit programs, machine-wide, by C:\\windows\\System32\\regsvr32.exe" "$out"
expect "no 32-bit subsystem: install.cmd's x86 line" "$no32" "$out"
run $wine64 "$win\\install.cmd" x86
check "no 32-bit subsystem: install.cmd x86 exits 3" "$([ $status -eq 3 ] && echo yes)" "exit $status: $out"
expect "no 32-bit subsystem: install.cmd x86's line" "$no32" "$out"
run $wine64 "$win\\uninstall.cmd"
[ -f "$work/regsvr32.exe" ] && mv "$work/regsvr32.exe" "$regsvr32"
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
    check "ARM64, $bits-bit cmd: install.cmd exits 3" "$([ $status -eq 3 ] && echo yes)" "exit $status: $out"
    expect "ARM64, $bits-bit cmd: install.cmd refuses" \
        'vinspect is built for x86 and x64 Windows; this Windows runs on ARM64.' "$out"
done
run $wine64 reg add "$environment" /v PROCESSOR_ARCHITECTURE /d "$machine" /f
same_as_before "ARM64"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
