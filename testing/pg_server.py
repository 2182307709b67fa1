#!/usr/bin/env python3
"""Runs a command against a private PostgreSQL server that lives only as long as the command.

The server is Debian's postgresql: initdb into a temporary folder, pg_ctl with its Unix socket in
that folder and no TCP listener. PostgreSQL refuses to run as root, so under root the server runs
as an unprivileged user (postgres, else nobody). It is stopped when the command ends, also when
the command fails or this script is interrupted.

Usage: pg_server.py [--keep] -- COMMAND [ARGS...]

The command finds the server through the environment:
  PX_PG_SOCKET   the socket folder
  PX_PG_USER     a superuser role (px), with trust authentication
  PX_PG_DB       an empty database made for the command (px_test)
  PX_PG_URL      postgresql://px@<socket folder>/px_test
  PX_PG_CONTROL  a script that takes "stop" or "start", for tests that take the server away
"""

import glob
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.parse


def pg_bin(name):
    candidates = sorted(glob.glob("/usr/lib/postgresql/*/bin/" + name),
                        key=lambda p: int(p.split("/")[4]) if p.split("/")[4].isdigit() else 0)
    if candidates:
        return candidates[-1]
    found = shutil.which(name)
    if not found:
        sys.exit("pg_server.py: %s not found (install Debian's postgresql)" % name)
    return found


def server_user():
    """Who runs the server: this user, or an unprivileged one when this is root."""
    if os.geteuid() != 0:
        return None
    for name in ("postgres", "nobody"):
        try:
            return pwd.getpwnam(name)
        except KeyError:
            continue
    sys.exit("pg_server.py: running as root and no unprivileged user to run PostgreSQL")


def as_server(user, argv):
    if user is None:
        return argv
    return ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups",
            "--"] + argv


def main():
    args = sys.argv[1:]
    keep = False
    if args[:1] == ["--keep"]:
        keep = True
        args = args[1:]
    if args[:1] != ["--"] or len(args) < 2:
        sys.exit(__doc__)
    command = args[1:]

    user = server_user()
    root = tempfile.mkdtemp(prefix="px-pg-")
    data = os.path.join(root, "data")
    sock = os.path.join(root, "sock")
    log = os.path.join(root, "server.log")
    os.mkdir(sock)
    if user is not None:
        for path in (root, sock):
            os.chown(path, user.pw_uid, user.pw_gid)
    env = dict(os.environ, LC_ALL="C.UTF-8")

    subprocess.run(as_server(user, [pg_bin("initdb"), "-D", data, "-U", "px", "--auth=trust",
                                    "-E", "UTF8", "--no-locale"]),
                   check=True, env=env, stdout=subprocess.DEVNULL)
    options = "-k %s -c listen_addresses='' -c max_connections=60" % sock
    pg_ctl = [pg_bin("pg_ctl"), "-D", data, "-l", log, "-w", "-t", "60"]
    control = os.path.join(root, "control.sh")
    with open(control, "w") as f:
        f.write("#!/bin/sh\n# stop | start: the private server, as the user that runs it\n"
                "case \"$1\" in\n"
                "stop) exec %s stop -m fast ;;\n"
                "start) exec %s start -o \"%s\" ;;\n"
                "*) echo \"usage: $0 stop|start\" >&2; exit 2 ;;\n"
                "esac\n" % (" ".join(as_server(user, pg_ctl)), " ".join(as_server(user, pg_ctl)),
                            options))
    os.chmod(control, 0o755)

    def stop(*_):
        subprocess.run(as_server(user, pg_ctl + ["stop", "-m", "immediate"]), env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not keep:
            shutil.rmtree(root, ignore_errors=True)
        else:
            sys.stderr.write("pg_server.py: files kept in %s\n" % root)

    status = 1
    child = None

    def interrupted(signum, _frame):
        if child and child.poll() is None:
            child.send_signal(signum)
        raise KeyboardInterrupt

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, interrupted)
    try:
        subprocess.run(as_server(user, pg_ctl + ["start", "-o", options]), check=True, env=env,
                       stdout=subprocess.DEVNULL)
        subprocess.run([pg_bin("createdb"), "-h", sock, "-U", "px", "px_test"], check=True, env=env)
        env.update(PX_PG_SOCKET=sock, PX_PG_USER="px", PX_PG_DB="px_test", PX_PG_CONTROL=control,
                   PX_PG_URL="postgresql://px@%s/px_test" % urllib.parse.quote(sock, safe=""))
        child = subprocess.Popen(command, env=env)
        status = child.wait()
    except KeyboardInterrupt:
        status = 130
    except subprocess.CalledProcessError as e:
        sys.stderr.write("pg_server.py: %s\n" % e)
        if os.path.exists(log):
            sys.stderr.write(open(log, encoding="utf-8", errors="replace").read())
    finally:
        stop()
    return status


if __name__ == "__main__":
    sys.exit(main())
