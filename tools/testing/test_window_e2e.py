#!/usr/bin/python3
"""The real px740 window on a virtual X server, driven through the accessibility tree as a
person would use it, against the terminal simulator. Run inside desktop_session.py:

    desktop_session.py -- test_window_e2e.py --px740 PATH --sim PATH [unittest args]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_driver as drv  # noqa: E402

ARGS = None
HERE = os.path.dirname(os.path.abspath(__file__))


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class Simulator:
    """One px74x-sim process; its first line tells where it listens."""

    def __init__(self, args, log):
        self.log = open(log, "wb")
        self.proc = subprocess.Popen([ARGS.sim] + args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.log)
        first = self.proc.stdout.readline().decode().split()
        self.kind, self.where = (first + ["", ""])[:2]

    def command(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.log.close()


class WindowCase(unittest.TestCase):
    """A private home, program folder and settings store per test; the program and simulators
    a test starts end with it."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="px-e2e-")
        self.home = os.path.join(self.root, "px740")
        self.config = os.path.join(self.root, "config")
        self.procs = []
        self.sims = []
        self.app = None

    def tearDown(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        for sim in self.sims:
            sim.stop()
        if os.environ.get("PX_KEEP_E2E"):
            print("kept", self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    def env(self):
        env = dict(os.environ)
        env.update(HOME=self.root, PX740_HOME=self.home, XDG_CONFIG_HOME=self.config,
                   XDG_DATA_HOME=os.path.join(self.root, "data"),
                   LSAN_OPTIONS="suppressions=" + os.path.join(HERE, "lsan.supp"))
        return env

    def pty_sim(self, *args):
        sim = Simulator(["--pty"] + list(args), os.path.join(self.root, "sim.err"))
        self.sims.append(sim)
        self.assertEqual(sim.kind, "PTY")
        return sim

    def port_map(self, ports):
        text = "[SERIALCOMM]\r\n" + "".join("%s=COM%d\r\n" % (p, n) for p, n in ports.items())
        write_bytes(os.path.join(self.config, "serlo", "ports.ini"), text.encode())

    def directory(self, entries):
        text = "".join("%d,%s,,%d,19200,%s,%d\r\n" % e for e in entries)
        write_bytes(os.path.join(self.home, "PX740.TXT"), text.encode())

    def start(self, args=()):
        out = open(os.path.join(self.root, "px740.out"), "wb")
        proc = subprocess.Popen([ARGS.px740] + list(args), env=self.env(), stdout=out,
                                stderr=subprocess.STDOUT)
        out.close()
        self.procs.append(proc)
        self.proc = proc
        self.app = drv.Program(proc.pid)
        return self.app

    def close(self, expect_status=0, title="Terminal Manager"):
        self.assertTrue(drv.close_window(self.proc.pid, title), "no window to close")
        try:
            status = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            status = drv.name(self.app.find("labStatus", timeout=1)) if self.app else "?"
            self.fail("the program did not end after its window was closed; status line: %r"
                      % status)
        self.assertEqual(status, expect_status, self.output())

    def output(self):
        return read_bytes(os.path.join(self.root, "px740.out")).decode("latin-1")

    def settings(self):
        return read_bytes(os.path.join(self.config, "PX740", "settings.ini")).decode("latin-1")


class MainWindow(WindowCase):

    def test_pages_language_switch_and_close(self):
        sim = self.pty_sim("--id", "1")
        self.port_map({sim.where: 5})
        self.directory([(1, "Gate", 5, "0.0.0.0", 1001)])
        app = self.start()
        self.assertEqual(app.main_title(), "PX740 V1.0 R0 Terminal Manager")
        self.assertEqual(app.page_captions(),
                         ["Terminal", "Ring Table", "In / Out Schedule", "Record",
                          "Time Schedular", "Program"])
        self.assertTrue(app.showing("SSTab_0"))

        app.select_page(5)
        app.choose("ComboLan", "German")
        self.assertTrue(drv.wait_until(lambda: app.page_captions()[1] == "Klingelzeiten"),
                        app.page_captions())
        self.assertEqual(app.page_captions(),
                         ["Terminal", "Klingelzeiten", "Kommen / Gehen", "Datensätze",
                          "Zeitplaner", "Programm"])
        self.assertEqual(drv.name(app.find("labLanguage")), "Sprache:")
        # The switch shows page 0 again.
        self.assertTrue(drv.wait_until(lambda: app.showing("SSTab_0")))

        app.select_page(5)
        app.choose("ComboLan", "English")
        self.assertTrue(drv.wait_until(lambda: app.page_captions()[1] == "Ring Table"))
        self.assertEqual(drv.name(app.find("labLanguage")), "Language:")

        self.close()
        settings = self.settings()
        self.assertIn("Language=English", settings)
        self.assertIn("OpenType=Close", settings)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--px740", required=True)
    parser.add_argument("--sim", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
