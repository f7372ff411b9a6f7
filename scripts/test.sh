#!/bin/sh
# Installs what is missing, builds every preset and runs all their tests:
# linux (native, under AddressSanitizer and UndefinedBehaviorSanitizer), and
# win32 and win64 (cross-built, run under Wine in a prefix of their own).
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
status=0
for preset in linux win32 win64; do
  echo "==== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
