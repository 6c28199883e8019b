#!/usr/bin/env bash
# Runs every test under Wine inside a private Xvfb; exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
trap wine_session_stop EXIT
trap 'exit 130' INT TERM
wine_session_start private
cd "$ROOT_DIR"
ctest --preset mingw "$@"
