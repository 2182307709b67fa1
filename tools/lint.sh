#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the product code (the link library, the
# program, the shared pieces and the simulator; not tests, fuzz targets or benchmarks), two files
# at a time: tools/lint.sh [build folder with compile_commands.json, default build/debug].
# Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
tidy=${CLANG_TIDY:-clang-tidy}
if [ ! -f "$build/compile_commands.json" ]; then
    echo "no $build/compile_commands.json: configure the build first" >&2
    exit 2
fi

files=$(git ls-files 'app/*.cpp' 'link/*.cpp' 'common/*.cpp' 'tools/sim/*.cpp' |
    grep -Ev '(^|/)(tests|fuzz|testing)/' || true)
if [ -z "$files" ]; then
    echo "no product files found" >&2
    exit 2
fi

start=$(date +%s)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# -P2: the machines have two cores. Each file's output is collected whole before it is printed.
if ! printf '%s\n' $files | xargs -P2 -n1 sh -c \
    'out=$("$0" -p "$1" --quiet "$2" 2>&1) || { printf "%s\n" "$out"; exit 1; }' \
    "$tidy" "$build" >"$log"; then
    status=1
fi
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" || true
echo "clang-tidy: $(printf '%s\n' $files | wc -l) files in $(($(date +%s) - start)) s"
exit $status
