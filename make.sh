#!/bin/sh
# Set-up, build and run for a Debian machine.
#   ./make.sh main   build the architectures and run the main job
#   ./make.sh test   build the architectures and run every test
#   ./make.sh bench  build the architectures and run the benchmarks
#   ./make.sh build  build the architectures
#   ./make.sh dist   build both architectures and write dist/vinspect-<version>.zip, the
#                    Windows Installer packages dist/vinspect-<version>-x64.msi and -x86.msi and
#                    dist/SHA256SUMS; binaries stripped (debug information in build/<arch>/debug/),
#                    signed with Authenticode when VINSPECT_SIGN_PFX (a .pfx file) and
#                    VINSPECT_SIGN_PASSWORD are set
#   ./make.sh deps   install the packages the build needs (skips what is there)
# VINSPECT_ARCHS chooses the architectures (default "x86 x64"). Both are built; an x86 tree is
# run only where this host can start 32-bit programs, which is found out once, by trying.
set -eu
cd "$(dirname "$0")"
root=$(pwd)
archs=${VINSPECT_ARCHS:-x86 x64}
for arch in $archs; do
    case $arch in
        x86|x64) ;;
        *) echo "VINSPECT_ARCHS: unknown architecture '$arch' (use x86, x64 or both)" >&2; exit 2 ;;
    esac
done

deps() {
    need=""
    for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-widl \
                wine xvfb-run xdotool cmake make flock zip unzip wixl msibuild msiinfo msiextract \
                osslsigncode openssl perl; do
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
        cmake make g++ googletest util-linux zip unzip wixl msitools osslsigncode openssl perl \
        g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
        mingw-w64-tools libwine-dev wine wine64 wine32:i386 xvfb xauth x11-utils xdotool imagemagick
}

# The summary at the end: one line per architecture, added to as the run goes.
summary=$(mktemp)
trap 'print_summary; rm -f "$summary"' EXIT
note() {
    printf '%s\n' "$*" >>"$summary"
}
print_summary() {
    [ -s "$summary" ] || return 0
    echo "== summary"
    for arch in x86 x64; do
        line=$(grep "^$arch " "$summary" | cut -d' ' -f2- | paste -sd';' | sed 's/;/; /g')
        [ -n "$line" ] && printf '%s: %s\n' "$arch" "$line"
    done
    grep '^package ' "$summary" || true
    grep '^regfree ' "$summary" || true
    grep '^msi ' "$summary" || true
    grep '^dist ' "$summary" || true
    grep '^total ' "$summary" | cut -d' ' -f2- || true
}

# The architectures that run: those chosen, less x86 where this host cannot start a 32-bit
# program. The 32-bit loader itself is tried, once.
runnable=""
choose_runnable() {
    for arch in $archs; do
        if [ "$arch" = x86 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
            echo "x86: built; not run: this host cannot start 32-bit programs"
            note "x86 not run: this host cannot start 32-bit programs"
            continue
        fi
        runnable="$runnable $arch"
    done
}

build() {
    for arch in $archs; do
        cmake -S "$root" -B "$root/build/$arch" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
        if ! cmake --build "$root/build/$arch" -j"$(nproc)"; then
            note "$arch build failed"
            return 1
        fi
        note "$arch built"
    done
    choose_runnable
}

# Runs a program of one build tree under Wine, with that tree's loader and prefix.
wine_run() {
    arch=$1
    shift
    "$root/build/$arch/wine-run.sh" "$@"
}

# A Unix path as Wine's programs see it.
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

# Registers each architecture's component with the platform's regsvr32 of the same bitness, lists
# a system module through it with the VBScript sample, and shows vinsdemo on the same module (on
# the user's display, or under Xvfb with a screenshot saved as build/<arch>/vinsdemo.png).
main_job() {
    for arch in $runnable; do
        if [ "$arch" = x86 ]; then system='C:\windows\syswow64'; else system='C:\windows\system32'; fi
        printf '== %s: regsvr32 %s\n' "$arch" "$(windows_path "$root/build/$arch/bin/vinspect.dll")"
        wine_run "$arch" regsvr32 /s "$(windows_path "$root/build/$arch/bin/vinspect.dll")"
        printf '== %s: cscript samples\\vinfo.vbs %s\\comctl32.dll\n' "$arch" "$system"
        wine_run "$arch" cscript //nologo "$(windows_path "$root/samples/vinfo.vbs")" "$system\\comctl32.dll"
        printf '== %s: vinsdemo on %s\\comctl32.dll\n' "$arch" "$system"
        "$root/demo/show.sh" "$root/build/$arch" "$system\\comctl32.dll"
        note "$arch main job ran and passed"
    done
}

# Runs every test of each runnable tree; a tree that is not run reports how many tests it has.
run_tests() {
    status=0
    passed=0
    failed=0
    for arch in $archs; do
        case " $runnable " in
            *" $arch "*) ;;
            *)
                count=$(cd "$root/build/$arch" && ctest -N | sed -n 's/^Total Tests: //p')
                note "$arch tests not run (${count:-0} skipped)"
                continue ;;
        esac
        echo "== $arch tests"
        # Windows need the display of this run: end programs that an earlier run left in the prefix.
        WINEPREFIX="$root/build/$arch/wineprefix" wineserver -k >/dev/null 2>&1 || true
        log=$(mktemp)
        (cd "$root/build/$arch" && xvfb-run -a ctest --output-on-failure) | tee "$log" || true
        # ctest's closing line: "100% tests passed, 0 tests failed out of 5".
        counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log")
        rm -f "$log"
        if [ -z "$counts" ]; then
            note "$arch tests ran: no result (ctest did not finish)"
            status=1
            continue
        fi
        set -- $counts
        passed=$((passed + $2 - $1))
        failed=$((failed + $1))
        note "$arch tests ran: $(($2 - $1)) passed, $1 failed"
        [ "$1" -eq 0 ] || status=1
    done
    # The packages hold both architectures: their tests need both built, and share one zip.
    if both_built; then
        zip=$("$root/package/make-zip.sh" "$root/build/x86" "$root/build/x64" "$root/build/package")
        run_package_test || status=1
        run_regfree_test || status=1
        run_msi_test || status=1
        run_dist_test || status=1
    else
        note "package tests not run: the packages need both architectures built"
    fi
    note "total tests: $passed passed, $failed failed"
    return $status
}

# Whether both architectures are built in this run.
both_built() {
    case " $archs " in *" x86 "*) ;; *) return 1 ;; esac
    case " $archs " in *" x64 "*) ;; *) return 1 ;; esac
}

# run_counted NAME COMMAND...: runs a test script whose last line is "N passed, N failed", shows its
# output, adds its counts to the totals and to the summary; fails when the script failed or gave
# no counts.
run_counted() {
    name=$1
    shift
    log=$(mktemp)
    { if "$@"; then code=0; else code=$?; fi; echo "$code" >"$log.code"; } | tee "$log"
    code=$(cat "$log.code")
    counts=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$log" | tail -n 1)
    rm -f "$log" "$log.code"
    if [ -z "$counts" ]; then
        note "$name ran: no result"
        return 1
    fi
    set -- $counts
    passed=$((passed + $1))
    failed=$((failed + $2))
    note "$name ran: $1 passed, $2 failed"
    [ "$2" -eq 0 ] && [ "$code" -eq 0 ]
}

# The Windows package end to end, from its zip, in a fresh prefix: installs and uninstalls with
# Wine's cmd; the test runs what this host can run.
run_package_test() {
    echo "== package test"
    rm -rf "$root/build/package/work"
    run_counted "package test" "$root/tests/package/install_test.sh" "$zip" \
        "$root/build/package/work" "$runnable" "$root/build/x64/bin/library_holder.exe"
}

# Registration-free use of the zip in a fresh prefix where nothing is registered: the SDK's sample
# built from the zip's sdk folder alone, and the zip's vinsdemo, each beside its library.
run_regfree_test() {
    echo "== regfree test"
    run_counted "regfree test" \
        "$root/tests/package/regfree_test.sh" "$zip" "$root/build/package/regfree-work" "$runnable"
}

# The Windows Installer packages end to end in a fresh prefix: built as dist builds them, plus an
# x64 package of the next version to upgrade to. The test runs what this host can run.
run_msi_test() {
    echo "== msi test"
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/x64/CMakeCache.txt")
    next=$(echo "$version" | awk -F. '{ print $1 "." $2 "." $3 + 1 }')
    log=$(mktemp)
    if ! "$root/package/make-msi.sh" "$root/build/x86" "$root/build/x64" "$root/build/package" >"$log" ||
        ! "$root/package/make-msi.sh" "$root/build/x86" "$root/build/x64" "$root/build/package/next" "$next" >>"$log"
    then
        rm -f "$log"
        note "msi test not run: the packages could not be built"
        return 1
    fi
    x64_msi=$(grep -- '-x64\.msi$' "$log" | head -n 1)
    x86_msi=$(grep -- '-x86\.msi$' "$log" | head -n 1)
    next_msi=$(grep -- '-x64\.msi$' "$log" | tail -n 1)
    rm -f "$log"
    run_counted "msi test" "$root/tests/package/msi_test.sh" "$x64_msi" "$x86_msi" "$next_msi" \
        "$root/build/package/msi-work" "$runnable" "$zip"
}

# What a release publishes, built as dist builds it, signed with a throwaway certificate and
# unsigned; runs on any host (no Wine).
run_dist_test() {
    echo "== dist test"
    run_counted "dist test" "$root/tests/package/dist_test.sh" "$root/build/x86" "$root/build/x64" \
        "$root/build/package/dist-work"
}

dist() {
    if ! both_built; then
        echo "dist: the package holds both architectures; leave VINSPECT_ARCHS unset" >&2
        return 2
    fi
    "$root/package/make-dist.sh" "$root/build/x86" "$root/build/x64" "$root/dist"
}

run_benchmarks() {
    for arch in $runnable; do
        for bench in "$root/build/$arch/bin/"*_bench.exe; do
            echo "== $arch $(basename "$bench")"
            wine_run "$arch" "$bench"
        done
        note "$arch benchmarks ran"
    done
}

case "${1:-}" in
    deps) deps ;;
    build) deps; build ;;
    main) deps; build; main_job ;;
    test) deps; build; run_tests ;;
    bench) deps; build; run_benchmarks ;;
    dist) deps; build; dist ;;
    *) echo "usage: $0 main|test|bench|build|dist|deps" >&2; exit 2 ;;
esac
