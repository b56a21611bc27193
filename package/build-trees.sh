# Shared by the package scripts (sourced): what they take from the two build trees, x86 and x64.

# tree_version X86_BUILD X64_BUILD: prints the project's version. The project keeps it in one
# place, the project() line, and each build tree caches it; the two must agree.
tree_version() {
    v86=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
    v64=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$2/CMakeCache.txt")
    if [ -z "$v64" ] || [ "$v64" != "$v86" ]; then
        echo "$0: the two build trees disagree on the version ('$v86', '$v64')" >&2
        return 1
    fi
    echo "$v64"
}

# The files of each architecture that the packages ship, from each build tree's bin folder: the
# library with its assembly manifest (registration-free use) and vinsdemo.
shipped_files="vinspect.dll vinspect.manifest vinsdemo.exe"

# stage_binaries X86_BUILD X64_BUILD STAGE: each tree's shipped files into STAGE/x86 and
# STAGE/x64. Programs and libraries are stripped (no Windows debugger reads their DWARF
# information; it is kept in <build>/debug/<name>.debug, which the binary names in its
# .gnu_debuglink section) and signed when a certificate is given (sign_file); other files are
# copied as they are. Swapped arguments would ship a package that registers nothing a script host
# can load: a library of the other architecture is refused.
stage_binaries() {
    for arch in x86 x64; do
        if [ "$arch" = x86 ]; then build=$1 format=pei-i386 triple=i686-w64-mingw32
        else build=$2 format=pei-x86-64 triple=x86_64-w64-mingw32; fi
        mkdir "$3/$arch"
        if ! $triple-objdump -f "$build/bin/vinspect.dll" | grep -q "file format $format"; then
            echo "$0: $build/bin/vinspect.dll is not an $arch library" >&2
            return 1
        fi
        mkdir -p "$build/debug"
        for name in $shipped_files; do
            case $name in
                *.dll|*.exe) ;;
                *) cp "$build/bin/$name" "$3/$arch/$name"; continue ;;
            esac
            $triple-objcopy --only-keep-debug "$build/bin/$name" "$build/debug/$name.debug"
            $triple-objcopy --strip-all --add-gnu-debuglink="$build/debug/$name.debug" \
                "$build/bin/$name" "$3/$arch/$name"
            sign_file "$3/$arch/$name" || return 1
        done
    done
}

# sign_file FILE: signs a Windows binary or package with Authenticode in place when
# VINSPECT_SIGN_PFX names a .pfx file (its password in VINSPECT_SIGN_PASSWORD); does nothing
# otherwise. The password reaches osslsigncode through a file only this user can read, not
# through its command line.
sign_file() {
    [ -n "${VINSPECT_SIGN_PFX:-}" ] || return 0
    if [ ! -f "$VINSPECT_SIGN_PFX" ] || [ -z "${VINSPECT_SIGN_PASSWORD+set}" ]; then
        echo "$0: VINSPECT_SIGN_PFX needs a .pfx file and VINSPECT_SIGN_PASSWORD its password" >&2
        return 1
    fi
    password=$(umask 077 && mktemp)
    printf '%s' "$VINSPECT_SIGN_PASSWORD" >"$password"
    if ! osslsigncode sign -pkcs12 "$VINSPECT_SIGN_PFX" -readpass "$password" -h sha256 \
        -n "vinspect" -in "$1" -out "$1.signed" >/dev/null; then
        rm -f "$password" "$1.signed"
        echo "$0: osslsigncode could not sign $1" >&2
        return 1
    fi
    rm -f "$password"
    mv "$1.signed" "$1"
}

# pe_file_version FILE: prints the file version of a Windows binary's version resource
# (major.minor.build.revision), read from its fixed-information block (signature 0xFEEF04BD).
pe_file_version() {
    perl -0777 -ne '
        my $at = index($_, pack("V", 0xFEEF04BD));
        exit 1 if $at < 0;
        my ($ms, $ls) = unpack("V V", substr($_, $at + 8, 8));
        printf "%d.%d.%d.%d\n", $ms >> 16, $ms & 0xFFFF, $ls >> 16, $ls & 0xFFFF;
    ' "$1" || { echo "$0: $1 has no version resource" >&2; return 1; }
}
