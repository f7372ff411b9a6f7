#!/bin/sh
# Installs what is missing, builds every preset and runs all their tests:
# linux (native, under AddressSanitizer and UndefinedBehaviorSanitizer), and
# win32 and win64 (cross-built, run under Wine in a prefix of their own);
# then runs each fuzz target for KORVEL_FUZZ_SECONDS (default 60, 0 skips).
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
seconds=${KORVEL_FUZZ_SECONDS:-60}
if [ "$seconds" -gt 0 ]; then
  echo "==== fuzz ($seconds s per target)"
  sh scripts/fuzz.sh "$seconds" || status=1
fi
exit $status
