"""bravelle-cli end to end: the real binary against the simulated unit on ptys, and over a fake sysfs tree.

Run by CTest one class at a time (python3 test_cli.py ClassName), with BRAVELLE_CLI,
BRAVELLE_SIMUNIT, BRAVELLE_PTYSHIM and BRAVELLE_EXPECTED_READING in the environment.
"""

import csv
import io
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fake_sysfs import make_sysfs, usb  # noqa: E402

CLI = os.environ.get("BRAVELLE_CLI", "")
SIMUNIT = os.environ.get("BRAVELLE_SIMUNIT", "")
PTYSHIM = os.environ.get("BRAVELLE_PTYSHIM", "")
EXPECTED_READING = os.environ.get("BRAVELLE_EXPECTED_READING", "")

LOCK_DIR = tempfile.mkdtemp(prefix="bravelle-locks-")

# The link's own waits: the handshake's one-second pause, each awaited byte's 1.1 s
# limit, the release's 200 ms. Bounds are loose so that a loaded machine passes.
SLACK = 4.0


def cli_env(**extra):
    # English messages whatever the caller's locale: its LC_* would win over LANG.
    env = {name: value for name, value in os.environ.items() if not name.startswith("LC_") and name != "LANGUAGE"}
    env["LANG"] = "C"
    # A pty drops the parity bit a UART keeps; the shim makes it take the link's settings.
    env["LD_PRELOAD"] = PTYSHIM
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=1"
    # The ports' lock files in a folder of the tests', never the system's /var/lock.
    env["BRAVELLE_LOCK_DIR"] = LOCK_DIR
    env.update(extra)
    return env


def run_cli(*args, timeout=60, cwd=None, **env):
    start = time.monotonic()
    p = subprocess.run([CLI] + list(args), env=cli_env(**env), capture_output=True, timeout=timeout, cwd=cwd)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8"), time.monotonic() - start


def run_cli_without_rights(test, folder, *args):
    """bravelle-cli run by an account without rights, as a user meets it: the tests' own account, or
    under root (CI) the account nobody through setpriv, the program and the pty shim copied where
    it may run them and the test's folder opened to it."""
    if os.geteuid() != 0:
        return run_cli(*args)
    import pwd
    nobody = pwd.getpwnam("nobody")
    tools = tempfile.mkdtemp(prefix="bravelle-nobody-")
    test.addCleanup(shutil.rmtree, tools, True)
    os.chmod(tools, 0o755)
    os.chmod(folder, 0o755)
    cli, shim = (shutil.copy(path, tools) for path in (CLI, PTYSHIM))
    command = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups", cli]
    p = subprocess.run(command + list(args), env=cli_env(LD_PRELOAD=shim, HOME=tools), capture_output=True,
                       timeout=60)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8"), None


def expected_reading():
    """The bytes of a complete reading without the link destructor's extra releases."""
    lines = []
    with open(EXPECTED_READING) as f:
        for line in f:
            if line.startswith("# The destructor"):
                break
            if line.strip() and not line.startswith("#"):
                lines.append(line.strip())
    return lines


class Unit:
    """The simulated unit on a pty of its own, reachable through a symlink path."""

    def __init__(self, folder, *options, link=None):
        self.folder = folder
        self.link = link or os.path.join(folder, "port")
        tag = str(time.monotonic_ns())
        self.transcript_path = os.path.join(folder, "unit-%s.transcript" % tag)
        ready = os.path.join(folder, "unit-%s.ready" % tag)
        self.proc = subprocess.Popen([SIMUNIT, "--link", self.link, "--ready-file", ready, "--transcript",
                                      self.transcript_path] + [str(o) for o in options],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("simunit did not start")
            time.sleep(0.01)
        with open(ready) as f:
            self.slave = f.read().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def transcript(self):
        with open(self.transcript_path) as f:
            return [" ".join(line.split()[1:3]) for line in f if line.strip()]


class UnitTestCase(unittest.TestCase):
    def setUp(self):
        if not (CLI and SIMUNIT and PTYSHIM):
            self.skipTest("BRAVELLE_CLI, BRAVELLE_SIMUNIT and BRAVELLE_PTYSHIM are needed")
        self.dir = tempfile.mkdtemp(prefix="bravelle-cli-")
        self.units = []

    def tearDown(self):
        for u in self.units:
            u.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def unit(self, *options, link=None):
        u = Unit(self.dir, *options, link=link)
        self.units.append(u)
        return u

    def start_watch(self, *args):
        """bravelle-cli watch in the background; killed when the test ends if it is still running."""
        p = subprocess.Popen([CLI, "watch"] + list(args), env=cli_env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        self.addCleanup(lambda: p.poll() is None and (p.kill(), p.wait()))
        return p

    def hold(self, unit):
        """Another program holding the unit's port, as ModemManager does; returns the function that lets go."""
        import fcntl
        held = [os.open(unit.slave, os.O_RDWR | os.O_NOCTTY)]
        fcntl.flock(held[0], fcntl.LOCK_EX | fcntl.LOCK_NB)

        def let_go():
            if held:
                os.close(held.pop())
        self.addCleanup(let_go)
        return let_go


def settled(unit, tail, limit=5):
    """The unit's transcript once it ends with tail, or as it is after the limit: a silent unit may log
    the last byte it got a moment after the program that sent it has ended."""
    deadline = time.monotonic() + limit
    while unit.transcript()[-len(tail):] != tail and time.monotonic() < deadline:
        time.sleep(0.05)
    return unit.transcript()


def wait_lines(test, path, n, limit=30):
    """The file's lines once it has n of them."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                lines = f.read().splitlines()
            if len(lines) >= n:
                return lines
        time.sleep(0.1)
    test.fail("no %d lines in %s within %d s" % (n, path, limit))


class ReadOutcomes(UnitTestCase):
    def test_a_complete_reading_in_english_and_in_french(self):
        u = self.unit("--serial", "7", "--circuit", "12", "--soft-major", "3", "--soft-minor", "4")
        code, out, err, _ = run_cli("read", "--port", u.link)
        self.assertEqual(code, 0, err)
        # The record and the lines name the port by its one name: the device, not the link to it.
        self.assertEqual(out.splitlines(), ["Port: " + u.slave, "Unit: Satellite de la KVR72 QLE, type P04",
                                            "Serial number: 0000000007", "Circuit version: 12",
                                            "Software version: 3.4"])
        code, out, err, _ = run_cli("read", "--port", u.link, LANG="fr_FR.UTF-8")
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines()[2:], ["Numéro de série : 0000000007", "Version du circuit : 12",
                                                "Version du logiciel : 3.4"])
        code, out, err, _ = run_cli("read", "--port", u.link, "--lang", "en", LANG="fr_FR.UTF-8")
        self.assertEqual(out.splitlines()[2], "Serial number: 0000000007", "--lang wins over LANG")

    def test_json_fields_of_a_good_reading(self):
        u = self.unit("--serial", "4294967295")
        before = time.time()
        code, out, err, wall = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 0, err)
        self.assertEqual(len(out.splitlines()), 1, "one object on one line")
        record = json.loads(out)
        stamp = record.pop("time")
        elapsed = record.pop("elapsed_ms")
        self.assertEqual(record, {"schema": 2, "outcome": "ok", "port": u.slave, "type": "P04", "serial": 4294967295,
                                  "serial_text": "4294967295", "circuit": 5, "software": "1.12", "status": 0})
        self.assertRegex(stamp, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        t = time.mktime(time.strptime(stamp[:19], "%Y-%m-%dT%H:%M:%S")) - time.timezone
        self.assertLess(abs(t - before), 5, "the time is UTC and taken at the start")
        # The handshake's pause and the release's sleep are the floor.
        self.assertGreaterEqual(elapsed, 1200)
        self.assertLess(elapsed, wall * 1000 + 1)

    def test_a_unit_whose_versions_the_bench_does_not_expect(self):
        u = self.unit("--serial", "12", "--circuit", "7")
        log = os.path.join(self.dir, "bench.jsonl")
        code, out, err, _ = run_cli("read", "--fixture", "left=" + u.link, "--expect-software", "1.12",
                                    "--expect-circuit", "5", "--expect-circuit", "6", "--log", log, "--json")
        self.assertEqual(code, 5, err)
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["error"], record["fixture"], record["circuit"]),
                         ("rejected", "unexpected-circuit", "left", 7))
        self.assertEqual(record["message"], "Unexpected circuit version: 7 read, 5 or 6 expected.")
        self.assertIn(record["message"], err)
        with open(log) as f:
            self.assertEqual(json.loads(f.read()), record, "recorded as shown")
        self.assertEqual(u.transcript()[-2:], ["H>U 04", "U>H 84"], "the unit is released")
        # The same unit on another fixture: already read there.
        code, out, err, _ = run_cli("read", "--fixture", "right=" + u.link, "--log", log, "--json")
        self.assertEqual((code, json.loads(out).get("duplicate")), (0, True), err)

    def test_a_unit_of_another_type(self):
        u = self.unit("--type", "P05")
        code, out, err, _ = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 1, err)
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["type"], record["status"]), ("wrong-unit", "P05", 100020))
        self.assertNotIn("serial", record)
        self.assertIn('"P05"', err)
        # Released after the type check, as the window does, and nothing read beyond it.
        self.assertNotIn("H>U 89", u.transcript())
        self.assertEqual(u.transcript()[-7:], ["H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 04", "U>H 84"])

    def test_a_unit_that_falls_silent_after_the_handshake(self):
        u = self.unit("--silent-after-handshake")
        code, out, err, _ = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 3, err)
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["status"]), ("link-lost", 100002))
        self.assertNotIn("type", record)
        self.assertIn("stopped answering", err)

    def test_garbled_answers_are_never_a_reading_and_lowercase_ones_are_exact(self):
        u = self.unit("--garble")
        code, out, err, _ = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 3, err)
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["type"], record["status"]), ("link-lost", "P04", 100003))
        self.assertNotIn("serial", record)
        self.assertIn("unreadable characters", err)
        # The unit is still released after the garbled answer: both its characters were acknowledged.
        self.assertEqual(u.transcript()[-2:], ["H>U 04", "U>H 84"])
        u = self.unit("--lowercase", "--serial", "2882400255", "--soft-major", "10", "--soft-minor", "11",
                      link=os.path.join(self.dir, "port2"))
        code, out, err, _ = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 0, err)
        record = json.loads(out)
        self.assertEqual((record["serial"], record["software"]), (0xABCDEFFF, "10.11"))

    def test_a_unit_that_hangs_up_in_the_middle_of_the_serial_number(self):
        # Byte 20 is the host's second address character of the second serial byte.
        u = self.unit("--hangup-after", "20")
        code, out, err, _ = run_cli("read", "--port", u.link, "--json")
        self.assertEqual(code, 3, err)
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["type"]), ("link-lost", "P04"))
        self.assertNotIn("serial", record, "a half-read serial number is not reported")


class NoAnswer(UnitTestCase):
    def test_wait_bounds_the_handshake_retries(self):
        u = self.unit("--silent")
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        code, out, err, wall = run_cli("read", "--port", u.link, "--wait", "3", "--json")
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.assertEqual(code, 2, err)
        # Two one-second pauses before the handshakes: spent asleep, not spinning.
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        self.assertLess(cpu, 0.25 * wall, "processor time %.2f s of %.2f s" % (cpu, wall))
        record = json.loads(out)
        self.assertEqual((record["outcome"], record["status"]), ("no-answer", 100002))
        self.assertNotIn("type", record)
        # Each attempt is a one-second pause, one 0x80 and a read of at most 1.1 s: the last is cut
        # short when the wait is over (here in its pause), and the release after it waits for nothing.
        self.assertGreaterEqual(record["elapsed_ms"], 3000)
        self.assertLess(record["elapsed_ms"], 3000 + 600)
        self.assertIn(u.transcript().count("H>U 80"), (1, 2))
        self.assertIn("No unit answered on " + u.slave + " within 3 s", err)

    def test_a_unit_that_answers_the_third_handshake(self):
        u = self.unit("--answer-after", "3")
        code, out, err, _ = run_cli("read", "--port", u.link, "--wait", "20")
        self.assertEqual(code, 0, err)
        self.assertEqual(u.transcript().count("H>U 80"), 3)
        self.assertEqual(err, "", "no progress line when standard error is not a terminal")

    def test_an_interrupted_read_closes_the_port_and_ends_with_130(self):
        u = self.unit("--silent")
        p = subprocess.Popen([CLI, "read", "--port", u.link, "--wait", "60", "--json"], env=cli_env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        time.sleep(1.5)
        p.send_signal(signal.SIGINT)
        start = time.monotonic()
        out, err = p.communicate(timeout=30)
        # The attempt under way runs to its end (at most a pause and a read), then the release.
        self.assertLess(time.monotonic() - start, 2.2 + 2.6 + SLACK)
        self.assertEqual(p.returncode, 130, err)
        self.assertEqual(out, b"", "no record of a reading that did not happen")
        self.assertIn(b"Interrupted.", err)
        self.assertEqual(settled(u, ["H>U 04"])[-1], "H>U 04", "the unit is released before the port closes")
        # The port is free again: a second command gets it.
        code, _, err, _ = run_cli("read", "--port", u.link, "--wait", "0")
        self.assertEqual(code, 2, err)

    def test_a_refusing_unit_is_retried_until_the_wait_runs_out(self):
        u = self.unit("--refuse")
        code, out, err, _ = run_cli("read", "--port", u.link, "--wait", "1")
        self.assertEqual(code, 2, err)
        self.assertEqual(out.splitlines(), ["Port: " + u.slave])
        self.assertIn("The unit on %s answered but refused the connection" % u.slave, err)
        code, out, err, _ = run_cli("read", "--port", u.link, "--wait", "1", "--json")
        self.assertEqual(json.loads(out)["error"], "refused")

    def test_the_wait_ends_when_it_says_even_in_a_handshake(self):
        u = self.unit("--silent")
        # Within the wait and half a second; one attempt has the link's pause and 200 ms for the answer.
        for wait, limit in (("0", 1.2), ("1.5", 1.5)):
            code, out, err, _ = run_cli("read", "--port", u.link, "--wait", wait, "--json")
            record = json.loads(out)
            self.assertEqual((code, record["outcome"], record["status"]), (2, "no-answer", 100002), err)
            # The wait, then the release's two pauses of 200 ms, on a loaded machine.
            self.assertLess(record["elapsed_ms"], (limit + 0.8) * 1000, wait)
        self.assertEqual(settled(u, ["H>U 04"])[-1], "H>U 04", "released all the same")


class PortErrors(UnitTestCase):
    def test_a_port_that_does_not_exist(self):
        code, out, err, wall = run_cli("read", "--port", os.path.join(self.dir, "ttyUSB9"), "--json")
        self.assertEqual(code, 4)
        self.assertEqual(json.loads(out)["outcome"], "port-error")
        self.assertEqual(json.loads(out)["status"], 2)  # ENOENT
        self.assertIn("vanished", err)
        self.assertIn("bravelle-cli ports", err)
        self.assertLess(wall, 10, "an unusable port is not retried")

    def test_a_file_that_is_no_serial_device(self):
        path = os.path.join(self.dir, "notes.txt")
        open(path, "w").close()
        code, out, err, _ = run_cli("read", "--port", path)
        self.assertEqual(code, 4)
        self.assertIn("not a serial port", err)

    def test_a_port_held_by_another_program(self):
        u = self.unit()
        let_go = self.hold(u)
        code, out, err, _ = run_cli("read", "--port", u.link, "--lang", "en")
        let_go()
        self.assertEqual(code, 4, err)
        self.assertIn("ModemManager", err)
        self.assertIn("brltty", err)
        code, out, err, _ = run_cli("read", "--port", u.link, "--lang", "fr")
        self.assertEqual(code, 0, "free again once the other program let go: " + err)

    def test_held_ports_are_left_alone(self):
        import fcntl
        u = self.unit("--serial", "6")
        lock = os.path.join(LOCK_DIR, "LCK.." + u.slave[len("/dev/"):].replace("/", "_"))
        sleeper = subprocess.Popen(["sleep", "30"])
        self.addCleanup(lambda: (sleeper.kill(), sleeper.wait()))

        def exclusive():  # TIOCEXCL, which root's own open would pass
            fd = os.open(u.slave, os.O_RDWR | os.O_NOCTTY)
            fcntl.ioctl(fd, termios.TIOCEXCL)
            # The flag is the tty's: it outlives this descriptor while the unit holds the pty.
            return lambda: (fcntl.ioctl(fd, termios.TIOCNXCL), os.close(fd))

        def lock_file(pid):
            with open(lock, "w") as f:
                f.write("%10d\n" % pid)
            return lambda: os.path.exists(lock) and os.unlink(lock)

        for name, hold, code in [("exclusive flag", exclusive, 4), ("live lock file", lambda: lock_file(sleeper.pid), 4),
                                 ("stale lock file", lambda: lock_file(2 ** 22 + 1), 0)]:
            let_go = hold()
            # The hook runs while the reading still holds its port: it shows our lock file.
            got, out, err, _ = run_cli("read", "--port", u.link, "--json", "--wait", "0", "--exec", "cat " + lock)
            let_go()
            self.assertEqual(got, code, name + ": " + err)
            if code:
                self.assertEqual(json.loads(out)["error"], "port-busy", name)
                self.assertIn("Another program holds the port", err, name)
            else:
                self.assertRegex(err, r"^ *\d+\n$", "our pid in ten digits while we hold the port")
                self.assertNotEqual(int(err), 2 ** 22 + 1)
                self.assertFalse(os.path.exists(lock), "our own lock is gone after the reading")
        self.assertEqual(u.transcript().count("H>U 80"), 1, "only the free port was talked to")
        # One device named twice (a link to it beside it) is two fixtures on one port.
        other = os.path.join(self.dir, "same")
        os.symlink(u.slave, other)
        code, out, err, _ = run_cli("watch", "--port", u.link, "--port", other, "--log", os.path.join(self.dir, "l"))
        self.assertEqual(code, 64, err)
        self.assertIn("%s and %s are one port" % (u.link, other), err)

    def test_a_port_the_user_may_not_open(self):
        u = self.unit()
        os.chmod(u.slave, 0)
        try:
            code, out, err, _ = run_cli_without_rights(self, self.dir, "read", "--port", u.link)
        finally:
            os.chmod(u.slave, 0o620)
        self.assertEqual(code, 4, err)
        import grp
        group = grp.getgrgid(os.stat(u.slave).st_gid).gr_name
        self.assertIn("Cannot use the port %s:\n  Permission denied (errno 13)\n" % u.slave, err)
        self.assertIn("  Your account may not open the port: add it to the %s group\n"
                      "  (sudo usermod -aG %s $USER), then log in again.\n"
                      "  Or install the bravelle-cli package: its udev rule opens the ports of CP210x cables to the\n"
                      "  user at the seat, with no group (plug the cable in again once the package is installed).\n"
                      % (group, group), err)


class Trace(UnitTestCase):
    def test_the_trace_holds_every_byte_on_the_line(self):
        u = self.unit()
        trace = os.path.join(self.dir, "trace.txt")
        code, out, err, wall = run_cli("read", "--port", u.link, "--trace", trace)
        self.assertEqual(code, 0, err)
        with open(trace) as f:
            lines = f.read().splitlines()
        for line in lines:
            self.assertRegex(line, r"^\d+\.\d{3} (H>U|U>H) [0-9A-F]{2}$")
        self.assertEqual([line.split(" ", 1)[1] for line in lines], expected_reading())
        self.assertEqual([line.split(" ", 1)[1] for line in lines], u.transcript())
        # Whole milliseconds: differences of printed decimals are not exact
        # in floating point, and each stamp is rounded by up to half a millisecond.
        ms = [round(float(line.split()[0]) * 1000) for line in lines]
        self.assertEqual(ms, sorted(ms))
        self.assertGreaterEqual(ms[0], 1000, "the first byte follows the handshake's one-second pause")
        self.assertGreaterEqual(ms[-1] - ms[-3], 199, "the release sleeps 200 ms before its end command")
        self.assertLess(ms[-1], wall * 1000)

    def test_a_trace_to_standard_error_keeps_standard_output_clean(self):
        u = self.unit("--type", "P05")
        code, out, err, _ = run_cli("read", "--port", u.link, "--trace", "-", "--json")
        self.assertEqual(code, 1)
        json.loads(out)
        traced = [line for line in err.splitlines() if re.match(r"^\d+\.\d{3} ", line)]
        self.assertEqual(traced[:2], [traced[0][:traced[0].index(" ")] + " H>U 80",
                                      traced[1][:traced[1].index(" ")] + " U>H 81"])
        self.assertEqual(len(traced), len(u.transcript()))


class Usage(unittest.TestCase):
    def setUp(self):
        if not CLI:
            self.skipTest("BRAVELLE_CLI is needed")

    def test_usage_errors_end_with_64_and_say_what_is_wrong(self):
        cases = [
            ([], "a command is needed"),
            (["reed"], 'unknown command "reed"'),
            (["read", "--wait"], "--wait needs a value"),
            (["read", "--wait", "-1"], "--wait needs seconds"),
            (["read", "--wait", "ten"], "--wait needs seconds"),
            (["read", "--lang", "de"], "--lang takes fr or en"),
            (["read", "--json", "--json"], "--json is given twice"),
            (["watch"], "watch needs --log FILE"),
            (["watch", "--log", "x", "--json"], '"--json" is not an option of watch'),
            (["ports", "--port", "COM1"], '"--port" is not an option of ports'),
            (["read", "one", "two"], '"two": read reads one port'),
        ]
        for args, message in cases:
            code, out, err, _ = run_cli(*args)
            self.assertEqual(code, 64, args)
            self.assertIn(message, err, args)
            self.assertIn("usage: bravelle-cli", err, args)
            self.assertEqual(out, "", args)

    def test_help_and_version(self):
        code, out, err, _ = run_cli("--help")
        self.assertEqual(code, 0)
        self.assertIn("bravelle-cli watch [--port PORT]... [--fixture NAME=PORT]...\n", out)
        code, out, err, _ = run_cli("--version")
        self.assertEqual((code, out), (0, "bravelle-cli 1.0.1.10\n"))


class Conventions(UnitTestCase):
    def test_help_double_dash_language_and_files_that_cannot_be_made(self):
        for args, head in [(["read", "--help"], "usage: bravelle-cli read "), (["watch", "-h"], "usage: bravelle-cli watch "),
                           (["ports", "--json", "-h"], "usage: bravelle-cli ports "), (["help", "read"], "usage: bravelle-cli read ")]:
            code, out, err, _ = run_cli(*args)
            self.assertEqual((code, err), (0, ""), args)
            self.assertTrue(out.startswith(head), args)
        code, out, err, _ = run_cli("read", "--help", LC_ALL="fr_FR.UTF-8")
        self.assertTrue(out.startswith("utilisation : bravelle-cli read "))
        # "--" ends the options: a port whose name begins with a dash.
        u = self.unit(link=os.path.join(self.dir, "-port"))
        code, out, err, _ = run_cli("read", "--json", "--", "-port", cwd=self.dir)
        self.assertEqual((code, json.loads(out)["serial"]), (0, 305419896), err)
        # LC_ALL, then LC_MESSAGES, then LANG.
        for env, french in [(dict(LC_ALL="fr_FR.UTF-8", LANG="en_US.UTF-8"), True),
                            (dict(LC_MESSAGES="fr_FR.UTF-8", LANG="C"), True),
                            (dict(LC_ALL="C", LC_MESSAGES="fr_FR.UTF-8"), False),
                            (dict(LC_ALL="", LANG="fr_CA.UTF-8"), True)]:
            code, out, err, _ = run_cli("read", "--port", os.path.join(self.dir, "absent"), **env)
            self.assertEqual("inutilisable" in err, french, env)
        for option in ("--log", "--trace", "--csv"):
            code, out, err, _ = run_cli("read", option, os.path.join(self.dir, "no", "such", "folder"),
                                        "--port", u.link)
            self.assertEqual(code, 73, option)
            self.assertIn("cannot create", err)
        self.assertNotIn("H>U 80", u.transcript()[1:], "nothing read when a file cannot be made")


    def test_the_progress_line_fits_the_terminal_and_is_calm(self):
        import fcntl, pty, select, struct, termios
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 30, 0, 0))
        names = ["station-%d-%s" % (i, "x" * 20) for i in range(4)]
        args = [a for i, n in enumerate(names) for a in ("--fixture", "%s=%s/absent-%d" % (n, self.dir, i))]
        watch = subprocess.Popen([CLI, "watch", "--log", os.path.join(self.dir, "l")] + args, env=cli_env(),
                                 stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        shown, start = b"", time.monotonic()
        while time.monotonic() - start < 3:
            if select.select([master], [], [], 0.1)[0]:
                shown += os.read(master, 65536)
        watch.send_signal(signal.SIGINT)
        self.assertEqual(watch.wait(20), 0)
        os.close(master)
        drawn = [t for t in shown.decode().split("\r") if t.strip()]
        self.assertTrue(drawn and all(t.startswith("station-") for t in drawn), shown)
        self.assertLessEqual(max(len(t.rstrip(" ")) for t in drawn), 29, drawn)
        self.assertLessEqual(len(drawn), 3 * 4 + 1, "at most four a second")


class WriteFailures(UnitTestCase):
    def test_results_that_cannot_be_written_end_with_74(self):
        u = self.unit()
        full = open("/dev/full", "w")
        cases = [(["read", "--port", u.link, "--json"], dict(stdout=full)),
                 (["read", "--port", u.link, "--trace", "/dev/full"], {}),
                 (["read", "--port", u.link, "--log", "/dev/full"], {}),
                 (["ports"], dict(stdout=None, closed=True))]
        for args, how in cases:
            command = [CLI] + args
            if how.get("closed"):
                p = subprocess.run(["sh", "-c", '"$0" "$@" >&-'] + command, env=cli_env(), capture_output=True)
            else:
                p = subprocess.run(command, env=cli_env(), stdout=how.get("stdout", subprocess.PIPE),
                                   stderr=subprocess.PIPE)
            self.assertEqual(p.returncode, 74, args)
            self.assertRegex(p.stderr.decode(), "cannot write to (standard output|the trace|the log)", args)
        full.close()
        self.assertEqual(u.transcript()[-2:], ["H>U 04", "U>H 84"], "the unit is released all the same")

    def test_watch_stops_with_74_when_standard_output_is_a_closed_pipe(self):
        u = self.unit("--serial", "77")
        log = os.path.join(self.dir, "units.jsonl")
        watch = self.start_watch("--port", u.link, "--log", log)
        watch.stdout.close()
        watch.wait(timeout=30)
        self.assertEqual(watch.returncode, 74)
        self.assertIn(b"cannot write to standard output", watch.stderr.read())
        with open(log) as f:
            self.assertEqual([json.loads(line)["serial"] for line in f], [77], "the log stays whole")
        self.assertIn("H>U 04", u.transcript()[-2:], "the unit is released")


class RecordFiles(UnitTestCase):
    """What a production line does to the record files: writers side by side, files of other shapes, a
    full disk, a power cut's tail, rotation; after each, every line of the log parses and the CSV has
    whole rows only."""

    HEADER = ("schema,outcome,error,message,fixture,port,location,type,serial,serial_text,circuit,software,"
              "status,elapsed_ms,time,repeat,duplicate")

    def path(self, name, content=None):
        p = os.path.join(self.dir, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def read_bytes(self, p):
        with open(p, "rb") as f:
            return f.read()

    def assert_whole(self, log, csv_path=None, rows=None):
        lines = self.read_bytes(log).split(b"\n")
        self.assertEqual(lines[-1], b"", "the log ends with a whole line")
        records = [json.loads(line) for line in lines[:-1] if line.startswith(b"{")]
        if csv_path:
            data = self.read_bytes(csv_path).decode("utf-8-sig")
            got = list(csv.reader(io.StringIO(data, newline="")))
            self.assertTrue(all(len(r) == len(got[0]) for r in got), got)
            if rows is not None:
                self.assertEqual(len(got) - 1, rows)
        return records

    def test_the_record_files_stay_whole(self):
        def concurrent():
            units = [self.unit("--serial", str(i), link=self.path("port-%d" % i)) for i in range(8)]
            log, csv_path = self.path("c.jsonl"), self.path("c.csv")
            runs = [subprocess.Popen([CLI, "read", "--port", u.link, "--log", log, "--csv", csv_path],
                                     env=cli_env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE) for u in units]
            for r in runs:
                err = r.communicate(timeout=60)[1]
                self.assertEqual(r.returncode, 0, err)
            data = self.read_bytes(csv_path)
            self.assertTrue(data.startswith(b"\xef\xbb\xbf" + self.HEADER.encode() + b"\r\n"), data[:200])
            self.assertEqual(data.count(b"schema,"), 1, "one header")
            self.assertEqual(sorted(r["serial"] for r in self.assert_whole(log, csv_path, 8)), list(range(8)))

        def foreign_header():
            u = self.unit()
            theirs = self.path("theirs.csv", b"serial;port\r\n12;COM5\r\n")
            code, out, err, _ = run_cli("read", "--port", u.link, "--csv", theirs)
            self.assertEqual(code, 65, err)
            self.assertIn(theirs + ' is a CSV file of another shape (column 1 is "serial" where ours is "schema")', err)
            self.assertEqual(self.read_bytes(theirs), b"serial;port\r\n12;COM5\r\n")
            self.assertNotIn("H>U 80", u.transcript(), "no unit read")

        def earlier_schema():
            u = self.unit("--serial", "5")
            old_header = self.HEADER.replace("fixture,", "").replace(",duplicate", "").replace(",", ";")
            old = self.path("old.csv", old_header.encode() + b"\r\n")
            code, out, err, _ = run_cli("read", "--csv", old, "--fixture", "A=" + u.link)
            self.assertEqual(code, 0, err)
            rows = self.read_bytes(old).decode().split("\r\n")
            self.assertEqual(rows[0], old_header, "no mark added to a file without one")
            self.assertEqual(rows[1].split(";")[:9], ["1", "ok", "", "", u.slave, "", "P04", "5", "0000000005"])
            self.assertEqual(len(rows[1].split(";")), 15)

        def full_disk():
            if os.geteuid() != 0:
                return
            disk = self.path("disk")
            os.mkdir(disk)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk], check=True)
            self.addCleanup(lambda: subprocess.run(["umount", "-l", disk]))
            u = self.unit("--serial", "9")
            # A log whose end lies just before a page's: the disk takes a part of the next record.
            line = b'{"schema":2,"outcome":"ok","port":"x","serial":1}\n'
            body = line * (4000 // len(line))
            log = os.path.join(disk, "log.jsonl")
            with open(log, "wb") as f:
                f.write(body)
            filler = os.open(os.path.join(disk, "filler"), os.O_WRONLY | os.O_CREAT)
            try:
                while os.write(filler, b"\0" * 4096):
                    pass
            except OSError:
                pass
            os.close(filler)
            code, out, err, _ = run_cli("read", "--port", u.link, "--log", log)
            self.assertEqual(code, 74, err)
            self.assertIn("cannot write to the log " + log + ": No space left on device", err)
            self.assertEqual(self.read_bytes(log), body, "cut back to what it held")
            self.assertEqual(out, "", "nothing shown that the files lack")

        def nul_tail():
            u = self.unit("--serial", "31")
            log = self.path("nul.jsonl", b'{"schema":2,"outcome":"ok","port":"%s","serial":31}\n\0\0\0\0' % u.link.encode())
            code, out, err, _ = run_cli("read", "--port", u.link, "--log", log)
            self.assertEqual(code, 0, err)
            lines = self.read_bytes(log).split(b"\n")
            self.assertEqual(lines[1], b"\0\0\0\0", "the broken tail keeps a line of its own")
            self.assertEqual(json.loads(lines[2]).get("repeat"), True, "the record before it still counts")

        def rotated_under_a_watch():
            link = self.path("bench")
            log, csv_path = self.path("w.jsonl"), self.path("w.csv")
            watch = self.start_watch("--port", link, "--log", log, "--csv", csv_path)
            unit = self.unit("--serial", "1", link=link)
            # The CSV file is written after the log: both hold the record before either is rotated.
            wait_lines(self, log, 1)
            wait_lines(self, csv_path, 2)
            os.rename(log, log + ".1")  # logrotate
            os.truncate(csv_path, 0)  # copytruncate
            unit.stop()
            unit = self.unit("--serial", "2", link=link)
            wait_lines(self, log, 1)
            wait_lines(self, csv_path, 2)
            os.unlink(log)  # deleted
            unit.stop()
            unit = self.unit("--serial", "3", link=link)
            wait_lines(self, log, 1)
            watch.send_signal(signal.SIGINT)
            self.assertEqual(watch.wait(20), 0)
            self.assertEqual([r["serial"] for r in self.assert_whole(log + ".1")], [1])
            self.assertEqual([r["serial"] for r in self.assert_whole(log)], [3])
            data = self.read_bytes(csv_path).decode("utf-8-sig")
            self.assertEqual([r["serial"] for r in csv.DictReader(io.StringIO(data))], ["2", "3"],
                             "the header again once emptied")

        def standard_output_and_same_file():
            u = self.unit("--serial", "8")
            code, out, err, _ = run_cli("read", "--port", u.link, "--log", "-")
            self.assertEqual(code, 0, err)
            self.assertEqual(json.loads(out)["serial"], 8)
            self.assertIn("Serial number: 0000000008", err, "the person's lines on standard error")
            code, out, err, _ = run_cli("read", "--port", u.link, "--csv", "-", "--csv-separator", ";")
            self.assertEqual(out.split("\r\n")[0], self.HEADER.replace(",", ";"))
            for args, said in [(["--log", "x", "--csv", "x"], "x is given to two options (--log, --csv)"),
                               (["--log", "-", "--csv", "-"], "--log and --csv both go to standard output")]:
                code, out, err, _ = run_cli("read", "--port", u.link, *args)
                self.assertEqual(code, 64, args)
                self.assertIn(said, err)

        for case in (concurrent, foreign_header, earlier_schema, full_disk, nul_tail, rotated_under_a_watch,
                     standard_output_and_same_file):
            with self.subTest(case.__name__):
                case()


def catches(pid, sig):
    """Whether the process has its handler for the signal in place (SigCgt of /proc/PID/status)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            caught = [int(line.split()[1], 16) for line in f if line.startswith("SigCgt:")]
    except OSError:
        return False
    return bool(caught and caught[0] & (1 << (sig - 1)))


# Within 1.5 s of the signal, with half a second for a loaded machine: before, a watch
# took 3 s in a handshake and 7.7 s in a reading.
STOP_LIMIT = 2.0


class Signals(UnitTestCase):
    def stop_when(self, args, sig, unit=None, seen=None):
        """Runs the command; once it catches the signal and the unit has seen the bytes, signals it."""
        p = subprocess.Popen([CLI] + args, env=cli_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while not (catches(p.pid, sig) and (seen is None or seen(unit.transcript()))):
            self.assertLess(time.monotonic(), deadline, "the moment to signal never came")
            time.sleep(0.02)
        time.sleep(0.3)  # into the wait that follows
        p.send_signal(sig)
        sent = time.monotonic()
        out, err = p.communicate(timeout=30)
        return p.returncode, time.monotonic() - sent, out.decode(), err.decode()

    def test_read_ends_with_the_signals_code_after_the_release(self):
        for sig, code in [(signal.SIGTERM, 143), (signal.SIGHUP, 129)]:
            u = self.unit("--silent", link=os.path.join(self.dir, "port-%d" % sig))
            got, took, out, err = self.stop_when(["read", "--port", u.link, "--wait", "60"], sig, u,
                                                 lambda wire: "H>U 80" in wire)
            # Everything the run showed, should a loaded machine ever make it fail.
            shown = "code %s after %.2f s, %r, wire %s" % (got, took, err, u.transcript()[-6:])
            self.assertEqual(got, code, shown)
            self.assertLess(took, STOP_LIMIT, shown)
            self.assertEqual(settled(u, ["H>U 04"])[-1], "H>U 04", "released before the port closes: " + shown)

    def test_watch_ends_within_a_second_and_a_half_whatever_it_is_doing(self):
        # Waiting for a handshake's answer; in the middle of a reading the unit stopped
        # answering; and holding a log that is a FIFO nobody reads.
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        cases = [("--silent", signal.SIGINT, lambda wire: wire.count("H>U 80") >= 2, None),
                 ("--silent-after-handshake", signal.SIGTERM, lambda wire: "H>U 86" in wire, None),
                 (None, signal.SIGINT, None, fifo)]
        for option, sig, seen, log in cases:
            u = self.unit(*([option] if option else []), link=os.path.join(self.dir, "port-%s" % option))
            code, took, out, err = self.stop_when(
                ["watch", "--port", u.link, "--log", log or os.path.join(self.dir, "log-%s" % option)], sig, u, seen)
            shown = "%s: code %s after %.2f s, %r, wire %s" % (option, code, took, err, u.transcript()[-6:])
            self.assertEqual(code, 0, shown)
            self.assertLess(took, STOP_LIMIT, shown)
            if option == "--silent-after-handshake":
                released = ["H>U 9E", "H>U 38", "H>U 31", "H>U 04"]
                self.assertEqual(settled(u, released)[-4:], released, "released: " + shown)

    def test_a_log_that_is_a_pipe_is_written_not_searched(self):
        u = self.unit("--serial", "42")
        watch = self.start_watch("--port", u.link, "--log", "/dev/stdout")
        first = watch.stdout.readline()
        # The line for a person follows the record (the reader's buffer may hold it already).
        out = watch.stdout.readline()
        watch.send_signal(signal.SIGINT)
        err = watch.communicate(timeout=10)[1]
        self.assertEqual(watch.returncode, 0, err)
        self.assertEqual(json.loads(first)["serial"], 42)
        self.assertIn(b"0000000042", out)


class Ports(unittest.TestCase):
    def setUp(self):
        if not CLI:
            self.skipTest("BRAVELLE_CLI is needed")
        self.dir = tempfile.mkdtemp(prefix="bravelle-sysfs-")
        self.sysfs = os.path.join(self.dir, "sys")
        self.dev = os.path.join(self.dir, "dev")
        os.makedirs(self.dev)
        self.consoles = os.path.join(self.dir, "consoles")
        open(self.consoles, "w").close()
        self.units = []

    def tearDown(self):
        for u in self.units:
            u.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def cli(self, *args, **env):
        return run_cli(*args, BRAVELLE_SYSFS=self.sysfs, BRAVELLE_DEV=self.dev, BRAVELLE_CONSOLES=self.consoles,
                       **env)

    def plug(self, tty, *options, by_id=None, by_path=()):
        """A simulated unit behind <dev>/<tty>, with the udev names that lead to it."""
        if not (SIMUNIT and PTYSHIM):
            self.skipTest("BRAVELLE_SIMUNIT and BRAVELLE_PTYSHIM are needed")
        u = Unit(self.dir, *options, link=os.path.join(self.dev, tty))
        self.units.append(u)
        for folder, name in [("by-id", by_id)] + [("by-path", n) for n in by_path]:
            if name:
                os.makedirs(os.path.join(self.dev, "serial", folder), exist_ok=True)
                os.symlink("../../" + tty, os.path.join(self.dev, "serial", folder, name))
        return u

    def test_ports_as_json_and_as_text(self):
        make_sysfs(self.sysfs, [
            ("ttyS0", "serial8250", None),
            ("ttyUSB1", "ftdi_sio", usb("0403", "6001", "FTDI", "FT232R USB UART", "A50285BI")),
            ("ttyUSB0", "cp210x", usb("10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001")),
            ("ttyACM0", "cdc_acm", usb("2341", "0043", None, "Uno \"R3\"", None, acm=True)),
        ])
        self.plug("ttyUSB0", by_id="usb-Silicon_Labs_CP2102_0001-if00-port0",
                  by_path=("pci-0000:00:14.0-usb-0:3:1.0-port0", "pci-0000:00:14.0-usbv2-0:3:1.0-port0"))
        code, out, err, _ = self.cli("ports", "--json")
        self.assertEqual(code, 0, err)
        self.assertEqual(json.loads(out), [
            {"port": self.dev + "/ttyACM0", "driver": "cdc_acm", "preferred": False, "selected": False,
             "vid": "2341", "pid": "0043", "product": "Uno \"R3\"", "interface": "00", "location": "1-4:1.0"},
            {"port": self.dev + "/ttyS0", "driver": "serial8250", "preferred": False, "selected": False},
            {"port": self.dev + "/ttyUSB0", "driver": "cp210x", "preferred": True, "selected": True,
             "vid": "10c4", "pid": "ea60", "manufacturer": "Silicon Labs",
             "product": "CP2102 USB to UART Bridge Controller", "serial_number": "0001", "interface": "00",
             "location": "1-3:1.0",
             "by_id": [self.dev + "/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0"],
             "by_path": [self.dev + "/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0",
                         self.dev + "/serial/by-path/pci-0000:00:14.0-usbv2-0:3:1.0-port0"]},
            {"port": self.dev + "/ttyUSB1", "driver": "ftdi_sio", "preferred": False, "selected": False,
             "vid": "0403", "pid": "6001", "manufacturer": "FTDI", "product": "FT232R USB UART",
             "serial_number": "A50285BI", "interface": "00", "location": "1-2:1.0"},
        ])
        code, out, err, _ = self.cli("ports")
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines(), [
            "  %s/ttyACM0  cdc_acm  2341:0043  Uno \"R3\"" % self.dev,
            "    location=1-4:1.0",
            "  %s/ttyS0  serial8250" % self.dev,
            "> %s/ttyUSB0  cp210x  10c4:ea60  Silicon Labs  CP2102 USB to UART Bridge Controller  serial 0001"
            "  [preferred]" % self.dev,
            "    location=1-3:1.0",
            "    %s/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0" % self.dev,
            "    %s/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0" % self.dev,
            "    %s/serial/by-path/pci-0000:00:14.0-usbv2-0:3:1.0-port0" % self.dev,
            "  %s/ttyUSB1  ftdi_sio  0403:6001  FTDI  FT232R USB UART  serial A50285BI" % self.dev,
            "    location=1-2:1.0",
            "auto: %s/ttyUSB0" % self.dev,
        ])

    def test_natural_order_console_and_several_preferred(self):
        make_sysfs(self.sysfs, [("ttyS0", "serial8250", None), ("ttyS10", "serial8250", None),
                                ("ttyS2", "serial8250", None)])
        with open(self.consoles, "w") as f:
            f.write("ttyS0                -W- (EC  p a)    4:64\n")
        with open(os.path.join(self.sysfs, "class", "tty", "ttyS10", "console"), "w") as f:
            f.write("Y\n")
        # Two consoles (one known to /proc/consoles, one to sysfs) and one other port: auto takes that one.
        code, out, err, _ = self.cli("ports")
        self.assertEqual([line.split()[1] if line.startswith(">") else line.split()[0] for line in out.splitlines()],
                         [self.dev + "/ttyS0", self.dev + "/ttyS2", self.dev + "/ttyS10", "auto:"])
        self.assertIn("[system console: never taken by auto]", out.splitlines()[0])
        self.assertTrue(out.splitlines()[1].startswith("> "))
        # Only consoles: auto takes none, and never writes a byte to them; naming one still works.
        shutil.rmtree(os.path.join(self.sysfs, "class", "tty", "ttyS2"))
        code, out, err, _ = self.cli("read", "--json", "--wait", "0")
        self.assertEqual((code, json.loads(out)["error"]), (4, "no-port"), err)
        self.assertIn("There is no serial port", err)
        code, out, err, _ = self.cli("read", "--json", "--wait", "0", "--port", self.dev + "/ttyS10")
        self.assertEqual(json.loads(out)["port"], self.dev + "/ttyS10", "a named console is read")
        # Two CP210x cables: auto lists them and stops.
        make_sysfs(os.path.join(self.dir, "sys2"), [
            ("ttyUSB10", "cp210x", usb("10c4", "ea60", serial="B")), ("ttyUSB2", "cp210x", usb("10c4", "ea60", serial="A"))])
        code, out, err, _ = run_cli("read", "--json", BRAVELLE_SYSFS=os.path.join(self.dir, "sys2"),
                                    BRAVELLE_DEV=self.dev, BRAVELLE_CONSOLES=self.consoles)
        self.assertEqual((code, json.loads(out)["error"]), (4, "ambiguous-port"))
        self.assertEqual(err.splitlines(), [
            "Several CP210x cables are plugged in; choose one with --port:",
            "  %s/ttyUSB2  usb:10c4:ea60:A:if00  location=1-2:1.0" % self.dev,
            "  %s/ttyUSB10  usb:10c4:ea60:B:if00  location=1-1:1.0" % self.dev])

    def test_ports_by_usb_identity_and_socket(self):
        # A two-port adapter (both ports under one USB device) and a single CP2102, each with a unit.
        dual = dict(interfaces=2, device="1-1.4", serial="FT4XYZ", manufacturer=b"Acme \xff")
        make_sysfs(self.sysfs, [
            ("ttyUSB0", "ftdi_sio", usb("0403", "6010", interface=0, name="Dual RS232 A", port_number=0, **dual)),
            ("ttyUSB1", "ftdi_sio", usb("0403", "6010", interface=1, name="Dual RS232 B", port_number=0, **dual)),
            ("ttyUSB2", "cp210x", usb("10c4", "ea60", serial="0001", device="2-1")),
        ])
        self.plug("ttyUSB0", "--serial", "100")
        self.plug("ttyUSB1", "--serial", "101")
        self.plug("ttyUSB2", "--serial", "102")
        cases = [("usb:0403:6010:if01", 101), ("usb:403:6010:FT4XYZ:if00", 100), ("usb:10C4:EA60", 102),
                 ("usb:10c4:ea60:0001", 102), ("location=1-1.4:1.1", 101), ("location=2-1", 102)]
        for form, serial in cases:
            code, out, err, _ = self.cli("read", "--json", "--wait", "5", "--port", form)
            self.assertEqual((code, json.loads(out).get("serial")), (0, serial), form + ": " + err)
        record = json.loads(out)
        self.assertEqual((record["port"], record["location"]), (os.path.realpath(self.dev + "/ttyUSB2"), "2-1"))
        failures = [("usb:0403:6010", 4, "ambiguous-port", "Several ports match usb:0403:6010"),
                    ("usb:10c4:ea60:0002", 4, "port-missing", "No port matches usb:10c4:ea60:0002"),
                    ("location=1-1.4", 4, "ambiguous-port", "Several ports match location=1-1.4"),
                    ("COM5", 64, None, "COM5 is a Windows port name"),
                    ("\\\\.\\COM5", 64, None, "on Linux a port is named by its device path")]
        for form, code_wanted, error, message in failures:
            code, out, err, _ = self.cli("read", "--json", "--wait", "0", "--port", form)
            self.assertEqual(code, code_wanted, form + ": " + err)
            if error:
                self.assertEqual(json.loads(out)["error"], error, form)
            self.assertIn(message, err, form)
        # The two ports of one adapter are told apart by their interface; bytes that are no UTF-8 stay parseable.
        code, out, err, _ = self.cli("ports", "--json")
        dual_ports = json.loads(out)[:2]
        self.assertEqual([(p["interface"], p["interface_name"], p["port_number"], p["location"], p["manufacturer"])
                          for p in dual_ports],
                         [("00", "Dual RS232 A", "0", "1-1.4:1.0", "Acme \ufffd"),
                          ("01", "Dual RS232 B", "0", "1-1.4:1.1", "Acme \ufffd")])
        code, out, err, _ = self.cli("ports")
        self.assertIn("    location=1-1.4:1.1  interface 01 \"Dual RS232 B\"  port number 0", out.splitlines())


    def test_four_named_fixtures_on_a_production_line(self):
        make_sysfs(self.sysfs, [
            ("ttyUSB1", "cp210x", usb("10c4", "ea60", "Silicon Labs", "CP2102", "0001", device="1-1")),
            ("ttyUSB4", "cp210x", usb("10c4", "ea60", "Silicon Labs", "CP2102", "0004", device="1-4")),
        ])
        log, csv_path, hook = (os.path.join(self.dir, n) for n in ("line.jsonl", "line.csv", "hook.txt"))
        traces = os.path.join(self.dir, "traces")
        os.mkdir(traces)
        dev = self.dev
        # What the hook received: its environment, then its standard input.
        # The hooks of two fixtures may run at once: each writes its two lines in one append.
        command = ('r=$(cat); printf "%%s %%s %%s %%s\\n%%s\\n" "$BRAVELLE_FIXTURE" "$BRAVELLE_OUTCOME" '
                   '"$BRAVELLE_SERIAL" "$BRAVELLE_PORT" "$r" >> "%s"; [ "$BRAVELLE_OUTCOME" = ok ]' % hook)
        watch = subprocess.Popen(
            [CLI, "watch", "--fixture", "A=usb:10c4:ea60:0001", "--fixture", "B=" + dev + "/ttyUSB2",
             "--fixture", "C=location=1-4", "--fixture", "D=" + dev + "/ttyUSB5", "--expect-software", "1.12",
             "--expect-software", "2.0", "--count", "5", "--exec", command, "--trace-dir", traces,
             "--log", log, "--csv", csv_path],
            env=cli_env(BRAVELLE_SYSFS=self.sysfs, BRAVELLE_DEV=self.dev, BRAVELLE_CONSOLES=self.consoles),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(lambda: watch.poll() is None and (watch.kill(), watch.wait()))
        a = self.plug("ttyUSB1", "--serial", "11")
        self.plug("ttyUSB2", "--serial", "22")
        self.plug("ttyUSB5", "--serial", "44", "--soft-major", "9")
        wait_lines(self, log, 3)
        self.plug("ttyUSB4", "--serial", "22")  # B's unit, now on C
        wait_lines(self, log, 4)
        # A's adapter moved to another socket: another tty, the same adapter.
        a.stop()
        shutil.rmtree(os.path.join(self.sysfs, "class", "tty", "ttyUSB1"))
        moved = os.path.join(self.dir, "moved")
        make_sysfs(moved, [("ttyUSB3", "cp210x", usb("10c4", "ea60", "Silicon Labs", "CP2102", "0001", device="1-3"))])
        os.symlink(os.path.join(moved, "class", "tty", "ttyUSB3"), os.path.join(self.sysfs, "class", "tty", "ttyUSB3"))
        self.plug("ttyUSB3", "--serial", "11")
        out, err = watch.communicate(timeout=60)
        self.assertEqual(watch.returncode, 0, err)
        with open(log) as f:
            lines = f.read().splitlines()
        got = [json.loads(line) for line in lines]
        self.assertEqual([(r["fixture"], r["port"], r["serial"], r["outcome"], r.get("repeat", False),
                           r.get("duplicate", False)) for r in got][3:],
                         [("C", os.path.realpath(dev + "/ttyUSB4"), 22, "ok", False, True),
                          ("A", os.path.realpath(dev + "/ttyUSB3"), 11, "ok", True, False)])
        self.assertEqual(sorted((r["fixture"], r["serial"], r["outcome"]) for r in got[:3]),
                         [("A", 11, "ok"), ("B", 22, "ok"), ("D", 44, "rejected")])
        rejected = [r for r in got if r["outcome"] == "rejected"][0]
        self.assertEqual((rejected["error"], rejected["message"]),
                         ("unexpected-software", "Unexpected software version: 9.12 read, 1.12 or 2.0 expected."))
        with open(csv_path, encoding="utf-8-sig", newline="") as f:
            self.assertEqual([r["fixture"] for r in csv.DictReader(f)], [r["fixture"] for r in got])
        # The hook: once per record, after it was written, the record whole on its standard input.
        with open(hook) as f:
            told = f.read().splitlines()
        self.assertEqual(sorted(told[1::2]), sorted(lines))
        for said, line in zip(told[0::2], told[1::2]):
            r = json.loads(line)
            self.assertEqual(said, "%s %s %010d %s" % (r["fixture"], r["outcome"], r["serial"], r["port"]))
        self.assertIn("--exec %s: ended with code 1; the record is written." % command, err.decode())
        names = sorted(re.sub(r"-\d{8}T\d{6}\.\d{3}Z", "", n) for n in os.listdir(traces))
        self.assertEqual(names, ["A-0000000011.trace"] * 2 + ["B-0000000022.trace", "C-0000000022.trace",
                                                              "D-0000000044.trace"])
        with open(os.path.join(traces, sorted(os.listdir(traces))[0])) as f:
            self.assertIn("H>U 80", f.read())
        for line in out.decode().splitlines():
            self.assertRegex(line, r"^\S+Z  [ABCD]  ")


class Watch(UnitTestCase):
    def test_two_units_one_after_the_other_then_interrupt(self):
        link = os.path.join(self.dir, "bench-port")
        log = os.path.join(self.dir, "units.jsonl")
        with open(log, "w") as f:
            # The record of an earlier run, then one it was writing when the power went.
            f.write('{"outcome":"ok","port":"%s","serial":1001}\n{"outcome":"ok","ser' % link)
        watch = self.start_watch("--port", link, "--log", log)

        def records():
            with open(log) as f:
                return [json.loads(line) for line in f.read().splitlines()[2:]]

        time.sleep(1.5)  # nothing plugged in yet: the watch waits for the port
        first = self.unit("--serial", "1001", link=link)
        wait_lines(self, log, 3)
        time.sleep(3)  # the unit stays: it is read once only
        self.assertEqual(len(records()), 1)
        first.stop()  # unplugged: the port vanishes
        second = self.unit("--serial", "2002", "--circuit", "9", link=link)
        wait_lines(self, log, 4)
        time.sleep(0.5)
        watch.send_signal(signal.SIGINT)
        out, err = watch.communicate(timeout=20)
        self.assertEqual(watch.returncode, 0, err)
        with open(log, "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(b"\n"), "the log ends with a whole line")
        self.assertEqual(data.splitlines()[1], b'{"outcome":"ok","ser', "the broken record kept on its own line")
        got = records()
        self.assertEqual(len(got), 2)
        self.assertEqual([(r["outcome"], r["serial"], r["circuit"], r.get("repeat")) for r in got],
                         [("ok", 1001, 5, True), ("ok", 2002, 9, None)])
        self.assertEqual([r["port"] for r in got], [first.slave, second.slave])
        for r in got:
            self.assertEqual(r["serial_text"], "%010d" % r["serial"])
        lines = out.decode().splitlines()
        self.assertEqual(len(lines), 2, "one line per unit")
        self.assertIn("0000001001", lines[0])
        self.assertIn("(read before)", lines[0])
        self.assertIn("0000002002", lines[1])
        # The second unit was released before the port was closed.
        self.assertIn("H>U 04", second.transcript())
        self.assertEqual(first.transcript().count("H>U 89"), 6, "the first unit was read once: four serial bytes, two software bytes")

    def test_four_fixtures_at_once_with_log_and_csv(self):
        links = [os.path.join(self.dir, name) for name in ("bench-1", "bench-2", 'bench "3",x', "bench-4")]
        log = os.path.join(self.dir, "units.jsonl")
        csv_path = os.path.join(self.dir, "units.csv")
        with open(log, "w") as f:
            # The same unit read on fixture 2 by an earlier run; another one on fixture 1.
            f.write('{"schema":1,"outcome":"ok","port":"%s","serial":2}\n' % links[1])
            f.write('{"schema":1,"outcome":"ok","port":"%s","serial":99}\n' % links[0])
        watch = self.start_watch("--log", log, "--csv", csv_path, *[a for link in links for a in ("--port", link)])
        time.sleep(0.5)
        units = [self.unit("--serial", str(i + 1), link=link) for i, link in enumerate(links)]
        # Another program holds the fourth fixture's port: only that fixture waits.
        let_go = self.hold(units[3])
        wait_lines(self, log, 5)
        time.sleep(1)
        let_go()
        wait_lines(self, log, 6)
        watch.send_signal(signal.SIGINT)
        out, err = watch.communicate(timeout=20)
        self.assertEqual(err.decode().count("Cannot use the port " + links[3]), 1, err)
        self.assertEqual(watch.returncode, 0, err)
        with open(log) as f:
            got = [json.loads(line) for line in f.read().splitlines()[2:]]
        devices = [u.slave for u in units]
        self.assertEqual(sorted((r["port"], r["serial"], r.get("repeat", False)) for r in got),
                         sorted([(devices[0], 1, False), (devices[1], 2, True), (devices[2], 3, False),
                                 (devices[3], 4, False)]), "an earlier record by the link counts for its device")
        # The CSV file: a header, then the same records, quoted where a field holds a comma or a quote.
        with open(csv_path, newline="") as f:
            raw = f.read()
        self.assertTrue(raw.startswith("\ufeffschema,outcome,error,message,fixture,port,location,type,serial,serial_text,"
                                       "circuit,software,status,elapsed_ms,time,repeat,duplicate\r\n"))
        rows = list(csv.DictReader(io.StringIO(raw)))
        self.assertEqual(sorted((r["port"], r["serial"], r["repeat"]) for r in rows),
                         sorted([(devices[0], "1", "false"), (devices[1], "2", "true"), (devices[2], "3", "false"),
                                 (devices[3], "4", "false")]))
        for line in out.decode().splitlines():
            self.assertRegex(line, r"^\S+Z  /dev/pts/\d+  ok  000000000\d  ")

    def test_a_port_held_by_another_program_is_told_once_and_read_once_free(self):
        u = self.unit("--serial", "3003")
        log = os.path.join(self.dir, "units.jsonl")
        let_go = self.hold(u)
        watch = self.start_watch("--port", u.link, "--log", log, "--lang", "en")
        time.sleep(3)  # several attempts, each refused
        let_go()
        wait_lines(self, log, 1)
        watch.send_signal(signal.SIGINT)
        out, err = watch.communicate(timeout=20)
        err = err.decode()
        self.assertEqual(watch.returncode, 0, err)
        self.assertEqual(err.count("Cannot use the port " + u.link + ":"), 1, err)
        self.assertIn("ModemManager", err)
        with open(log) as f:
            self.assertEqual([json.loads(line)["serial"] for line in f], [3003])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:], verbosity=2)
