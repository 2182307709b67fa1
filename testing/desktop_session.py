#!/usr/bin/python3
"""Runs a command inside a private desktop session: a virtual X server, a session bus and the
accessibility bus, so that windows can be driven through the accessibility tree.

    desktop_session.py [--timeout SECONDS] -- command [args...]

Every process it starts ends with it; its exit status is the command's (124 on time-out)."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LAUNCHER_PATHS = ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher")


def start_xvfb():
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"],
                            pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 15
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        proc.kill()
        raise RuntimeError("Xvfb did not start")
    return proc, ":" + number.decode().strip()


def start_bus(env):
    proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    address = proc.stdout.readline().decode().strip()
    if not address:
        proc.kill()
        raise RuntimeError("no session bus")
    return proc, address


def wait_for_accessibility_bus(env):
    """Programs started before the accessibility bus answers never join its tree."""
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if r.returncode == 0:
            break
        time.sleep(0.1)
    else:
        raise RuntimeError("the accessibility bus did not start")
    # The registry starts on the first question; ask one before any program registers.
    subprocess.run([sys.executable, "-c", "import gi; gi.require_version('Atspi', '2.0'); "
                    "from gi.repository import Atspi; Atspi.get_desktop(0).get_child_count()"],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=15)


def main():
    args = sys.argv[1:]
    timeout = 600
    if args[:1] == ["--timeout"]:
        timeout = float(args[1])
        args = args[2:]
    if args[:1] == ["--"]:
        args = args[1:]
    if not args:
        sys.exit("usage: desktop_session.py [--timeout S] -- command [args...]")
    for tool in ("Xvfb", "dbus-daemon"):
        if not shutil.which(tool):
            sys.exit("desktop_session.py: %s is not installed" % tool)
    launcher = next((p for p in LAUNCHER_PATHS if os.path.exists(p)), None)
    if not launcher:
        sys.exit("desktop_session.py: at-spi-bus-launcher is not installed")

    runtime = tempfile.mkdtemp(prefix="px-desktop-")
    os.chmod(runtime, 0o700)
    procs = []
    status = 1
    try:
        xvfb, display = start_xvfb()
        procs.append(xvfb)
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime)
        env.pop("WAYLAND_DISPLAY", None)
        bus, address = start_bus(env)
        procs.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        procs.append(subprocess.Popen([launcher, "--launch-immediately"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for_accessibility_bus(env)
        env["QT_QPA_PLATFORM"] = "xcb"
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["NO_AT_BRIDGE"] = "0"
        command = subprocess.Popen(args, env=env, start_new_session=True)
        try:
            status = command.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(command.pid, signal.SIGKILL)
            command.wait()
            print("desktop_session.py: time-out after %d s" % timeout, file=sys.stderr)
            status = 124
    finally:
        for proc in reversed(procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
        shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(status)


if __name__ == "__main__":
    main()
