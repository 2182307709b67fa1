#!/usr/bin/env bash
# Pictures of the real window for the guide: builds the programs, starts px740 on a virtual X
# server against the simulator and writes a PNG of every page into the folder given
# (default build/screenshots). Needs the packages of tools/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
build=${PX_BUILD:-build/release}
if [ ! -x "$build/app/px740" ] || [ -n "${PX_REBUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target px740 px74x-sim serlo
fi
/usr/bin/python3 testing/desktop_session.py --timeout 300 -- \
    /usr/bin/python3 tools/screenshots.py --px740 "$build/app/px740" \
    --sim "$build/tools/sim/px74x-sim" --out "$out"
