#!/usr/bin/env python3
"""Process-level tests of px740 and px745 against px74x-sim: unattended single runs, exit
statuses, the single-instance rule, stopping by signal, the sister build's file names and an
installed tree.

Usage: test_programs.py --px740 EXE --px745 EXE --sim EXE --build DIR --source DIR [unittest args]

Every case works in temporary folders named through the environment (program folder, XDG
folders, HOME), so nothing touches the real home. Set PX_KEEP_TEST_FILES=1 to keep them.
"""

import argparse
import fcntl
import glob
import hashlib
import os
import queue
import random
import signal
import shutil
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ARGS = None

# Every wait is bounded; a single run that takes longer than this is a failure, not a hang.
RUN_TIMEOUT = 60
START_TIMEOUT = 30


def clean_env():
    """The caller's environment without anything that would point a program at real folders
    or a real display."""
    env = {}
    for key, value in os.environ.items():
        if key.startswith(("XDG_", "PX740_", "PX745_")):
            continue
        if key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "HOME"):
            continue
        env[key] = value
    return env


def own_loopback():
    """A loopback address of its own, so a simulator's UDP configuration port does not meet
    another one's."""
    return "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254),
                             random.randint(2, 254))


def cmake_command():
    """The cmake that configured the build, else the one on PATH."""
    try:
        with open(os.path.join(ARGS.build, "CMakeCache.txt"), encoding="latin-1") as f:
            for line in f:
                if line.startswith("CMAKE_COMMAND:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return "cmake"


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def read_text(path):
    return read_bytes(path).decode("latin-1")


def data_lines(path):
    return [line for line in read_bytes(path).split(b"\r\n") if line]


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def snapshot(root, skip=()):
    """Every file and folder under root with its mtime and a content hash."""
    state = {}
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        if any(rel_folder == s or rel_folder.startswith(s + os.sep) for s in skip):
            dirs[:] = []
            continue
        state[rel_folder + "/"] = None
        for name in files:
            path = os.path.join(folder, name)
            st = os.stat(path)
            state[os.path.join(rel_folder, name)] = (
                st.st_mtime_ns, hashlib.sha256(read_bytes(path)).hexdigest())
    return state


def wait_until(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Simulator:
    """One px74x-sim process. Its output is drained all the time so it never blocks on a full
    pipe; closing its standard input ends it."""

    def __init__(self, args, err_path):
        self._err = open(err_path, "wb")
        self.proc = subprocess.Popen([ARGS.sim] + args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self._err)
        self.lines = []
        self._first = queue.Queue()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        try:
            first = self._first.get(timeout=10)
        except queue.Empty:
            first = None
        if not first or " " not in first:
            self.close()
            raise AssertionError("simulator did not start: %r (%s)" % (first, err_path))
        self.kind, _, self.where = first.partition(" ")

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("latin-1").rstrip("\r\n")
            self.lines.append(line)
            if len(self.lines) == 1:
                self._first.put(line)
        self._first.put(None)

    def control(self, command, timeout=5):
        """Sends one control command and waits for its answer."""
        answers = sum(1 for l in self.lines if l == "OK" or l.startswith("ERR"))
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()
        ok = wait_until(lambda: sum(1 for l in self.lines
                                    if l == "OK" or l.startswith("ERR")) > answers, timeout)
        if not ok or self.lines[-1].startswith("ERR"):
            raise AssertionError("simulator command %r: %s" % (command, self.lines[-1:]))

    def saw(self, prefix):
        return any(l.startswith(prefix) for l in list(self.lines))

    @property
    def address(self):
        host, _, port = self.where.rpartition(":")
        return host, int(port)

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        self._reader.join(timeout=5)
        self.proc.stdout.close()
        self._err.close()


class ProgramCase(unittest.TestCase):
    """A temporary world per case: program folder, XDG folders and a fake HOME."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="px-programs-")
        self.out = os.path.join(self.root, "out")  # process output, outside every snapshot
        os.makedirs(self.out)
        self.sims = []
        self.procs = []
        self.config = os.path.join(self.root, "config")
        self.data = os.path.join(self.root, "data")
        self.fakehome = os.path.join(self.root, "home")
        for d in (self.config, self.data, self.fakehome):
            os.makedirs(d)

    def tearDown(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
                proc.wait(timeout=10)
        for sim in self.sims:
            sim.close()
        if os.environ.get("PX_KEEP_TEST_FILES"):
            sys.stderr.write("files kept in %s\n" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # --- set-up helpers -------------------------------------------------------------------

    def folder(self, title="PX740", name=None):
        return os.path.join(self.root, name or title.lower())

    def env(self, title="PX740", folder=None, config=None):
        env = clean_env()
        env["HOME"] = self.fakehome
        env[title + "_HOME"] = folder or self.folder(title)
        env["XDG_CONFIG_HOME"] = config or self.config
        env["XDG_DATA_HOME"] = self.data
        return env

    def pty_sim(self, records, *extra):
        sim = Simulator(["--pty", "--records", str(records)] + list(extra),
                        os.path.join(self.out, "sim%d.err" % len(self.sims)))
        self.sims.append(sim)
        self.assertEqual(sim.kind, "PTY")
        return sim

    def tcp_sim(self, records, *extra):
        sim = Simulator(["--tcp", own_loopback() + ":0", "--records", str(records)] + list(extra),
                        os.path.join(self.out, "sim%d.err" % len(self.sims)))
        self.sims.append(sim)
        self.assertEqual(sim.kind, "TCP")
        return sim

    def port_map(self, ports, config=None):
        """ports: {pty path: COM number}"""
        text = "[SERIALCOMM]\r\n" + "".join("%s=COM%d\r\n" % (p, n) for p, n in ports.items())
        write_bytes(os.path.join(config or self.config, "serlo", "ports.ini"), text.encode())

    @staticmethod
    def directory(folder, title, entries):
        """entries: (ID, Name, ComPort, IPAddr, IPPort) per terminal."""
        text = "".join("%d,%s,,%d,19200,%s,%d\r\n" % e for e in entries)
        write_bytes(os.path.join(folder, title + ".TXT"), text.encode())

    # --- running --------------------------------------------------------------------------

    def run_program(self, exe, args, env, timeout=RUN_TIMEOUT):
        started = time.monotonic()
        try:
            r = subprocess.run([exe] + args, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            self.fail("%s %s did not end within %d s" % (exe, " ".join(args), timeout))
        r.elapsed = time.monotonic() - started
        r.text = (r.stdout + r.stderr).decode("latin-1")
        return r

    def start_program(self, exe, args, env, name):
        out = open(os.path.join(self.out, name + ".out"), "wb")
        proc = subprocess.Popen([exe] + args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT)
        out.close()
        self.procs.append(proc)
        return proc

    def output_of(self, name):
        return read_text(os.path.join(self.out, name + ".out"))

    # --- checks ---------------------------------------------------------------------------

    # Files named by the date are found by pattern, so a run across midnight still reads them.
    def dated_files(self, folder, sub, pattern):
        return sorted(glob.glob(os.path.join(folder, sub, pattern)))

    def log_text(self, folder):
        return "".join(read_text(p) for p in self.dated_files(folder, "Logfiles",
                                                              "[0-9][0-9][0-9][0-9]-[0-9][0-9]-log.txt"))

    def output_lines(self, folder):
        return [line for p in self.dated_files(folder, "Records", "[0-9]" * 8 + ".TXT")
                for line in data_lines(p)]

    def backup_lines(self, folder):
        return [line for p in self.dated_files(folder, "Records", "[0-9]" * 6 + ".BAK")
                for line in data_lines(p)]

    def assertExit(self, r, status, what):
        self.assertEqual(r.returncode, status, "%s: exit %d, expected %d\n%s"
                         % (what, r.returncode, status, r.text))


class NoDisplay(ProgramCase):
    """Without a display only a /TS: run has something to do."""

    def test_start_without_display_or_switch_says_why_and_exits(self):
        home = self.folder()
        for args in ([], ["/S"], ["/TS:SOMETIMES"]):
            r = self.run_program(ARGS.px740, args, self.env(folder=home), timeout=20)
            self.assertExit(r, 2, "start with %s" % args)
            self.assertIn("needs a display", r.text)
        self.assertFalse(os.path.exists(home) and os.listdir(home), "nothing may be written")


class SingleRun(ProgramCase):
    """/TS:ONCE: one pass over the directory, then the program ends with its status."""

    def test_once_saves_and_second_run_adds_nothing(self):
        sim = self.pty_sim(5)
        self.port_map({sim.where: 5})
        home = self.folder()
        self.directory(home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])

        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 0, "first run")
        output = self.output_lines(home)
        self.assertEqual(len(output), 5, output)
        backup = self.backup_lines(home)
        self.assertEqual(len(backup), 5, backup)
        for line in backup:
            self.assertTrue(line.startswith(b"001,"), line)
        log = self.log_text(home)
        self.assertIn("save data OK!", log)
        self.assertIn("User stop Time scheduler", log)

        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 0, "second run")
        self.assertEqual(self.output_lines(home), output)
        self.assertEqual(self.backup_lines(home), backup)
        self.assertIn("No new record, record count still at 5", self.log_text(home))

    def test_unreachable_tcp_entry_fails_the_run_but_not_the_others(self):
        sim = self.pty_sim(3)
        self.port_map({sim.where: 5})
        home = self.folder()
        # The address answers ping; the port refuses the connection.
        self.directory(home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001),
                                       (2, "Door", 0, own_loopback(), 1)])
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 1, "run with a refused entry")
        self.assertEqual(len(self.output_lines(home)), 3)
        log = self.log_text(home)
        self.assertIn("save data OK!", log)
        self.assertRegex(log, r"can't open IP:[0-9.]+ \([0-9.]+:1001: Connection refused\)")

    def test_unmapped_port_fails_the_run_but_tcp_entry_is_saved(self):
        sim = self.tcp_sim(4)
        host, port = sim.address
        self.port_map({})
        home = self.folder()
        self.directory(home, "PX740", [(1, "Gate", 0, host, port),
                                       (2, "Door", 7, "0.0.0.0", 1001)])
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 1, "run with an unmapped port")
        self.assertEqual(len(self.output_lines(home)), 4)
        log = self.log_text(home)
        self.assertIn("save data OK!", log)
        # The line names the cause, here the port map that lacks the port.
        self.assertIn("can't open COM:7 (COM7: not in the port map %s)"
                      % os.path.join(self.config, "serlo", "ports.ini"), log)

    def test_trace_of_a_whole_run_is_switched_on_from_the_environment(self):
        sim = self.pty_sim(2)
        self.port_map({sim.where: 5})
        home = self.folder()
        self.directory(home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        env = self.env()
        env.pop("QT_LOGGING_RULES", None)
        quiet = self.run_program(ARGS.px740, ["/TS:ONCE"], env)
        self.assertExit(quiet, 0, "run without tracing")
        self.assertNotIn("px.", quiet.stderr.decode("latin-1"))

        env["QT_LOGGING_RULES"] = "px.*.debug=true"
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], env)
        self.assertExit(r, 0, "traced run")
        trace = r.stderr.decode("latin-1")
        self.assertIn("px.link: open COM5 at %s speed 19200" % sim.where, trace)
        # The poll of machine 1 goes out and its reply comes back, byte for byte.
        self.assertRegex(trace, r"px\.link\.bytes: COM5 tx \d+: 02 44 30 31 ")
        self.assertRegex(trace, r"px\.link\.bytes: COM5 rx \d+: 02 41 30 31")
        self.assertIn("px.link: close COM5", trace)
        self.assertIn("px.app: APP: D01", trace)
        self.assertIn("px.app: run step:", trace)
        self.assertIn("px.app: run log:", trace)
        for category in ("px.app", "px.link", "px.link.bytes"):
            env["QT_LOGGING_RULES"] = category + ".debug=true"
            r = self.run_program(ARGS.px740, ["/TS:ONCE"], env)
            shown = {line.split(":", 1)[0] for line in r.stderr.decode("latin-1").splitlines()
                     if line.startswith("px.")}
            self.assertEqual(shown, {category}, "only the category switched on")

    def test_stop_during_run_keeps_counters_consistent(self):
        sim = self.pty_sim(30, "--delay", "50")
        self.port_map({sim.where: 5})
        home = self.folder()
        self.directory(home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        proc = self.start_program(ARGS.px740, ["/TS:ONCE"], self.env(), "once")
        self.assertTrue(wait_until(lambda: sim.saw("RX \\x02G0003") or proc.poll() is not None,
                                   START_TIMEOUT), self.output_of("once"))
        self.assertIsNone(proc.poll(), "ended before the stop: " + self.output_of("once"))
        proc.send_signal(signal.SIGTERM)
        try:
            status = proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.fail("no exit after SIGTERM: " + self.output_of("once"))
        self.assertEqual(status, 1, self.output_of("once"))
        self.assertIn("cancel save data at record #", self.log_text(home))
        saved = self.output_lines(home)
        self.assertGreater(len(saved), 0)
        self.assertLess(len(saved), 30)
        self.assertEqual(len(self.backup_lines(home)), len(saved))
        counters = read_text(os.path.join(home, "Records", "PX740.INI"))
        self.assertIn("LastCount=%d" % len(saved), counters)
        settings = read_text(os.path.join(self.config, "PX740", "settings.ini"))
        self.assertIn("OpenType=Close", settings)

        # The next run continues where the stopped one left off.
        sim.control("delay 0")
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 0, "run after the stop")
        saved = self.output_lines(home)
        self.assertEqual(len(saved), 30)
        self.assertEqual(len(set(saved)), 30)

    def test_empty_directory(self):
        home = self.folder()
        self.directory(home, "PX740", [])
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], self.env())
        self.assertExit(r, 0, "empty directory")
        self.assertIn("User stop Time scheduler", self.log_text(home))


class UnattendedStart(ProgramCase):
    """What a start from cron or a service finds: no runtime folder, and files that an earlier
    run killed half-way left behind."""

    def run_once(self, tmp):
        env = self.env()
        env["TMPDIR"] = tmp
        self.assertNotIn("XDG_RUNTIME_DIR", env)
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], env)
        self.assertExit(r, 0, "single run")
        return r

    def private_folders(self, tmp):
        return sorted(glob.glob(os.path.join(tmp, "PX740-runtime-" + "[0-9A-Za-z]" * 6)))

    def assertPrivate(self, path):
        st = os.lstat(path)
        self.assertTrue(stat.S_ISDIR(st.st_mode), path)
        self.assertEqual(st.st_uid, os.geteuid(), path)
        self.assertEqual(stat.S_IMODE(st.st_mode), 0o700, path)

    def test_once_without_runtime_folder_prints_only_its_own_lines(self):
        sim = self.pty_sim(3)
        self.port_map({sim.where: 5})
        home = self.folder()
        self.directory(home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        tmp = os.path.join(self.root, "tmp")
        os.makedirs(tmp)
        os.chmod(tmp, 0o1777)
        r = self.run_once(tmp)
        self.assertEqual(r.text, "", "a scheduled run prints nothing of its own when all is saved")
        self.assertIn("save data OK!", self.log_text(home))
        mine = os.path.join(tmp, "PX740-runtime-%d" % os.geteuid())
        self.assertPrivate(mine)
        self.run_once(tmp)
        self.assertEqual(self.private_folders(tmp), [], "the same folder serves every run")

        # Someone else's folder, a link or a folder others may enter where this user's would be:
        # none is used, a fresh private one is made instead, and still nothing is printed.
        elsewhere = os.path.join(self.root, "elsewhere")
        os.makedirs(elsewhere)
        os.chmod(elsewhere, 0o700)
        cases = [("link", lambda: os.symlink(elsewhere, mine)),
                 ("open to others", lambda: (os.mkdir(mine), os.chmod(mine, 0o755)))]
        if os.geteuid() == 0:
            cases.append(("another user's", lambda: (os.mkdir(mine, 0o700),
                                                     os.chown(mine, 65534, 65534))))
        for what, make in cases:
            with self.subTest(what):
                if os.path.islink(mine) or os.path.isfile(mine):
                    os.unlink(mine)
                elif os.path.isdir(mine):
                    os.rmdir(mine)
                for folder in self.private_folders(tmp):
                    os.rmdir(folder)
                make()
                r = self.run_once(tmp)
                self.assertEqual(r.text, "")
                made = self.private_folders(tmp)
                self.assertEqual(len(made), 1, os.listdir(tmp))
                self.assertPrivate(made[0])
                self.assertEqual(os.listdir(elsewhere), [])

    def test_start_removes_what_killed_writes_left_and_nothing_else(self):
        home = self.folder()
        self.directory(home, "PX740", [])
        settings = os.path.join(self.config, "PX740")
        hour_ago = time.time() - 3600

        def left(folder, name, when=hour_ago):
            path = os.path.join(folder, name)
            write_bytes(path, b"[Records]\r\nLastCount=")
            os.utime(path, (when, when))
            return path

        stale = [left(os.path.join(home, "Records"), ".PX740.INI.a1B2c3"),
                 left(os.path.join(home, "Records"), ".PX740.INI.Q9w8E7"),
                 left(home, ".PX740.TXT.Zz9yX1"),
                 left(home, ".PX740.ini.k4L5m6"),
                 left(home, ".TsTable.txt.0aZ9bY"),
                 left(settings, ".settings.ini.p0O9i8"),
                 left(os.path.join(self.config, "serlo"), ".ports.ini.m5N4b3"),
                 left(os.path.join(self.data, "serlo"), ".registry.ini.x7Y6z5")]
        # A write in progress elsewhere: another program folder's instance shares the settings
        # store, and its writer holds the lock however old the file looks.
        live = left(settings, ".settings.ini.L1v3W7")
        holder = os.open(live, os.O_RDONLY)
        self.addCleanup(os.close, holder)
        fcntl.flock(holder, fcntl.LOCK_EX)
        kept = [live,
                left(os.path.join(home, "Records"), ".PX740.INI.n3wF1l", time.time()),
                left(os.path.join(home, "Records"), ".PX740.INI.abc1234"),
                left(os.path.join(home, "Records"), "PX740.INI.abc123"),
                left(os.path.join(home, "Records"), ".PX745.INI.abc123"),
                left(os.path.join(home, "Logfiles"), ".PX740.INI.abc123"),
                left(self.root, ".PX740.INI.abc123")]

        r = self.run_once(os.path.join(self.root))
        self.assertEqual(r.text, "")
        for path in stale:
            self.assertFalse(os.path.exists(path), path)
        for path in kept:
            self.assertTrue(os.path.exists(path), path)
        self.assertIn("User stop Time scheduler", self.log_text(home))
        # What the run itself wrote was replaced whole, without a trace.
        self.assertEqual(glob.glob(os.path.join(settings, ".settings.ini.??????")), [live])


class SingleInstance(ProgramCase):
    """One instance per program folder; SIGTERM stops the scheduler and closes with saves."""

    def wait_started(self, proc, folder, name):
        ok = wait_until(lambda: proc.poll() is not None or
                        "Start Time scheduler" in self.log_text(folder), START_TIMEOUT)
        self.assertTrue(ok and proc.poll() is None,
                        "%s did not start: %s" % (name, self.output_of(name)))

    def test_second_start_exits_and_touches_nothing(self):
        home = self.folder()
        self.directory(home, "PX740", [])
        settings = os.path.join(self.config, "PX740", "settings.ini")
        # A long interval: no second run may write while the folder is compared.
        write_bytes(settings, b"[Time schedular]\r\nIntervalTime=01:00:00\r\n")
        first = self.start_program(ARGS.px740, ["/TS:INTERVAL"], self.env(), "first")
        self.wait_started(first, home, "first")
        self.assertNotIn("OpenType=Close", read_text(settings))
        # The first run is over shortly after the log says so.
        time.sleep(0.3)

        before = snapshot(self.root, skip=("out",))
        r = self.run_program(ARGS.px740, [], self.env(), timeout=20)
        self.assertExit(r, 2, "second start")
        self.assertLess(r.elapsed, 5.0)
        self.assertEqual(snapshot(self.root, skip=("out",)), before)
        self.assertIsNone(first.poll())

        # Another program folder is another instance.
        other = self.folder(name="other")
        self.directory(other, "PX740", [])
        other_config = os.path.join(self.root, "other-config")
        r = self.run_program(ARGS.px740, ["/TS:ONCE"],
                             self.env(folder=other, config=other_config))
        self.assertExit(r, 0, "start with another folder")
        self.assertIn("User stop Time scheduler", self.log_text(other))
        self.assertIsNone(first.poll())

        self.assertNotIn("User stop Time scheduler", self.log_text(home))
        first.send_signal(signal.SIGTERM)
        started = time.monotonic()
        try:
            status = first.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.fail("no exit after SIGTERM: " + self.output_of("first"))
        self.assertEqual(status, 0, self.output_of("first"))
        self.assertLess(time.monotonic() - started, 5.0)
        text = read_text(settings)
        self.assertIn("[SaveOptions]", text)
        self.assertIn("OpenType=Close", text)
        self.assertIn("TimeMode=Interval", text)
        self.assertIn("IntervalTime=01:00:00", text)
        self.assertIn("User stop Time scheduler", self.log_text(home))


class SisterBuild(ProgramCase):
    """px745 has its own folder variable, file names and settings."""

    def test_px745_names(self):
        sim = self.tcp_sim(2)
        host, port = sim.address
        home = self.folder("PX745")
        untouched = self.folder(name="px740-untouched")
        self.directory(home, "PX745", [(1, "Gate", 0, host, port)])
        env = self.env("PX745")
        env["PX740_HOME"] = untouched
        r = self.run_program(ARGS.px745, ["/TS:ONCE"], env)
        self.assertExit(r, 0, "px745 run")
        self.assertEqual(len(self.output_lines(home)), 2)
        self.assertIn("save data OK!", self.log_text(home))
        self.assertTrue(os.path.isfile(os.path.join(home, "PX745.TXT")))
        self.assertTrue(os.path.isfile(os.path.join(home, "Records", "PX745.INI")))
        self.assertTrue(os.path.isfile(os.path.join(self.config, "PX745", "settings.ini")))
        self.assertFalse(os.path.exists(os.path.join(self.config, "PX740")))
        self.assertFalse(os.path.exists(untouched))
        leaked = [f for _, _, files in os.walk(home) for f in files if "PX740" in f.upper()]
        self.assertEqual(leaked, [])
        self.assertIn("FixName=PX745Rec.txt",
                      read_text(os.path.join(self.config, "PX745", "settings.ini")))


class Installed(ProgramCase):
    """An installed tree runs with nothing but HOME: default folders, data seeded from the
    installation, the link library loaded from beside the program."""

    def test_installed_tree(self):
        prefix = os.path.join(self.root, "prefix")
        r = subprocess.run([cmake_command(), "--install", ARGS.build, "--prefix", prefix],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(r.returncode, 0, r.stdout.decode("latin-1"))
        for rel in ("bin/px740", "bin/px745", "lib/libserlo.so",
                    "share/px740/Language/English.txt", "share/px740/Format.ini"):
            self.assertTrue(os.path.isfile(os.path.join(prefix, rel)), rel)
        for rel in ("Language/English.txt", "Format.ini"):
            self.assertEqual(read_bytes(os.path.join(prefix, "share", "px740", rel)),
                             read_bytes(os.path.join(ARGS.source, "data", rel)), rel)
        # A mark in the installed copy shows where the seed came from.
        installed_format = os.path.join(prefix, "share", "px740", "Format.ini")
        with open(installed_format, "ab") as f:
            f.write(b"; installed copy\r\n")

        sim = self.pty_sim(3)
        home = self.fakehome
        self.port_map({sim.where: 5}, config=os.path.join(home, ".config"))
        folder = os.path.join(home, ".local", "share", "PX740")
        self.directory(folder, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        env = clean_env()
        env["HOME"] = home
        r = self.run_program(os.path.join(prefix, "bin", "px740"), ["/TS:ONCE"], env)
        self.assertExit(r, 0, "installed px740")
        self.assertIn("save data OK!", self.log_text(folder))
        self.assertEqual(len(self.output_lines(folder)), 3)
        self.assertTrue(os.path.isfile(os.path.join(home, ".config", "PX740", "settings.ini")))
        self.assertEqual(read_bytes(os.path.join(folder, "Format.ini")),
                         read_bytes(installed_format))
        self.assertEqual(read_bytes(os.path.join(folder, "Language", "English.txt")),
                         read_bytes(os.path.join(prefix, "share", "px740", "Language",
                                                 "English.txt")))
        registry = read_text(os.path.join(home, ".local", "share", "serlo", "registry.ini"))
        paths = [line.split("=", 1)[1].strip() for line in registry.splitlines()
                 if line.lower().startswith("path=")]
        self.assertTrue(paths, registry)
        library = os.path.realpath(os.path.join(prefix, "lib", "libserlo.so"))
        for path in paths:
            self.assertEqual(os.path.realpath(path), library, registry)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("px740", "px745", "sim", "build", "source"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    for name in ("px740", "px745", "sim", "build", "source"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
