#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs what has threads: the link's stress test (opens, closes and
# destroys serial and TCP links while bytes flood in, and controls of several threads exchange
# with simulators at once through the C ABI), then scheduled runs with several terminal sessions
# alive at once, each on a thread of its own, with one writer and the archive's shipper.
# tools/tsan.sh [milliseconds per stress case, default 2000]. Only those targets (and the
# simulator) are built, so that the check stays small beside the main build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPX_SANITIZE_THREAD=ON \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
cmake --build "$build" -j2 --target link_stress_test scheduler_test archive_run_test px74x-sim
export QT_QPA_PLATFORM=offscreen
export PX_STRESS_MS="${1:-2000}"
# Any report fails the run. Qt is not built with the sanitizer: what its own code does is left
# to it, while the hand-overs our code makes through it are annotated.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 \
ignore_noninstrumented_modules=1 suppressions=$PWD/testing/tsan.supp"
"$build/link/tests/link_stress_test"
"$build/app/scheduler/tests/scheduler_test" --gtest_filter='ParallelRun.*:Sessions/Run.*/default'
"$build/app/archive/tests/archive_run_test"
