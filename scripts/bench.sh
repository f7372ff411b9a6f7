#!/bin/sh
# Builds the benchmarks (optimised, no sanitizers) and runs them; the figures
# and the machine they were taken on are in bench/BENCHMARKS.md.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target korvel_bench
build/bench/bin/korvel_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$@"
