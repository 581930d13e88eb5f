#!/usr/bin/env bash
# Runs korvane on the simulated recorder (korvane-sim.exe under wine).
#
#   scripts/demo.sh                 with a usable display: korvane in a window,
#                                   to try by hand (password 000000);
#                                   without one: a guided tour under Xvfb that
#                                   saves a picture of every dialog
#   scripts/demo.sh --screenshots   the guided tour, display or not
#
# The pictures go to docs/screenshots/*.png. KORVANE_SIM may hold a scenario for
# the window mode (see the README), e.g. KORVANE_SIM=password=ABC123.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tour=0
case "${1:-}" in
    --screenshots) tour=1 ;;
    "") ;;
    *) echo "usage: scripts/demo.sh [--screenshots]" >&2; exit 2 ;;
esac

scripts/deps.sh

echo "== build (win64)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target korvane_sim korvane-tour

sim=$root/build/win64/tool/korvane-sim.exe
tour_exe=$root/build/win64/tests/e2e/korvane-tour.exe

display_usable() {
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null 2>&1 && xdpyinfo >/dev/null 2>&1
}

if [ "$tour" = 0 ] && display_usable; then
    echo "== korvane-sim.exe on $DISPLAY (password 000000)"
    export KV_WINE_DIR=$root/build/win64/demo-wine
    # shellcheck source=wine-env.sh
    . scripts/wine-env.sh
    KORVANE_SIM=${KORVANE_SIM:-} kv_wine "$sim"
    exit 0
fi

echo "== guided tour under Xvfb"
export KV_WINE_DIR=$root/build/win64/demo-wine
export KV_WINE_XVFB=1
# shellcheck source=wine-env.sh
. scripts/wine-env.sh

pictures=$root/build/win64/demo-pictures
rm -rf "$pictures"
mkdir -p "$pictures"
kv_wine "$tour_exe" "$sim" "Z:${pictures//\//\\}"

mkdir -p docs/screenshots
for bmp in "$pictures"/*.bmp; do
    png=docs/screenshots/$(basename "${bmp%.bmp}").png
    # -strip: no time stamps, so an unchanged picture gives an unchanged file.
    convert "$bmp" -strip "$png"
    echo "saved $png"
done
