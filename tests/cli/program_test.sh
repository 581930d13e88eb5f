#!/usr/bin/env bash
# korvane-cli-sim as a program: exit statuses, the password's sources (never
# the arguments), a police number in Chinese through the command line's own
# encoding, the JSON document, and what went to the recorder (its call log).
#
#   program_test.sh CLI_SIM [CLI]          natively
#   program_test.sh --wine ARCH CLI_SIM_EXE   under wine (scripts/wine-env.sh);
#                                            ARCH win32 or win64
#
# Under wine it uses $KV_WINE_DIR (default build/wine-cli) and the `wine` on PATH.
#
# Under wine, a win32 program that this machine's wine cannot run (no 32-bit
# wine) is reported as skipped (exit 77).
#
# Ends with "N passed, N failed"; exits 1 when any check failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
wine=0
arch=
if [ "${1:-}" = --wine ]; then
    wine=1
    arch=$2
    shift 2
fi
program=$1
plain=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/calls.log

if [ $wine = 1 ]; then
    command -v wine >/dev/null 2>&1 || { echo "SKIPPED: wine is not installed"; exit 77; }
    set +u  # wine-env.sh reads variables that may be unset
    KV_WINE_NO_TRAP=1 KV_WINE_DIR=${KV_WINE_DIR:-$here/../../build/wine-cli} . "$here/../../scripts/wine-env.sh" ||
        exit 1
    set -u
    trap 'kv_wine_cleanup; rm -rf "$work"' EXIT
    # One wine server for all the runs (stopped by kv_wine_cleanup): each run then starts at once.
    wineserver -p
    sim_log="Z:$(printf '%s' "$log" | tr / '\\')"
    run() { kv_wine "$program" "$@"; }
    if ! run --help 2>/dev/null | grep -q '^Usage: korvane-cli'; then
        if [ "$arch" = win32 ]; then
            echo "SKIPPED: this machine's wine cannot run 32-bit (i686) programs; install a 32-bit wine to run them"
            exit 77
        fi
        echo "FAILED: wine could not run $program"
        exit 1
    fi
else
    sim_log=$log
    run() { "$program" "$@"; }
fi

passed=0 failed=0
# KV_CHECK_LOG, when set, receives a line per check: "PASS name" or "FAIL name".
check() {  # check NAME CONDITION...
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        [ -z "${KV_CHECK_LOG:-}" ] || echo "PASS $name" >>"$KV_CHECK_LOG"
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        echo "  stdout: $(cat "$work/out")"
        echo "  stderr: $(cat "$work/err")"
        [ -z "${KV_CHECK_LOG:-}" ] || echo "FAIL $name" >>"$KV_CHECK_LOG"
    fi
}
# cli EXPECTED_STATUS ARGS...: runs the program with a fresh call log.
status=0
cli() {
    : >"$log"
    KORVANE_SIM_LOG=$sim_log run "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
}
cli_stdin() {  # cli_stdin TEXT ARGS...
    local text=$1
    shift
    : >"$log"
    printf '%s' "$text" | KORVANE_SIM_LOG=$sim_log run "$@" >"$work/out" 2>"$work/err"
    status=$?
}
is() { [ "$1" = "$2" ]; }
has() { grep -q -- "$2" "$1"; }
hasnt() { ! grep -q -- "$2" "$1"; }
# The management sub-operations the recorder received, in order ("07 0a 0b").
subops() { sed -n 's/^ioctl [A-Z]: .*cdb=fa5566fe\(..\).*/\1/p' "$log" | tr '\n' ' ' | sed 's/ $//'; }

export KORVANE_SIM="password=ABC123,recorder=E:2:ABC123:250,recorder=G"
unset KORVANE_PASSWORD

cli list
check "list: status 0" is "$status" 0
check "list: both recorders" is "$(cat "$work/out")" "E:  recorder, variant 2
G:  recorder, variant 1"
check "list: no log-in" is "$(subops)" ""

cli --password abc123 status
check "a password argument is a usage error" is "$status" 2
check "a password argument sends nothing" is "$(cat "$log")" ""

cli status
check "no password, no terminal: usage error" is "$status" 2
check "no password: nothing sent" is "$(cat "$log")" ""

cli_stdin $'abc123\n' --password-stdin --drive G: id get
check "--password-stdin: status 0" is "$status" 0
check "--password-stdin: log-in and both reads" is "$(subops)" "07 0a 0b"
check "the log-in carries the upper-cased password" has "$log" "cdb=fa5566fe07414243313233"

export KORVANE_PASSWORD=abc123
cli --drive G: id set 京A12345
check "id set in Chinese: status 0" is "$status" 0
check "id set: GBK bytes, 6 + 7" has "$log" "cdb=fa5566fe02bea941313233"
check "id set: second part" has "$log" "cdb=fa5566fe09343500000000000000"
check "id set: the line" is "$(cat "$work/out")" "G:  police number set to 京A12345"

# 京A12345 in GBK on both recorders
KORVANE_SIM="$KORVANE_SIM,police-number=bea9413132333435" cli --json --all id get
check "--all id get: status 0" is "$status" 0
check "--all id get: JSON, GBK read back as UTF-8" is "$(grep -c '"id": "京A12345"' "$work/out")" 2
check "--all id get: JSON where" has "$work/out" '"where": "E:"'
check "--all id get: log-in and two reads each" is "$(subops)" "07 07 0a 0b 0a 0b"

cli id set 京京京京京京京
check "id set of 14 GBK bytes: usage error" is "$status" 2
check "id set of 14 GBK bytes: nothing sent" is "$(cat "$log")" ""

cli id set "A😀"
check "id set with a character GBK lacks: usage error" is "$status" 2
check "id set with a character GBK lacks: says so" has "$work/err" "GBK"

cli --json time check
check "time check: status 0" is "$status" 0
off=$(sed -n 's/.*"offset_ms": \(-\{0,1\}[0-9]*\).*/\1/p' "$work/out")
check "time check: the scenario's +250 ms within 10 ms (got $off)" test "${off:-9999}" -ge 240 -a "${off:-9999}" -le 260

cli --all time sync
check "--all time sync: status 0" is "$status" 0
check "--all time sync: log-ins first, then the set-times" is "$(subops | cut -d' ' -f1-4)" "07 07 03 03"
check "--all time sync: a line per recorder" is "$(grep -c 'at the second boundary, offset' "$work/out")" 2

KORVANE_PASSWORD=wrong1 cli --all udisk
check "refused log-in: status 1" is "$status" 1
check "refused log-in: only the log-ins went out" is "$(subops)" "07 07"
check "refused log-in: one sentence per recorder" is "$(grep -c 'refused the password' "$work/err")" 2

KORVANE_SIM="none" cli --json status
check "no recorder: status 3" is "$status" 3
check "no recorder: JSON" has "$work/out" '"code": 3'

KORVANE_SIM="pull-after-discovery,password=ABC123" cli time get
check "recorder pulled: status 4" is "$status" 4
check "recorder pulled: the platform error" has "$work/err" "error 1167"

cli frobnicate
check "unknown command: status 2" is "$status" 2

if [ -n "$plain" ]; then
    # The real program: on this machine it finds no recorder, whatever KORVANE_SIM says.
    "$plain" list >"$work/out" 2>"$work/err" </dev/null
    status=$?
    check "korvane-cli without recorders: status 3 or 5" test "$status" -eq 3 -o "$status" -eq 5
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
