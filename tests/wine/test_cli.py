"""bravelle-cli.exe under Wine: the port list from the real registry, and a reading through the port auto chooses."""

import json
import os
import signal
import subprocess
import sys
import time
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
        # A UTF-8 system whose Windows code page is 1252, as a Western PC's.
        with harness.WineSession(self, env=harness.locale_env("en_US.UTF-8")) as s:
            s.set_serialcomm(PORTS)
            unit = s.start_unit(5, "--serial", "305419896")
            # A name outside the ANSI code page (1252 here), for the log and in a message.
            log = os.path.join(s.run_dir, "Дмитрий.jsonl")
            # A month of another fixture's records: enough for the log's index (FILE.idx) to be written.
            history = '{"schema":2,"outcome":"ok","port":"COM9","serial":%d,"time":"2026-11-01T08:00:00.000Z"}\n'
            with open(log, "w") as f:
                f.write("".join(history % i for i in range(3000)))
            table = os.path.join(s.run_dir, "Дмитрий.csv")
            hook = os.path.join(s.run_dir, "hook.txt")
            # The hook through cmd, the record on its standard input; the CSV file under LockFileEx.
            code, out, err = run(s, "read", "--json", "--log", harness.to_windows_path(log), "--csv",
                                 harness.to_windows_path(table), "--csv-separator", ";",
                                 "--exec", 'more > "%s"' % harness.to_windows_path(hook))
            transcript = unit.transcript()
            with open(table, "rb") as f:
                rows = f.read().split(b"\r\n")
            with open(hook, "rb") as f:
                hooked = json.loads(f.read())
            missing = harness.to_windows_path(os.path.join(s.run_dir, "нет", "Дмитрий.jsonl"))
            refused = run(s, "read", "--log", missing, "--lang", "en")
            # One file under two spellings, made or not: refused before anything is opened for writing.
            folder = harness.to_windows_path(s.run_dir)
            twice = [run(s, "read", "--log", harness.to_windows_path(log), "--trace", folder + "\\.\\Дмитрий.jsonl",
                         "--lang", "en"),
                     run(s, "read", "--log", folder + "\\new.jsonl", "--csv", folder + "\\NEW.JSONL", "--lang", "en")]
            index = os.stat(log + ".idx").st_ino
            # The same port typed in another spelling: the same port, so the unit is read before.
            again = run(s, "read", "--json", "--port", "\\\\.\\com5", "--log", harness.to_windows_path(log))
            kept = os.stat(log + ".idx").st_ino == index
            with open(log) as f:
                logged, relogged = [json.loads(line) for line in f.read().splitlines()[3000:]]
        self.assertEqual(code, 0, err)
        record = json.loads(out)
        record.pop("time")
        elapsed = record.pop("elapsed_ms")
        # Schema 3's fields from the Windows backend: RtlGenRandom's bytes, the computer's DNS host name.
        self.assertRegex(record.pop("id"), r"^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
        self.assertTrue(record.pop("station"))
        self.assertEqual(record.pop("program"), "bravelle-cli 1.0.1.10")
        self.assertEqual(record, {"schema": 3, "outcome": "ok", "port": "COM5", "type": "P04", "serial": 305419896,
                                  "serial_text": "0305419896", "circuit": 5, "software": "1.12", "status": 0})
        self.assertGreaterEqual(elapsed, 1200)
        # The unit was released once, by the close of the port, and the reading ends there.
        wire = [b" ".join(line.split()[1:3]) for line in transcript.splitlines() if line.strip()]
        self.assertEqual(wire.count(b"H>U 04"), 1)
        self.assertEqual(wire[-2:], [b"H>U 04", b"U>H 84"])
        self.assertEqual(logged["serial"], 305419896)
        self.assertTrue(rows[0].startswith(b"\xef\xbb\xbfschema;id;outcome;"), rows[0])
        self.assertEqual(rows[1].split(b";")[0:3:2], [b"3", b"ok"])
        self.assertEqual(hooked, logged)
        self.assertEqual(again[0], 0, again[2])
        self.assertEqual((relogged["port"], relogged.get("repeat")), ("COM5", True))
        self.assertTrue(kept, "the log's index written beside it, and taken as it is by the next reading")
        for code_, _, said in twice:
            self.assertEqual(code_, 64, said)
            self.assertIn("are one file", said)
        self.assertEqual(refused[0], 73, refused[2])
        self.assertIn("cannot create " + missing + ":", refused[2])

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
            # Without a settings file the program speaks French.
            self.assertEqual(out.splitlines(), ["  COM1  \\Device\\Serial0", "  COM3  \\Device\\VCP0",
                                                "auto : aucun (plusieurs ports, aucun préféré ; donnez --port)"])
            # Without --lang the messages follow the language the program keeps.
            s.seed_settings(b"Langue=1;\n\r")
            code, out, err = run(s, "read", "--wait", "0")
            self.assertEqual(code, 4)
            self.assertIn("Several ports and none of them the CP210x cable's", err)
            s.seed_settings(b"Langue=0;\n\r")
            code, out, err = run(s, "read", "--port", "COM9", "--wait", "0")
            self.assertEqual(code, 4)
            self.assertIn("Le port COM9 est inutilisable", err)


    def test_usb_identity_from_the_device_tree(self):
        enum = "SYSTEM\\CurrentControlSet\\Enum\\USB\\"
        with harness.WineSession(self) as s:
            s.set_serialcomm(PORTS + [("\\Device\\VCP1", "COM6")])
            # A CP2102 with its serial number, and the second port of a two-port FTDI adapter, whose
            # serial number is its parent device's: the one whose ParentIdPrefix begins its instance.
            s.reg_set(enum + "VID_10C4&PID_EA60\\0001\\Device Parameters", "PortName", "COM5")
            s.reg_set(enum + "VID_0403&PID_6010\\FT4XYZ", "ParentIdPrefix", "7&1a2b3c4d&0")
            s.reg_set(enum + "VID_0403&PID_6010&MI_01\\7&1a2b3c4d&0&0001\\Device Parameters", "PortName", "COM6")
            s.start_unit(5, "--serial", "555")
            s.start_unit(6, "--serial", "666")
            code, out, err = run(s, "ports", "--json")
            ports = {p["port"]: p for p in json.loads(out)}
            self.assertEqual([ports["COM5"].get(k) for k in ("vid", "pid", "serial_number", "interface")],
                             ["10c4", "ea60", "0001", None])
            self.assertEqual([ports["COM6"].get(k) for k in ("vid", "pid", "serial_number", "interface")],
                             ["0403", "6010", "FT4XYZ", "01"])
            got = {}
            for form in ("usb:0403:6010:FT4XYZ:if01", "usb:10c4:ea60:0001"):
                code, out, err = run(s, "read", "--json", "--wait", "5", "--port", form)
                self.assertEqual(code, 0, form + ": " + err)
                got[form] = (json.loads(out)["port"], json.loads(out)["serial"])
            code, out, err = run(s, "read", "--json", "--wait", "0", "--port", "usb:0403:6010:FT4XYZ:if00")
            self.assertEqual((code, json.loads(out)["error"]), (4, "port-missing"), err)
        self.assertEqual(got, {"usb:0403:6010:FT4XYZ:if01": ("COM6", 666), "usb:10c4:ea60:0001": ("COM5", 555)})


def start_watch(session, *args):
    return subprocess.Popen(["wine", cli_exe(), "watch"] + list(args) + ["--lang", "en"], env=session.env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            start_new_session=True)


def records(log):
    try:
        with open(log) as f:
            return [json.loads(line) for line in f.read().splitlines()]
    except OSError:
        return []


class WatchUnderWine(unittest.TestCase):
    def test_two_fixtures_at_once(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm(PORTS + [("\\Device\\VCP1", "COM6")])
            log = os.path.join(s.run_dir, "units.jsonl")
            five = s.start_unit(5, "--serial", "505")
            six = s.start_unit(6, "--serial", "606")
            watch = start_watch(s, "--port", "COM5", "--port", "COM6", "--log", harness.to_windows_path(log))
            try:
                harness.wait_until(lambda: len(records(log)) == 2, timeout=40, what="both units' records")
                os.kill(watch.pid, signal.SIGINT)
                out, err = watch.communicate(timeout=30)
                wires = [five.transcript(), six.transcript()]
                got = records(log)
            finally:
                if watch.poll() is None:
                    os.killpg(watch.pid, signal.SIGKILL)
                    watch.wait()
        self.assertEqual(watch.returncode, 0, err)
        self.assertEqual(sorted((r["port"], r["serial"]) for r in got), [("COM5", 505), ("COM6", 606)])
        lines = sorted(out.decode().splitlines())
        self.assertEqual(len(lines), 2, out)
        self.assertIn("  COM5  ok  0000000505", lines[0] if "COM5" in lines[0] else lines[1])
        for wire in wires:
            self.assertEqual(wire.count(b"H>U 89"), 6, "each unit read once")
            self.assertIn(b"H>U 04", wire, "each unit released")

    def test_units_swapped_on_the_same_com_port_each_read_once(self):
        """A USB bridge per unit: the COM port vanishes with the unit and comes back with the next."""
        with harness.WineSession(self) as s:
            s.set_serialcomm([p for p in PORTS if p[1] != "COM5"])
            log = os.path.join(s.run_dir, "units.jsonl")
            watch = start_watch(s, "--port", "COM5", "--log", harness.to_windows_path(log))
            try:
                time.sleep(2)  # nothing plugged in: the watch waits for COM5 to appear
                first = s.start_unit(5, "--serial", "1001")
                s.set_serialcomm(PORTS)
                harness.wait_until(lambda: len(records(log)) == 1, timeout=40, what="the first unit's record")
                time.sleep(3)  # the unit stays: read once only
                self.assertEqual(len(records(log)), 1)
                first.stop()
                first_wire = first.transcript()
                s.unmap_com(5)
                s.set_serialcomm([p for p in PORTS if p[1] != "COM5"])
                time.sleep(1.5)
                second = s.start_unit(5, "--serial", "2002", "--circuit", "9")
                s.set_serialcomm(PORTS)
                harness.wait_until(lambda: len(records(log)) == 2, timeout=40, what="the second unit's record")
                # Ctrl+C: the console's interrupt, which Wine raises from SIGINT.
                os.kill(watch.pid, signal.SIGINT)
                out, err = watch.communicate(timeout=30)
                second_wire = second.transcript()
                got = records(log)
            finally:
                if watch.poll() is None:
                    os.killpg(watch.pid, signal.SIGKILL)
                    watch.wait()
        self.assertEqual(watch.returncode, 0, err)
        self.assertEqual([(r["outcome"], r["port"], r["serial"], r["circuit"]) for r in got],
                         [("ok", "COM5", 1001, 5), ("ok", "COM5", 2002, 9)])
        self.assertEqual(len(out.decode().splitlines()), 2, out)
        self.assertEqual(first_wire.count(b"H>U 89"), 6, "the first unit was read once")
        # The second unit was released when the watch ended.
        self.assertIn(b"H>U 04", second_wire)

    def test_console_closed_during_a_reading_releases_the_unit_and_restores_the_port(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm(PORTS)
            unit = s.start_unit(5, "--serial", "505")
            log = harness.to_windows_path(os.path.join(s.run_dir, "units.jsonl"))
            watch = start_watch(s, "--port", "COM5", "--log", log)
            try:
                # The unit has answered the connect request: the reading is under way.
                harness.wait_until(lambda: b"U>H 81" in unit.transcript(), timeout=40, what="the unit connected")
                start = time.monotonic()
                # CTRL_CLOSE_EVENT, as Windows sends it when the console window is closed.
                s.cmd("ctrl-event", "bravelle-cli.exe", 2)
                out, err = watch.communicate(timeout=10)
                elapsed = time.monotonic() - start
                wire = [b" ".join(line.split()[1:3]) for line in unit.transcript().splitlines() if line.strip()]
                settings = s.shim_log()
            finally:
                if watch.poll() is None:
                    os.killpg(watch.pid, signal.SIGKILL)
                    watch.wait()
        # The handler held the process until the unit was let go and the port had its own settings again.
        self.assertEqual(wire[-2:], [b"H>U 04", b"U>H 84"], wire)
        self.assertEqual(settings[-1], "tcsetattr 38400 8N1 0")
        # Windows ends the process itself about 5 s after the event.
        self.assertLess(elapsed, 5, err)


if __name__ == "__main__":
    harness.main()
