#!/bin/sh
# Builds the libFuzzer targets (clang, ASan and UBSan, coverage in all code)
# and runs each for SECONDS (default 60), one after the other, from the seed
# corpus in fuzz/corpus/<target> with its dictionary. The working corpus, the
# logs and any crash files are in build/fuzz/.
#
#   sh scripts/fuzz.sh [SECONDS [TARGET...]]
#
# Without TARGETs it runs all six: the engine, the store file, korvel's
# import and korvel session's policy and log.
#
# Fails when a target crashes, leaks, hangs or makes a sanitizer report, and
# when it reaches fewer edges than its floor, so that a target that stops
# seeing the code it calls (lost instrumentation, seeds that no longer parse)
# fails instead of running blind. The floors are about 87 % of the edges that
# 60 seconds from the seed corpus reached (clang 14, Debian 12): 522, 524, 180,
# 862, 1780 and 1252 in the order below; shorter runs check no floor.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-fuzz_isolate_make fuzz_auto_reply fuzz_matrix fuzz_regfile fuzz_import fuzz_session}
sh scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for target in $targets; do
  # target             dictionary  max_len  floor (edges)
  line=$(grep "^$target " <<EOF
fuzz_isolate_make    challenge   1024     455
fuzz_auto_reply      challenge   1024     455
fuzz_matrix          challenge   1024     155
fuzz_regfile         regfile     4096     750
fuzz_import          regfile     4096     1550
fuzz_session         session     2048     1090
EOF
  ) || { echo "$target: no such fuzz target"; status=1; continue; }
  read -r _ dict maxlen floor <<EOF
$line
EOF
  corpus="build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/
  if ! build/fuzz/bin/"$target" -max_total_time="$seconds" -max_len="$maxlen" -timeout=25 \
         -dict="fuzz/$dict.dict" -print_final_stats=1 -artifact_prefix=build/fuzz/"$target"- \
         "$corpus" </dev/null >"$log" 2>&1; then
    echo "$target: FAILED (log: $log)"; tail -40 "$log"; status=1
    continue
  fi
  # The edges of the last status line ("#1234 ... cov: 812 ft: ..."), and the runs.
  cov=$(grep -E '^#[0-9]+.*cov: [0-9]+' "$log" | tail -n 1 | sed -E 's/.*cov: ([0-9]+).*/\1/')
  runs=$(sed -n -E 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log")
  cov=${cov:-0}
  echo "$target: $cov edges (floor $floor), ${runs:-?} runs in $seconds s"
  if [ "$seconds" -ge 60 ] && [ "$cov" -lt "$floor" ]; then
    echo "$target: FAILED: $cov edges, below its floor of $floor (log: $log)"; status=1
  fi
done
exit $status
