#!/usr/bin/env python3
"""The punch archive through the real programs, run under testing/pg_server.py: px740 /TS:ONCE
fills the archive, px740 --export gives the run's output file again, px740 --archive-status
reports it, every bad input and failure names its cause with its exit status and a log line, and
two program folders write to one PostgreSQL database at the same time.

Usage: pg_server.py -- test_archive_programs.py --px740 EXE --px745 EXE --sim EXE --build DIR
       --source DIR [unittest args]
"""

import argparse
import os
import sqlite3
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shell",
                                "tests"))
import test_programs  # noqa: E402  (the process helpers of the program tests)
from test_programs import ProgramCase, read_bytes, read_text, write_bytes  # noqa: E402

ARGS = None
WIDE = ["2000-01-01", "2099-12-31"]  # every punch the simulator makes lies in between


def pg_url():
    url = os.environ.get("PX_PG_URL")
    if not url:
        raise AssertionError("no server: run this test through testing/pg_server.py")
    return url


def psql(sql, url=None):
    r = subprocess.run(["psql", "-X", "-A", "-t", "-v", "ON_ERROR_STOP=1", url or pg_url(), "-c",
                        sql], capture_output=True, text=True, timeout=30)
    if r.returncode != 0:
        raise AssertionError("psql %r: %s" % (sql, r.stderr))
    return r.stdout.strip()


class ArchiveCase(ProgramCase):
    def setUp(self):
        super().setUp()
        self.home = self.folder()

    def settings(self, text, config=None):
        write_bytes(os.path.join(config or self.config, "PX740", "settings.ini"),
                    text.replace("\n", "\r\n").encode())

    def one_terminal(self, records=12, *extra):
        sim = self.pty_sim(records, "--quiet", *extra)
        self.port_map({sim.where: 5})
        self.directory(self.home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        return sim

    def run_once(self, status=0, env=None):
        r = self.run_program(ARGS.px740, ["/TS:ONCE"], env or self.env())
        self.assertExit(r, status, "px740 /TS:ONCE")
        return r

    def px(self, *args, status=0, env=None):
        r = self.run_program(ARGS.px740, list(args), env or self.env(), timeout=90)
        self.assertExit(r, status, "px740 " + " ".join(args))
        return r

    def output_file(self):
        found = self.dated_files(self.home, "Records", "[0-9]" * 8 + ".TXT")
        self.assertEqual(len(found), 1, found)
        return found[0]

    def archive(self):
        return sqlite3.connect(os.path.join(self.home, "Records", "punches.db"))


class Export(ArchiveCase):
    """--export gives back what the run wrote; --archive-status tells what the archive holds."""

    def test_export_reproduces_the_runs_output_file(self):
        self.one_terminal(12)
        write_bytes(os.path.join(self.home, "Format.ini"),
                    b"[Wide]\r\nFormat={CID,'&12D'}|{UID}|{Date,'DD.MM.YYYY'} {Time}|"
                    b"{RecordNo}\r\nHeader=TRUE\r\n")
        self.settings("[SaveOptions]\nFormat=Wide\n")
        self.run_once()
        output = read_bytes(self.output_file())
        self.assertTrue(output.startswith(b"CID|UID|DATE TIME|RECORDNO\r\n"), output[:60])

        settings = os.path.join(self.config, "PX740", "settings.ini")
        before = read_bytes(settings)
        exported = os.path.join(self.out, "again.txt")
        r = self.px("--export", *WIDE, "--out", exported)
        self.px("--archive-status")
        self.assertEqual(read_bytes(settings), before, "an export only looks at the settings")
        self.assertEqual(read_bytes(exported), output)
        self.assertIn("12 punches written to " + exported, r.text)
        self.assertEqual(self.px("--export", *WIDE).stdout, output, "to standard output")
        self.assertEqual(self.px("--export", *WIDE, "--out", "-").stdout, output)
        # Another output type than the settings'; a path that holds switch-like text.
        odd = os.path.join(self.out, "TS:ONCE", "S")
        os.makedirs(os.path.dirname(odd))
        self.px("--export", *WIDE, "--type", "(Default)", "--out", odd)
        self.assertEqual(read_bytes(odd).split(b"\r\n")[0][:4], b"001,")
        self.assertEqual(len(read_bytes(odd).split(b"\r\n")), 13)
        # The punches' own dates decide: the simulator's records are minutes apart from
        # 2026-01-05 08:00 on, so one day holds them all and the day before none.
        self.assertEqual(self.px("--export", "2026-01-05", "2026-01-05").stdout, output)
        self.assertEqual(self.px("--export", "2026-01-04", "2026-01-04").stdout,
                         b"CID|UID|DATE TIME|RECORDNO\r\n")
        self.assertEqual(self.px("--export", *WIDE, "--terminal", "9").stdout,
                         b"CID|UID|DATE TIME|RECORDNO\r\n")
        self.assertIn("Archive export 2000-01-01 to 2099-12-31 (Wide): 12 punches written to "
                      + exported, self.log_text(self.home))

    def test_archive_status(self):
        self.one_terminal(7)
        self.run_once()
        r = self.px("--archive-status")
        out = r.stdout.decode()
        self.assertIn("Archive: %s (SQLite, schema version 1)"
                      % os.path.join(self.home, "Records", "punches.db"), out)
        self.assertRegex(out, r"\n +001  Gate +7  2026-01-05 08:06:00\n")
        self.assertIn("Total: 7 punches from 1 terminal\n", out)
        self.assertIn("Newest punch: 2026-01-05 08:06:00, terminal 001 (Gate)\n", out)
        self.assertIn("Behind: nothing waits in the journal\n", out)


class BadInput(ArchiveCase):
    """Each mistake names itself, exits with its status and costs no record."""

    def test_usage_errors_exit_2_without_a_display_and_write_nothing(self):
        cases = [
            (["--bogus"], "unknown option '--bogus'"),
            (["--export", "2026-03-05", "2026-03-01"], "FROM 2026-03-05 is after TO 2026-03-01"),
            (["--export", "2026-02-30", "2026-03-01"], "FROM '2026-02-30' is not a date"),
            (["--export", "2026-03-01"], "--export needs two dates"),
            (["--archive-status", "/S"], "unexpected argument '/S'"),
        ]
        for args, says in cases:
            r = self.px(*args, status=2)
            self.assertIn("px740: " + says, r.stderr.decode())
            self.assertIn("Usage: px740", r.stderr.decode())
            self.assertNotIn("needs a display", r.text)
        for args in (["--help"], ["--version"]):
            self.px(*args)
        self.assertFalse(os.path.exists(self.home), "nothing may be written")

    def test_an_unknown_output_type_lists_the_known_ones(self):
        self.one_terminal(2)
        self.run_once()
        write_bytes(os.path.join(self.home, "Format.ini"), b"[General]\r\n[Csv]\r\n[Tab]\r\n")
        r = self.px("--export", *WIDE, "--type", "Pipe", status=2)
        self.assertIn('has no output type "Pipe"; there are: (Default), Csv, Tab', r.text)
        self.assertIn("has no output type", self.log_text(self.home))
        self.px("--export", *WIDE, "--type", "csv")  # section names ignore case

    def test_a_url_that_does_not_parse_keeps_every_record(self):
        self.one_terminal(6)
        self.settings("[Archive]\nURL=postgresql://px@db/punches?bogus=1\n")
        self.run_once()
        self.assertEqual(len(self.output_lines(self.home)), 6)
        log = self.log_text(self.home)
        self.assertIn("Archive behind (Archive/URL is not a PostgreSQL URL: invalid URI query "
                      'parameter: "bogus")', log)
        r = self.px("--export", *WIDE, status=1)
        self.assertIn("invalid URI query parameter", r.text)
        r = self.px("--archive-status", status=1)
        self.assertIn("Behind: 6 records wait in the journal", r.stdout.decode())
        # Mended: the next run brings them in and says so.
        self.settings("[Archive]\nURL=\n")
        self.run_once()
        self.assertIn("Archive caught up", self.log_text(self.home))
        self.assertEqual(self.archive().execute("SELECT count(*) FROM punch").fetchone()[0], 6)

    def test_a_password_in_the_url_is_refused_and_never_logged(self):
        self.one_terminal(1)
        self.settings("[Archive]\nURL=postgresql://px:s3cret@db/punches\n")
        self.run_once()
        log = self.log_text(self.home)
        self.assertIn("holds a password", log)
        self.assertNotIn("s3cret", log)
        r = self.px("--archive-status", status=1)
        self.assertNotIn("s3cret", r.text)

    def test_unknown_host_and_refused_login(self):
        sock = os.environ["PX_PG_SOCKET"].replace("/", "%2F")
        for url, says in (("postgresql://px@no-such-host.invalid/px_test",
                           "could not translate host name"),
                          ("postgresql://nobody_here@%s/px_test" % sock,
                           'role "nobody_here" does not exist')):
            with self.subTest(url=url):
                self.settings("[Archive]\nURL=%s\n" % url)
                os.makedirs(os.path.join(self.home, "Logfiles"), exist_ok=True)
                r = self.px("--export", *WIDE, status=1)
                self.assertIn("cannot open the archive: " + url, r.text)
                self.assertIn(says, r.text)
                self.assertIn(says, self.log_text(self.home))

    def test_a_newer_schema_is_refused_and_left_alone(self):
        self.one_terminal(3)
        self.run_once()
        db = self.archive()
        db.execute("INSERT INTO schema_version VALUES (2, 'later')")
        db.commit()
        db.close()
        before = read_bytes(os.path.join(self.home, "Records", "punches.db"))
        r = self.px("--export", *WIDE, status=1)
        self.assertIn("schema version 2, newer than this program's 1", r.text)
        self.assertEqual(read_bytes(os.path.join(self.home, "Records", "punches.db")), before)

    def test_a_locked_database_holds_up_nothing(self):
        sim = self.one_terminal(5)
        self.run_once()
        holder = self.archive()
        holder.isolation_level = None
        holder.execute("BEGIN EXCLUSIVE")
        sim.control("add 1 4")
        self.run_once()  # not held up, not failed
        self.assertEqual(len(self.output_lines(self.home)), 9)
        self.assertIn("database is locked", self.log_text(self.home))
        # An export still reads what is there, and says what it lacks.
        r = self.px("--export", *WIDE)
        self.assertEqual(len(r.stdout.split(b"\r\n")), 6)
        self.assertIn("the export may lack 4 records that still wait in the journal", r.text)
        holder.execute("COMMIT")
        holder.close()
        r = self.px("--export", *WIDE)
        self.assertEqual(r.stdout, read_bytes(self.output_file()))

    def test_a_record_whose_date_is_not_a_date(self):
        records = os.path.join(self.out, "records.txt")
        # The terminal took a time for the date: the download accepts it (a date or a time in
        # each place), but the punch has no date.
        write_bytes(records, b"0000000001,1,  08:00:00,08:00:00\r\n"
                             b"0000000002,1,2026/03/01,08:00:00\r\n")
        sim = self.pty_sim(0, "--quiet", "--records-file", records)
        self.port_map({sim.where: 5})
        self.directory(self.home, "PX740", [(1, "Gate", 5, "0.0.0.0", 1001)])
        self.run_once()
        self.assertIn("carries no valid date and time (  08:00:00 08:00:00); it is archived "
                      "without a punch time", self.log_text(self.home))
        self.assertEqual(self.archive().execute(
            "SELECT count(*) FROM punch WHERE punched_at IS NULL").fetchone()[0], 1)
        out = self.px("--archive-status").stdout.decode()
        self.assertIn("Total: 2 punches from 1 terminal (1 without a valid date)", out)


class Central(ArchiveCase):
    """A PostgreSQL server several PCs write to: each program folder has its own journal."""

    def folder_with_terminals(self, name, sims):
        """A program folder of its own (settings, port map, directory) for these simulators."""
        home = self.folder(name=name)
        config = os.path.join(self.root, name + "-config")
        self.port_map({sim.where: 5 + i for i, (sim, _) in enumerate(sims)}, config=config)
        self.directory(home, "PX740", [(unit, "T%d" % unit, 5 + i, "0.0.0.0", 1001)
                                       for i, (_, unit) in enumerate(sims)])
        self.settings("[Archive]\nURL=%s\n" % self.url, config=config)
        return home, self.env(folder=home, config=config)

    def setUp(self):
        super().setUp()
        self.url = pg_url()
        psql("DROP TABLE IF EXISTS punch, journal_cursor, schema_version")

    def test_two_program_folders_at_once(self):
        # Both PCs poll terminal 1 of one site (the same records); each has one of its own.
        a_sims = [(self.pty_sim(60, "--quiet", "--id", "1"), 1),
                  (self.pty_sim(30, "--quiet", "--id", "2"), 2)]
        b_sims = [(self.pty_sim(60, "--quiet", "--id", "1"), 1),
                  (self.pty_sim(40, "--quiet", "--id", "3"), 3)]
        a_home, a_env = self.folder_with_terminals("pc-a", a_sims)
        b_home, b_env = self.folder_with_terminals("pc-b", b_sims)
        results = {}

        def run(name, env):
            results[name] = subprocess.run([ARGS.px740, "/TS:ONCE"], env=env,
                                           capture_output=True, timeout=120)

        threads = [threading.Thread(target=run, args=("a", a_env)),
                   threading.Thread(target=run, args=("b", b_env))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for name, r in results.items():
            self.assertEqual(r.returncode, 0, "%s: %s" % (name, r.stderr.decode("latin-1")))
        self.assertEqual(psql("SELECT count(*) FROM punch"), "130")
        self.assertEqual(psql("SELECT count(*) FROM punch WHERE terminal_id = 1"), "60")
        self.assertEqual(psql("SELECT count(*) FROM journal_cursor"), "2")
        # Each PC exports everything, its own output first in its own directory order.
        out = self.run_program(ARGS.px740, ["--export"] + WIDE + ["--terminal", "2"], a_env)
        self.assertEqual(out.stdout, read_bytes(self.dated_files(
            a_home, "Records", "[0-9]" * 8 + ".TXT")[0]).split(b"\r\n", 60)[60])
        r = self.run_program(ARGS.px740, ["--archive-status"], b_env)
        self.assertIn("Total: 130 punches from 3 terminals", r.stdout.decode())

    def test_the_server_away_for_a_run(self):
        sim = self.pty_sim(8, "--quiet", "--id", "1")
        home, env = self.folder_with_terminals("pc", [(sim, 1)])
        subprocess.run([os.environ["PX_PG_CONTROL"], "stop"], check=True,
                       stdout=subprocess.DEVNULL)
        try:
            r = subprocess.run([ARGS.px740, "/TS:ONCE"], env=env, capture_output=True,
                               timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(len(self.output_lines(home)), 8)
            self.assertIn("Archive behind (postgresql://", self.log_text(home))
            r = self.run_program(ARGS.px740, ["--archive-status"], env)
            self.assertEqual(r.returncode, 1)
            self.assertIn("Behind: 8 records wait in the journal", r.stdout.decode())
        finally:
            subprocess.run([os.environ["PX_PG_CONTROL"], "start"], check=True,
                           stdout=subprocess.DEVNULL)
        # An export first brings in what waits; the next run says the archive caught up.
        r = self.run_program(ARGS.px740, ["--export"] + WIDE, env)
        self.assertEqual(r.returncode, 0, r.text)
        self.assertEqual(len(r.stdout.split(b"\r\n")), 9)
        sim.control("add 1 2")
        r = subprocess.run([ARGS.px740, "/TS:ONCE"], env=env, capture_output=True, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(psql("SELECT count(*) FROM punch"), "10")
        log = self.log_text(home)
        self.assertEqual(log.count("Archive behind"), 1, log)
        self.assertEqual(log.count("Archive caught up"), 1, log)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("px740", "px745", "sim", "build", "source"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    for name in ("px740", "px745", "sim", "build", "source"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    test_programs.ARGS = ARGS
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
