#!/usr/bin/env python3
"""libserlo.so from a non-Qt host through ctypes, against px74x-sim on a pty and as a device server.

Usage: test_ctypes.py <path to libserlo.so> <path to px74x-sim>
"""
import ctypes
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

LIB = sys.argv[1] if len(sys.argv) > 1 else "libserlo.so"
SIM = sys.argv[2] if len(sys.argv) > 2 else "px74x-sim"

VT_EMPTY, VT_I2, VT_I4, VT_BSTR, VT_BOOL = 0, 2, 3, 8, 11
METHOD, GET, PUT = 1, 2, 4


class Variant(ctypes.Structure):
    _fields_ = [("vt", ctypes.c_int32), ("i4", ctypes.c_int32),
                ("str", ctypes.c_void_p), ("len", ctypes.c_int32)]


SINK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32,
                        ctypes.POINTER(Variant), ctypes.c_int32)


def load():
    lib = ctypes.CDLL(LIB)
    lib.SerloCreate.restype = ctypes.c_void_p
    lib.SerloDestroy.argtypes = [ctypes.c_void_p]
    lib.SerloInvoke.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32,
                                ctypes.POINTER(Variant), ctypes.c_int32, ctypes.POINTER(Variant)]
    lib.SerloInvoke.restype = ctypes.c_int32
    lib.SerloAdvise.argtypes = [ctypes.c_void_p, SINK, ctypes.c_void_p]
    lib.SerloDoEvents.argtypes = [ctypes.c_int32]
    lib.SerloFreeString.argtypes = [ctypes.c_void_p]
    lib.SerloGetIDOfName.argtypes = [ctypes.c_char_p]
    lib.SerloGetIDOfName.restype = ctypes.c_int32
    return lib


def to_variant(value, keep):
    if isinstance(value, bool):
        return Variant(VT_BOOL, -1 if value else 0, None, 0)
    if isinstance(value, int):
        return Variant(VT_I4, value, None, 0)
    data = value.encode("latin-1") if isinstance(value, str) else bytes(value)
    buf = ctypes.create_string_buffer(data, len(data) + 1)
    keep.append(buf)
    return Variant(VT_BSTR, 0, ctypes.cast(buf, ctypes.c_void_p), len(data))


class Control:
    """One control, driven by member names resolved through SerloGetIDOfName."""

    def __init__(self, lib):
        self.lib = lib
        self.handle = lib.SerloCreate()
        assert self.handle, "SerloCreate failed"
        self.events = []
        self._sink = SINK(self._on_event)
        lib.SerloAdvise(self.handle, self._sink, None)

    def _on_event(self, _ctx, dispid, args, nargs):
        values = []
        for i in range(nargs):
            v = args[i]
            values.append(ctypes.string_at(v.str, v.len).decode("latin-1")
                          if v.vt == VT_BSTR else v.i4)
        self.events.append((dispid, values))

    def close(self):
        self.lib.SerloDestroy(self.handle)

    def _id(self, name):
        dispid = self.lib.SerloGetIDOfName(name.encode())
        assert dispid != -1, name
        return dispid

    def _result(self, out):
        if out.vt == VT_BSTR:
            text = ctypes.string_at(out.str, out.len).decode("latin-1")
            self.lib.SerloFreeString(out.str)
            return text
        if out.vt == VT_BOOL:
            return out.i4 != 0
        return out.i4

    def invoke(self, name, flags, *args):
        keep = []
        arr = (Variant * max(1, len(args)))(*[to_variant(a, keep) for a in args])
        out = Variant()
        rc = self.lib.SerloInvoke(self.handle, self._id(name), flags, arr, len(args),
                                  ctypes.byref(out))
        return rc & 0xFFFFFFFF, self._result(out)

    def get(self, name):
        rc, value = self.invoke(name, GET)
        assert rc == 0, (name, hex(rc))
        return value

    def put(self, name, value):
        rc, _ = self.invoke(name, PUT, value)
        return rc

    def call(self, name, *args):
        rc, value = self.invoke(name, METHOD, *args)
        assert rc == 0, (name, hex(rc))
        return value

    def pump_until(self, predicate, seconds=5.0):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.lib.SerloDoEvents(10)
            if predicate():
                return True
        return predicate()


class Simulator:
    def __init__(self, *args):
        self.proc = subprocess.Popen([SIM, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)
        first = self.proc.stdout.readline().strip()
        assert first.startswith(("PTY ", "TCP ")), first
        self.endpoint = first[4:]

    def stop(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class CtypesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="serlo-ctypes-")
        os.environ["XDG_CONFIG_HOME"] = os.path.join(cls.home, "config")
        os.environ["XDG_DATA_HOME"] = os.path.join(cls.home, "data")
        os.makedirs(os.path.join(cls.home, "config", "serlo"))
        cls.lib = load()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.home, ignore_errors=True)

    def test_defaults(self):
        c = Control(self.lib)
        try:
            expected = {"CommPort": 1, "BaudRate": 19200, "Settings": "N,8,1",
                        "VNetTimeout": 3000, "iAddress": "127.0.0.1", "iPort": 1001,
                        "RxQueue": 256, "TxQueue": 256, "EventMask": 1, "Handshaking": 0,
                        "RTSEnable": True, "DTREnable": True, "Break": False,
                        "PortOpen": False, "ExtPortOpen": False, "CommID": -1, "ExtPort": "",
                        "RxCount": 0, "TxSpace": 0, "CommError": 0, "CommEvent": 0,
                        "CTSHolding": False, "DSRHolding": False, "RLSDHolding": False,
                        "RINGHolding": False, "Busy": False, "LastPassword": "", "Text": "",
                        "Char": 0}
            for name, value in expected.items():
                self.assertEqual(c.get(name), value, name)
            self.assertEqual(c.put("RxCount", 5), 0x800A017F)
        finally:
            c.close()

    def test_pty_through_the_port_map(self):
        sim = Simulator("--pty", "--id", "7")
        c = Control(self.lib)
        try:
            with open(os.path.join(self.home, "config", "serlo", "ports.ini"), "w") as f:
                f.write("[SERIALCOMM]\r\n%s=COM5\r\n" % sim.endpoint)
            self.assertEqual(c.call("EnumCommPort", 0), "COM5")
            c.put("CommPort", 5)
            c.put("PortOpen", True)
            self.assertTrue(c.get("PortOpen"))
            c.put("Text", "\x02D07\r")
            self.assertTrue(c.pump_until(lambda: c.get("RxCount") >= 8))
            reply = c.get("Text")
            self.assertTrue(reply.startswith("\x02A07"), repr(reply))
            self.assertTrue(reply.endswith("\r"))
            self.assertIn(1, [e[0] for e in c.events])  # OnComm for the arriving bytes
            c.put("PortOpen", False)
            self.assertFalse(c.get("PortOpen"))
        finally:
            c.close()
            sim.stop()

    def test_device_server_by_tcp(self):
        address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 255),
                                    random.randint(2, 254))
        sim = Simulator("--tcp", address + ":0", "--id", "3", "--records", "25",
                        "--version", "V1.7", "--ext", "(JIS-II)")
        c = Control(self.lib)
        try:
            port = int(sim.endpoint.rsplit(":", 1)[1])
            c.put("iAddress", address)
            c.put("iPort", port if port < 32768 else port - 65536)
            c.put("CommPort", 0)
            c.put("PortOpen", True)
            self.assertTrue(c.get("PortOpen"))
            c.events.clear()
            self.assertTrue(c.call("Polling", 3).startswith("A03"))
            self.assertEqual(c.call("SendVNetCmd", "V", False, False), "AV1.7 (JIS-II)")
            self.assertEqual(c.call("GetRecordCount"), 25)
            for i in range(25):
                record = c.call("GetRecord", i)
                self.assertTrue(record.startswith("A%04X," % i), record)
            self.assertTrue(c.call("SetTime", 2003, 12, 31, 23, 59, 59, 4))
            self.assertTrue(c.call("GetTime").startswith("A20031231235"))
            self.assertTrue(c.call("SetRegister", 1, "0A"))
            self.assertEqual(c.call("GetRegister", 1), "A0A")
            monitor = [v for d, v in c.events if d == 3]
            self.assertIn([1, "\x02D03\r"], monitor)
            self.assertTrue(any(m[0] == 2 and m[1].startswith("A03") for m in monitor))
            # Refused without sending: an address above 255.
            c.events.clear()
            self.assertEqual(c.call("GetRegister", 300), "")
            self.assertEqual([d for d, _ in c.events], [3])
            self.assertEqual(c.events[0][1][0], 0)
        finally:
            c.close()
            sim.stop()


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
