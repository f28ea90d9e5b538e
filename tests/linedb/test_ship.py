"""bravelle-cli ship into a real PostgreSQL (the throwaway cluster of line_db.py, shared with the Wine
test), and records over journals of two stations: one table of scenarios, each on a table of its own.

Run by CTest with BRAVELLE_CLI and BRAVELLE_LINE_DB (the cluster's state file) in the environment.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

CLI = os.environ.get("BRAVELLE_CLI", "")
STATE = os.environ.get("BRAVELLE_LINE_DB", "")
LINE_DB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "line_db.py")


def db():
    with open(STATE) as f:
        return json.load(f)


def connection(**more):
    d = db()
    text = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%d;Database=postgres;Uid=%s" % (d["port"], d["user"])
    return text + "".join(";%s=%s" % kv for kv in more.items())


def sql(query):
    d = db()
    p = subprocess.run(["psql", "-h", "127.0.0.1", "-p", str(d["port"]), "-U", d["user"], "-d", "postgres", "-AtX",
                        "-c", query], env=dict(os.environ, PGPASSWORD=d["password"]), capture_output=True, text=True,
                       timeout=30)
    if p.returncode != 0:
        raise AssertionError(p.stderr)
    return p.stdout.strip()


def cli_env(**extra):
    env = dict(os.environ, LANG="C", BRAVELLE_DB_PASSWORD=db()["password"], BRAVELLE_STATION="PC-A",
               ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=1",
               LSAN_OPTIONS="print_suppressions=0:suppressions="
               + os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp"))
    env.pop("LC_ALL", None)
    env.update(extra)
    return env


def run_cli(*args, **env):
    p = subprocess.run([CLI] + list(args), env=cli_env(**env), capture_output=True, timeout=120)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def ship(table, *files, **env):
    return run_cli("ship", "--once", "--to", connection(), "--table", table, *files, **env)


def record_line(serial, station="PC-A", at_ms=1765305005123, fixture="left"):
    """A schema 3 record as watch appends it."""
    r = os.urandom(10)
    ident = uuid.UUID(bytes=at_ms.to_bytes(6, "big") + bytes([0x70 | r[0] & 15, r[1], 0x80 | r[2] & 63]) + r[3:])
    stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(at_ms // 1000)) + ".%03dZ" % (at_ms % 1000)
    return ('{"schema":3,"id":"%s","outcome":"ok","station":"%s","fixture":"%s","port":"/dev/ttyUSB0",'
            '"type":"P04","serial":%d,"serial_text":"%010d","circuit":5,"software":"1.12","status":0,'
            '"elapsed_ms":1223,"time":"%s","program":"bravelle-cli 1.0.1.10"}\n'
            % (ident, station, fixture, serial, serial, stamp))


def wait_for(check, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return time.monotonic()
        time.sleep(0.05)
    raise AssertionError("no %s within %d s" % (what, seconds))


def count(table):
    return int(sql('SELECT count(*) FROM "%s"' % table))


class Ship(unittest.TestCase):
    def setUp(self):
        if not CLI or not STATE:
            self.skipTest("BRAVELLE_CLI and BRAVELLE_LINE_DB are needed")
        self.dir = tempfile.mkdtemp(prefix="bravelle-ship-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def journal(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "a") as f:
            f.write(text)
        return path

    def once_then_again(self):
        """A journal the real read wrote, with a schema 2 record and a power cut's tail: shipped once,
        again, and again without its cursor: each record in the table once."""
        log = os.path.join(self.dir, "bench.jsonl")
        self.assertEqual(run_cli("read", "--port", os.path.join(self.dir, "none"), "--log", log)[0], 4)
        self.journal("bench.jsonl", '{"schema":2,"outcome":"ok","port":"/dev/ttyUSB1","serial":12}\n{"schema":3,"outc')
        self.assertEqual(run_cli("read", "--port", os.path.join(self.dir, "none"), "--log", log,
                                 "--station", "Banc é")[0], 4)
        with open(log, encoding="utf-8") as f:
            lines = f.read().splitlines()
        code, out, err = ship("once", log)
        self.assertEqual((code, out), (0, "3 record(s) inserted, 0 already in the table\n"), err)
        self.assertEqual(err, "bravelle-cli: %s, byte %d: not a whole record (cut short by a power cut?), skipped.\n"
                         % (log, len(lines[0]) + len(lines[1]) + 2))
        first = json.loads(lines[0])
        self.assertEqual(sql('SELECT "schema", station, outcome, error, port, status, "time", "repeat", program '
                             'FROM once WHERE id = \'%s\'' % first["id"]),
                         "3|PC-A|port-error|port-missing|%s|2|%s|0|bravelle-cli 1.0.1.10"
                         % (first["port"], first["time"]))
        self.assertEqual(sql("SELECT station FROM once WHERE serial = 12"), "PC-A", "an old record: the shipping station")
        self.assertEqual(sql("SELECT station FROM once WHERE id = '%s'" % json.loads(lines[3])["id"]), "Banc é")
        self.assertEqual(ship("once", log)[1], "0 record(s) inserted, 0 already in the table\n", "the cursor")
        os.remove(log + ".ship-cursor")
        self.assertEqual(ship("once", log)[1], "0 record(s) inserted, 3 already in the table\n")
        self.assertEqual(count("once"), 3)

    def killed_during_a_backlog(self):
        """kill -9 in the middle of 20,000 records, then again: each record exactly once."""
        log = self.journal("backlog.jsonl", "".join(record_line(n, at_ms=1765305005123 + n) for n in range(20000)))
        sql('CREATE TABLE backlog AS SELECT * FROM once WHERE 1 = 0')
        sql('ALTER TABLE backlog ADD PRIMARY KEY (id)')
        p = subprocess.Popen([CLI, "ship", "--once", "--to", connection(), "--table", "backlog", log], env=cli_env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_for(lambda: count("backlog") > 0 or p.poll() is not None, 60, "first batch")
        p.kill()
        p.communicate()
        at_kill = count("backlog")
        code, out, err = ship("backlog", log)
        self.assertEqual(code, 0, err)
        self.assertEqual(out, "%d record(s) inserted, %d already in the table\n"
                         % (20000 - at_kill, int(re.match(r"\d+ record\(s\) inserted, (\d+)", out).group(1))))
        self.assertEqual(sql("SELECT count(*), count(DISTINCT id), min(serial), max(serial) FROM backlog"),
                         "20000|20000|0|19999")
        print("killed with %d of 20000 in the table" % at_kill)

    def server_stopped_while_following(self):
        """Following: a record within 2 s; the server stopped, said once; started: the records arrive;
        a rotated journal finished before its successor."""
        log = self.journal("follow.jsonl", record_line(1))
        p = subprocess.Popen([CLI, "ship", "--to", connection(), "--table", "follow", log], env=cli_env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            wait_for(lambda: self.table_count("follow") == 1, 30, "the first record")
            appended = time.monotonic()
            self.journal("follow.jsonl", record_line(2))
            self.assertLess(wait_for(lambda: count("follow") == 2, 10, "a record followed") - appended, 2.5)
            subprocess.run([sys.executable, LINE_DB, "halt", STATE], check=True, timeout=60)
            try:
                self.journal("follow.jsonl", record_line(3) + record_line(4))
                said = p.stderr.readline().decode()
                self.assertIn("the database cannot be reached", said)
            finally:
                subprocess.run([sys.executable, LINE_DB, "resume", STATE], check=True, timeout=60)
            wait_for(lambda: count("follow") == 4, 70, "the records after the restart")
            # Rotated: the old file's last record goes in before the new file's first.
            os.rename(log, log + ".1")
            self.journal("follow.jsonl.1", record_line(5))
            self.journal("follow.jsonl", record_line(6))
            wait_for(lambda: count("follow") == 6, 10, "the rotated journal and its successor")
            self.assertEqual(sql("SELECT serial FROM follow WHERE serial >= 5 ORDER BY xmin::text::bigint"), "5\n6")
        finally:
            p.send_signal(signal.SIGTERM)
            out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 0, err)
        self.assertEqual(err.decode(), "bravelle-cli: the database is reached again.\n", "said once")

    def table_count(self, table):
        try:
            return count(table)
        except AssertionError:
            return -1

    def table_of_another_shape(self):
        sql('CREATE TABLE shaped (id VARCHAR(36) PRIMARY KEY, serial TEXT)')
        code, out, err = ship("shaped", self.journal("shaped.jsonl", record_line(7)))
        self.assertEqual((code, out), (65, ""))
        self.assertEqual(err, 'bravelle-cli: the table shaped is not of the records\' shape (column "serial" is of '
                              'another type); nothing was inserted.\n')
        self.assertEqual(count("shaped"), 0)

    def wrong_credentials(self):
        secret = "not-the-password-" + os.urandom(4).hex()
        code, out, err = ship("refused", self.journal("refused.jsonl", record_line(8)), BRAVELLE_DB_PASSWORD=secret)
        self.assertEqual(code, 77, err)
        self.assertIn('password authentication failed for user "postgres"', err)
        self.assertNotIn(secret, out + err)
        code, out, err = run_cli("ship", "--to", connection(PWD=secret), "x.jsonl")
        self.assertEqual(code, 64)
        self.assertNotIn(secret, out + err)

    def records_of_two_stations(self):
        """Journals copied together: one unit read at two stations, in time order across them."""
        a = self.journal("a.jsonl", record_line(5, "PC-A", 1000) + record_line(9, "PC-A", 3000)
                         + record_line(5, "PC-A", 2500, "right") + '{"schema":3,"outc\n')
        b = self.journal("b.jsonl", record_line(5, "PC-B", 2000) + record_line(5, "PC-B", 4000))
        code, out, err = run_cli("records", "--serial", "5", a, b)
        self.assertEqual(code, 0, err)
        self.assertEqual([line.split("  ")[:3] for line in out.splitlines()],
                         [["1970-01-01T00:00:01.000Z", "PC-A", "left"], ["1970-01-01T00:00:02.000Z", "PC-B", "left"],
                          ["1970-01-01T00:00:02.500Z", "PC-A", "right"], ["1970-01-01T00:00:04.000Z", "PC-B", "left"]])
        code, out, err = run_cli("records", "--station", "PC-B", "--since", "1970-01-01T00:00:03", "--csv", a, b)
        self.assertEqual(out.split("\r\n")[1].split(",")[5:8], ["PC-B", "left", "/dev/ttyUSB0"])
        self.assertEqual(len(out.split("\r\n")), 3, out)

    def test_scenarios(self):
        for scenario in (self.once_then_again, self.killed_during_a_backlog, self.server_stopped_while_following,
                         self.table_of_another_shape, self.wrong_credentials, self.records_of_two_stations):
            with self.subTest(scenario.__name__):
                scenario()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
