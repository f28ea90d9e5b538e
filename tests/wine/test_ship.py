"""bravelle-cli.exe ship under Wine, into the line's throwaway PostgreSQL: Wine's odbc32 forwards to the
host's unixODBC and its PostgreSQL driver, as a plant's odbc32.dll does to the driver IT installed."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

STATE = os.environ.get("BRAVELLE_LINE_DB", "")


class ShipUnderWine(unittest.TestCase):
    def test_ship_once_into_the_line_database(self):
        exe = harness.find_windows_file("BRAVELLE_CLI_EXE", "bravelle-cli.exe")
        if exe is None or not STATE or not os.path.exists(STATE):
            raise unittest.SkipTest("bravelle-cli.exe and the line's database (BRAVELLE_LINE_DB) are needed")
        with open(STATE) as f:
            db = json.load(f)
        to = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%d;Database=postgres;Uid=%s" % (db["port"], db["user"])
        # A UTF-8 system, as test_cli's: the journal's name and the station outside code page 1252's letters.
        env = dict(harness.locale_env("en_US.UTF-8"), BRAVELLE_DB_PASSWORD=db["password"], BRAVELLE_STATION="Poste-é")
        with harness.WineSession(self, env=env) as s:
            log = os.path.join(s.run_dir, "Дмитрий.jsonl")
            # The journal as bravelle-cli.exe itself writes it: a port that is not there.
            read = s.wine(exe, "read", "--port", "COM9", "--log", harness.to_windows_path(log), "--lang", "en",
                          timeout=90)
            p = s.wine(exe, "ship", "--once", "--to", to, "--table", "wine", harness.to_windows_path(log),
                       "--lang", "en", timeout=90)
            again = s.wine(exe, "ship", "--once", "--to", to, "--table", "wine", harness.to_windows_path(log),
                           "--lang", "en", timeout=90)
            self.assertEqual(read.returncode, 4, read.stderr)
            with open(log, encoding="utf-8") as f:
                record = json.loads(f.read())
        self.assertEqual((p.returncode, p.stdout), (0, b"1 record(s) inserted, 0 already in the table\r\n"), p.stderr)
        self.assertEqual(again.stdout, b"0 record(s) inserted, 0 already in the table\r\n", again.stderr)
        rows = subprocess.run(["psql", "-h", "127.0.0.1", "-p", str(db["port"]), "-U", db["user"], "-d", "postgres",
                               "-AtX", "-c", "SELECT id, station, port, program FROM wine"],
                              env=dict(os.environ, PGPASSWORD=db["password"]), capture_output=True, text=True)
        self.assertEqual(rows.stdout.strip(), "%s|Poste-é|COM9|bravelle-cli 1.0.1.10" % record["id"], rows.stderr)
        self.assertNotIn(db["password"].encode(), p.stdout + p.stderr)


if __name__ == "__main__":
    harness.main()
