#!/usr/bin/env bash
# Builds the debug configuration with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test. Dependencies come from tools/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check-format.sh
build=build/debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPX_SANITIZE=ON
cmake --build "$build" -j2
# clang-tidy over the product code, with the build's compile commands.
tools/lint.sh "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
# The formatter's and the reply parsers' fuzz targets, for a bounded time each.
tools/fuzz.sh "${PX_FUZZ_SECONDS:-30}"
