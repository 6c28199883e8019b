#!/usr/bin/env bash
# `make dist`: builds the program alone (no tests) in build/release and writes
# build/dist/kv-ztl-<version>-win64.zip, build/dist/kv-ztl.exe and build/dist/SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
if [ ! -f build/release/CMakeCache.txt ]; then
    cmake --preset release >build/release-configure.log 2>&1 || { cat build/release-configure.log; exit 1; }
fi
out=$(cmake --build --preset release -- --quiet 2>&1) || { echo "$out"; exit 1; }
echo "$out" | grep -v '^ninja: no work to do\.$' || true
(cd build/dist && sha256sum -c SHA256SUMS)
