#!/usr/bin/env bash
# The long soak under Wine inside a private Xvfb: kv-ztl.exe for 30 minutes
# (KVZTL_SOAK_SECONDS to change) while the tracker service comes and goes every 2 s; prints
# the first and last figures and fails if the program ended, missed a change or grew.
# `soak.sh fast`: 200,000 polls of the strip back to back (about 12 minutes here).
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
private_session
export KVZTL_SOAK_SECONDS=${KVZTL_SOAK_SECONDS:-1800}
wine build/mingw/bin/kvztl_soak.exe "$@" 2>>"$WINE_LOG" </dev/null
