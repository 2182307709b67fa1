#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the product code (the link library, the
# program, the shared pieces and the simulator; not tests, fuzz targets or benchmarks), two files
# at a time: tools/lint.sh [build folder with compile_commands.json, default build/debug].
# Exits non-zero on any finding. Files unchanged since a clean pass are skipped (tools/lint.py).
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 tools/lint.py "$@"
