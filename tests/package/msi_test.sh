#!/bin/sh
# The Windows Installer packages end to end in a fresh Wine prefix, with Wine's msiexec: install,
# upgrade by a package of a higher version, refusal of the older one over it, removal; the x86
# package on its own; and the rows the x64 package wrote compared with what regsvr32 of the same
# files writes.
# Usage: tests/package/msi_test.sh X64_MSI X86_MSI NEWER_X64_MSI WORK_DIR ARCHS
#   NEWER_X64_MSI: the x64 package built with a higher version.
#   ARCHS: the architectures this host can run, "x86 x64" or "x64".
set -u
if [ $# -ne 5 ]; then
    echo "usage: $0 X64_MSI X86_MSI NEWER_X64_MSI WORK_DIR ARCHS" >&2
    exit 2
fi
winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
msi64=$(winpath "$1") msi86=$(winpath "$2") newer=$(winpath "$3")
newer_version=$(basename "$3" | sed -n 's/^vinspect-\(.*\)-x64\.msi$/\1/p')
sample=$(winpath "$(dirname "$0")/../../samples/vinfo.vbs")
mkdir -p "$4"
work=$(cd "$4" && pwd)
case " $5 " in *" x86 "*) x86=yes ;; *) x86= ;; esac

export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/checks.sh"
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
# Wine leaves four of them behind, empty.
installer='^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\|\])'
wine_leftovers='^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\(Features|Products|UpgradeCodes))?\]$'

# Whether the registry is as before the first install but for Wine's empty keys: clean ROW.
clean() {
    export_classes after
    without "$wine_leftovers" yes "$work/after" >"$work/after.kept"
    if cmp -s "$work/before" "$work/after.kept"; then pass "$1: registry as before"
    else fail "$1: registry differs:" "$(diff "$work/before" "$work/after.kept")"; fi
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

rm -rf "$WINEPREFIX" "$work/files"
if [ -n "$x86" ]; then wine wineboot -i >/dev/null 2>&1; else $wine64 wineboot -i >/dev/null 2>&1; fi
wineserver -w
wineserver -p
trap 'wineserver -k' EXIT
[ -n "$x86" ] || echo "x86 half skipped: this host cannot start 32-bit programs (32-bit script host, x86 package, x86 library's own registration)"
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

# The x86 package: 32-bit view and Program Files (x86) only.
if [ -n "$x86" ]; then
    run $wine64 msiexec /i "$msi86" /qn
    library='C:\Program Files (x86)\vinspect\x86\vinspect.dll'
    class32=$($wine64 reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /reg:32 </dev/null 2>&1 | tr -d '\r')
    $wine64 reg query "HKLM\\Software\\Classes\\CLSID\\$clsid" /reg:64 </dev/null >/dev/null 2>&1 && class64=yes || class64=
    check "x86 package: exits 0, class in the 32-bit view only, at $library" \
        "$([ $status -eq 0 ] && printf '%s\n' "$class32" | grep -qF "REG_SZ    $library" && [ -z "$class64" ] && echo yes)" \
        "exit $status; 32-bit view: $class32; 64-bit view has the class: ${class64:-no}"
    installed "x86 package: files in Program Files (x86)" "Program Files (x86)/vinspect/x86"
    works "x86 package: 32-bit cscript" wine
    run $wine64 msiexec /x "$msi86" /qn
    check "x86 package: msiexec /x exits 0, folder gone" \
        "$([ $status -eq 0 ] && [ ! -e "$drive/Program Files (x86)/vinspect" ] && echo yes)" "exit $status"
    clean "x86 package: msiexec /x"
fi

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
without "$installer" no "$work/installed" | without "$x86_keys" no /dev/stdin >"$work/installed.rows"
without "$installer" no "$work/registered" | without "$x86_keys" no /dev/stdin >"$work/registered.rows"
if cmp -s "$work/installed.rows" "$work/registered.rows"; then pass "x64 package's rows equal regsvr32's"
else fail "x64 package's rows differ from regsvr32's:" "$(diff "$work/installed.rows" "$work/registered.rows")"; fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
