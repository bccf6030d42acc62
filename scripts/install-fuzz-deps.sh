#!/usr/bin/env bash
# Installs what the fuzz targets need beside the build's packages: clang and
# its runtime libraries (libFuzzer and the sanitizers), when missing.
set -euo pipefail
packages=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
source "$(dirname "$0")/lib/apt.sh"
apt_update
apt_get install -y -qq "${missing[@]}"
