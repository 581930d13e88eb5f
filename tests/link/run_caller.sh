#!/bin/sh
# Runs a linked caller under wine beside the shipped DLL, with no recorder
# attached, and reads its exit code (see caller.c).
#
#   run_caller.sh CALLER DLL RUN_DIR PREFIX
#
# CALLER   the caller.exe (x86_64) to run.
# DLL      the shipped RKM51DLL.dll; copied beside the caller into RUN_DIR.
# PREFIX   the wine prefix, made on first use.
set -u
caller=$1 dll=$2 run_dir=$3 prefix=$4

fail() {
    echo "FAILED: $*"
    exit 1
}

command -v wine >/dev/null 2>&1 || fail "wine is not installed (Debian packages: wine wine64)"
[ -f "$caller" ] || fail "$caller is missing (the link test before this one makes it)"
[ -f "$dll" ] || fail "$dll is missing: build it with \`cmake --preset win64 && cmake --build --preset win64\`"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp "$caller" "$dll" "$run_dir/" || exit 1

. "$(dirname "$0")/../../scripts/wine-prefix.sh"
kv_wine_prefix "$prefix" || exit 1

cd "$run_dir" || exit 1
wine "./$(basename "$caller")" >/dev/null 2>&1
status=$?
[ "$status" -eq 42 ] && { echo "all nine exports gave their no-recorder results"; exit 0; }
if [ "$status" -ge 128 ] && [ "$status" -le 215 ]; then
    check=$(( (status - 128) / 8 + 1 ))
    value=$(( (status - 128) % 8 ))
    [ "$value" -eq 7 ] && value="7 or more"
    case $check in
        1) what="CConnectDV returned $value, expected 0" ;;
        2) what="CLogin returned $value, expected 0" ;;
        3) what="CSetPassword returned $value, expected 0" ;;
        4) what="CSetTime returned $value, expected 0" ;;
        5) what="CGetTime returned $value, expected 0" ;;
        6) what="CGetTime left a time other than all zeros" ;;
        7) what="CSetID returned $value, expected 0" ;;
        8) what="CGetID returned $value, expected 0" ;;
        9) what="CGetID wrote into the caller's buffer" ;;
        10) what="CIntoUDiskMode returned $value, expected 0" ;;
        11) what="CDisconnectDV returned $value, expected 1" ;;
    esac
    fail "$what"
fi
fail "the caller did not run to its end under wine (exit code $status; 53: a DLL was not found)"
