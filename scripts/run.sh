#!/usr/bin/env bash
# Runs kv-ztl.exe under Wine, on $DISPLAY or, where there is none, on a private Xvfb with a
# screenshot in build/screenshot.png. The stand-in tracker is on the search path with its
# service installed, or the real tracker's folder when TRACKER_DIR names one.
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
trap wine_session_stop EXIT
trap 'exit 130' INT TERM
wine_session_start
cd "$ROOT_DIR"

tracker_dir=${TRACKER_DIR:-$ROOT_DIR/build/mingw/bin/stand-in}
WINEPATH=$(windows_path "$tracker_dir")
export WINEPATH
echo "Tracker programs from: $tracker_dir"
if [ -z "${TRACKER_DIR:-}" ]; then
    # The stand-in's service, as "INSTALL BNBT SERVICE" would install it (kept if it exists).
    wine "$tracker_dir/bnbt.exe" -i >>"$WINE_LOG" 2>&1 </dev/null || true
fi

wine build/mingw/bin/kv-ztl.exe >>"$WINE_LOG" 2>&1 </dev/null &
program=$!
if [ -n "$XVFB_PID" ]; then
    sleep 4
    import -window root build/screenshot.png
    echo "Screenshot: $ROOT_DIR/build/screenshot.png"
    echo "Running on the private display $DISPLAY; Ctrl-C ends it."
fi
wait "$program"
