"""bravelle-cli.exe under Wine: the port list from the real registry, and a reading through the port auto chooses."""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PORTS = [("\\Device\\Serial0", "COM1"), ("\\Device\\Silabser0", "COM5"), ("\\Device\\VCP0", "COM3")]


def cli_exe():
    exe = harness.find_windows_file("BRAVELLE_CLI_EXE", "bravelle-cli.exe")
    if exe is None:
        raise unittest.SkipTest("bravelle-cli.exe is not built (BRAVELLE_WIN64_DIR)")
    return exe


def run(session, *args):
    p = session.wine(cli_exe(), *args, timeout=90)
    # The console's line ends are CR LF.
    return p.returncode, p.stdout.decode("utf-8").replace("\r\n", "\n"), p.stderr.decode("utf-8", "replace")


class CliUnderWine(unittest.TestCase):
    def test_read_json_through_the_silabser_port_that_auto_chooses(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm(PORTS)
            unit = s.start_unit(5, "--serial", "305419896")
            code, out, err = run(s, "read", "--json")
            transcript = unit.transcript()
        self.assertEqual(code, 0, err)
        record = json.loads(out)
        record.pop("time")
        elapsed = record.pop("elapsed_ms")
        self.assertEqual(record, {"outcome": "ok", "port": "COM5", "type": "P04", "serial": 305419896,
                                  "serial_text": "0305419896", "circuit": 5, "software": "1.12", "status": 0})
        self.assertGreaterEqual(elapsed, 1200)
        # The unit was released once, by the close of the port, and the reading ends there.
        wire = [b" ".join(line.split()[1:3]) for line in transcript.splitlines() if line.strip()]
        self.assertEqual(wire.count(b"H>U 04"), 1)
        self.assertEqual(wire[-2:], [b"H>U 04", b"U>H 84"])

    def test_ports_and_the_language_of_the_settings_file(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm(PORTS)
            code, out, err = run(s, "ports", "--json")
            self.assertEqual(code, 0, err)
            self.assertEqual(json.loads(out), [
                {"port": "COM1", "driver": "\\Device\\Serial0", "preferred": False, "selected": False},
                {"port": "COM3", "driver": "\\Device\\VCP0", "preferred": False, "selected": False},
                {"port": "COM5", "driver": "\\Device\\Silabser0", "preferred": True, "selected": True},
            ])
            s.set_serialcomm([("\\Device\\Serial0", "COM1"), ("\\Device\\VCP0", "COM3")])
            code, out, err = run(s, "ports")
            self.assertEqual(out.splitlines(), ["  COM1  \\Device\\Serial0", "  COM3  \\Device\\VCP0",
                                                "auto: none (several ports, none preferred; give --port)"])
            # Without --lang the messages follow the language the program keeps.
            s.seed_settings(b"Langue=1;\n\r")
            code, out, err = run(s, "read", "--wait", "0")
            self.assertEqual(code, 4)
            self.assertIn("Several ports and none of them the CP210x cable's", err)
            s.seed_settings(b"Langue=0;\n\r")
            code, out, err = run(s, "read", "--port", "COM9", "--wait", "0")
            self.assertEqual(code, 4)
            self.assertIn("Le port COM9 est inutilisable", err)


if __name__ == "__main__":
    harness.main()
