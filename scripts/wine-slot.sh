#!/bin/sh
# The tests' emulator: a test runs under Wine in the prefix and on the display of the slot that
# ctest gave it (scripts/test.sh prepares them), else in those of the environment.
set -e
if [ -n "${CTEST_RESOURCE_GROUP_0_WINE:-}" ]; then
    slot=${CTEST_RESOURCE_GROUP_0_WINE#id:}
    . "$(dirname "$0")/../build/test-slots/${slot%%,*}.env"
fi
exec wine "$@"
