#!/usr/bin/env python3
"""A throwaway PostgreSQL cluster for the tests and the benchmark: Debian's postgresql, run by an
unprivileged account (the server refuses root), listening on 127.0.0.1 only, on a port of its own.

    line_db.py start STATE [--durable]   makes and starts a cluster, its facts in STATE (JSON)
    line_db.py halt STATE                stops the server, keeping its data
    line_db.py resume STATE              starts it again on the same port
    line_db.py stop STATE                stops it by its pid and removes everything

The tests' cluster does not sync to the disk (--durable does, for the benchmark): a test proves the
program's transactions, not the disk's.
"""

import glob
import json
import os
import pwd
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time


def server_bin():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"), key=lambda p: int(p.split("/")[4]))
    if not found:
        sys.exit("PostgreSQL is not installed (tools/ensure-packages.sh installs postgresql)")
    return os.path.dirname(found[-1])


def as_owner(state, *args):
    """Runs a server command as the cluster's owner: the postgres account when we are root."""
    command = list(args)
    if os.geteuid() == 0:
        command = ["runuser", "-u", state["owner"], "--"] + command
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def postmaster_pid(state):
    with open(os.path.join(state["dir"], "data", "postmaster.pid")) as f:
        return int(f.readline())


def run_server(state):
    options = "-p %d -k %s -c listen_addresses=127.0.0.1" % (state["port"], state["dir"])
    p = as_owner(state, os.path.join(state["bin"], "pg_ctl"), "-D", os.path.join(state["dir"], "data"), "-w",
                 "-l", os.path.join(state["dir"], "server.log"), "-o", options, "start")
    if p.returncode != 0:
        sys.exit("pg_ctl start failed: %s%s" % (p.stdout, p.stderr))
    state["pid"] = postmaster_pid(state)


def wait_gone(pid, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.05)
    return False


def halt(state):
    # SIGINT: the server's fast shutdown (clients cut off, no wait for them).
    try:
        os.kill(state["pid"], signal.SIGINT)
    except ProcessLookupError:
        return
    if not wait_gone(state["pid"], 30):
        os.kill(state["pid"], signal.SIGKILL)
        wait_gone(state["pid"], 10)


def save(path, state):
    with open(path + ".new", "w") as f:
        json.dump(state, f)
    os.replace(path + ".new", path)


def load(path):
    with open(path) as f:
        return json.load(f)


def start(path, durable):
    root = tempfile.mkdtemp(prefix="bravelle-line-db-")
    owner = "postgres" if os.geteuid() == 0 else pwd.getpwuid(os.geteuid()).pw_name
    state = {"dir": root, "owner": owner, "bin": server_bin(), "port": free_port(), "user": "postgres",
             "password": "line-" + secrets.token_hex(8)}
    os.chmod(root, 0o700)
    with open(os.path.join(root, "password"), "w") as f:
        f.write(state["password"] + "\n")
    if os.geteuid() == 0:
        shutil.chown(root, owner)
        shutil.chown(os.path.join(root, "password"), owner)
    p = as_owner(state, os.path.join(state["bin"], "initdb"), "-D", os.path.join(root, "data"), "-U", "postgres",
                 "-A", "scram-sha-256", "--pwfile", os.path.join(root, "password"), "-E", "UTF8",
                 "--locale", "C", "--no-sync")
    if p.returncode != 0:
        sys.exit("initdb failed: %s%s" % (p.stdout, p.stderr))
    if not durable:
        with open(os.path.join(root, "data", "postgresql.conf"), "a") as f:
            f.write("fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n")
    run_server(state)
    save(path, state)
    print("PostgreSQL on 127.0.0.1:%d (pid %d) in %s" % (state["port"], state["pid"], root))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    command, path = sys.argv[1], sys.argv[2]
    if command == "start":
        if os.path.exists(path):
            # A cluster a run before left (the run was killed): ended first.
            old = load(path)
            halt(old)
            shutil.rmtree(old["dir"], ignore_errors=True)
        start(path, "--durable" in sys.argv)
    elif command == "halt":
        halt(load(path))
    elif command == "resume":
        state = load(path)
        run_server(state)
        save(path, state)
    elif command == "stop":
        if not os.path.exists(path):
            return
        state = load(path)
        halt(state)
        shutil.rmtree(state["dir"], ignore_errors=True)
        os.remove(path)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
