#!/usr/bin/env bash
# Builds the link library, the shared pieces and the link's stress test with ThreadSanitizer, and
# runs the stress test: opens, closes and destroys serial and TCP links while bytes flood in, and
# controls of several threads exchanging with simulators at once through the C ABI.
# tools/tsan.sh [milliseconds per case, default 2000]. Only those targets (and the simulator) are
# built, so that the check stays small beside the main build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPX_SANITIZE_THREAD=ON \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
cmake --build "$build" -j2 --target link_stress_test
export QT_QPA_PLATFORM=offscreen
export PX_STRESS_MS="${1:-2000}"
# Any report fails the run.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/testing/tsan.supp"
"$build/link/tests/link_stress_test"
