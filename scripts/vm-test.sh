#!/usr/bin/env bash
# The test bed: Debian's kernel under qemu (TCG) with three recorders of our own
# (usbdev on dummy_hcd), and the suites through the real stack inside it:
# usb-storage, sd/sg, SG_IO, and the shipped RKM51DLL.dll under wine's SCSI
# pass-through. Prints the guest's results and ends with "N passed, N failed, N skipped".
#
#   scripts/vm-test.sh            (as root; KV_VM_KEEP=1 keeps the run folder)
#
# Installs what it needs (qemu-system-x86, busybox-static, cpio, kmod; the
# kernel package is downloaded and unpacked, never installed) and removes its
# run folder afterwards. Downloads and wine prefixes are kept in
# ${KV_VM_CACHE:-/var/cache/korvane-vm}, outside the clone, so that later runs
# (and fresh clones on the same machine) reuse them. At most 15 minutes.
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
started=$(date +%s)

fail() {
    echo "vm-test: $*"
    echo "0 passed, 1 failed, 0 skipped"
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "must run as root (qemu's 9p share of / and apt-get)"
scripts/deps.sh || fail "scripts/deps.sh failed"
missing=()
for p in qemu-system-x86 busybox-static cpio kmod; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null ||
        fail "could not install ${missing[*]}"
fi

# What runs in the guest: the device program, korvane-cli for Linux, and the
# shipped 64-bit DLL with the caller that loads it, korvane.exe and korvane-cli.exe.
{ cmake --preset linux >/dev/null && cmake --build --preset linux --target usbdev korvane_cli >/dev/null; } ||
    fail "build of usbdev or korvane-cli failed"
{ cmake --preset win64 >/dev/null &&
  cmake --build --preset win64 --target RKM51DLL rkm51_caller korvane korvane-vm-flows korvane_cli >/dev/null; } ||
    fail "build of the win64 binaries failed"
dll=$repo/dist/win64/RKM51DLL.dll
caller=$repo/build/win64/tests/vm/rkm51_caller.exe
[ -f "$dll" ] && [ -f "$caller" ] || fail "missing $dll or $caller"

cache=${KV_VM_CACHE:-/var/cache/korvane-vm}
mkdir -p "$cache" || fail "cannot make the cache folder $cache"
# The host's package lists may be old or missing on a fresh machine.
version=$(scripts/vm/kernel.sh "$cache") ||
    { apt-get update -q >/dev/null 2>&1; version=$(scripts/vm/kernel.sh "$cache"); } || fail "no kernel"
kernel=$cache/kernel-$version

run=$(mktemp -d /tmp/kv-vm.XXXXXX)
cleanup() {
    [ -n "${KV_VM_KEEP:-}" ] && { echo "vm-test: run folder kept: $run"; return; }
    rm -rf "$run"
}
trap cleanup EXIT
mkdir -p "$run/out"

scripts/vm/initramfs.sh "$kernel" "$version" "$run/initrd.gz" || fail "initramfs"

# A wine prefix made here (about 10 s; in the guest it takes a minute), kept
# in the cache; the guest writes to it only through its overlay.
prefix=$cache/wine-prefix
if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    env WINEPREFIX="$prefix" wineserver -w 2>/dev/null
    [ -f "$prefix/system.reg" ] || fail "could not make a wine prefix"
fi

# The i686 builds run in the guest only, with a 32-bit wine unpacked for it
# (KV_VM_I686=0 leaves them out).
arches='"win64"'
wine32_share=()
wine32=0
if [ "${KV_VM_I686:-1}" = 1 ]; then
    if ! { cmake --preset win32 >/dev/null &&
           cmake --build --preset win32 --target RKM51DLL rkm51_caller korvane korvane-vm-flows korvane_cli \
               rkm51_wine_test kv_textconv_tests korvane_cli_sim >/dev/null; }; then
        fail "build of the win32 binaries failed"
    elif tree=$(scripts/vm/wine32.sh "$cache"); then
        arches='"win64", "win32"'
        wine32_share=(-virtfs "local,path=$tree,mount_tag=wine32,security_model=none,readonly=on,multidevs=remap")
        wine32=1
    else
        echo "SKIP i686: no 32-bit wine for the guest (Debian's i386 package lists could not be fetched)" \
            >"$run/out/skipped.txt"
    fi
fi

# korvane.exe's flows use the e2e suites' wine setup (code page 936, virtual
# desktop); its prefix is made here too.
e2e_wine=$cache/wine-e2e
if [ ! -f "$e2e_wine/prefix.ready" ]; then
    (KV_WINE_DIR=$e2e_wine KV_WINE_XVFB=1 . scripts/wine-env.sh) >/dev/null 2>&1
    [ -f "$e2e_wine/prefix.ready" ] || fail "could not make the e2e wine prefix"
fi

# A 32-bit (WoW64) prefix can only be made in the guest; the first run makes
# one there and hands it back, later runs find it in the cache.
prefix32=$cache/wine-prefix32
# The guest's time limit allows for making it (wineboot is given 540 s there).
limit=880
if [ -f "$prefix32/system.reg" ]; then
    prefix32_guest=$prefix32 save32=""
else
    prefix32_guest=/root/prefix32 save32=/vmout/prefix32.tar
    [ "$wine32" = 1 ] && limit=$((limit + 540))
fi

cat >"$run/out/config.json" <<JSON
{"out": "/vmout", "repo": "$repo", "e2e_wine_dir": "$e2e_wine", "programs_win64": "$repo/dist/win64",
 "flows_win64": "$repo/build/win64/tests/vm/korvane-vm-flows.exe", "usbdev": "$repo/build/linux/usbdev/usbdev", "arches": [$arches],
 "cli_linux": "$repo/build/linux/cli/korvane-cli", "cli_win64": "$repo/dist/win64/korvane-cli.exe",
 "prefix_win64": "$prefix", "caller_win64": "$caller", "dll_win64": "$dll", "wine_win64": "/usr/lib/wine/wine64",
 "prefix_win32": "$prefix32_guest", "save_prefix_win32": "$save32", "caller_win32": "$repo/build/win32/tests/vm/rkm51_caller.exe",
 "dll_win32": "$repo/dist/win32/RKM51DLL.dll", "wine_win32": "/usr/lib/wine/wine",
 "libs_win32": "/usr/lib/i386-linux-gnu", "programs_win32": "$repo/dist/win32",
 "flows_win32": "$repo/build/win32/tests/vm/korvane-vm-flows.exe", "cli_win32": "$repo/dist/win32/korvane-cli.exe",
 "wine_tests_win32": [["rkm51dll", "$repo/build/win32/tests/wine/rkm51_wine_test.exe"],
                      ["textconv", "$repo/build/win32/tests/textconv/kv_textconv_tests.exe"]],
 "cli_sim_win32": "$repo/build/win32/cli/korvane-cli-sim.exe"}
JSON

echo "== booting $version under qemu (TCG)"
boot=$(date +%s)
timeout "$limit" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 2048 \
    -nographic -no-reboot -kernel "$kernel/boot/vmlinuz-$version" -initrd "$run/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1 kv.recorders=3 kv.wine32=$wine32 kv.script=$repo/scripts/vm/guest.sh" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$run/out,mount_tag=vmout,security_model=none,multidevs=remap" "${wine32_share[@]}" \
    >"$run/console.log" 2>&1
qemu_rc=$?
end=$(date +%s)

if [ -f "$run/out/prefix32.tar" ]; then
    rm -rf "$prefix32" && mkdir -p "$prefix32.tmp" &&
        tar -C "$prefix32.tmp" -xf "$run/out/prefix32.tar" && mv "$prefix32.tmp/prefix32" "$prefix32"
    rm -rf "$prefix32.tmp" "$run/out/prefix32.tar"
fi

echo "== guest results"
cat "$run/out/results.txt" "$run/out/skipped.txt" 2>/dev/null
echo "== figures"
cat "$run/out/figures.txt" 2>/dev/null
echo "guest run: $((end - boot)) s (qemu exit $qemu_rc), whole test bed: $((end - started)) s"
if [ -n "${KV_VM_OUT:-}" ]; then
    mkdir -p "$KV_VM_OUT" && cp -r "$run/out/." "$run/console.log" "$KV_VM_OUT/"
fi

passed=$(grep -c '^PASS ' "$run/out/results.txt" 2>/dev/null)
failed=$(grep -c '^FAIL ' "$run/out/results.txt" 2>/dev/null)
skipped=$(cat "$run/out/skipped.txt" 2>/dev/null | grep -c '^SKIP ')
passed=${passed:-0} failed=${failed:-0} skipped=${skipped:-0}
if ! grep -q '^exit=0' "$run/out/suites.log" 2>/dev/null; then
    echo "== the suites did not end normally; guest console (tail):"
    tail -n 30 "$run/console.log"
    tail -n 20 "$run/out/suites.log" 2>/dev/null
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
