# Sourced helper: sets up wine for korvane's Windows programs, once per run.
#
#   KV_WINE_DIR=<dir> . scripts/wine-env.sh     (bash)
#   kv_wine program.exe args...                 runs a program under wine
#
# What it prepares:
#   - the locale wine runs under, $KV_WINE_LOCALE (default zh_CN.UTF-8: wine
#     then uses code page 936 like a Chinese Windows; en_US.UTF-8 gives code
#     page 1252 like an English one), built privately in $KV_WINE_DIR/locale
#     when the system lacks it; it is set for wine only,
#   - a wine prefix in $KV_WINE_DIR/prefix, made once, with the Mono and Gecko
#     prompts off, a 1024x768 virtual desktop (without a window manager every
#     hide of a dialog stalls and captions are not drawn) and wine's Marlett font,
#   - an Xvfb display when no DISPLAY is set, or always with KV_WINE_XVFB=1,
#   - WINEDEBUG=-all.
# On exit of the sourcing shell it stops the prefix's wine processes and the Xvfb
# it started (set KV_WINE_NO_TRAP=1 and call kv_wine_cleanup yourself to keep
# an EXIT trap of your own). One shell at a time uses a prefix: a second one
# waits for the first (flock on $KV_WINE_DIR/lock).
#
# Inputs:  KV_WINE_DIR (default: build/wine in the repository), KV_WINE_LOCALE,
#          KV_WINE_XVFB, KV_WINE_NO_TRAP, DISPLAY. A prefix is made under one
#          locale: give each locale its own KV_WINE_DIR.
# Outputs: WINEPREFIX WINEDEBUG WINEDLLOVERRIDES DISPLAY KV_WINE_LOCALE KV_WINE_LOCPATH
#          KV_WINE_XVFB_PID (empty if none was started); functions kv_wine,
#          kv_wine_cleanup.

kv__repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KV_WINE_DIR=${KV_WINE_DIR:-$kv__repo_root/build/wine}
KV_WINE_LOCALE=${KV_WINE_LOCALE:-zh_CN.UTF-8}
KV_WINE_XVFB_PID=

kv__fail() {
    echo "wine-env: $*" >&2
    return 1
}

kv__require_tools() {
    local tool missing=
    for tool in wine wineserver Xvfb localedef flock; do
        command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
    done
    if [ -n "$missing" ]; then
        kv__fail "missing:$missing (Debian packages: wine wine64 xvfb locales util-linux)"
        return 1
    fi
    fc-list 2>/dev/null | grep -qi 'wenquanyi micro hei' ||
        echo "wine-env: fonts-wqy-microhei is not installed; Chinese text will show as boxes" >&2
    return 0
}

# The locale wine runs under: the system's if it has one, else a private one.
# Names are language_TERRITORY.CHARSET (zh_CN.UTF-8, en_US.UTF-8).
kv__setup_locale() {
    local name=$KV_WINE_LOCALE
    local input=${name%%.*} charset=${name#*.}
    [ "$input" != "$name" ] && [ -n "$charset" ] ||
        { kv__fail "KV_WINE_LOCALE=$name: expected language_TERRITORY.CHARSET"; return 1; }
    # locale -a writes the charset in lower case without the dash (zh_CN.utf8).
    local listed
    listed=$input.$(printf '%s' "$charset" | tr 'A-Z' 'a-z' | tr -d '-')
    if locale -a 2>/dev/null | grep -qix "$listed"; then
        KV_WINE_LOCPATH=
        return 0
    fi
    KV_WINE_LOCPATH=$KV_WINE_DIR/locale
    [ -f "$KV_WINE_LOCPATH/$name/LC_CTYPE" ] && return 0
    mkdir -p "$KV_WINE_LOCPATH"
    # localedef exits 1 for mere warnings; judge it by what it wrote.
    localedef -i "$input" -f "$charset" "$KV_WINE_LOCPATH/$name" >/dev/null 2>&1
    [ -f "$KV_WINE_LOCPATH/$name/LC_CTYPE" ] ||
        kv__fail "could not build the $name locale (is the Debian package locales installed?)"
}

kv_wine() {
    if [ -n "$KV_WINE_LOCPATH" ]; then
        LOCPATH=$KV_WINE_LOCPATH LANG=$KV_WINE_LOCALE LC_ALL=$KV_WINE_LOCALE wine "$@"
    else
        LANG=$KV_WINE_LOCALE LC_ALL=$KV_WINE_LOCALE wine "$@"
    fi
}

kv__wineserver() {
    if [ -n "$KV_WINE_LOCPATH" ]; then
        LOCPATH=$KV_WINE_LOCPATH LANG=$KV_WINE_LOCALE LC_ALL=$KV_WINE_LOCALE wineserver "$@"
    else
        LANG=$KV_WINE_LOCALE LC_ALL=$KV_WINE_LOCALE wineserver "$@"
    fi
}

kv__start_xvfb() {
    local fdfile=$KV_WINE_DIR/xvfb.display i
    rm -f "$fdfile"
    # -displayfd: Xvfb picks a free display and writes its number when ready.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fdfile" >/dev/null 2>&1 &
    KV_WINE_XVFB_PID=$!
    for i in $(seq 1 100); do
        if [ -s "$fdfile" ] && grep -q '^[0-9][0-9]*$' "$fdfile"; then
            export DISPLAY=:$(head -n1 "$fdfile")
            return 0
        fi
        kill -0 "$KV_WINE_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    kv__fail "Xvfb did not start"
}

kv__setup_prefix() {
    export WINEPREFIX=$KV_WINE_DIR/prefix
    [ -f "$KV_WINE_DIR/prefix.ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    kv_wine wineboot --init >/dev/null 2>&1 || true
    kv__wineserver -w
    kv_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
        kv_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
            >/dev/null 2>&1 ||
        { kv__fail "could not write the virtual desktop into the wine prefix"; return 1; }
    kv__wineserver -w
    # Caption buttons are drawn with Marlett; Debian's wine does not find its own
    # copy, and without it a close box shows as the letter "r".
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { kv__fail "wine prefix was not created"; return 1; }
    touch "$KV_WINE_DIR/prefix.ready"
}

kv_wine_cleanup() {
    if [ -n "$WINEPREFIX" ]; then
        kv__wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$KV_WINE_XVFB_PID" ]; then
        kill "$KV_WINE_XVFB_PID" 2>/dev/null || true
        wait "$KV_WINE_XVFB_PID" 2>/dev/null || true
        KV_WINE_XVFB_PID=
    fi
}

kv__wine_env_main() {
    kv__require_tools || return 1
    mkdir -p "$KV_WINE_DIR" || return 1
    exec {KV__WINE_LOCK_FD}>"$KV_WINE_DIR/lock"
    flock -w 900 "$KV__WINE_LOCK_FD" || { kv__fail "prefix $KV_WINE_DIR is busy"; return 1; }

    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    kv__setup_locale || return 1
    if [ "${KV_WINE_XVFB:-0}" = 1 ] || [ -z "$DISPLAY" ]; then
        kv__start_xvfb || return 1
    fi
    [ "${KV_WINE_NO_TRAP:-0}" = 1 ] || trap kv_wine_cleanup EXIT
    kv__setup_prefix
}

kv__wine_env_main
