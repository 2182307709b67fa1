#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan and UBSan) of every parser of outside input from their
# Qt-free sources and runs each in turn: tools/fuzz.sh [seconds, default 60]. The seconds are the
# running time of all targets together, shared equally (at least 2 s each); FUZZ_RUNS=N runs each
# target for N executions instead. Corpora are kept in the tree (fuzz/corpus-<target>); the runs
# work on copies in build/fuzz. One line per target; libFuzzer's output only for a target that
# failed (a crash, a sanitizer report, a slow input or a broken check), its input in build/fuzz/
# (FUZZ_OUT names another folder).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=${FUZZ_OUT:-build/fuzz}
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"

declare -A sources corpus longest
# target longest-input corpus-folder sources... The longest input is a few times the longest text
# the parser keeps or bounds (a reply 4096, a language text 1023, a template's digits 1024), so
# its limits are reached without spending the runs on inputs no file or line comes near.
add() {
    local target=$1 len=$2 folder=$3
    shift 3
    targets+=("$target")
    longest[$target]=$len
    corpus[$target]=$folder
    sources[$target]="$*"
}
targets=()
R=app/records P=app/protocol S=app/shell
add fuzz_template 2048 $R/fuzz/corpus-template $R/fuzz/fuzz_template.cpp $R/DateFormat.cpp \
    $R/FmtData.cpp
add fuzz_expand_date 1024 $R/fuzz/corpus-expand-date $R/fuzz/fuzz_expand_date.cpp \
    $R/DateFormat.cpp $R/FmtData.cpp
add fuzz_replies 8192 $P/fuzz/corpus $P/fuzz/fuzz_replies.cpp $P/Replies.cpp $R/DateFormat.cpp \
    common/VbText.cpp common/Frame.cpp
add fuzz_collector 8192 $P/fuzz/corpus-collector $P/fuzz/fuzz_collector.cpp $P/ReplyCollector.cpp \
    common/Frame.cpp
add fuzz_ini 4096 common/fuzz/corpus-ini common/fuzz/fuzz_ini.cpp common/Ini.cpp \
    common/SysError.cpp common/Frame.cpp $R/RecordStore.cpp common/VbText.cpp common/Wait.cpp
add fuzz_language 4096 app/i18n/fuzz/corpus-language app/i18n/fuzz/fuzz_language.cpp \
    app/i18n/Texts.cpp common/Ini.cpp common/SysError.cpp common/VbText.cpp
add fuzz_directory 2048 app/directory/fuzz/corpus-directory app/directory/fuzz/fuzz_directory.cpp \
    app/directory/DeviceDirectory.cpp app/settings/SettingsStore.cpp $R/FileAppend.cpp \
    common/Ini.cpp common/SysError.cpp common/VbText.cpp common/Wait.cpp
add fuzz_time_tables 2048 $P/fuzz/corpus-time-tables $P/fuzz/fuzz_time_tables.cpp $P/TimeTable.cpp \
    $P/Replies.cpp app/scheduler/TsTableLine.cpp $R/FileAppend.cpp $R/DateFormat.cpp \
    common/Ini.cpp common/SysError.cpp common/Frame.cpp common/VbText.cpp common/Wait.cpp
add fuzz_cmdswitch 2048 $S/fuzz/corpus-cmdswitch $S/fuzz/fuzz_cmdswitch.cpp $S/CmdSwitch.cpp \
    common/VbText.cpp

includes=(-I$R -Icommon -I$P -I$S -Iapp/settings -Iapp/messages -Iapp/directory -Iapp/i18n
    -Iapp/scheduler -Itesting)
# The language files' reader needs Qt for the system language name, and durable writes wait on
# the event loop (Wait.cpp).
qt_flags() {
    [[ $1 == fuzz_language || ${sources[$1]} == *Wait.cpp* ]] &&
        pkg-config --cflags --libs Qt6Core || true
}

build() { # target: rebuilt only when a source or header is newer than the binary
    local target=$1 bin=$out/$1
    # shellcheck disable=SC2086
    if [[ -x $bin ]] && [[ -z $(find ${sources[$target]} $R $P $S common app/settings app/messages \
        app/directory app/i18n app/scheduler testing -newer "$bin" \( -name '*.cpp' -o -name '*.h' \) |
        head -1) ]]; then
        return 0
    fi
    # shellcheck disable=SC2046,SC2086
    "$cxx" -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=undefined -Wall -Wextra "${includes[@]}" ${sources[$target]} \
        $(qt_flags "$target") -o "$bin" 2>"$out/$target.build.log" ||
        { cat "$out/$target.build.log" >&2; return 1; }
}

# Two at a time: the compiles dominate a short run.
pids=()
for target in "${targets[@]}"; do
    build "$target" &
    pids+=($!)
    if ((${#pids[@]} == 2)); then
        wait "${pids[0]}" || { echo "!! building failed" >&2; exit 1; }
        pids=("${pids[1]}")
    fi
done
for pid in "${pids[@]}"; do wait "$pid" || { echo "!! building failed" >&2; exit 1; }; done

per=$((seconds / ${#targets[@]}))
((per >= 2)) || per=2
if [[ -n ${FUZZ_RUNS:-} ]]; then limit=(-runs="$FUZZ_RUNS"); else limit=(-max_total_time="$per"); fi
status=0
for target in "${targets[@]}"; do
    work=$out/corpus-$target
    mkdir -p "$work"
    cp -n "${corpus[$target]}"/* "$work/" 2>/dev/null || true
    log=$out/$target.log
    if "$out/$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len="${longest[$target]}" \
        -print_final_stats=1 -artifact_prefix="$out/$target-" "$work" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
        echo "ok   $target: ${runs:-?} runs in ${secs:-?} s, coverage ${cov:-?}"
    else
        cat "$log" >&2
        echo "FAIL $target; the input is in $out/$target-*" >&2
        status=1
    fi
done
exit $status
