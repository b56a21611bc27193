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

# stage_binaries X86_BUILD X64_BUILD STAGE: each tree's vinspect.dll and vinsdemo.exe into
# STAGE/x86 and STAGE/x64. Swapped arguments would ship a package that registers nothing a
# script host can load: a library of the other architecture is refused.
stage_binaries() {
    for arch in x86 x64; do
        if [ "$arch" = x86 ]; then build=$1 format=pei-i386; else build=$2 format=pei-x86-64; fi
        mkdir "$3/$arch"
        cp "$build/bin/vinspect.dll" "$build/bin/vinsdemo.exe" "$3/$arch/"
        if ! x86_64-w64-mingw32-objdump -f "$3/$arch/vinspect.dll" | grep -q "file format $format"
        then
            echo "$0: $build/bin/vinspect.dll is not an $arch library" >&2
            return 1
        fi
    done
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
