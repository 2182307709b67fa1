#!/usr/bin/env bash
# Builds a release and prints the benchmark figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target bench_link bench_exchange bench_format bench_xmodem px74x-sim serlo px740
"$build/tools/bench/bench_link"
"$build/tools/bench/bench_exchange"
"$build/tools/bench/bench_format"
"$build/tools/bench/bench_xmodem"
python3 tools/bench/bench_run.py "$build"
