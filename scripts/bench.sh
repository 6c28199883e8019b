#!/usr/bin/env bash
# Runs the benchmarks under Wine inside a private Xvfb; the report goes to build/bench.md.
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
private_session
wine build/mingw/bin/kvztl_bench.exe "$(windows_path "$ROOT_DIR/build/bench.md")" "$@" 2>>"$WINE_LOG" </dev/null
echo "Written to $ROOT_DIR/build/bench.md"
