#!/bin/bash
# Runs the end-to-end suite under wine64 and Xvfb, with the wine environment set
# up once for the whole run.
#   run-e2e.sh <korvane-e2e.exe> <folder with korvane.exe and korvane-sim.exe> <work folder> [gtest args]
set -u
driver=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
programs=$2
mkdir -p "$3"
work=$(cd "$3" && pwd)
shift 3

here=$(cd "$(dirname "$0")" && pwd)
export KV_WINE_DIR=$work/wine
export KV_WINE_XVFB=1
# shellcheck source=../../scripts/wine-env.sh
. "$here/../../scripts/wine-env.sh" || exit 1

windows_path() {
    local p
    p=$(cd "$1" && pwd) || return 1
    printf 'Z:%s' "${p//\//\\}"
}

for exe in korvane-sim.exe korvane.exe; do
    [ -f "$programs/$exe" ] || echo "run-e2e: $programs/$exe is missing; its tests will fail" >&2
done
mkdir -p "$work/files"
export KV_E2E_PROGRAMS=$(windows_path "$programs")
export KV_E2E_WORK=$(windows_path "$work/files")

kv_wine "$driver" --gtest_color=no "$@"
