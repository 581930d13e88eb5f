#!/bin/sh
# Runs a Windows test program under wine, in a private prefix made once.
#
#   run_under_wine.sh ARCH PREFIX PROBE DLL PROGRAM [ARGS...]
#
# ARCH    win32 or win64: the bitness of PROBE and PROGRAM.
# PREFIX  the wine prefix (created on first use).
# PROBE   a program of the same bitness that exits with 42.
# DLL     the RKM51DLL.dll under test (Linux path), handed on as KV_RKM51DLL.
#
# Exit codes: the program's own, or 77 (skipped) when a win32 program cannot
# run because this machine has no 32-bit wine.
set -u
arch=$1 prefix=$2 probe=$3 dll=$4
shift 4

skip_or_fail() {
    if [ "$arch" = win32 ]; then
        echo "SKIPPED: $1"
        exit 77
    fi
    echo "FAILED: $1"
    exit 1
}

command -v wine >/dev/null 2>&1 || skip_or_fail "wine is not installed (Debian packages: wine wine64)"

. "$(dirname "$0")/../../scripts/wine-prefix.sh"
kv_wine_prefix "$prefix" || exit 1

# wine exits with 0 when it cannot start a program at all, so the probe's 42 is
# the only proof that programs of this bitness run.
wine "$probe" >/dev/null 2>&1
probe_status=$?
if [ "$probe_status" -ne 42 ]; then
    if [ "$arch" = win32 ]; then
        skip_or_fail "this machine's wine cannot run 32-bit (i686) programs (a test program exited with $probe_status instead of 42); install a 32-bit wine (Debian: dpkg --add-architecture i386, then wine32:i386) to run the i686 RKM51DLL tests"
    fi
    skip_or_fail "wine cannot run $arch programs here (a test program exited with $probe_status instead of 42)"
fi

KV_RKM51DLL="Z:$(printf '%s' "$dll" | tr / '\\')"
export KV_RKM51DLL
wine "$@"
