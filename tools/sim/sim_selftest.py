#!/usr/bin/env python3
"""Self-test of px74x-sim: runs the simulator on a pseudo-terminal and on loopback TCP and
checks a handful of exchanges. Usage: sim_selftest.py PATH-TO-px74x-sim"""

import datetime
import os
import queue
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

STX, CR = b"\x02", b"\x0d"
FAILURES = []


def checksum(text: bytes) -> bytes:
    return b"%02X" % (sum(text) % 256)


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        FAILURES.append(what)


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Sim:
    """One simulator process: control commands in, event lines out."""

    def __init__(self, binary, args):
        self.proc = subprocess.Popen([binary] + args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, bufsize=0)
        self.lines = queue.Queue()
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("latin-1").rstrip("\n"))
        self.lines.put(None)

    def next_line(self, timeout=5.0, prefix=None):
        """The next line (beginning with prefix, skipping others), or None on time-out."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                return None
            if line is None:
                return None
            if prefix is None or line.startswith(prefix):
                return line

    def control(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            line = self.next_line(deadline - time.monotonic())
            if line is None:
                break
            if line == "OK" or line.startswith("ERR"):
                return line
        return None

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
                self.proc.wait(timeout=3)
            except (subprocess.TimeoutExpired, BrokenPipeError):
                self.proc.kill()
                self.proc.wait()


class PtyPort:
    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd, termios.TCSANOW)

    def send(self, data):
        os.write(self.fd, data)

    def recv(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        return os.read(self.fd, 4096) if ready else b""

    def close(self):
        os.close(self.fd)


class TcpPort:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)

    def send(self, data):
        self.sock.sendall(data)

    def recv(self, timeout):
        ready, _, _ = select.select([self.sock], [], [], timeout)
        return self.sock.recv(4096) if ready else b""

    def close(self):
        self.sock.close()


def hung_up(port):
    """True when the pty slave reports a hang-up: readable at once, but no data."""
    ready, _, _ = select.select([port.fd], [], [], 1.0)
    if not ready:
        return False
    try:
        return os.read(port.fd, 100) == b""
    except OSError:
        return True


def read_reply(port, timeout=2.0):
    """Bytes up to and including the first CR after an STX; b"" on time-out."""
    data = b""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        stx = data.find(STX)
        if stx >= 0 and data.find(CR, stx) >= 0:
            return data
        chunk = port.recv(max(0.0, deadline - time.monotonic()))
        if chunk:
            data += chunk
    return data


def exchange(port, text, timeout=2.0):
    port.send(STX + text + CR)
    return read_reply(port, timeout)


def summed(text: bytes) -> bytes:
    return STX + text + checksum(text) + CR


def plain(text: bytes) -> bytes:
    return STX + text + CR


def common_checks(sim, port, mode):
    check(exchange(port, b"D01") == plain(b"A01APX740"), mode + ": poll D01")
    check(exchange(port, b"V") == plain(b"AV1.7 (JIS-II)"), mode + ": version with extension")
    check(exchange(port, b"N") == summed(b"A0005"), mode + ": record count with checksum")

    reply = exchange(port, b"G0000")
    body = b"A0000,0001000003,0,2026/01/05,08:00:00"
    check(reply == summed(body), mode + ": record 0 format " + repr(reply))
    reply = exchange(port, b"G0003")
    check(reply == summed(b"A0003,%010d,3,2026/01/05,08:03:00" % (1000003 + 3 * 7919)),
          mode + ": record 3")
    check(exchange(port, b"G0005") == plain(b"N03"), mode + ": missing record refused")

    reply = exchange(port, b"T")
    # Parsed times: comparing digit strings breaks at every minute, hour and year boundary.
    try:
        shown = datetime.datetime.strptime(reply[2:16].decode(), "%Y%m%d%H%M%S")
        drift = abs((shown - datetime.datetime.now()).total_seconds())
    except ValueError:
        drift = None
    check(len(reply) == 17 and reply[1:2] == b"A" and drift is not None and drift < 60,
          mode + ": clock follows the PC " + repr(reply))
    check(exchange(port, b"S203006151200007") == plain(b"A"), mode + ": set clock")
    reply = exchange(port, b"T")
    check(reply[2:14] == b"203006151200", mode + ": clock follows S " + repr(reply))

    command = b"C05,12"
    check(exchange(port, command + checksum(command)) == plain(b"A"), mode + ": set register")
    check(exchange(port, b"B05") == summed(b"A12"), mode + ": get register")
    check(exchange(port, b"C05,34" + b"00") == plain(b"N09"), mode + ": register bad checksum")
    check(exchange(port, b"B64") == summed(b"AFF"), mode + ": In/Out event register default")

    check(sim.control("refuse N 05") == "OK", mode + ": refuse accepted")
    check(exchange(port, b"N") == plain(b"N05"), mode + ": refused command")
    check(sim.control("refuse off") == "OK", mode + ": refuse off")

    check(sim.control("silent on") == "OK", mode + ": silent on")
    check(exchange(port, b"D01", 0.3) == b"", mode + ": silent unit does not answer")
    check(sim.control("silent off") == "OK", mode + ": silent off")

    check(sim.control("id 1 7") == "OK", mode + ": id change")
    check(exchange(port, b"D01", 0.3) == b"", mode + ": old ID no longer answers")
    check(exchange(port, b"D07") == plain(b"A07APX740"), mode + ": new ID answers")
    check(exchange(port, b"I01") == plain(b"A"), mode + ": I command")
    check(exchange(port, b"D01") == plain(b"A01APX740"), mode + ": ID set by I answers")

    check(sim.control("noise \\x00zz") == "OK", mode + ": noise on")
    check(exchange(port, b"F") == b"\x00zz" + plain(b"AV1.7"), mode + ": noise before STX")
    check(sim.control("noise") == "OK", mode + ": noise off")
    check(sim.control("badsum on") == "OK", mode + ": badsum on")
    bad = exchange(port, b"N")
    check(bad[:6] == STX + b"A0005" and bad[6:8] != checksum(b"A0005"), mode + ": wrong checksum")
    check(sim.control("badsum off") == "OK", mode + ": badsum off")
    check(sim.control("reply-once \\x02xyz\\r") == "OK", mode + ": reply-once")
    check(exchange(port, b"V") == b"\x02xyz\r", mode + ": reply-once bytes")
    check(sim.control("raw \\x02hello\\r") == "OK", mode + ": raw")
    check(read_reply(port) == b"\x02hello\r", mode + ": raw bytes on the line")

    # Split frame, garbage before STX, a restarted frame, an oversized frame.
    port.send(b"junk\x02D0")
    time.sleep(0.05)
    port.send(b"1\r")
    check(read_reply(port) == plain(b"A01APX740"), mode + ": frame split across writes")
    check(exchange(port, b"XX\x02V") == plain(b"AV1.7 (JIS-II)"), mode + ": STX restarts frame")
    port.send(STX + b"V" * 5000 + CR)
    check(read_reply(port, 0.3) == b"", mode + ": oversized frame discarded")
    check(exchange(port, b"N") == summed(b"A0005"), mode + ": serving after oversized frame")

    check(sim.control("add 1 3") == "OK", mode + ": add records")
    check(exchange(port, b"N") == summed(b"A0008"), mode + ": count after add")
    check(exchange(port, b"G0005") == summed(b"A0005,%010d,1,2026/01/05,08:05:00"
                                             % (1000003 + 5 * 7919)),
          mode + ": added records continue the sequence")
    check(sim.control("erase 1") == "OK", mode + ": erase records")
    check(exchange(port, b"N") == summed(b"A0000"), mode + ": count after erase")
    check((sim.control("bogus") or "").startswith("ERR"), mode + ": unknown control command")


def pty_checks(binary):
    sim = Sim(binary, ["--pty", "--records", "5", "--ext", "(JIS-II)", "--id", "1,2"])
    try:
        first = sim.next_line()
        check(first is not None and first.startswith("PTY /"), "pty: first line " + repr(first))
        port = PtyPort(first[4:])
        common_checks(sim, port, "pty")
        check(exchange(port, b"D02") == plain(b"A02APX740"), "pty: second unit polled")
        check(exchange(port, b"N") == summed(b"A0005"), "pty: second unit has its records")
        check(exchange(port, b"D09", 0.3) == b"", "pty: missing ID not answered")

        port.close()  # the PC closes and opens the port again
        port = PtyPort(first[4:])
        check(exchange(port, b"D01") == plain(b"A01APX740"), "pty: served after reopen")

        port.close()
    finally:
        sim.stop()

    link = "/tmp/px74x-sim-selftest-%d" % os.getpid()
    sim = Sim(binary, ["--link", link, "--baud", "9600"])
    try:
        first = sim.next_line()
        check(first is not None and os.path.realpath(link) == first[4:], "pty: --link")
        port = PtyPort(link)
        start = time.monotonic()
        reply = exchange(port, b"D01")
        elapsed = time.monotonic() - start
        # 5 bytes in and 11 out at 960 bytes/s take at least 16.6 ms.
        check(reply == plain(b"A01APX740") and elapsed >= 0.0160, "pty: paced at 9600 baud "
              "(%.1f ms)" % (elapsed * 1000))
        old = first[4:]
        sim.proc.stdin.write(b"hangup\n")
        sim.proc.stdin.flush()
        new = sim.next_line(prefix="PTY ")
        check(new is not None and sim.next_line() == "OK", "pty: hangup prints PTY then OK")
        check(new is not None and os.path.realpath(link) == new[4:], "pty: link follows hangup")
        check(hung_up(port), "pty: old port hung up")
        port.close()
        port = PtyPort(link)
        check(exchange(port, b"D01") == plain(b"A01APX740"), "pty: new pty serves " + str(old))
        port.close()
    finally:
        sim.stop()
    check(not os.path.lexists(link), "pty: link removed at exit")


def tcp_checks(binary):
    port_no, udp_no = free_port(socket.SOCK_STREAM), free_port(socket.SOCK_DGRAM)
    sim = Sim(binary, ["--tcp", "127.0.0.1:%d" % port_no, "--udp-port", str(udp_no),
                       "--records", "5", "--ext", "(JIS-II)"])
    try:
        first = sim.next_line()
        check(first == "TCP 127.0.0.1:%d" % port_no, "tcp: first line " + repr(first))
        port = TcpPort(port_no)
        check(sim.next_line(prefix="CONNECT") == "CONNECT", "tcp: CONNECT")
        common_checks(sim, port, "tcp")

        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
            udp.settimeout(2)
            udp.sendto(b"\x01cfg", ("127.0.0.1", udp_no))
            answer = udp.recv(16)
            check(answer == b"A", "tcp: configuration datagram answered")
            check(sim.next_line(prefix="UDP") == "UDP \\x01cfg", "tcp: UDP logged")
            check(sim.control("udp-silent on") == "OK", "tcp: udp-silent")
            udp.sendto(b"x", ("127.0.0.1", udp_no))
            udp.settimeout(0.3)
            try:
                udp.recv(16)
                check(False, "tcp: silent configuration channel")
            except socket.timeout:
                check(True, "tcp: silent configuration channel")

        second = TcpPort(port_no)  # a new connection replaces the old one
        check(sim.next_line(prefix="DISCONNECT") == "DISCONNECT", "tcp: old connection closed")
        check(exchange(second, b"D01") == plain(b"A01APX740"), "tcp: new connection served")
        port.close()

        check(sim.control("add 1 2") == "OK" and sim.control("drop-at-record 1") == "OK",
              "tcp: drop-at-record")
        check(exchange(second, b"G0000")[:7] == STX + b"A0000,", "tcp: record before the drop")
        reset = False
        try:
            second.send(STX + b"G0001" + CR)
            reset = second.sock.recv(100) == b""
        except ConnectionResetError:
            reset = True
        check(reset, "tcp: connection reset at the record")
        second.close()
        third = TcpPort(port_no)
        check(exchange(third, b"G0001")[:7] == STX + b"A0001,", "tcp: drop happens once")
        third.close()
        check(sim.control("quit") == "OK", "tcp: quit")
        sim.proc.wait(timeout=3)
        check(sim.proc.returncode == 0, "tcp: exit status 0")
    finally:
        sim.stop()


SOH, EOT, ACK, NAK, CAN = b"\x01", b"\x04", b"\x06", b"\x15", b"\x18"


def crc16(data: bytes) -> int:
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def packet(number, data, crc, pad=b"\x00"):
    data = data.ljust(128, pad)
    head = SOH + bytes([number & 0xFF, 255 - (number & 0xFF)]) + data
    return head + (crc16(data).to_bytes(2, "big") if crc else bytes([sum(data) % 256]))


class Line:
    """Reads a port keeping what arrived beyond what was asked for (a reply and a request can
    come in one read)."""

    def __init__(self, port):
        self.port, self.buf = port, b""

    def read(self, n, timeout=2.0):
        deadline = time.monotonic() + timeout
        while len(self.buf) < n and time.monotonic() < deadline:
            self.buf += self.port.recv(max(0.0, deadline - time.monotonic()))
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def reply(self, timeout=2.0):
        deadline = time.monotonic() + timeout
        while CR not in self.buf and time.monotonic() < deadline:
            self.buf += self.port.recv(max(0.0, deadline - time.monotonic()))
        end = self.buf.find(CR)
        if end < 0:
            return b""
        out, self.buf = self.buf[:end + 1], self.buf[end + 1:]
        return out

    def request(self, text):
        self.port.send(STX + text + CR)
        return self.reply()


def xmodem_checks(binary):
    folder = tempfile.mkdtemp(prefix="px74x-sim-files-")
    sim = Sim(binary, ["--files", folder, "--xmodem-timeout", "1000"])
    try:
        port = PtyPort(sim.next_line()[4:])
        line = Line(port)

        # The PC sends a file: the terminal accepts, asks with "C" and takes CRC packets.
        data = os.urandom(200)
        check(line.request(b"ZXin.bin") == plain(b"A"), "xmodem: ZX accepted")
        check(line.read(1) == b"C", "xmodem: receiver asks with C")
        port.send(packet(1, data[:128], True))
        check(line.read(1) == ACK, "xmodem: block 1 acknowledged")
        bad = bytearray(packet(2, data[128:], True))
        bad[10] ^= 1
        port.send(bytes(bad))
        check(line.read(1) == NAK, "xmodem: damaged block refused")
        port.send(packet(2, data[128:], True))
        check(line.read(1) == ACK, "xmodem: block 2 acknowledged")
        port.send(packet(2, data[128:], True))
        check(line.read(1) == ACK, "xmodem: repeated block acknowledged")
        port.send(EOT)
        check(line.read(1) == NAK, "xmodem: first EOT questioned")
        port.send(EOT)
        check(line.read(1) == ACK, "xmodem: second EOT acknowledged")
        check(sim.next_line(prefix="XMODEM DONE") == "XMODEM DONE in.bin 256", "xmodem: received")
        with open(os.path.join(folder, "in.bin"), "rb") as f:
            stored = f.read()
        check(stored == data + bytes(56), "xmodem: stored whole blocks, the repeat once")
        check(exchange(port, b"D01") == plain(b"A01APX740"), "xmodem: frames again afterwards")

        # The terminal sends the file back in checksum mode (the PC asks with NAK).
        check(line.request(b"UXin.bin") == plain(b"A"), "xmodem: UX accepted")
        port.send(NAK)
        for n in (1, 2):
            check(line.read(132) == packet(n, stored[(n - 1) * 128:n * 128], False),
                  "xmodem: checksum block %d" % n)
            port.send(ACK)
        check(line.read(1) == EOT, "xmodem: EOT after the last block")
        port.send(ACK)
        check(sim.next_line(prefix="XMODEM DONE") == "XMODEM DONE in.bin", "xmodem: sent")

        check(line.request(b"UXmissing.bin") == plain(b"N05"), "xmodem: unknown file refused")
        check(line.request(b"ZX../x.bin") == plain(b"N02"), "xmodem: name outside the folder")

        # A damaged packet on request; the last block padded with ^Z.
        odd = os.urandom(100)
        with open(os.path.join(folder, "odd.bin"), "wb") as f:
            f.write(odd)
        check(sim.control("xm-corrupt") == "OK", "xmodem: xm-corrupt")
        check(line.request(b"UYodd.bin") == plain(b"A"), "xmodem: UY accepted")
        port.send(b"C")
        good = packet(1, odd, True, b"\x1a")
        check(line.read(133) not in (good, b""), "xmodem: corrupted block sent")
        port.send(NAK)
        check(line.read(133) == good, "xmodem: intact block after NAK")
        port.send(ACK)
        check(line.read(1) == EOT, "xmodem: EOT")
        port.send(ACK)
        check(sim.next_line(prefix="XMODEM DONE") == "XMODEM DONE odd.bin", "xmodem: UY moved")

        # A PC that gives up, and one that falls silent.
        check(line.request(b"ZXgone.bin") == plain(b"A") and line.read(1) == b"C",
              "xmodem: receive started")
        port.send(CAN + CAN)
        check(sim.next_line(prefix="XMODEM FAIL") == "XMODEM FAIL gone.bin cancelled",
              "xmodem: CAN CAN ends the transfer")
        check(sim.control("xm-timeout 100") == "OK", "xmodem: xm-timeout")
        check(line.request(b"ZXquiet.bin") == plain(b"A"), "xmodem: receive started again")
        check(sim.next_line(prefix="XMODEM FAIL", timeout=5) == "XMODEM FAIL quiet.bin timeout",
              "xmodem: silence ends the transfer")
        tail = line.read(100, 0.3)
        check(tail == b"C" * 10 + CAN * 3, "xmodem: requests then CAN " + repr(tail))
        port.close()
    finally:
        sim.stop()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    pty_checks(binary)
    tcp_checks(binary)
    xmodem_checks(binary)
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
