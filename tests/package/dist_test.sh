#!/bin/sh
# What a release publishes (package/make-dist.sh): SHA256SUMS that sha256sum verifies, binaries
# without debug sections (their debug information kept in the build trees), and Authenticode
# signatures on every library, program and package when a certificate is given: a throwaway
# self-signed one made here, trusted for the check through -CAfile (without it the chain is
# untrusted, as expected for such a certificate). Without a certificate nothing is signed, and
# one line says so.
# Usage: tests/package/dist_test.sh X86_BUILD X64_BUILD WORK_DIR
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 X86_BUILD X64_BUILD WORK_DIR" >&2
    exit 2
fi
x86=$(realpath "$1") x64=$(realpath "$2")
rm -rf "$3"
mkdir -p "$3"
work=$(cd "$3" && pwd)
package=$(cd "$(dirname "$0")/../../package" && pwd)
passed=0
failed=0
pass() { passed=$((passed + 1)); printf 'ok: %s\n' "$1"; }
fail() { failed=$((failed + 1)); printf 'FAILED: %s\n' "$*"; }
check() { if [ "$2" = yes ]; then pass "$1"; else fail "$1:" "$3"; fi; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj '/CN=vinspect test signer' -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
    -passout 'pass:a password with $ and spaces'
VINSPECT_SIGN_PFX="$work/cert.pfx" VINSPECT_SIGN_PASSWORD='a password with $ and spaces' \
    "$package/make-dist.sh" "$x86" "$x64" "$work/signed" >"$work/signed.out" 2>&1
check "signed dist: make-dist.sh succeeds" "$([ $? -eq 0 ] && echo yes)" "$(cat "$work/signed.out")"
check "signed dist: says nothing about an unsigned release" \
    "$(grep -q 'nothing is signed' "$work/signed.out" || echo yes)" "$(cat "$work/signed.out")"

# Every file written is listed, and each sum holds.
listed=$(cd "$work/signed" && awk '{ print $2 }' SHA256SUMS | sort | paste -sd ' ')
present=$(cd "$work/signed" && ls | grep -v '^SHA256SUMS$' | sort | paste -sd ' ')
check "SHA256SUMS lists every file written" \
    "$([ -n "$listed" ] && [ "$listed" = "$present" ] && echo yes)" "listed '$listed', written '$present'"
sums=$(cd "$work/signed" && sha256sum -c SHA256SUMS 2>&1)
check "sha256sum -c SHA256SUMS" "$([ $? -eq 0 ] && echo yes)" "$sums"

# The binaries as shipped: in the zip and inside both packages.
mkdir -p "$work/files"
unzip -q "$work/signed/"*.zip -d "$work/files/zip"
for msi in "$work/signed/"*.msi; do
    msiextract -C "$work/files/$(basename "$msi")" "$msi" >/dev/null
done
(cd "$work/files" && find . -name '*.dll' -o -name '*.exe' | sort) >"$work/binaries"
check "binaries found in the zip and the packages" \
    "$([ "$(wc -l <"$work/binaries")" -eq 10 ] && echo yes)" "$(cat "$work/binaries")"
while read -r binary; do
    sections=$(x86_64-w64-mingw32-objdump -h "$work/files/$binary" |
        awk '$2 ~ /^\.debug/ { print $2 }')
    check "$binary: no debug sections" "$([ -z "$sections" ] && echo yes)" "$sections"
done <"$work/binaries"
(cd "$work/files" && ls ../signed/*.msi) >>"$work/binaries"
while read -r file; do
    verified=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/files/$file" 2>&1)
    check "$file: signed by the test certificate" "$([ $? -eq 0 ] && echo yes)" "$verified"
done <"$work/binaries"
for tree in "$x86" "$x64"; do
    for name in vinspect.dll vinsdemo.exe; do
        debug=$(x86_64-w64-mingw32-objdump -h "$tree/debug/$name.debug" 2>&1 |
            grep -c ' \.debug_info ')
        check "$(basename "$tree")/debug/$name.debug holds the debug information" \
            "$([ "$debug" -eq 1 ] && echo yes)" "$debug"
    done
done

# Without a certificate: one line, and nothing signed.
env -u VINSPECT_SIGN_PFX -u VINSPECT_SIGN_PASSWORD \
    "$package/make-dist.sh" "$x86" "$x64" "$work/unsigned" >"$work/unsigned.out" 2>&1
check "unsigned dist: the one line" \
    "$([ "$(grep -c 'nothing is signed' "$work/unsigned.out")" -eq 1 ] && echo yes)" \
    "$(cat "$work/unsigned.out")"
for msi in "$work/unsigned/"*.msi; do
    verified=$(osslsigncode verify -in "$msi" 2>&1)
    check "unsigned dist: $(basename "$msi") carries no signature" "$([ $? -ne 0 ] && echo yes)" \
        "$verified"
done

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
