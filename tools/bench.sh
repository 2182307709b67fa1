#!/usr/bin/env bash
# Builds a release and prints the benchmark figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target bench_link bench_exchange bench_format bench_xmodem bench_window bench_pages bench_archive px74x-sim serlo px740
"$build/tools/bench/bench_link"
"$build/tools/bench/bench_exchange"
"$build/tools/bench/bench_format"
"$build/tools/bench/bench_xmodem"
python3 tools/bench/bench_run.py "$build"
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
