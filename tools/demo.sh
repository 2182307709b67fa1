#!/usr/bin/env bash
# The built-in demo: builds a release, starts two simulated terminals (one on a pseudo-terminal
# as COM5, one behind a simulated device server on a loopback address), and runs the scheduled
# poll-and-save once with `px740 /TS:ONCE`. Shows the output file, the backup and the event log.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target px740 px74x-sim

demo=$(mktemp -d /tmp/px740-demo-XXXXXX)
export PX740_HOME="$demo/px740" XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data"
mkdir -p "$PX740_HOME" "$XDG_CONFIG_HOME/serlo"
sim="$build/tools/sim/px74x-sim"
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Started in this shell, not in a command substitution, so that the cleanup knows their ids. A
# simulator ends at the end of its input: its input is a pipe whose only writer is this shell, so
# it ends with the demo even when the demo itself is killed and no cleanup runs.
start_sim() { # output file, arguments...
    local out=$1; shift
    local fifo="$demo/sim${#sims[@]}.in"
    mkfifo "$fifo"
    "$sim" --quiet "$@" <"$fifo" >"$out" 2>&1 &
    sims+=($!)
    exec {keep}>"$fifo"
    for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
}
first_word() { head -n1 "$1" | cut -d' ' -f2; }
start_sim "$demo/sim1.log" --pty --id 1 --records 25
start_sim "$demo/sim2.log" --tcp 127.0.0.2:0 --id 2 --records 15 --version V1.8R
pty=$(first_word "$demo/sim1.log")
tcp=$(first_word "$demo/sim2.log")
printf '[SERIALCOMM]\r\n%s=COM5\r\n' "$pty" >"$XDG_CONFIG_HOME/serlo/ports.ini"
printf '1,Front door,,5,19200,0.0.0.0,1001\r\n2,Warehouse,,0,19200,%s,%s\r\n' \
    "${tcp%:*}" "${tcp##*:}" >"$PX740_HOME/PX740.TXT"

echo "== px740 /TS:ONCE (terminal 1 on COM5 = $pty, terminal 2 at $tcp)"
status=0
"$build/app/px740" /TS:ONCE || status=$?
echo "== exit status $status"
for f in "$PX740_HOME"/Records/*.TXT; do
    echo "== output file $f ($(wc -l <"$f") lines)"; head -n 5 "$f"; echo "..."
done
for f in "$PX740_HOME"/Records/*.BAK; do
    echo "== backup $f ($(wc -l <"$f") lines)"; head -n 3 "$f"; echo "..."
done
echo "== event log"
cat "$PX740_HOME"/Logfiles/*-log.txt
echo "== files are in $demo"
exit "$status"
