#!/usr/bin/env python3
"""Demo: a simulated terminal on a pty, reached as COM5 through the port map, polled through the
link control's protocol methods. Prints the protocol monitor and the terminal's records."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "link", "tests"))
import test_ctypes as serlo  # noqa: E402

serlo.LIB, serlo.SIM = sys.argv[1], sys.argv[2]
lib = serlo.load()
sim = serlo.Simulator("--pty", "--id", "1", "--records", "5")
os.makedirs(os.path.join(os.environ["XDG_CONFIG_HOME"], "serlo"), exist_ok=True)
with open(os.path.join(os.environ["XDG_CONFIG_HOME"], "serlo", "ports.ini"), "w") as f:
    f.write("[SERIALCOMM]\r\n%s=COM5\r\n" % sim.endpoint)
ctrl = serlo.Control(lib)
try:
    ctrl.put("CommPort", 5)
    ctrl.put("PortOpen", True)
    print("COM5 ->", sim.endpoint, "open:", ctrl.get("PortOpen"))
    print("poll:", ctrl.call("Polling", 1))
    print("version:", ctrl.call("SendVNetCmd", "V", False, False))
    count = ctrl.call("GetRecordCount")
    print("records:", count)
    for i in range(count):
        print("  ", ctrl.call("GetRecord", i))
    print("monitor:")
    for dispid, (index, text) in [(d, v) for d, v in ctrl.events if d == 3]:
        print("   %s %r" % (("DRV:", "APP:", "DEV:")[index], text))
finally:
    ctrl.close()
    sim.stop()
