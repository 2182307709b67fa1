#!/usr/bin/env bash
# Runs the demo (tools/demo.sh) in a session of its own and fails when it does not succeed or
# when any process it started is still alive afterwards (its simulators hold their ports).
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp /tmp/px740-demo-check-XXXXXX)
sidfile="$log.sid"
status=0
# setsid makes the demo the leader of a new session, whose id is its process id.
setsid --wait bash -c 'echo $$ >"$1"; exec tools/demo.sh' demo "$sidfile" >"$log" 2>&1 || status=$?
sid=$(cat "$sidfile")
if [ "$status" -ne 0 ]; then
    cat "$log"
    echo "!! the demo failed with status $status" >&2
fi
left=()
for _ in $(seq 20); do
    left=()
    for stat in /proc/[0-9]*/stat; do
        # Fields after the command name (which may hold spaces): state ppid pgrp session ...
        fields=$(sed 's/.*) //' "$stat" 2>/dev/null) || continue
        read -r _ _ _ session _ <<<"$fields"
        if [ "$session" = "$sid" ]; then
            pid=${stat#/proc/}; pid=${pid%/stat}
            left+=("$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)")
        fi
    done
    [ ${#left[@]} -eq 0 ] && break
    sleep 0.1
done
if [ ${#left[@]} -ne 0 ]; then
    echo "!! the demo left processes behind:" >&2
    printf '   %s\n' "${left[@]}" >&2
    # They were started here: end exactly those, by their ids.
    for entry in "${left[@]}"; do kill "${entry%% *}" 2>/dev/null || true; done
    status=1
fi
rm -f "$log" "$sidfile"
[ "$status" -eq 0 ] && echo "demo: ran and left no process behind"
exit "$status"
