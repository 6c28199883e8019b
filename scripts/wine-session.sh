# Sourced by run.sh, test.sh, bench.sh and soak.sh: a private Wine prefix under build/, an X
# display (a private Xvfb where asked or where there is none), and one persistent wineserver
# for the run.
#
# Wine's background processes keep the output of the command that started them, so every
# Wine start-up here writes to a file: whoever reads our own output (CI) is never held up.

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$ROOT_DIR/build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE_LOG="$ROOT_DIR/build/wine.log"
XVFB_PID=""

display_works() {
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

start_private_xvfb() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        display_works && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# wine_session_start [private]: "private" always uses an Xvfb of its own.
wine_session_start() {
    mkdir -p "$ROOT_DIR/build" "$WINEPREFIX"
    if [ "${1:-}" = private ] || ! display_works; then
        start_private_xvfb
    fi
    wineserver -p >>"$WINE_LOG" 2>&1 </dev/null
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Preparing the Wine prefix in $WINEPREFIX (once)..."
    fi
    # -u, not -i: after `wineserver -p`, -i leaves a second services.exe, and service
    # commands then fail at random (1060, 1062).
    wineboot -u >>"$WINE_LOG" 2>&1 </dev/null
    check_one_service_manager
    # Debian's Wine does not find its own fonts (Tahoma, Marlett for the caption buttons...)
    # where fonts-wine puts them; the prefix's font folder is always searched.
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    # A private Xvfb has no window manager: Wine then manages its windows itself, or every
    # window that closes waits two seconds for a manager that never answers.
    if [ -n "$XVFB_PID" ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$WINE_LOG" 2>&1 </dev/null
    else
        wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >>"$WINE_LOG" 2>&1 </dev/null || true
    fi
}

# The processes of this prefix named $1.
prefix_processes() {
    local pid
    for pid in $(pgrep -x "$1"); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
    return 0
}

check_one_service_manager() {
    local count
    count=$(prefix_processes services.exe | wc -l)
    if [ "$count" -ne 1 ]; then
        echo "The Wine prefix has $count services.exe processes instead of one; see $WINE_LOG" >&2
        return 1
    fi
}

wine_session_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# A Windows path for a path on this machine.
windows_path() {
    winepath -w "$1" 2>>"$WINE_LOG"
}

# For scripts that run Wine on a private display until they end, however they end.
private_session() {
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM
    wine_session_start private
    cd "$ROOT_DIR"
}
