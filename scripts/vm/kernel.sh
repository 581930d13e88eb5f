#!/usr/bin/env bash
# Fetches Debian's current amd64 kernel package and unpacks it (it is never
# installed): kernel.sh CACHE_DIR. Prints the kernel version; the tree is
# CACHE_DIR/kernel-<version>, with modules.dep made by depmod.
set -euo pipefail
cache=$1
mkdir -p "$cache"
# The meta package names the current ABI, which moves with every upload.
pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
[ -n "$pkg" ] || { echo "kernel.sh: no linux-image-amd64 in the package lists" >&2; exit 1; }
version=${pkg#linux-image-}
tree=$cache/kernel-$version
if [ ! -f "$tree/boot/vmlinuz-$version" ] || [ ! -f "$tree/lib/modules/$version/modules.dep" ]; then
    rm -rf "$tree" "$cache"/linux-image-*.deb
    (cd "$cache" && apt-get download -q "$pkg" >/dev/null 2>&1) ||
        { echo "kernel.sh: apt-get download $pkg failed" >&2; exit 1; }
    mkdir -p "$tree"
    dpkg -x "$cache"/"$pkg"_*.deb "$tree"
    rm -f "$cache"/"$pkg"_*.deb
    depmod -b "$tree" "$version"
fi
echo "$version"
