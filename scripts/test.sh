#!/usr/bin/env bash
# Runs every test under Wine inside a private Xvfb; exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
private_session
ctest --preset "${KVZTL_TEST_PRESET:-mingw}" "$@"
