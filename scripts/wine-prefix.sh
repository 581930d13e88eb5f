# A private wine prefix for a test program without a display, made once and
# shared by the runs that name it. Source it, then call
#   kv_wine_prefix PREFIX
# which exports WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES and creates the
# prefix under a lock if it is not there yet (nonzero when that fails).
kv_wine_prefix() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$(dirname "$1")"
    (
        flock -w 600 9 || { echo "wine prefix $1 is busy"; exit 1; }
        if [ ! -f "$1/system.reg" ]; then
            echo "creating wine prefix $1"
            wine wineboot --init >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$1.lock"
}
