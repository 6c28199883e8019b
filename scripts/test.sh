#!/usr/bin/env bash
# Runs every test under Wine, side by side in as many private prefixes and Xvfb displays as
# there are cores (at most 2; KVZTL_TEST_SLOTS to choose); exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/wine-session.sh"
cores=$(nproc)
slots=${KVZTL_TEST_SLOTS:-$((cores < 2 ? 1 : 2))}
test_slots "$slots"
ctest --preset "${KVZTL_TEST_PRESET:-mingw}" -j "$slots" --resource-spec-file "$ROOT_DIR/build/test-slots/resources.json" "$@"
