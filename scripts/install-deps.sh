#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, only what is missing.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine xvfb x11-utils imagemagick
          python3 git clang clang-format clang-tidy)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install those packages) first." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
