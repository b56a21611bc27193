# Shared by the package tests (sourced after `work` is set): counted checks, programs run with their
# output caught, and exports of the registry.

export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
wine64=/usr/lib/wine/wine64
passed=0
failed=0

pass() { passed=$((passed + 1)); printf 'ok: %s\n' "$1"; }
fail() { failed=$((failed + 1)); printf 'FAILED: %s\n' "$*"; }
# check NAME yes|no DETAIL: passes on yes, fails with DETAIL otherwise.
check() { if [ "$2" = yes ]; then pass "$1"; else fail "$1:" "$3"; fi; }
# expect NAME EXPECTED GOT: passes when GOT holds EXPECTED as a line of its own.
expect() {
    if printf '%s\n' "$3" | grep -qxF -- "$2"; then pass "$1"; else fail "$1: expected line '$2', got:" "$3"; fi
}

# run PROGRAM ARGS...: the program's output in $out and exit code in $status. Output goes through
# a file: Wine's service processes inherit it and would hold a pipe open.
run() {
    "$@" </dev/null >"$work/output" 2>&1
    status=$?
    out=$(tr -d '\r' <"$work/output")
}

# export_classes NAME [KEY]: both views of HKLM\Software\Classes (or of KEY) into $work/NAME (the
# 64-bit regedit sees the 32-bit one under Wow6432Node).
export_classes() {
    (cd "$work" && $wine64 regedit /e "$1.reg" "${2:-HKEY_LOCAL_MACHINE\Software\Classes}") </dev/null
    iconv -f UTF-16 -t UTF-8 "$work/$1.reg" | tr -d '\r' >"$work/$1"
}
