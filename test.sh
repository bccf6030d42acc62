#!/usr/bin/env bash
# Builds the project and runs every test, in the default build and in the
# AddressSanitizer + UndefinedBehaviorSanitizer build. Installs what is missing.
#   ./test.sh [PRESET...]    (default: default asan)
# TW_SKIP_ASAN=1 skips the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan)
for preset in "${presets[@]}"; do
  if [ "$preset" = asan ] && [ "${TW_SKIP_ASAN:-0}" = 1 ]; then continue; fi
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
