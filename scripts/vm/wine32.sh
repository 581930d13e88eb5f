#!/usr/bin/env bash
# Unpacks a 32-bit wine for the guest only (the host cannot run 32-bit code,
# and installing wine32 here would break every wine call): wine32.sh CACHE_DIR.
# Uses apt with a private configuration, so nothing of the system's apt state
# changes; prints the tree (CACHE_DIR/wine32) or fails when Debian's i386
# lists cannot be had.
set -euo pipefail
mkdir -p "$1"
cache=$(cd "$1" && pwd)
tree=$cache/wine32
[ -x "$tree/usr/lib/wine/wine" ] && [ -f "$tree/.complete" ] && { echo "$tree"; exit 0; }
version=$(dpkg-query -W -f='${Version}' wine64)
apt=$cache/apt-i386
mkdir -p "$apt"/{etc/preferences.d,etc/apt.conf.d,etc/sources.list.d,state/lists/partial,cache/archives/partial,debs}
cat >"$apt/etc/sources.list" <<SRC
deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
SRC
: >"$apt/status"
cat >"$apt/apt.conf" <<CONF
Dir::Etc "$apt/etc";
Dir::Etc::sourcelist "sources.list";
Dir::Etc::sourceparts "sources.list.d";
Dir::State "$apt/state";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
APT::Architectures { "amd64"; "i386"; };
APT::Architecture "amd64";
CONF
export APT_CONFIG=$apt/apt.conf
apt-get update -q >"$apt/update.log" 2>&1 || { echo "wine32.sh: the i386 lists could not be fetched" >&2; exit 1; }
pkgs=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
        --no-enhances "wine32:i386=$version" "libwine:i386=$version" 2>/dev/null |
       sed -n 's/^\([a-z0-9][^ <>]*:i386\)$/\1/p' | sort -u)
[ -n "$pkgs" ] || { echo "wine32.sh: no dependency closure for wine32:i386 $version" >&2; exit 1; }
(cd "$apt/debs" && apt-get download -q $pkgs >"$apt/download.log" 2>&1) ||
    { echo "wine32.sh: download failed (see $apt/download.log)" >&2; exit 1; }
unpacked=$apt/unpacked
rm -rf "$unpacked" "$tree" && mkdir -p "$unpacked" "$tree/usr/lib/wine"
for deb in "$apt"/debs/*.deb; do dpkg -x "$deb" "$unpacked"; done
# The guest gets only the architecture-specific parts, as one more lower layer
# of its root: /lib (merged into /usr/lib, as on the host), the 32-bit loader.
[ -d "$unpacked/lib" ] && cp -a "$unpacked/lib/." "$unpacked/usr/lib/"
cp -a "$unpacked/usr/lib/i386-linux-gnu" "$tree/usr/lib/"
cp -a "$unpacked/usr/lib/ld-linux.so.2" "$tree/usr/lib/" 2>/dev/null ||
    ln -s i386-linux-gnu/ld-linux.so.2 "$tree/usr/lib/ld-linux.so.2"
cp -a "$unpacked/usr/lib/wine/wine" "$tree/usr/lib/wine/"
[ -e "$unpacked/usr/lib/wine/wine-preloader" ] && cp -a "$unpacked/usr/lib/wine/wine-preloader" "$tree/usr/lib/wine/"
# What libwine's install script would write: zlib1.dll as a wine builtin.
in=/usr/i686-w64-mingw32/lib/zlib1.dll
out=$tree/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
if [ -f "$in" ] && [ -d "$(dirname "$out")" ]; then
    { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } >"$out"
fi
rm -rf "$unpacked" "$apt/debs"
touch "$tree/.complete"
echo "$tree"
