#!/usr/bin/env bash
# Builds the debug configuration with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test. Dependencies come from tools/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check-format.sh
build=build/debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPX_SANITIZE=ON
cmake --build "$build" -j2
export QT_QPA_PLATFORM=offscreen
# clang-tidy over the product code runs beside the tests: they mostly wait on simulators,
# timers and the virtual display, so the two share the cores well.
lintlog=$(mktemp)
tools/lint.sh "$build" >"$lintlog" 2>&1 &
lint=$!
status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900 || status=1
if ! wait "$lint"; then status=1; fi
cat "$lintlog"
rm -f "$lintlog"
# The formatter's and the reply parsers' fuzz targets, for a bounded time each.
tools/fuzz.sh "${PX_FUZZ_SECONDS:-30}" || status=1
exit $status
