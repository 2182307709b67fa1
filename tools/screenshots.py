#!/usr/bin/python3
"""Pictures of the real window: starts px740 against simulated terminals on the virtual X server
of desktop_session.py, shows every page and writes one PNG per view.

    screenshots.py --px740 PATH --sim PATH --out FOLDER
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TESTING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testing")
sys.path.insert(0, TESTING)
import atspi_driver as drv  # noqa: E402
from Xlib import X, display  # noqa: E402


def write_png(path, width, height, bgrx):
    """An 8-bit RGB PNG from the X server's 32-bit BGRX pixels."""
    rows = []
    stride = width * 4
    for y in range(height):
        row = bgrx[y * stride:(y + 1) * stride]
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::4]
        rgb[1::3] = row[1::4]
        rgb[2::3] = row[0::4]
        rows.append(b"\x00" + bytes(rgb))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                           0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def grab(pid, path, title=None):
    """The topmost window of the process (or the one with this title) as a PNG."""
    time.sleep(0.3)  # let the last paint reach the server
    d = display.Display()
    windows = drv._windows_of(d, pid, title)
    if not windows:
        d.close()
        raise RuntimeError("no window to photograph")
    w = windows[-1]
    geo = w.get_geometry()
    image = w.get_image(0, 0, geo.width, geo.height, X.ZPixmap, 0xFFFFFFFF)
    write_png(path, geo.width, geo.height, image.data)
    d.close()
    print("wrote", path)


class Scene:
    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="px-shots-")
        self.home = os.path.join(self.root, "px740")
        self.config = os.path.join(self.root, "config")
        self.sims = []
        self.proc = None

    def env(self):
        return dict(os.environ, HOME=self.root, PX740_HOME=self.home,
                    XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=os.path.join(self.root, "data"),
                    LSAN_OPTIONS="suppressions=" + os.path.join(TESTING, "lsan.supp"))

    def sim(self, *extra):
        proc = subprocess.Popen([self.args.sim] + list(extra), stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.sims.append(proc)
        return proc.stdout.readline().decode().split()[1]

    def write(self, relative, text):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text.encode())

    def start(self, *args):
        self.proc = subprocess.Popen([self.args.px740] + list(args), env=self.env(),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return drv.Program(self.proc.pid)

    def finish(self):
        if self.proc and self.proc.poll() is None:
            drv.close_window(self.proc.pid, "Terminal Manager")
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        for s in self.sims:
            s.terminate()
            s.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--px740", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    scene = Scene(args)
    try:
        # Punches of today, so that the archive view's default range (this month) shows them.
        today = time.strftime("%Y/%m/%d")
        scene.write("today.txt", "".join("%010d,%d,%s,%02d:%02d:00\r\n"
                                         % (4711000 + 37 * i, i % 4, today, 7 + i // 6,
                                            (i * 10) % 60) for i in range(40)))
        gate = scene.sim("--pty", "--id", "1", "--records-file",
                         os.path.join(scene.root, "today.txt"))
        scene.write("config/serlo/ports.ini", "[SERIALCOMM]\r\n%s=COM5\r\n" % gate)
        scene.write("px740/PX740.TXT", "1,Gate,,5,19200,0.0.0.0,1001\r\n"
                                       "2,Office,,0,19200,127.0.0.1,1001\r\n")
        app = scene.start()
        drv.wait_until(lambda: app.showing("lstDevice"), 10)
        shot = lambda name, title="Terminal Manager": grab(  # noqa: E731
            scene.proc.pid, os.path.join(args.out, name + ".png"), title)

        app.select_item("lstDevice", "001-Gate")
        shot("page0-terminals")
        app.double_click_item("lstDevice", "001-Gate")
        drv.wait_until(lambda: app.enabled("cmdPX700_2"), 15)
        shot("page0-connected")
        app.press(app.find("cmdPX700_2"))
        dialog = app.dialog("frmTime")
        shot("dialog-clock", "Date Setting")
        app.press(app.find("cmdTime_1", within=dialog))
        app.gone("frmTime")

        app.select_page(1)
        for row, hhmm in ((0, "0800"), (1, "1200"), (2, "1630")):
            app.enter_time("fgdRingTab", "dtpRingTable", row, hhmm)
        app.click(app.cell("fgdRingTab", 5, 0))
        shot("page1-bells")

        app.select_page(0)
        app.press(app.find("optMode_3"))
        drv.wait_until(lambda: app.find("SSTab_2").get_state_set().contains(
            drv.Atspi.StateType.ENABLED), 10)
        app.select_page(2)
        app.enter_time("fgdIOSTable", "dtpIOSTable", 0, "0700", " I N")
        app.enter_time("fgdIOSTable", "dtpIOSTable", 1, "1200", " O U T")
        app.enter_time("fgdIOSTable", "dtpIOSTable", 2, "1300", " I N")
        app.click(app.cell("fgdIOSTable", 5, 0))
        shot("page2-inout")

        app.select_page(3)
        app.press(app.find("cmdRecord_0"))
        drv.wait_until(lambda: drv.name(app.find("labCount")) == "00040 / 00040", 30)
        shot("page3-records")
        app.press(app.find("cmdOpenArchive"))
        view = app.dialog("frmArchive")
        app.set_text(app.find("txtArchiveCard", within=view), "47")
        app.press(app.find("cmdArchive_0", within=view))
        drv.wait_until(lambda: app.row_count("fgdArchive") > 0, 20)
        shot("dialog-archive", "Punch archive")
        app.press(app.find("cmdArchive_2", within=view))

        app.select_page(4)
        shot("page4-scheduler")
        app.press(app.find("cmdStart"))
        status = app.find("txtTStatus")
        drv.wait_until(lambda: "save data" in app.text(status), 60)
        shot("page4-running")
        app.press(app.find("cmdStart"))
        drv.wait_until(lambda: drv.name(app.find("cmdStart")) == "Start", 30)

        app.select_page(5)
        shot("page5-program")
    finally:
        scene.finish()


if __name__ == "__main__":
    main()
