#!/bin/sh
# Builds the libFuzzer targets (clang, ASan and UBSan) and runs each for the
# given number of seconds (default 60). Any crash, leak or sanitizer report
# fails the run.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
sh scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
status=0
for target in fuzz_isolate_make fuzz_auto_reply fuzz_matrix fuzz_regfile; do
  mkdir -p "build/fuzz/corpus/$target"
  if build/fuzz/bin/$target -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 \
       "build/fuzz/corpus/$target" >"build/fuzz/$target.log" 2>&1; then
    echo "$target: $(grep -E '^Done' "build/fuzz/$target.log")"
  else
    echo "$target: FAILED"; tail -40 "build/fuzz/$target.log"; status=1
  fi
done
exit $status
