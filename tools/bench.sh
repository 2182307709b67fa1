#!/usr/bin/env bash
# Builds a release and prints the benchmark figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target bench_link bench_exchange bench_format bench_xmodem bench_window bench_pages bench_parallel bench_archive px74x-sim serlo px740
"$build/tools/bench/bench_link"
"$build/tools/bench/bench_exchange"
"$build/tools/bench/bench_format"
"$build/tools/bench/bench_xmodem"
python3 tools/bench/bench_run.py "$build"
# Parallel runs headless, in a network namespace where 198.51.100.0/24 leads nowhere, so that
# the unreachable addresses cost their real time-outs; then with the window shown, on a virtual
# display when the desktop packages are there.
parallel=("$build/tools/bench/bench_parallel")
if command -v Xvfb >/dev/null; then
    parallel=(/usr/bin/python3 testing/desktop_session.py --timeout 1500 -- "${parallel[@]}")
else
    export QT_QPA_PLATFORM=offscreen
fi
if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up && ip route add 198.51.100.0/24 dev lo && exec "$@"' sh \
        "${parallel[@]}"
else
    "${parallel[@]}"
fi
unset QT_QPA_PLATFORM
# The archive's figures, PostgreSQL's on a private server.
python3 testing/pg_server.py -- "$build/tools/bench/bench_archive"
# The window's figures need a display: a virtual one when the desktop packages are there.
if command -v Xvfb >/dev/null; then
    /usr/bin/python3 testing/desktop_session.py --timeout 600 -- \
        "$build/tools/bench/bench_window"
    /usr/bin/python3 testing/desktop_session.py --timeout 1200 -- \
        "$build/tools/bench/bench_pages"
else
    QT_QPA_PLATFORM=offscreen "$build/tools/bench/bench_window"
    QT_QPA_PLATFORM=offscreen "$build/tools/bench/bench_pages"
fi
