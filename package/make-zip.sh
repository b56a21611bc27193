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

. "$here/build-trees.sh"
version=$(tree_version "$x86" "$x64")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
stage_binaries "$x86" "$x64" "$stage"
# Each script stands alone in the zip: its own part, then the part both share.
for script in install.cmd uninstall.cmd; do
    cat "$here/$script" "$here/shared.cmd" >"$stage/$script"
done
cp "$here/README.txt" "$stage/"
# The C++ SDK: each tree's sdk folder, the same but for the type library and the program
# manifest under the tree's architecture.
mkdir "$stage/sdk"
cp -r "$x86/sdk/." "$x64/sdk/." "$stage/sdk/"
# Windows users open the samples in Notepad: give them CRLF line ends.
for sample in vinfo.vbs vinfo.js; do
    sed 's/\r*$/\r/' "$here/../samples/$sample" >"$stage/$sample"
done

mkdir -p "$out"
zip=$(cd "$out" && pwd)/vinspect-$version.zip
rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" .)
echo "$zip"
