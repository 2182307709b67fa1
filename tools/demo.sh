#!/usr/bin/env bash
# The built-in demo: builds a release, starts a simulated terminal on a pseudo-terminal and talks
# to it through libserlo.so, the way any host of the link library does.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_TESTS=OFF
cmake --build "$build" -j2
demo_home=$(mktemp -d /tmp/px740-demo-XXXXXX)
export XDG_CONFIG_HOME="$demo_home/config" XDG_DATA_HOME="$demo_home/data"
exec python3 tools/demo_link.py "$build/link/libserlo.so" "$build/tools/sim/px74x-sim"
