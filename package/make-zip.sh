#!/bin/sh
# Packs both architectures' builds, the install scripts and the script samples into the zip a
# Windows user unpacks: OUT_DIR/vinspect-<version>.zip. Prints the zip's path.
# Usage: package/make-zip.sh X86_BUILD X64_BUILD OUT_DIR
set -eu
if [ $# -ne 3 ]; then
    echo "usage: $0 X86_BUILD X64_BUILD OUT_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
x86=$1 x64=$2 out=$3

# The project keeps its version in one place, the project() line; the build tree caches it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$x64/CMakeCache.txt")
version86=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$x86/CMakeCache.txt")
if [ -z "$version" ] || [ "$version" != "$version86" ]; then
    echo "$0: the two build trees disagree on the version ('$version86', '$version')" >&2
    exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for arch in x86 x64; do
    if [ "$arch" = x86 ]; then build=$x86 format=pei-i386; else build=$x64 format=pei-x86-64; fi
    mkdir "$stage/$arch"
    cp "$build/bin/vinspect.dll" "$build/bin/vinsdemo.exe" "$stage/$arch/"
    # Swapped arguments would ship a package that registers nothing a script host can load.
    if ! x86_64-w64-mingw32-objdump -f "$stage/$arch/vinspect.dll" | grep -q "file format $format"; then
        echo "$0: $build/bin/vinspect.dll is not an $arch library" >&2
        exit 1
    fi
done
cp "$here/install.cmd" "$here/uninstall.cmd" "$here/README.txt" "$stage/"
# Windows users open the samples in Notepad: give them CRLF line ends.
for sample in vinfo.vbs vinfo.js; do
    sed 's/\r*$/\r/' "$here/../samples/$sample" >"$stage/$sample"
done

mkdir -p "$out"
zip=$(cd "$out" && pwd)/vinspect-$version.zip
rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" .)
echo "$zip"
