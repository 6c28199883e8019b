#!/usr/bin/env bash
# `make dist-check`: two clean builds of this commit (HEAD; uncommitted changes are not in
# it), in two folders at different depths, must give byte-identical kv-ztl.exe and zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d /tmp/kvztl-dist-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
for folder in "$work/one/kv-ztl" "$work/two/deeper/other-name"; do
    git clone -q --no-local "$root" "$folder"
    git -C "$folder" checkout -q "$commit"
    echo "Building $commit in $folder"
    (cd "$folder" && scripts/dist.sh >/dev/null)
done
one="$work/one/kv-ztl/build/dist"
two="$work/two/deeper/other-name/build/dist"
status=0
for file in $(cd "$one" && ls); do
    if cmp -s "$one/$file" "$two/$file"; then
        echo "same: $file $(sha256sum <"$one/$file" | cut -c1-16)..."
    else
        echo "DIFFERENT: $file"
        status=1
    fi
done
exit $status
