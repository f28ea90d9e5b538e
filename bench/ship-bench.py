#!/usr/bin/env python3
"""bravelle-cli ship against a throwaway PostgreSQL that syncs to the disk (tests/linedb/line_db.py
--durable): a backlog shipped in records per second (goal at least 5,000/s), the same backlog again
without its cursor (every record already there), the follow latency from an append to the row being
visible (goal under 2 s), and a reading's time while ship retries against a stopped server beside a
reading with no ship at all (the network is never in a reading's path: goal within 5%).

    bench/ship-bench.py BUILD_DIR [RECORDS [ROUNDS]]

BUILD_DIR is a native tree with bravelle-cli, simunit and the pty shim built (-DBRAVELLE_SANITIZE=OFF
for honest figures).
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LINE_DB = os.path.join(HERE, "..", "tests", "linedb", "line_db.py")
sys.path.insert(0, os.path.dirname(LINE_DB))
from test_ship import record_line  # noqa: E402  the records as watch appends them, as the tests make them


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    cli = os.path.join(build, "cli", "bravelle-cli")
    simunit = os.path.join(build, "tools", "simunit", "simunit")
    ptyshim = os.path.join(build, "tests", "ptyshim", "libptyshim.so")
    work = tempfile.mkdtemp(prefix="bravelle-ship-bench-")
    state = os.path.join(work, "cluster.json")
    subprocess.run([sys.executable, LINE_DB, "start", state, "--durable"], check=True, stdout=subprocess.DEVNULL)
    try:
        with open(state) as f:
            db = json.load(f)
        to = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%d;Database=postgres;Uid=%s" % (db["port"], db["user"])
        env = dict(os.environ, BRAVELLE_DB_PASSWORD=db["password"], LANG="C")

        def psql(query):
            return subprocess.run(["psql", "-h", "127.0.0.1", "-p", str(db["port"]), "-U", db["user"], "-d",
                                   "postgres", "-AtX", "-c", query], env=dict(os.environ, PGPASSWORD=db["password"]),
                                  capture_output=True, text=True).stdout.strip()

        journal = os.path.join(work, "backlog.jsonl")
        with open(journal, "w") as f:
            for n in range(records):
                f.write(record_line(n, "PC-%d" % (n % 3), 1765305005123 + n * 1000))
        size = os.path.getsize(journal)
        start = time.monotonic()
        p = subprocess.run([cli, "ship", "--once", "--to", to, journal], env=env, capture_output=True, text=True)
        first = time.monotonic() - start
        os.remove(journal + ".ship-cursor")
        start = time.monotonic()
        q = subprocess.run([cli, "ship", "--once", "--to", to, journal], env=env, capture_output=True, text=True)
        again = time.monotonic() - start
        print("backlog: %d records (%.1f MB of journal)" % (records, size / 1e6))
        print("  shipped:                 %6.2f s  %8.0f records/s  (goal >= 5000/s)  %s"
              % (first, records / first, p.stdout.strip() or p.stderr.strip()))
        print("  again, without a cursor: %6.2f s  %8.0f records/s  %s"
              % (again, records / again, q.stdout.strip() or q.stderr.strip()))

        # The follow latency: an append, then the row seen by another connection.
        follow = os.path.join(work, "follow.jsonl")
        open(follow, "w").close()
        shipper = subprocess.Popen([cli, "ship", "--to", to, follow], env=env, stderr=subprocess.DEVNULL)
        latencies = []
        try:
            for n in range(rounds):
                serial = 900000000 + n
                with open(follow, "a") as f:
                    f.write(record_line(serial, "PC-%d" % (serial % 3), int(time.time() * 1000)))
                appended = time.monotonic()
                while psql("SELECT count(*) FROM bravelle_readings WHERE serial = %d" % serial) != "1":
                    time.sleep(0.01)
                latencies.append(time.monotonic() - appended)
        finally:
            shipper.send_signal(signal.SIGTERM)
            shipper.wait()
        print("follow: append to row visible, %d records: median %.3f s, longest %.3f s (goal < 2 s)"
              % (rounds, statistics.median(latencies), max(latencies)))

        # A reading beside ship retrying against a stopped server, and with no ship at all.
        subprocess.run([sys.executable, LINE_DB, "halt", state], check=True)
        readings = os.path.join(work, "readings.jsonl")
        plain, beside = [], []
        shipper = subprocess.Popen([cli, "ship", "--to", to, readings], env=env, stderr=subprocess.DEVNULL)
        try:
            for n in range(rounds):
                for kind in ("plain", "beside"):
                    if kind == "plain":
                        shipper.send_signal(signal.SIGSTOP)
                    wall = read_once(cli, simunit, ptyshim, work, readings)
                    if kind == "plain":
                        shipper.send_signal(signal.SIGCONT)
                    (plain if kind == "plain" else beside).append(wall)
        finally:
            shipper.send_signal(signal.SIGCONT)
            shipper.send_signal(signal.SIGTERM)
            shipper.wait()
        a, b = statistics.median(plain), statistics.median(beside)
        print("read --log, %d rounds interleaved: no ship %.3f s, ship retrying a stopped server %.3f s, "
              "ratio %.3f (goal <= 1.05)" % (rounds, a, b, b / a))
    finally:
        subprocess.run([sys.executable, LINE_DB, "stop", state])
        shutil.rmtree(work, ignore_errors=True)


def read_once(cli, simunit, ptyshim, work, log):
    """One `bravelle-cli read --log` against the simulated unit on a pty: its wall time."""
    link = os.path.join(work, "port")
    ready = os.path.join(work, "unit.ready")
    for p in (link, ready):
        if os.path.lexists(p):
            os.remove(p)
    unit = subprocess.Popen([simunit, "--link", link, "--ready-file", ready], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        while not os.path.exists(ready):
            time.sleep(0.01)
        start = time.monotonic()
        p = subprocess.run([cli, "read", "--port", link, "--log", log],
                           env=dict(os.environ, LD_PRELOAD=ptyshim, BRAVELLE_LOCK_DIR=work), capture_output=True)
        wall = time.monotonic() - start
        if p.returncode != 0:
            raise SystemExit("read failed: %s" % p.stderr.decode())
        return wall
    finally:
        unit.terminate()
        unit.wait()


if __name__ == "__main__":
    main()
