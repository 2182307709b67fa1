#!/usr/bin/python3
"""An SMTP sink for the mail tests, on a loopback address.

    smtp_sink.py HOST PORT OUTDIR [--mode accept|refuse|stall|drop] [--lifetime SECONDS]

accept  a real SMTP server: every message received is written as OUTDIR/msg-N.eml (raw bytes)
        with its envelope in OUTDIR/msg-N.env ("MAIL FROM", "RCPT TO" and "PEER" lines)
refuse  the same server, but every RCPT is answered 550
stall   accepts TCP connections and never sends a byte
drop    sends the greeting, then closes the connection on the first command

Prints "READY HOST PORT" on standard output once it listens. Ends on SIGTERM, SIGINT, end of
its lifetime (120 s unless told otherwise) or when its parent goes away.
"""

import argparse
import os
import signal
import socket
import sys
import threading


def parse_args():
    p = argparse.ArgumentParser(description="SMTP sink for tests")
    p.add_argument("host")
    p.add_argument("port", type=int)
    p.add_argument("outdir")
    p.add_argument("--mode", choices=["accept", "refuse", "stall", "drop"], default="accept")
    p.add_argument("--lifetime", type=float, default=120.0)
    return p.parse_args()


class Store:
    """Numbers the messages; the .eml appears last and whole, so a reader never sees half."""

    def __init__(self, outdir):
        self.outdir = outdir
        self.lock = threading.Lock()
        self.count = 0

    def write(self, envelope_text, content):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.outdir, "msg-%d" % n)
        with open(base + ".env", "w", encoding="utf-8") as f:
            f.write(envelope_text)
        with open(base + ".eml.part", "wb") as f:
            f.write(content)
        os.rename(base + ".eml.part", base + ".eml")


class SinkHandler:
    def __init__(self, store, refuse):
        self.store = store
        self.refuse = refuse

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse:
            return "550 5.1.1 Recipient refused by the test sink"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        lines = ["MAIL FROM: %s" % envelope.mail_from]
        lines += ["RCPT TO: %s" % r for r in envelope.rcpt_tos]
        peer = session.peer
        lines.append("PEER: %s:%s" % (peer[0], peer[1]) if isinstance(peer, tuple) else str(peer))
        raw = envelope.original_content
        if raw is None:
            raw = envelope.content if isinstance(envelope.content, bytes) else \
                envelope.content.encode("utf-8", "surrogateescape")
        self.store.write("\n".join(lines) + "\n", raw)
        return "250 Message accepted"


def run_smtp(args, stop):
    from aiosmtpd.controller import Controller

    handler = SinkHandler(Store(args.outdir), refuse=args.mode == "refuse")
    controller = Controller(handler, hostname=args.host, port=args.port, ready_timeout=10)
    controller.start()
    try:
        announce(args)
        stop.wait(args.lifetime)
    finally:
        controller.stop()


def listen(args):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((args.host, args.port))
    s.listen(16)
    s.settimeout(0.2)
    return s


def run_raw(args, stop):
    server = listen(args)
    held = []  # stalled connections stay open until the end
    announce(args)

    def serve_drop(conn):
        try:
            conn.settimeout(10)
            conn.sendall(b"220 sink ESMTP\r\n")
            conn.recv(1024)  # the first command
        except OSError:
            pass
        finally:
            conn.close()

    try:
        while not stop.is_set():
            try:
                conn, _ = server.accept()
            except socket.timeout:
                continue
            if args.mode == "stall":
                held.append(conn)
            else:
                threading.Thread(target=serve_drop, args=(conn,), daemon=True).start()
    finally:
        for conn in held:
            conn.close()
        server.close()


def announce(args):
    sys.stdout.write("READY %s %d\n" % (args.host, args.port))
    sys.stdout.flush()


def main():
    args = parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    parent = os.getppid()

    def watch_parent():
        # A crashed test must not leave a listener behind.
        while not stop.wait(0.5):
            if os.getppid() != parent:
                stop.set()

    threading.Thread(target=watch_parent, daemon=True).start()
    try:
        if args.mode in ("accept", "refuse"):
            run_smtp(args, stop)
        else:
            run_raw(args, stop)
    except OSError as e:
        sys.stderr.write("smtp_sink: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
