#!/usr/bin/env bash
# Builds the debug configuration with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test, then the ThreadSanitizer stress test, a warning-free release build and the demo.
# Dependencies come from tools/install-deps.sh.
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
# The formatter's and the reply parsers' fuzz targets, for a bounded time each. A fuzz run takes
# one core for a fixed time: the link's stress test is built and run under ThreadSanitizer beside
# it, in a small build of its own.
tsan_log=$(mktemp /tmp/px740-tsan-XXXXXX)
tools/tsan.sh "${PX_STRESS_MS:-2000}" >"$tsan_log" 2>&1 &
tsan_pid=$!
fuzz_status=0
tools/fuzz.sh "${PX_FUZZ_SECONDS:-30}" || fuzz_status=$?
tsan_status=0
wait "$tsan_pid" || tsan_status=$?
echo "== ThreadSanitizer stress test"
cat "$tsan_log"
rm -f "$tsan_log"
[ "$fuzz_status" -eq 0 ] && [ "$tsan_status" -eq 0 ]
# The release build of the demo must not warn; the demo runs on it and must leave no process.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_TESTS=OFF -DPX_WERROR=ON
tools/check-demo.sh
