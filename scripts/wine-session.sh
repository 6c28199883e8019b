# Sourced by run.sh, test.sh, bench.sh and soak.sh: a private Wine prefix under build/, an X
# display (a private Xvfb where asked or where there is none), and one persistent wineserver
# per prefix for the run. test.sh prepares one prefix and display per slot and runs the tests
# side by side in them.
#
# Wine's background processes keep the output of the command that started them, so every
# Wine start-up here writes to a file: whoever reads our own output (CI) is never held up.

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$ROOT_DIR/build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE_LOG="$ROOT_DIR/build/wine.log"
XVFB_PID=""             # the private display of the last session started
XVFB_PIDS=()            # every private display started, stopped at the end
SESSION_PREFIXES=()     # every prefix whose wineserver was started, stopped at the end

display_works() {
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

start_private_xvfb() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    XVFB_PIDS+=("$XVFB_PID")
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        display_works && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# The wineserver and the first processes of $WINEPREFIX (the prefix is made the first time).
boot_prefix() {
    wineserver -p >>"$WINE_LOG" 2>&1 </dev/null
    # -u, not -i: after `wineserver -p`, -i leaves a second services.exe, and service
    # commands then fail at random (1060, 1062).
    wineboot -u >>"$WINE_LOG" 2>&1 </dev/null
    check_one_service_manager
}

managed_value() {
    wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>>"$WINE_LOG" </dev/null |
        tr -d '\r' | awk '$1 == "Managed" { print $3 }'
}

# prepare_prefix managed: $WINEPREFIX booted on $DISPLAY, its fonts found, and Wine's window
# management as asked: "N" (Wine manages its windows itself) or "" (the window manager does).
prepare_prefix() {
    local managed=$1
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Preparing the Wine prefix in $WINEPREFIX (once)..."
    fi
    boot_prefix
    # Debian's Wine does not find its own fonts (Tahoma, Marlett for the caption buttons...)
    # where fonts-wine puts them; the prefix's font folder is always searched.
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    [ "$(managed_value)" = "$managed" ] && return 0
    if [ -n "$managed" ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >>"$WINE_LOG" 2>&1 </dev/null
    else
        wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >>"$WINE_LOG" 2>&1 </dev/null || true
    fi
    # The desktop process read the old value when it started, and every window that closes
    # would wait for it: the prefix's processes start again with the new one.
    wineserver -k >>"$WINE_LOG" 2>&1 </dev/null || true
    wineserver -w >>"$WINE_LOG" 2>&1 </dev/null || true
    boot_prefix
}

# wine_session_start [private]: "private" always uses an Xvfb of its own.
wine_session_start() {
    mkdir -p "$ROOT_DIR/build"
    XVFB_PID=""
    if [ "${1:-}" = private ] || ! display_works; then
        start_private_xvfb
    fi
    SESSION_PREFIXES+=("$WINEPREFIX")
    # A private Xvfb has no window manager: Wine then manages its windows itself, or every
    # window that closes waits two seconds for a manager that never answers.
    prepare_prefix "${XVFB_PID:+N}"
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
        echo "The Wine prefix $WINEPREFIX has $count services.exe processes instead of one; see $WINE_LOG" >&2
        return 1
    fi
}

wine_session_stop() {
    local prefix pid
    for prefix in "${SESSION_PREFIXES[@]}"; do
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    done
    SESSION_PREFIXES=()
    for pid in "${XVFB_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    XVFB_PIDS=()
    XVFB_PID=""
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

# test_slots count: `count` prefixes, each on a private display of its own, prepared side by
# side; build/test-slots/<n>.env says which is slot n (scripts/wine-slot.sh reads it), and
# build/test-slots/resources.json offers them to ctest.
test_slots() {
    local count=$1 slot prefix failed=0
    local -a displays=() prefixes=() preparing=()
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM
    mkdir -p "$ROOT_DIR/build/test-slots"
    for ((slot = 0; slot < count; slot++)); do
        prefix="$ROOT_DIR/build/wineprefix"
        [ "$slot" -gt 0 ] && prefix="$ROOT_DIR/build/wineprefix-$slot"
        start_private_xvfb
        displays+=("$DISPLAY")
        prefixes+=("$prefix")
        SESSION_PREFIXES+=("$prefix")
        (WINEPREFIX=$prefix && prepare_prefix N) &
        preparing+=($!)
        printf 'export WINEPREFIX=%q DISPLAY=%q\n' "$prefix" "$DISPLAY" >"$ROOT_DIR/build/test-slots/$slot.env"
    done
    for pid in "${preparing[@]}"; do wait "$pid" || failed=1; done
    [ "$failed" -eq 0 ] || return 1
    {
        printf '{"version": {"major": 1, "minor": 0}, "local": [{"wine": ['
        for ((slot = 0; slot < count; slot++)); do
            [ "$slot" -gt 0 ] && printf ', '
            printf '{"id": "%d", "slots": 1}' "$slot"
        done
        printf ']}]}\n'
    } >"$ROOT_DIR/build/test-slots/resources.json"
    # Slot 0 is also this shell's own session.
    export WINEPREFIX=${prefixes[0]} DISPLAY=${displays[0]}
    cd "$ROOT_DIR"
}
