#!/usr/bin/env bash
# Every check of the project, as .ci/run runs it: formatting, the debug build with AddressSanitizer
# and UndefinedBehaviorSanitizer and all its tests, clang-tidy, bounded fuzzing, the link's stress
# test and parallel runs under ThreadSanitizer, a warning-free release build, the Debian package
# and the demo.
# Dependencies come from tools/install-deps.sh. Each check's output is kept in build/checks/; the
# ones that failed are repeated at the end, so the last lines always say what went wrong.
set -euo pipefail
cd "$(dirname "$0")/.."
logs=build/checks
rm -rf "$logs"
mkdir -p "$logs"
failed=()

check() { # name command... : runs one check, its output shown and kept
    local name=$1
    shift
    echo "== $name (at ${SECONDS}s)"
    if ! "$@" 2>&1 | tee "$logs/$name.log"; then failed+=("$name"); fi
}
finish() {
    if [ ${#failed[@]} -eq 0 ]; then
        echo "== all checks passed in ${SECONDS}s"
        exit 0
    fi
    for name in "${failed[@]}"; do
        echo "== last lines of the failed check $name ($logs/$name.log)"
        tail -n 60 "$logs/$name.log"
    done
    echo "!! failed: ${failed[*]}"
    exit 1
}
started=0
background() { # name command... : starts a check whose output is shown when it is awaited
    local name=$1
    shift
    "$@" >"$logs/$name.log" 2>&1 &
    started=$!
}
await() { # name pid
    echo "== $1 (awaited at ${SECONDS}s)"
    local status=0
    wait "$2" || status=$?
    cat "$logs/$1.log"
    [ "$status" -eq 0 ] || failed+=("$1")
}

check format tools/check-format.sh
debug=build/debug
check debug-build bash -c "cmake -S . -B $debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPX_SANITIZE=ON \
    && cmake --build $debug -j2"
[ ${#failed[@]} -eq 0 ] || finish

export QT_QPA_PLATFORM=offscreen
# The tests mostly wait on simulators, timers and the virtual display: clang-tidy and the
# optimised build share the cores with them, at a lower priority so the tests keep their pace.
# The optimised build serves three checks: no compiler warning, the package and the demo.
background lint nice -n 10 tools/lint.sh "$debug"
lint=$started
release=build/release
background release-build nice -n 10 bash -c "cmake -S . -B $release -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_TESTS=OFF -DPX_WERROR=ON && cmake --build $release -j2"
build_release=$started
check tests ctest --test-dir "$debug" --output-on-failure -j2 --timeout 900
await lint "$lint"
await release-build "$build_release"

# A fuzz run holds one core for a fixed time; the ThreadSanitizer build and its tests take the
# other.
background fuzz tools/fuzz.sh "${PX_FUZZ_SECONDS:-10}"
fuzz=$started
check tsan-stress tools/tsan.sh "${PX_STRESS_MS:-2000}"
await fuzz "$fuzz"

if [[ " ${failed[*]} " != *" release-build "* ]]; then
    check package tools/check-package.sh "$release"
    check demo tools/check-demo.sh
fi
finish
