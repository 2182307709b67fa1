#!/usr/bin/env bash
# Builds the libFuzzer targets of the record formatter and of the reply parsers from their Qt-free
# sources and runs each for a bounded time: tools/fuzz.sh [seconds per target, default 60].
# Exits non-zero on a crash, a sanitizer report, a slow input or a failed check; the input is left
# in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz
src=app/records
cxx=${FUZZ_CXX:-clang++}
targets="fuzz_template fuzz_expand_date fuzz_replies"
mkdir -p "$out"

build() { # target sources...
    local target=$1
    shift
    echo "== building $target"
    "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -Wall -Wextra -I"$src" -Icommon -Iapp/protocol -Iapp/shell -Itesting "$@" -o "$out/$target"
}
build fuzz_template "$src/fuzz/fuzz_template.cpp" "$src/DateFormat.cpp" "$src/FmtData.cpp"
build fuzz_expand_date "$src/fuzz/fuzz_expand_date.cpp" "$src/DateFormat.cpp" "$src/FmtData.cpp"
build fuzz_replies app/protocol/fuzz/fuzz_replies.cpp app/protocol/Replies.cpp \
    "$src/DateFormat.cpp" app/shell/VbText.cpp common/Frame.cpp

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

# The reply parsers' seeds are kept in the tree.
mkdir -p "$out/corpus-fuzz_replies"
cp app/protocol/fuzz/corpus/* "$out/corpus-fuzz_replies/"

status=0
for target in $targets; do
    echo "== running $target for ${seconds}s"
    if ! "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$out/$target-" "$out/corpus-$target"; then
        echo "!! $target failed; see $out/$target-*" >&2
        status=1
    fi
done
exit $status
