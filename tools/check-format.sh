#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from the checked-in .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r f; do
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
        echo "not formatted: $f" >&2
        status=1
    fi
done < <(git ls-files '*.cpp' '*.h')
exit $status
