#!/usr/bin/env bash
# Builds the record formatter's libFuzzer targets from its two Qt-free sources and runs each for
# a bounded time: tools/fuzz.sh [seconds per target, default 60]. Exits non-zero on a crash,
# a sanitizer report, a slow input or a failed check; the input is left in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz
src=app/records
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"

for target in fuzz_template fuzz_expand_date; do
    echo "== building $target"
    "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -Wall -Wextra -I"$src" -Icommon "$src/fuzz/$target.cpp" "$src/DateFormat.cpp" "$src/FmtData.cpp" \
        -o "$out/$target"
done

# A few seeds so that the runs start from meaningful shapes.
seed() { # corpus name bytes
    mkdir -p "$out/corpus-$1"
    printf '%b' "$3" > "$out/corpus-$1/$2"
}
seed fuzz_template standard ",{UID},{CID},{Event},{Date,'YYYY/MM/DD'},{Time,'hh:nn:ss'}\n001,12345,1,2026/03/05,08:01:02,7"
seed fuzz_template second ",{UID}-{CID,'&8D'}/{Event,0=IN,1=OUT,2=BREAK}/{Date,'YYYYMMDD'}\\\\T{RecordNo,'&4Z'}\n001,12345,1,2026/03/05,08:01:02,7"
seed fuzz_template hexlist ",{CID,'&6H'};{Event,In,Out,Break}\n001,12345,-1,2026/03/05,08:01:02,7"
seed fuzz_template nul "\x01{A,'--'}{H,'&12D'}{d}\nab\x00FFFFFFFF\x002026-3-5 8:01\nA,H&,D#"
seed fuzz_expand_date name "Rec{Date}.txt\n{Date#}\n2026/03/05 08:01:02\nYYYYMMDD"
seed fuzz_expand_date subject "Attendance - {Date,\"YYYYMMDD hh:nn\"} {x{Date,'hh:mm'}}\n{Date#}\n2026-03-05 08:01\nShort Date\nDD.MM.YYYY"

status=0
for target in fuzz_template fuzz_expand_date; do
    echo "== running $target for ${seconds}s"
    if ! "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$out/$target-" "$out/corpus-$target"; then
        echo "!! $target failed; see $out/$target-*" >&2
        status=1
    fi
done
exit $status
