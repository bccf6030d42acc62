#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing, and
# the further packages named as arguments (for example the packaging tools).
set -euo pipefail
packages=(cmake g++ ninja-build pkg-config libssl-dev openssl nlohmann-json3-dev
          libgtest-dev libgmock-dev libbenchmark-dev libsystemd-dev qt6-base-dev scdoc man-db "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
source "$(dirname "$0")/lib/apt.sh"
apt_update
apt_get install -y -qq "${missing[@]}"
