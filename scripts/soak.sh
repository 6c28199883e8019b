#!/usr/bin/env bash
# The long soak: kv-ztl.exe for 30 minutes (KVZTL_SOAK_SECONDS to change) while the tracker
# comes and goes every 2 s; prints the first and last figures.
set -euo pipefail
export KVZTL_SOAK_SECONDS=${KVZTL_SOAK_SECONDS:-1800}
exec "$(dirname "$0")/test.sh" -R '^Soak\.' --verbose
