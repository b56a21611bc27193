#!/bin/sh
# Rebuilds the version resources of this folder: each producer compiles its input from src/, then
# tools/extract.py copies the raw version resource (the bytes as the file stores them) to <name>.bin;
# tools/handmade.py writes the hand-made layouts and the two NE executables.
#
# Installs nothing. Needs the Debian packages mono-mcs, nsis, llvm, fpc (fcl-res is in its
# fp-units-fcl) and python3:
#     apt-get install -y --no-install-recommends mono-mcs nsis llvm fpc python3
# The tests read the committed files and need none of these.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$here/src
missing=""
for tool in mcs makensis llvm-rc fpc fpcres python3; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "regenerate.sh: missing$missing; install: apt-get install -y mono-mcs nsis llvm fpc python3" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# extract FILE NAME [LANGUAGE]: the one version resource of FILE (in LANGUAGE, hex) to NAME.bin
extract() { python3 "$here/tools/extract.py" "$1" "$here/$2.bin" ${3:-}; }

# Mono: the version resource comes from assembly attributes; the output name gives InternalName.
for name in mono_ascii mono_nonascii mono_nocompany; do
    mcs -nologo -target:library -out:"$work/$name.dll" "$src/$name.cs"
    extract "$work/$name.dll" "$name"
done
extract /usr/lib/mono/4.5/mscorlib.dll mono_mscorlib  # an assembly Mono ships

# NSIS: one version resource per language; English and German (ANSI), English and Russian (Unicode).
makensis -V1 -DOUT="$work/ansi_x86.exe" "$src/nsis.nsi"
makensis -V1 -DUNICODE_STUB -DOUT="$work/unicode_x86.exe" "$src/nsis.nsi"
makensis -V1 -DUNICODE_STUB -DAMD64 -DOUT="$work/unicode_amd64.exe" "$src/nsis.nsi"
for language in 0409 0407; do extract "$work/ansi_x86.exe" "nsis_ansi_x86_$language" "$language"; done
for stub in unicode_x86 unicode_amd64; do
    for language in 0409 0419; do extract "$work/$stub.exe" "nsis_${stub}_$language" "$language"; done
done

# llvm-rc and fpcres compile a .rc to a .res file.
llvm-rc /C 65001 /FO "$work/llvm_rc.res" "$src/llvm_rc.rc"
extract "$work/llvm_rc.res" llvm_rc
fpcres -of res -o "$work/fpcres.res" "$src/fpcres.rc" >/dev/null
extract "$work/fpcres.res" fpcres

# fcl-res: a Pascal program that builds the resource with TVersionResource and writes a .res file.
fpc -v0 -FE"$work" -FU"$work" "$src/fclres_version.pas" >/dev/null
"$work/fclres_version" "$work/fclres.res"
extract "$work/fclres.res" fclres

python3 "$here/tools/handmade.py" "$here" >/dev/null
ls -l "$here"/*.bin "$here"/*.ne | awk '{ printf "%6d %s\n", $5, $NF }'
