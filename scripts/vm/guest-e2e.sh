#!/bin/bash
# korvane.exe's dialog flows in the guest, under Xvfb and wine with the e2e
# suites' setup (code page 936, virtual desktop):
#   guest-e2e.sh E2E_WINE_DIR PROGRAMS_DIR FLOWS_EXE DISK OUTFILE
set -u
export KV_WINE_DIR=$1 KV_WINE_XVFB=1
# shellcheck source=../wine-env.sh
. "$(dirname "$0")/../wine-env.sh" || exit 1
# The loader of the programs' architecture itself (KV_VM_WINE, the 64-bit one
# by default), whatever /usr/bin/wine would pick where both are present; the
# 32-bit one finds its libraries through KV_VM_WINE_LIBS.
wine() { LD_LIBRARY_PATH=${KV_VM_WINE_LIBS:-} "${KV_VM_WINE:-/usr/lib/wine/wine64}" "$@"; }
dos=$WINEPREFIX/dosdevices
rm -f "$dos/g::" "$dos/g:"
ln -s "$4" "$dos/g::"
ln -s /tmp "$dos/g:"
mkdir -p /tmp/kv-e2e
export KV_E2E_PROGRAMS="Z:${2//\//\\}" KV_E2E_WORK='Z:\tmp\kv-e2e' KV_VM_DEVICE_DIR='Z:\run\usbdev\korvane0'
kv_wine "$3" --gtest_color=no >"$5" 2>&1
