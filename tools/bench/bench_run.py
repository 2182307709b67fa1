#!/usr/bin/env python3
"""Benchmark of the scheduled run with the real programs (release build):

1. `px740 /TS:ONCE` over 20 simulated terminals (10 on pseudo-terminals, 10 behind simulated
   device servers on loopback), 1,000 new records each, no reply delay: wall time, records per
   second, and the program's peak resident memory; with the punch archive and without it.
2. One entry whose device server accepts no connection (its address answers ping, the connect
   hangs on a listener whose backlog is full): time spent, against the 10 s link time-out.
3. One entry whose address answers nothing (an address on a link where nobody answers in a network namespace
   the benchmark creates and removes): time spent, against the 3 s ping time-out.

Usage: bench_run.py BUILD_DIR
"""
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build/release-bench"
px740 = os.path.join(build, "app", "px740")
sim_bin = os.path.join(build, "tools", "sim", "px74x-sim")


def environment(home):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("PX74", "XDG_", "QT_QPA")) and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(PX740_HOME=os.path.join(home, "px740"), XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"))
    os.makedirs(env["PX740_HOME"], exist_ok=True)
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "serlo"), exist_ok=True)
    return env


def start_sim(*args):
    p = subprocess.Popen([sim_bin, "--quiet", *args], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, text=True)
    first = p.stdout.readline().strip()
    if not first.startswith(("PTY ", "TCP ")):
        raise RuntimeError("simulator did not start: %r" % first)
    return p, first[4:]


def run_px740(env, extra=()):
    """Runs px740 /TS:ONCE and returns (exit status, seconds, peak RSS in MB)."""
    t0 = time.monotonic()
    p = subprocess.Popen([*extra, px740, "/TS:ONCE"], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    seconds = time.monotonic() - t0
    return os.waitstatus_to_exitcode(status), seconds, usage.ru_maxrss / 1024.0


def log_text(env):
    folder = os.path.join(env["PX740_HOME"], "Logfiles")
    return "".join(open(os.path.join(folder, f), encoding="latin-1").read()
                   for f in os.listdir(folder))


def twenty_terminals(archive=""):
    """archive: the setting Archive/URL ("" the SQLite file, "off" none)."""
    home = tempfile.mkdtemp(prefix="bench-run-")
    env = environment(home)
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "PX740"), exist_ok=True)
    with open(os.path.join(env["XDG_CONFIG_HOME"], "PX740", "settings.ini"), "w") as f:
        f.write("[Archive]\r\nURL=%s\r\n" % archive)
    sims, ports, entries = [], [], []
    try:
        for i in range(1, 21):
            if i <= 10:
                p, path = start_sim("--pty", "--id", str(i), "--records", "1000")
                ports.append("%s=COM%d" % (path, 9 + i))
                entries.append("%d,T%d,,%d,19200,0.0.0.0,1001" % (i, i, 9 + i))
            else:
                address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254), i)
                p, endpoint = start_sim("--tcp", address + ":0", "--id", str(i), "--records", "1000")
                port = int(endpoint.rsplit(":", 1)[1])
                entries.append("%d,T%d,,0,19200,%s,%d" % (i, i, address, port))
            sims.append(p)
        with open(os.path.join(env["XDG_CONFIG_HOME"], "serlo", "ports.ini"), "w") as f:
            f.write("[SERIALCOMM]\r\n" + "".join(l + "\r\n" for l in ports))
        with open(os.path.join(env["PX740_HOME"], "PX740.TXT"), "w") as f:
            f.write("".join(l + "\r\n" for l in entries))
        status, seconds, peak = run_px740(env)
        records_dir = os.path.join(env["PX740_HOME"], "Records")
        saved = sum(sum(1 for _ in open(os.path.join(records_dir, f), "rb"))
                    for f in os.listdir(records_dir) if f.endswith(".TXT"))
        print("20 terminals x 1000 records, archive %s: exit %d, %d lines saved in %.2f s = %.0f "
              "records/s, peak memory %.1f MB"
              % (archive or "in SQLite", status, saved, seconds, saved / seconds, peak))
    finally:
        for p in sims:
            p.stdin.close()
            p.wait()
        shutil.rmtree(home, ignore_errors=True)


def hanging_connect():
    home = tempfile.mkdtemp(prefix="bench-hang-")
    env = environment(home)
    address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254), 201)
    listener = socket.socket()
    listener.bind((address, 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(3):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect((address, port))
        except BlockingIOError:
            pass
        fillers.append(s)
    time.sleep(0.2)
    try:
        with open(os.path.join(env["PX740_HOME"], "PX740.TXT"), "w") as f:
            f.write("1,Hanging,,0,19200,%s,%d\r\n" % (address, port))
        status, seconds, _ = run_px740(env)
        print("device server that accepts no connection: exit %d after %.2f s "
              "(bound: link time-out 10 s + a refused retry on port 1001); log says %r"
              % (status, seconds, "can't open IP" in log_text(env)))
    finally:
        for s in fillers:
            s.close()
        listener.close()
        shutil.rmtree(home, ignore_errors=True)


def silent_host():
    if os.geteuid() != 0 or not shutil.which("ip"):
        print("silent host: skipped (needs root and iproute2 for a network namespace)")
        return
    ns = "pxbench%d" % os.getpid()
    if subprocess.run(["ip", "netns", "add", ns], capture_output=True).returncode != 0:
        print("silent host: skipped (network namespaces not permitted)")
        return
    home = tempfile.mkdtemp(prefix="bench-silent-")
    try:
        for cmd in (["ip", "link", "set", "lo", "up"],
                    ["ip", "link", "add", "d0", "type", "veth", "peer", "name", "d1"],
                    ["ip", "addr", "add", "198.51.100.1/24", "dev", "d0"],
                    ["ip", "link", "set", "d0", "up"],
                    ["ip", "link", "set", "d1", "up"]):
            subprocess.run(["ip", "netns", "exec", ns, *cmd], check=True)
        env = environment(home)
        with open(os.path.join(env["PX740_HOME"], "PX740.TXT"), "w") as f:
            f.write("1,Nobody,,0,19200,198.51.100.7,1001\r\n")
        status, seconds, _ = run_px740(env, extra=["ip", "netns", "exec", ns])
        print("address that answers nothing: exit %d after %.2f s (bound: ping time-out 3 s); "
              "log says %r" % (status, seconds, "can't ping" in log_text(env)))
    finally:
        subprocess.run(["ip", "netns", "delete", ns], capture_output=True)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    twenty_terminals()
    twenty_terminals("off")  # what the archive's journal costs a run
    hanging_connect()
    silent_host()
