#!/bin/sh
# Writes the registry rows of the Windows Installer packages from a real registration: registers
# the x64 library with the 64-bit regsvr32 in a scratch Wine prefix and keeps what it added to the
# 64-bit view of HKLM\Software\Classes (the 32-bit view is left out: the x86 component writes its
# own rows there). Only the 64-bit loader is used, so this runs on hosts without 32-bit programs.
# Usage: package/registry-rows.sh X64_LIBRARY ROWS_FILE
# ROWS_FILE has one tab-separated row per line, keys relative to HKLM\Software\Classes:
#   value KEY NAME DATA   a string value (NAME empty: the key's default value)
#   key KEY               a key without values or subkeys of its own
# In DATA the library's path reads @LIBRARY@ and its folder (with the final backslash) @FOLDER@.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 X64_LIBRARY ROWS_FILE" >&2
    exit 2
fi
library=$1 rows=$2
wine64=/usr/lib/wine/wine64
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# A folder name found nowhere else in the registry, so that every use of it is the library's.
folder='C:\vinspect-registration-rows\x64\'
$wine64 wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p 60 >/dev/null 2>&1 || true
mkdir -p "$WINEPREFIX/drive_c/vinspect-registration-rows/x64"
cp "$library" "$WINEPREFIX/drive_c/vinspect-registration-rows/x64/vinspect.dll"

# The whole of HKLM\Software\Classes as flat lines: "K<tab>KEY", "V<tab>KEY<tab>NAME<tab>DATA",
# or "X<tab>KEY<tab>NAME" for a value that is not a string.
flat_export() {
    (cd "$scratch" && $wine64 regedit /e "$1.reg" 'HKEY_LOCAL_MACHINE\Software\Classes') </dev/null
    iconv -f UTF-16 -t UTF-8 "$scratch/$1.reg" | tr -d '\r' >"$scratch/$1.txt"
    awk '
        # A quoted .reg string starting at position 1 of s: sets text (unescaped) and rest.
        function unquote(s,    i, c) {
            text = ""
            for (i = 2; i <= length(s); i++) {
                c = substr(s, i, 1)
                if (c == "\"") { rest = substr(s, i + 1); return 1 }
                if (c == "\\") {
                    i++
                    c = substr(s, i, 1)
                    if (c != "\\" && c != "\"") return 0
                }
                text = text c
            }
            return 0
        }
        /^\[/ {
            key = substr($0, 2, length($0) - 2)
            if (index(key, "HKEY_LOCAL_MACHINE\\Software\\Classes\\") == 1) {
                key = substr(key, length("HKEY_LOCAL_MACHINE\\Software\\Classes\\") + 1)
                print "K\t" key
            } else key = ""
            next
        }
        key == "" || $0 == "" { next }
        {
            # Long binary data goes on over lines ending with a backslash.
            line = $0
            while (substr(line, length(line)) == "\\" && (getline more) > 0) {
                sub(/^ +/, "", more)
                line = substr(line, 1, length(line) - 1) more
            }
            $0 = line
            if (substr($0, 1, 2) == "@=") { name = ""; rest = substr($0, 2) }
            else if (!unquote($0)) { print "unreadable line: " $0 > "/dev/stderr"; exit 1 }
            else name = text
            if (substr(rest, 1, 2) == "=\"" && unquote(substr(rest, 2)) && rest == "")
                print "V\t" key "\t" name "\t" text
            else print "X\t" key "\t" name
        }' "$scratch/$1.txt" >"$scratch/$1.flat"
    LC_ALL=C sort "$scratch/$1.flat" >"$scratch/$1"
}

flat_export before
$wine64 regsvr32 /s "${folder}vinspect.dll" </dev/null
flat_export after

# What the registration added to the 64-bit view, as rows. A key is written by its values; one
# without values needs a row of its own only when no added key lies below it.
LC_ALL=C comm -13 "$scratch/before" "$scratch/after" >"$scratch/added"
folder=$folder awk -F '\t' '
    function lower(s) { return tolower(s) }
    function replace_all(s, from, to,    out, at) {
        out = ""
        while ((at = index(lower(s), lower(from))) > 0) {
            out = out substr(s, 1, at - 1) to
            s = substr(s, at + length(from))
        }
        return out s
    }
    BEGIN { folder = ENVIRON["folder"] }   # not -v: awk would read its backslashes as escapes
    lower($2) ~ /^wow6432node\\/ { next }
    $1 == "X" { print "the registration wrote a value that is not a string: " $2 " " $3 > "/dev/stderr"; bad = 1; next }
    $1 == "K" { keys[++nkeys] = $2; next }
    {
        data = replace_all(replace_all($4, folder "vinspect.dll", "@LIBRARY@"), folder, "@FOLDER@")
        if (index(lower(data), "vinspect-registration-rows") > 0) {
            print "a value names the scratch folder in an unknown way: " $2 " " $3 > "/dev/stderr"
            bad = 1
        }
        valued[$2] = 1
        rows[++nrows] = "value\t" $2 "\t" $3 "\t" data
    }
    END {
        if (bad) exit 1
        if (nrows == 0) { print "the registration added nothing" > "/dev/stderr"; exit 1 }
        for (i = 1; i <= nkeys; i++) {
            if (keys[i] in valued) continue
            inner = 0
            for (j = 1; j <= nkeys; j++)
                if (index(keys[j], keys[i] "\\") == 1) inner = 1
            if (!inner) rows[++nrows] = "key\t" keys[i]
        }
        for (i = 1; i <= nrows; i++) print rows[i]
    }' "$scratch/added" >"$scratch/rows"
mv "$scratch/rows" "$rows"
