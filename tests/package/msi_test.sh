#!/bin/sh
# The Windows Installer packages end to end in a fresh Wine prefix, with Wine's msiexec: their
# tables (file versions, upgrade sequencing); install, upgrade by a package of a higher version,
# an upgrade failing part-way, refusal of the older one over it, removal; the x86 package and
# ARM64 refused; the zip's scripts and the packages refusing each other; and the rows the x64
# package wrote compared with what regsvr32 of the same files writes.
# Usage: tests/package/msi_test.sh X64_MSI X86_MSI NEWER_X64_MSI WORK_DIR ARCHS ZIP
#   NEWER_X64_MSI: the x64 package built with a higher version.
#   ARCHS: the architectures this host can run, "x86 x64" or "x64".
#   ZIP: the zip of the same build.
set -u
if [ $# -ne 6 ]; then
    echo "usage: $0 X64_MSI X86_MSI NEWER_X64_MSI WORK_DIR ARCHS ZIP" >&2
    exit 2
fi
winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
msi64=$(winpath "$1") msi86=$(winpath "$2") newer=$(winpath "$3")
newer_version=$(basename "$3" | sed -n 's/^vinspect-\(.*\)-x64\.msi$/\1/p')
sample=$(winpath "$(dirname "$0")/../../samples/vinfo.vbs")
mkdir -p "$4"
work=$(cd "$4" && pwd)
case " $5 " in *" x86 "*) x86=yes ;; *) x86= ;; esac
zip=$(realpath "$6")

export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/checks.sh"
. "$(dirname "$0")/../../package/build-trees.sh"
drive="$WINEPREFIX/drive_c"
clsid='{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}'

# without PATTERN EMPTY_ONLY FILE: the export less the keys whose header line matches the
# extended regular expression PATTERN (with EMPTY_ONLY=yes, only those that hold no values).
without() {
    pattern=$1 empty=$2 awk '
        function flush(    i) {
            if (n > 0 && !(header ~ ENVIRON["pattern"] && (ENVIRON["empty"] != "yes" || filled == 0)))
                for (i = 1; i <= n; i++) print lines[i]
            n = 0; filled = 0
        }
        /^\[/ { flush(); header = $0 }
        { lines[++n] = $0 }
        !/^\[/ && $0 != "" { filled = 1 }
        END { flush() }' "$3"
}

# The keys Windows Installer keeps for itself in HKLM\Software\Classes; after the last removal
# Wine leaves four of them behind, empty. A prefix made where 32-bit programs cannot run has an
# empty Wow6432Node\CLSID, which Wine deletes with the last key the packages remove from it.
installer='^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\|\])'
empty_keys='^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\(Installer(\\(Features|Products|UpgradeCodes))?|Wow6432Node\\CLSID)\]$'

# Whether the registry is as before the first install but for those empty keys: clean ROW.
clean() {
    export_classes after
    without "$empty_keys" yes "$work/before" >"$work/before.kept"
    without "$empty_keys" yes "$work/after" >"$work/after.kept"
    if cmp -s "$work/before.kept" "$work/after.kept"; then pass "$1: registry as before"
    else fail "$1: registry differs:" "$(diff "$work/before.kept" "$work/after.kept")"; fi
}

# works ROW LOADER: the script host of LOADER's bitness creates the object by both ProgIDs and
# lists a system module.
works() {
    system='C:\windows\system32'
    [ "$2" = wine ] && system='C:\windows\syswow64'
    run $2 cscript //nologo "$sample" "$system\\comctl32.dll"
    if printf '%s\n' "$out" | grep -qxF 'FileDescription:  Wine Common Controls' &&
        printf '%s\n' "$out" | grep -qxF 'Without data:     &H800403E9 qzVersionInfo.VersionInfo.1: File name is not specified.'
    then pass "$1"; else fail "$1:" "$out"; fi
}

# The products listed under Uninstall in VIEW, as "name version" lines.
products() {
    run $wine64 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s $1
    printf '%s\n' "$out" | awk '
        /^HKEY/ { if (name != "") print name " " version; name = ""; version = "" }
        $1 == "DisplayName" && $3 ~ /^vinspect/ { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
        $1 == "DisplayVersion" { version = $3 }
        END { if (name != "") print name " " version }'
}

# installed ROW FOLDERS...: whether each folder (relative to drive C:) holds both programs.
installed() {
    row=$1 missing=
    shift
    for folder in "$@"; do
        for file in vinspect.dll vinsdemo.exe; do
            [ -f "$drive/$folder/$file" ] || missing="$missing, $folder/$file"
        done
    done
    check "$row" "$([ -z "$missing" ] && echo yes)" "missing${missing#,}"
}

# The tables: each binary's own version in the File table (Windows Installer replaces a versioned
# file only by a higher version, and treats a file without one as a data file), and the earlier
# version removed inside the transaction, after InstallInitialize, so that a failure rolls back
# to it. Files are matched to their rows by name and size.
rm -rf "$work/extract"
for package in "$1" "$2"; do
    label=$(basename "$package")
    msiextract -C "$work/extract/$label" "$package" >/dev/null
    rows=$(msiinfo export "$package" File | tr -d '\r' | awk -F '\t' 'NR > 3 { print $3 "\t" $4 "\t" $5 }')
    find "$work/extract/$label" -type f | sort | while read -r file; do
        want=$(printf '%s\n' "$rows" | awk -F '\t' -v name="$(basename "$file")" \
            -v size="$(stat -c %s "$file")" '$1 == name && $2 == size { print $3 }')
        got=$(pe_file_version "$file")
        check "$label: File table version of ${file#"$work/extract/$label/"}" \
            "$([ -n "$got" ] && [ "$want" = "$got" ] && echo yes)" "table '$want', file '$got'"
    done
    conditions=$(msiinfo export "$package" LaunchCondition | tr -d '\r')
    expect "$label: refuses other architectures with the scripts' sentence" \
        "$(printf 'Installed OR NOT VINSPECT_MACHINE OR VINSPECT_MACHINE ~= "AMD64" OR VINSPECT_MACHINE ~= "x86"\tvinspect is built for x86 and x64 Windows; this Windows runs on [VINSPECT_MACHINE].')" \
        "$conditions"
    sequence=$(msiinfo export "$package" InstallExecuteSequence | tr -d '\r')
    at() { printf '%s\n' "$sequence" | awk -F '\t' -v action="$1" '$1 == action { print $3 }'; }
    check "$label: RemoveExistingProducts after InstallInitialize, before InstallFiles" \
        "$([ "$(at InstallInitialize)" -lt "$(at RemoveExistingProducts)" ] &&
            [ "$(at RemoveExistingProducts)" -lt "$(at InstallFiles)" ] && echo yes)" \
        "InstallInitialize $(at InstallInitialize), RemoveExistingProducts $(at RemoveExistingProducts), InstallFiles $(at InstallFiles)"
done

rm -rf "$WINEPREFIX" "$work/files" "$work/unpacked"
if [ -n "$x86" ]; then wine wineboot -i >/dev/null 2>&1; else $wine64 wineboot -i >/dev/null 2>&1; fi
wineserver -w
wineserver -p
trap 'wineserver -k' EXIT
[ -n "$x86" ] || echo "x86 half skipped: this host cannot start 32-bit programs (32-bit script host, x86 library's own registration)"
# A script host registers its own type library when it first starts: let that happen first.
run $wine64 cscript //nologo "$sample"
[ -n "$x86" ] && run wine cscript //nologo "$sample"
export_classes before

# The x64 package: both libraries, each for programs of its bitness.
run $wine64 msiexec /i "$msi64" /qn
check "x64 package: msiexec /i exits 0" "$([ $status -eq 0 ] && echo yes)" "exit $status"
installed "x64 package: files in Program Files and Program Files (x86)" \
    "Program Files/vinspect/x64" "Program Files (x86)/vinspect/x86"
export_classes installed
mkdir -p "$work/files/x64" "$work/files/x86"
cp "$drive/Program Files/vinspect/x64/"* "$work/files/x64/"
cp "$drive/Program Files (x86)/vinspect/x86/"* "$work/files/x86/"
works "x64 package: 64-bit cscript" $wine64
[ -n "$x86" ] && works "x64 package: 32-bit cscript" wine

# A package of a higher version replaces it; the older one is then refused.
run $wine64 msiexec /i "$newer" /qn
listed=$(products /reg:64)
check "upgrade to $newer_version: exits 0, one product listed" \
    "$([ $status -eq 0 ] && [ "$listed" = "vinspect (64-bit and 32-bit programs) $newer_version" ] && echo yes)" \
    "exit $status, listed: $listed"
installed "upgrade to $newer_version: files in place" "Program Files/vinspect/x64" "Program Files (x86)/vinspect/x86"
works "upgrade to $newer_version: 64-bit cscript" $wine64
# An upgrade that fails part-way: the package of the higher version with an action that fails
# after its files and registry rows are written, before the transaction ends. Windows Installer
# rolls the whole transaction back, the removal of the earlier version included. Wine 8's msi
# removes the earlier version in a run of its own that its rollback does not undo (measured), so
# there the earlier version's return is not checked, and a line says so.
cp "$3" "$work/failing.msi"
msibuild "$work/failing.msi" -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('FailPartWay', 19, '', 'A failure part-way through the upgrade')"
msibuild "$work/failing.msi" -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('FailPartWay', $(( $(msiinfo export "$work/failing.msi" InstallExecuteSequence | tr -d '\r' | awk -F '\t' '$1 == "InstallFinalize" { print $3 }') - 1 )))"
run $wine64 msiexec /x "$newer" /qn
run $wine64 msiexec /i "$msi64" /qn
run $wine64 msiexec /i "$(winpath "$work/failing.msi")" /qn
listed=$(products /reg:64)
row="upgrade failing part-way"
check "$row: exit 1603" "$([ $status -eq $((1603 & 255)) ] && echo yes)" "exit $status"
case $listed in *" $newer_version") fail "$row: the newer version is listed:" "$listed" ;;
    *) pass "$row: the newer version is not listed" ;; esac
if [ -n "$listed" ]; then
    installed "$row: the earlier version's files" "Program Files/vinspect/x64" "Program Files (x86)/vinspect/x86"
    works "$row: the earlier version works" $wine64
else
    echo "not checked: $row: the earlier version stays installed (Wine's rollback does not restore a removed product)"
fi
run $wine64 msiexec /i "$newer" /qn

run $wine64 msiexec /i "$msi64" /qn
listed=$(products /reg:64)
check "older package over $newer_version: refused" \
    "$([ $status -ne 0 ] && [ "$listed" = "vinspect (64-bit and 32-bit programs) $newer_version" ] && echo yes)" \
    "exit $status, listed: $listed"

run $wine64 msiexec /x "$newer" /qn
check "msiexec /x: exits 0, files and folders gone, nothing listed" \
    "$([ $status -eq 0 ] && [ ! -e "$drive/Program Files/vinspect" ] && [ ! -e "$drive/Program Files (x86)/vinspect" ] && [ -z "$(products /reg:64)" ] && echo yes)" \
    "exit $status; $(ls -d "$drive/Program Files/vinspect" "$drive/Program Files (x86)/vinspect" 2>/dev/null) $(products /reg:64)"
clean "msiexec /x"

# Refused before anything changes: the x86 package on 64-bit Windows (the x64 package serves
# 32-bit programs there); either package on ARM64, which the system environment names as the
# machine's architecture (as the scripts' test sets it). Rows: package, architecture.
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
run $wine64 reg query "$environment" /v PROCESSOR_ARCHITECTURE
machine=$(printf '%s\n' "$out" | sed -n 's/^ *PROCESSOR_ARCHITECTURE *REG_SZ *//p')
while read -r package architecture; do
    run $wine64 reg add "$environment" /v PROCESSOR_ARCHITECTURE /d "$architecture" /f
    run $wine64 msiexec /i "$package" /qn
    row="$(basename "$(printf '%s' "$package" | tr '\\' /)") on $architecture"
    check "$row: refused, exit 1603" "$([ $status -eq $((1603 & 255)) ] && echo yes)" "exit $status"
    check "$row: nothing listed" "$([ -z "$(products /reg:64)" ] && echo yes)" "$(products /reg:64)"
    clean "$row"
done <<ROWS
$msi86 $machine
$msi86 ARM64
$msi64 ARM64
ROWS
run $wine64 reg add "$environment" /v PROCESSOR_ARCHITECTURE /d "$machine" /f

# The zip's scripts and the packages refuse each other: the scripts while the package is
# installed (exit 4), the package while install.cmd's installation is present.
unzip -q "$zip" -d "$work/unpacked"
scripts=$(winpath "$work/unpacked")
run $wine64 msiexec /i "$msi64" /qn
for script in install.cmd uninstall.cmd; do
    run $wine64 "$scripts\\$script" x64
    check "$script with the x64 package installed: exit 4" "$([ $status -eq 4 ] && echo yes)" "exit $status: $out"
    expect "$script with the x64 package installed: the line" "vinspect is installed on this machine by its Windows Installer package, which $script leaves alone: change or remove it with \"Installed apps\" in Settings or with msiexec." "$out"
done
works "the package after the scripts refused" $wine64
run $wine64 msiexec /x "$msi64" /qn
run $wine64 "$scripts\\install.cmd" x64
run $wine64 msiexec /i "$msi64" /qn
check "x64 package after install.cmd: refused, exit 1603" "$([ $status -eq $((1603 & 255)) ] && echo yes)" "exit $status"
check "x64 package after install.cmd: nothing listed" "$([ -z "$(products /reg:64)" ] && echo yes)" "$(products /reg:64)"
works "install.cmd's installation after the package refused" $wine64
run $wine64 "$scripts\\uninstall.cmd" x64
clean "install.cmd, the package refused, uninstall.cmd"

# What regsvr32 writes for the same files at the same places (x86 first: the type library's
# HELPDIR, shared by both, then names the x64 folder, as the x64 package writes it). Where the
# x86 library cannot be registered, its keys are left out of the comparison.
mkdir -p "$drive/Program Files/vinspect/x64" "$drive/Program Files (x86)/vinspect/x86"
cp "$work/files/x64/"* "$drive/Program Files/vinspect/x64/"
cp "$work/files/x86/"* "$drive/Program Files (x86)/vinspect/x86/"
[ -n "$x86" ] && run wine regsvr32 /s 'C:\Program Files (x86)\vinspect\x86\vinspect.dll'
run $wine64 regsvr32 /s 'C:\Program Files\vinspect\x64\vinspect.dll'
export_classes registered
x86_keys='^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\(Wow6432Node\\CLSID\\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01\}(\\|\])|.*\\0\\win32\])'
[ -n "$x86" ] && x86_keys='^$'
for export in installed registered; do
    without "$installer" no "$work/$export" | without "$x86_keys" no /dev/stdin |
        without "$empty_keys" yes /dev/stdin >"$work/$export.rows"
done
if cmp -s "$work/installed.rows" "$work/registered.rows"; then pass "x64 package's rows equal regsvr32's"
else fail "x64 package's rows differ from regsvr32's:" "$(diff "$work/installed.rows" "$work/registered.rows")"; fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
