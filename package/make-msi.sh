#!/bin/sh
# Builds the Windows Installer packages from package/vinspect.wxs with wixl:
# OUT_DIR/vinspect-<version>-x64.msi (64-bit Windows) and OUT_DIR/vinspect-<version>-x86.msi
# (32-bit Windows). Prints their paths.
# Usage: package/make-msi.sh X86_BUILD X64_BUILD OUT_DIR [VERSION]
#   VERSION: for tests only, a version other than the build trees' (to build an upgrade).
# The registry rows come from a real registration of the x64 library (registry-rows.sh, run
# with the 64-bit Wine loader only, so that hosts without 32-bit programs build both packages).
# The x86 library's rows are the same registration with the x86 file's path and the type
# library's platform key "win32" instead of "win64": both libraries are built from one registry
# script and one interface description. Where 32-bit programs run, tests/package/msi_test.sh
# compares the installed rows with what the x86 library's own registration writes.
set -eu
if [ $# -ne 3 ] && [ $# -ne 4 ]; then
    echo "usage: $0 X86_BUILD X64_BUILD OUT_DIR [VERSION]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
x86=$1 x64=$2 out=$3

. "$here/build-trees.sh"
version=$(tree_version "$x86" "$x64")
[ $# -eq 4 ] && version=$4
# Windows Installer compares major.minor.build: below 256, 256 and 65536.
if ! echo "$version" | awk -F. 'NF == 3 && $0 ~ /^[0-9.]+$/ && $1 < 256 && $2 < 256 && $3 < 65536 { ok = 1 } END { exit !ok }'
then
    echo "$0: version '$version' is not major.minor.build as Windows Installer needs it" >&2
    exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
stage_binaries "$x86" "$x64" "$stage"

# The rows, kept in the x64 tree and made again when the library or their script changes.
rows=$x64/package/registry.rows
stamp=$(cat "$stage/x64/vinspect.dll" "$here/registry-rows.sh" | sha256sum | cut -d' ' -f1)
if [ ! -f "$rows" ] || [ "$(cat "$rows.stamp" 2>/dev/null)" != "$stamp" ]; then
    mkdir -p "$(dirname "$rows")"
    "$here/registry-rows.sh" "$stage/x64/vinspect.dll" "$rows"
    echo "$stamp" >"$rows.stamp"
fi

# rows_include MODE FILE_ID FOLDER_ID PLATFORM: the rows as RegistryValue elements of a component.
#   MODE all: every row; own: the rows of the keys with a 32-bit view of their own (CLSID,
#   Interface) and the type library's platform key, for the x86 component of the x64 package,
#   where the 64-bit component writes the keys both views share (ProgIDs, the type library).
#   PLATFORM win32 renames the type library's win64 key.
rows_include() {
    mode=$1 file=$2 folder=$3 platform=$4 awk -F '\t' '
        function xml(s) {
            gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s); gsub(/"/, "\\&quot;", s)
            return s
        }
        # Registry columns are formatted text: brackets are written as [\[] and [\]].
        function formatted(s,    out, i, c) {
            out = ""
            for (i = 1; i <= length(s); i++) {
                c = substr(s, i, 1)
                out = out (c == "[" ? "[\\[]" : c == "]" ? "[\\]]" : c)
            }
            return xml(out)
        }
        BEGIN {
            mode = ENVIRON["mode"]; file = ENVIRON["file"]; folder = ENVIRON["folder"]
            platform = ENVIRON["platform"]
            print "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
            print "<!-- Made by package/make-msi.sh from a registration; do not edit. -->"
            print "<Include>"
        }
        index($0, "$(") > 0 { print "a row holds \"$(\": " $0 > "/dev/stderr"; bad = 1; next }
        {
            key = $2
            if (tolower(key) ~ /^typelib\\.*\\win64$/) {
                platforms++
                sub(/win64$/, platform, key)
            } else if (mode == "own" && tolower(key) !~ /^(clsid|interface)\\/) next
            attributes = "Root=\"HKLM\" Key=\"" formatted("Software\\Classes\\" key) "\""
            if ($1 == "key") {
                # Created with the component, removed with it.
                print "  <RegistryValue " attributes " Name=\"*\" Type=\"string\" Value=\"\"/>"
                next
            }
            data = $4
            if (substr(data, 1, 1) == "#") data = "#" data   # a leading # would set the type
            data = formatted(data)
            gsub(/@LIBRARY@/, "[#" file "]", data)
            gsub(/@FOLDER@/, "[" folder "]", data)
            name = $3 == "" ? "" : " Name=\"" formatted($3) "\""
            print "  <RegistryValue " attributes name " Type=\"string\" Value=\"" data "\"/>"
        }
        END {
            if (platforms != 1) { print "expected one type library platform key, found " platforms + 0 > "/dev/stderr"; bad = 1 }
            print "</Include>"
            exit bad
        }' "$rows"
}

mkdir -p "$out"
out=$(cd "$out" && pwd)
for arch in x64 x86; do
    if [ $arch = x64 ]; then
        rows_include all X64LibraryFile X64Folder win64 >"$stage/rows-x64.wxi"
        rows_include own X86LibraryFile X86Folder win32 >"$stage/rows-x86.wxi"
    else
        rows_include all X86LibraryFile X86Folder win32 >"$stage/rows-x86.wxi"
    fi
    # One product code per package and version: a package rebuilt with the same version is the
    # same product (Windows Installer refuses it as already installed instead of adding a second).
    hash=$(printf 'vinspect %s %s' "$arch" "$version" | sha1sum | cut -c1-32 | tr a-f A-F)
    variant=$(printf '%X' $(( (0x$(echo "$hash" | cut -c17) & 3) | 8 )))
    code=$(echo "$hash" | sed "s/^\(.\{8\}\)\(.\{4\}\).\(.\{3\}\).\(.\{3\}\)\(.*\)$/\1-\2-5\3-$variant\4-\5/")
    msi=$out/vinspect-$version-$arch.msi
    (cd "$stage" && wixl -a $arch -I "$stage" -D Arch=$arch -D Version="$version" \
        -D ProductCode="$code" -o "$stage/package.msi" "$here/vinspect.wxs")
    # wixl writes no file versions, and Windows Installer treats a file without one as
    # unversioned: it would keep a versioned copy already at the target instead of replacing it.
    # Each binary's version is its own (vinsdemo has one of its own), read from the file.
    set -- X86LibraryFile x86/vinspect.dll X86DemoFile x86/vinsdemo.exe
    [ $arch = x64 ] && set -- X64LibraryFile x64/vinspect.dll X64DemoFile x64/vinsdemo.exe "$@"
    while [ $# -gt 0 ]; do
        file_version=$(pe_file_version "$stage/$2") || exit 1
        msibuild "$stage/package.msi" -q "UPDATE File SET Version = '$file_version' WHERE File = '$1'"
        shift 2
    done
    sign_file "$stage/package.msi"
    mv "$stage/package.msi" "$msi"
    echo "$msi"
done
