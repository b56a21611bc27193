#!/bin/sh
# Writes what is published for a release into OUT_DIR: the zip (make-zip.sh), both Windows
# Installer packages (make-msi.sh) and SHA256SUMS for every file written. Binaries ship stripped,
# their debug information kept in the build trees. With VINSPECT_SIGN_PFX (a .pfx file) and
# VINSPECT_SIGN_PASSWORD in the environment, the libraries, programs and packages are signed with
# Authenticode (osslsigncode); without them nothing is signed, and one line says so.
# Usage: package/make-dist.sh X86_BUILD X64_BUILD OUT_DIR
set -eu
if [ $# -ne 3 ]; then
    echo "usage: $0 X86_BUILD X64_BUILD OUT_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${VINSPECT_SIGN_PFX:-}" ] ||
    echo "dist: nothing is signed (to sign, set VINSPECT_SIGN_PFX and VINSPECT_SIGN_PASSWORD)"
mkdir -p "$3"
out=$(cd "$3" && pwd)
written=$(mktemp)
trap 'rm -f "$written"' EXIT
"$here/make-zip.sh" "$1" "$2" "$out" >"$written"
"$here/make-msi.sh" "$1" "$2" "$out" >>"$written"
(cd "$out" && xargs -n 1 basename <"$written" | xargs sha256sum >SHA256SUMS)
cat "$written"
echo "$out/SHA256SUMS"
