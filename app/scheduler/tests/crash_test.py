#!/usr/bin/env python3
"""Crash test of the scheduled run: px740 /TS:ONCE over three simulated terminals (two on
pseudo-terminals, one behind a device server) is killed with SIGKILL at random moments, new
punches arriving between the runs, and is then run to completion.

After every kill the record counters may not be ahead of the output file: every record a counter
covers is in the output. At the end every record is in the output, the mail copy and the monthly
backup, and there are never more extra copies of records in any of them than there were kills. The duplicates are
counted and printed; with --max-duplicates (default 0) more than that many fail the test.

The punch archive (Records/punches.db) is checked too: after every kill each record a counter
covers is in the archive or waits in its journal, and the archive holds only records the
terminals have, each once; at the end it holds every record exactly once, byte for byte.

Usage: crash_test.py --px740 EXE --sim EXE [--kills N] [--seed S] [--max-duplicates N]
(PX_CRASH_KILLS sets the default number of kills, 50.)
"""

import argparse
import glob
import os
import queue
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import zlib

UNITS = (1, 2, 3)
FIRST_RECORDS = 30
ADDED_PER_ROUND = 6


def card_id(unit, index):
    """The simulator's generated card ID of a unit's record, as a number (the output pads it to
    the configured length)."""
    return (unit * 1000003 + index * 7919) % 10000000000


class Simulator:
    """One px74x-sim process whose output is drained all the time."""

    def __init__(self, exe, args, err):
        self.err = open(err, "wb")
        self.proc = subprocess.Popen([exe] + args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.err)
        self.answers = queue.Queue()
        self.first = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        first = self.first.get(timeout=10)
        if not first:
            raise RuntimeError("simulator did not start")
        self.kind, _, self.where = first.partition(" ")

    def _read(self):
        seen_first = False
        for raw in self.proc.stdout:
            line = raw.decode("latin-1").rstrip("\r\n")
            if not seen_first:
                seen_first = True
                self.first.put(line)
            elif line == "OK" or line.startswith("ERR"):
                self.answers.put(line)
        if not seen_first:
            self.first.put(None)

    def control(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()
        answer = self.answers.get(timeout=10)
        if answer != "OK":
            raise RuntimeError("simulator command %r: %s" % (command, answer))

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        self.err.close()


def read_lines(pattern):
    lines = []
    for path in sorted(glob.glob(pattern)):
        with open(path, "rb") as f:
            lines += [l for l in f.read().split(b"\r\n") if l]
    return lines


def counters(path):
    """LastCount of every terminal section of the record counter file."""
    result = {}
    section = None
    try:
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    except FileNotFoundError:
        return result
    for line in text.splitlines():
        m = re.match(r"\s*\[Machine-(\d+)\]", line)
        if m:
            section = int(m.group(1))
            continue
        m = re.match(r"\s*LastCount\s*=\s*(\d+)\s*$", line)
        if m and section is not None:
            result.setdefault(section, int(m.group(1)))
    return result


class World:
    def __init__(self, args, root):
        self.args = args
        self.root = root
        self.home = os.path.join(root, "px740")
        self.config = os.path.join(root, "config")
        self.records = {u: FIRST_RECORDS for u in UNITS}
        os.makedirs(os.path.join(self.config, "serlo"))
        os.makedirs(os.path.join(self.config, "PX740"))
        os.makedirs(self.home)
        self.sims = {}
        for unit in UNITS:
            where = (["--tcp", "127.%d.%d.%d:0" % (random.randint(1, 254), random.randint(1, 254),
                                                    random.randint(2, 254))]
                     if unit == 3 else ["--pty"])
            self.sims[unit] = Simulator(
                args.sim, where + ["--quiet", "--id", str(unit), "--records",
                                   str(FIRST_RECORDS)], os.path.join(root, "sim%d.err" % unit))
        ports = "".join("%s=COM%d\r\n" % (self.sims[u].where, 4 + u) for u in (1, 2))
        with open(os.path.join(self.config, "serlo", "ports.ini"), "wb") as f:
            f.write(("[SERIALCOMM]\r\n" + ports).encode())
        host, _, port = self.sims[3].where.rpartition(":")
        with open(os.path.join(self.home, "PX740.TXT"), "wb") as f:
            f.write(("1,Gate,,5,19200,0.0.0.0,1001\r\n2,Door,,6,19200,0.0.0.0,1001\r\n"
                     "3,Yard,,0,19200,%s,%s\r\n" % (host, port)).encode())
        # Mailing fails at once (nothing listens there), so the mail copy keeps every line.
        with open(os.path.join(self.config, "PX740", "settings.ini"), "wb") as f:
            f.write(b"[SaveOptions]\r\nOptMailTo=TRUE\r\ntxtMailTo=ops@example.org\r\n"
                    b"[Mail]\r\nSmtpUrl=smtp://127.0.0.1:9\r\nConnectTimeout=2\r\n")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("XDG_", "PX740_", "PX745_"))
                    and k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "HOME")}
        self.env.update(HOME=root, PX740_HOME=self.home, XDG_CONFIG_HOME=self.config,
                        XDG_DATA_HOME=os.path.join(root, "data"))

    def close(self):
        for sim in self.sims.values():
            sim.close()

    def punch(self):
        for unit in UNITS:
            self.sims[unit].control("add %d %d" % (unit, ADDED_PER_ROUND))
            self.records[unit] += ADDED_PER_ROUND

    def start(self):
        log = open(os.path.join(self.root, "run.out"), "ab")
        proc = subprocess.Popen([self.args.px740, "/TS:ONCE"], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()
        return proc

    def files(self):
        records = os.path.join(self.home, "Records")
        return {
            "output": read_lines(os.path.join(records, "[0-9]" * 8 + ".TXT")),
            "mail copy": read_lines(os.path.join(records, "MailFile", "[0-9]" * 8 + ".TXT")),
            "backup": read_lines(os.path.join(records, "[0-9]" * 6 + ".BAK")),
        }

    def tally(self, lines):
        """Occurrences of every (unit, index), and the lines that name no record."""
        index = {(card_id(u, i), u): i for u in UNITS for i in range(self.records[u])}
        seen, damaged = {}, []
        for line in lines:
            fields = line.decode("latin-1").split(",")
            key = None
            if len(fields) >= 2 and fields[0].isdigit():
                unit = int(fields[0])
                # Output lines carry the card ID second; backup lines the raw record "A....,CID,...".
                cid = fields[1] if fields[1].isdigit() else (fields[2] if len(fields) > 2 else "")
                cid = int(cid) if cid.isdigit() else -1
                if (cid, unit) in index:
                    key = (unit, index[(cid, unit)])
            if key is None:
                damaged.append(line)
            else:
                seen[key] = seen.get(key, 0) + 1
        return seen, damaged


def archived(home):
    """(unit, index, raw) of every punch in the archive, with repeats."""
    path = os.path.join(home, "Records", "punches.db")
    if not os.path.exists(path):
        return []
    db = sqlite3.connect(path)
    try:
        return [(u, i, bytes(r)) for u, i, r in
                db.execute("SELECT terminal_id, record_index, raw FROM punch")]
    except sqlite3.OperationalError:
        return []  # killed before the schema was committed
    finally:
        db.close()


def journaled(home):
    """(unit, index) of every whole journal line (a CRC-32 guards each line)."""
    found = set()
    for path in glob.glob(os.path.join(home, "Records", "Journal", "*.jnl")):
        with open(path, "rb") as f:
            for line in f.read().split(b"\n"):
                fields = line.split(b"\t")
                if len(fields) != 11 or fields[0] != b"P1":
                    continue
                body = line[len(fields[0]) + len(fields[1]) + 2:]
                if b"%08X" % zlib.crc32(body) == fields[1]:
                    found.add((int(fields[2]), int(fields[3])))
    return found


def check_archive(world, where, final):
    """Problems of the archive: records it lacks, repeats, and records no terminal has."""
    problems = []
    rows = archived(world.home)
    expected_raw = {}
    for line in world.files()["backup"]:
        unit, _, raw = line.partition(b",")
        if unit.isdigit() and len(raw) > 5:
            expected_raw[(int(unit), int(raw[1:5], 16))] = raw
    keys = [(u, i) for u, i, _ in rows]
    repeats = len(keys) - len(set(keys))
    if repeats:
        problems.append("%s: %d punches are in the archive twice" % (where, repeats))
    foreign = [(u, i) for u, i, raw in rows if expected_raw.get((u, i)) != raw]
    if foreign:
        problems.append("%s: archive punches that no backup line holds: %r" % (where, foreign[:5]))
    have = set(keys) | (set() if final else journaled(world.home))
    counted = counters(os.path.join(world.home, "Records", "PX740.INI"))
    wanted = ([(u, i) for u in UNITS for i in range(world.records[u])] if final else
              [(u, i) for u, c in counted.items() for i in range(c)])
    missing = [k for k in wanted if k not in have]
    if missing:
        problems.append("%s: the archive%s lacks %d records, for example %r"
                        % (where, "" if final else " and its journal", len(missing), missing[:5]))
    return problems


def duplicates(seen):
    return sum(n - 1 for n in seen.values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--px740", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--kills", type=int, default=int(os.environ.get("PX_CRASH_KILLS", "50")))
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--max-duplicates", type=int, default=0)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    random.seed(seed)
    print("seed %d" % seed)

    root = tempfile.mkdtemp(prefix="px-crash-")
    world = World(args, root)
    failures = []
    killed = 0
    started = time.monotonic()
    try:
        for round_ in range(args.kills):
            world.punch()
            proc = world.start()
            time.sleep(random.uniform(0.05, args_window(round_)))
            if proc.poll() is None:
                proc.send_signal(signal.SIGKILL)
                killed += 1
            proc.wait(timeout=60)
            files = world.files()
            for name, lines in files.items():
                seen, damaged = world.tally(lines)
                if damaged:
                    failures.append("round %d: %s lines naming no record: %r"
                                    % (round_, name, damaged[:3]))
                # A kill leaves at most one line whose counter was not written; the record is
                # read again by a later run, which may be several runs later.
                if duplicates(seen) > killed:
                    failures.append("round %d: %d duplicates in the %s after %d kills"
                                    % (round_, duplicates(seen), name, killed))
                if name == "output":
                    for unit, count in counters(os.path.join(world.home, "Records",
                                                             "PX740.INI")).items():
                        missing = [i for i in range(count) if (unit, i) not in seen]
                        if missing:
                            failures.append("round %d: the counter of unit %d stands at %d but "
                                            "records %r are not in the output"
                                            % (round_, unit, count, missing[:5]))
            failures += check_archive(world, "round %d" % round_, final=False)
        proc = world.start()
        status = proc.wait(timeout=120)
        if status != 0:
            failures.append("the final run ended with status %d" % status)
        for name, lines in world.files().items():
            seen, damaged = world.tally(lines)
            missing = [(u, i) for u in UNITS for i in range(world.records[u])
                       if (u, i) not in seen]
            if missing:
                failures.append("%s lacks %d records, for example %r"
                                % (name, len(missing), missing[:5]))
            if duplicates(seen) > killed:
                failures.append("%d duplicates in the %s after %d kills"
                                % (duplicates(seen), name, killed))
            print("%s: %d lines, %d duplicates" % (name, len(lines), duplicates(seen)))
            if name == "output" and duplicates(seen) > args.max_duplicates:
                failures.append("%d duplicates in the output" % duplicates(seen))
        failures += check_archive(world, "after the final run", final=True)
        print("archive: %d punches" % len(archived(world.home)))
        print("%d kills of %d runs in %.1f s" % (killed, args.kills, time.monotonic() - started))
    finally:
        world.close()
        if failures or os.environ.get("PX_KEEP_TEST_FILES"):
            print("files kept in %s" % root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


def args_window(round_):
    """How long a run may go before it is killed: short runs at first, longer ones later."""
    return 0.4 + 1.2 * (round_ % 5) / 4


if __name__ == "__main__":
    sys.exit(main())
