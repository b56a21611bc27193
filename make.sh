#!/bin/sh
# Set-up, build and run for a Debian machine.
#   ./make.sh main   build both architectures and run the main job
#   ./make.sh test   build both architectures and run every test
#   ./make.sh bench  build both architectures and run the benchmarks
#   ./make.sh build  build both architectures
#   ./make.sh deps   install the packages the build needs (skips what is there)
set -eu
cd "$(dirname "$0")"
root=$(pwd)
archs="x86 x64"

deps() {
    need=""
    for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-widl \
                wine xvfb-run xdotool cmake make flock; do
        command -v "$tool" >/dev/null 2>&1 || need=yes
    done
    [ -d /usr/include/wine/wine/windows ] || need=yes
    [ -d /usr/src/googletest ] || need=yes
    [ -x /usr/lib/wine/wine64 ] || need=yes
    dpkg -s wine32:i386 >/dev/null 2>&1 || need=yes
    [ -z "$need" ] && return 0
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        cmake make g++ googletest util-linux \
        g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
        mingw-w64-tools libwine-dev wine wine64 wine32:i386 xvfb xauth x11-utils xdotool imagemagick
}

build() {
    for arch in $archs; do
        cmake -S "$root" -B "$root/build/$arch" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$root/build/$arch" -j"$(nproc)"
    done
}

# Runs a program of one build tree under Wine in that tree's prefix.
wine_run() {
    arch=$1
    shift
    "$root/cmake/wine-run.sh" "$root/build/$arch/wineprefix" "$@"
}

# A Unix path as Wine's programs see it.
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

# Registers each architecture's component with the platform's regsvr32 of the same bitness, lists
# a system module through it with the VBScript sample, and shows vinsdemo on the same module (on
# the user's display, or under Xvfb with a screenshot saved as build/<arch>/vinsdemo.png).
main_job() {
    for arch in $archs; do
        if [ "$arch" = x86 ]; then bits=""; system='C:\windows\syswow64'; else bits=--64; system='C:\windows\system32'; fi
        printf '== %s: regsvr32 %s\n' "$arch" "$(windows_path "$root/build/$arch/bin/vinspect.dll")"
        wine_run "$arch" $bits regsvr32 /s "$(windows_path "$root/build/$arch/bin/vinspect.dll")"
        printf '== %s: cscript samples\\vinfo.vbs %s\\comctl32.dll\n' "$arch" "$system"
        wine_run "$arch" $bits cscript //nologo "$(windows_path "$root/samples/vinfo.vbs")" "$system\\comctl32.dll"
        printf '== %s: vinsdemo on %s\\comctl32.dll\n' "$arch" "$system"
        "$root/demo/show.sh" "$root/build/$arch" "$system\\comctl32.dll"
    done
}

run_tests() {
    status=0
    for arch in $archs; do
        echo "== $arch tests"
        # Windows need the display of this run: end programs that an earlier run left in the prefix.
        WINEPREFIX="$root/build/$arch/wineprefix" wineserver -k >/dev/null 2>&1 || true
        (cd "$root/build/$arch" && xvfb-run -a ctest --output-on-failure) || status=1
    done
    return $status
}

run_benchmarks() {
    for arch in $archs; do
        for bench in "$root/build/$arch/bin/"*_bench.exe; do
            echo "== $arch $(basename "$bench")"
            wine_run "$arch" "$bench"
        done
    done
}

case "${1:-}" in
    deps) deps ;;
    build) deps; build ;;
    main) deps; build; main_job ;;
    test) deps; build; run_tests ;;
    bench) deps; build; run_benchmarks ;;
    *) echo "usage: $0 main|test|bench|build|deps" >&2; exit 2 ;;
esac
