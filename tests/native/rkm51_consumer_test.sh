#!/bin/sh
# Installs the build tree into a prefix of its own, builds a C program against
# the installed librkm51.so found with pkg-config, and runs it.
#   rkm51_consumer_test.sh BUILD_DIR WORK_DIR CMAKE CC PKG_CONFIG SEAM_INCLUDE_DIR [CFLAGS]
set -eu
build=$1 work=$2 cmake=$3 cc=$4 pkgconfig=$5 seam=$6 flags=${7:-}
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null

pc=$(find "$work/prefix" -name rkm51.pc)
[ -n "$pc" ] || { echo "no rkm51.pc installed"; exit 1; }
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
libdir=$("$pkgconfig" --variable=libdir rkm51)
case $(cd "$libdir" && pwd) in
  "$work/prefix"/*) ;;
  *) echo "rkm51.pc points outside the prefix: $libdir"; exit 1 ;;
esac
[ -f "$("$pkgconfig" --variable=includedir rkm51)/RKM51DLL.h" ] || { echo "RKM51DLL.h not installed"; exit 1; }

# Exactly the nine functions and the kernel seam are exported.
nm -D --defined-only "$libdir/librkm51.so" | awk '$2 == "T" { print $3 }' | sort > "$work/exports"
printf '%s\n' CConnectDV CDisconnectDV CGetID CGetTime CIntoUDiskMode CLogin CSetID \
  CSetPassword CSetTime kv_real_kernel kv_set_kernel | sort > "$work/expected"
if ! cmp -s "$work/exports" "$work/expected"; then
  echo "exports differ from the nine functions and the seam:"
  diff "$work/expected" "$work/exports" || true
  exit 1
fi
nm -D --defined-only "$libdir/librkm51.so" | awk '$2 != "T" && $2 != "A" { print; bad = 1 } END { exit bad }' \
  || { echo "librkm51.so exports more than functions"; exit 1; }

# shellcheck disable=SC2046,SC2086
"$cc" -std=c11 -Wall -Wextra -Werror $flags $("$pkgconfig" --cflags rkm51) -I"$seam" \
  "$here/rkm51_consumer.c" -o "$work/consumer" $("$pkgconfig" --libs rkm51) -Wl,-rpath,"$libdir"
"$work/consumer"
