#!/bin/sh
# Regenerates the banner bitmap and the program icon of korvane in tool/res/:
#   banner.bmp   560 x 80, 24 bits per pixel, uncompressed: a light-blue band with
#                one line of black title text
#   korvane.ico  48, 32 and 16 pixel images, each at 4, 8 and 24 bits per pixel,
#                stored as bitmaps (no PNG entries)
# Needs ImageMagick, icoutils and the WenQuanYi Micro Hei font; installs them with
# apt-get when missing and run as root.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/tool/res"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
convert=/usr/bin/convert
title="现场执法记录仪"

need=""
[ -x "$convert" ] || need="$need imagemagick"
command -v icotool >/dev/null 2>&1 || need="$need icoutils"
[ -f "$font" ] || need="$need fonts-wqy-microhei"
if [ -n "$need" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "make-images: missing packages:$need (install them as root)" >&2
        exit 1
    fi
    apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $need
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Banner: light-blue band, a darker rule along the bottom, the title in black.
# The dialogs are 320 dialog units wide, about 480 to 500 pixels at 96 dpi, so
# the right end of the 560-pixel banner is cut off there: the title is centred
# on the part that shows (x = 245) rather than on the whole bitmap.
"$convert" -size 560x80 xc:'#cde6f8' \
    -fill '#5b9bd5' -draw 'rectangle 0,76 559,79' \
    -font "$font" -pointsize 40 -fill black -gravity center \
    -annotate -35-2 "$title" \
    -alpha off -type TrueColor -compress None BMP3:"$out/banner.bmp"

# Icon: a recorder face drawn at each size without anti-aliasing, so that every
# image keeps few enough colours for its 16-colour version.
#   s: size in pixels; everything else scales from it.
draw_icon() {
    s=$1
    m=$((s / 16))                      # margin
    r=$((s / 6))                       # corner radius
    cx=$((s * 7 / 16)); cy=$((s * 9 / 16))  # lens centre
    lo=$((s * 9 / 32)); li=$((s * 5 / 32))
    dot=$((s / 12 + 1))
    "$convert" -size "${s}x${s}" xc:none +antialias \
        -fill '#1f4e8c' -draw "roundrectangle $m,$m $((s - 1 - m)),$((s - 1 - m)) $r,$r" \
        -fill white -draw "circle $cx,$cy $cx,$((cy - lo))" \
        -fill '#303030' -draw "circle $cx,$cy $cx,$((cy - li))" \
        -fill '#e02020' -draw "circle $((s - 1 - 3 * m - dot)),$((3 * m + dot)) $((s - 1 - 3 * m - dot)),$((3 * m))" \
        PNG32:"$tmp/icon$s.png"
}
for s in 48 32 16; do draw_icon "$s"; done

icotool -c -o "$out/korvane.ico" \
    -b 4 "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png" \
    -b 8 "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png" \
    -b 24 "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png"

echo "make-images: wrote $out/banner.bmp and $out/korvane.ico"
icotool -l "$out/korvane.ico"
