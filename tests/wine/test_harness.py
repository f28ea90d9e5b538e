"""Checks of the Wine harness itself: registry values set exactly, sessions isolated and fully ended."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie is ended, only not yet reaped.
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class HarnessSelfCheck(unittest.TestCase):
    def test_serialcomm_holds_exactly_the_values_set(self):
        values = [
            ("\\Device\\Silabser0", "COM4"),
            ("\\Device\\Serial1", harness.REG_EXPAND_SZ, "COM%N%"),
            ("NoTerminator", harness.REG_SZ, b"COM12"),
            ("Binary", harness.REG_BINARY, bytes(range(256))),
        ]
        with harness.WineSession(self) as s:
            s.set_serialcomm(values)
            got = {name: (kind, data) for name, kind, data in s.serialcomm()}
            self.assertEqual(got, {
                b"\\Device\\Silabser0": (harness.REG_SZ, b"COM4\0"),
                b"\\Device\\Serial1": (harness.REG_EXPAND_SZ, b"COM%N%\0"),
                b"NoTerminator": (harness.REG_SZ, b"COM12"),
                b"Binary": (harness.REG_BINARY, bytes(range(256))),
            })
            # Wine's own reg tool, in another process, sees the same list and
            # nothing of the ports the device manager made for the host.
            listing = s.reg_query_with_wine(harness.SERIALCOMM)
            names = sorted(line.split()[0] for line in listing.splitlines() if line.startswith("    "))
            self.assertEqual(names, sorted(["Binary", "NoTerminator", "\\Device\\Serial1", "\\Device\\Silabser0"]))
            s.set_serialcomm([])
            self.assertEqual(s.serialcomm(), [])
            self.assertEqual([l for l in s.reg_query_with_wine(harness.SERIALCOMM).splitlines()
                              if l.startswith("    ")], [])

    def test_sessions_are_isolated_and_end_every_process(self):
        with harness.WineSession(self, name="first") as s:
            s.set_serialcomm([("\\Device\\Silabser0", "COM9")])
            s.seed_settings(b"Langue=1;")
            pids = harness._descendants(os.getpid())
            prefix = s.prefix
            self.assertTrue(pids)
        self.assertEqual([p for p in pids if alive(p)], [])
        self.assertFalse(os.path.exists(prefix))
        with harness.WineSession(self, name="second") as s:
            self.assertIsNone(s.read_settings())
            self.assertNotIn((b"\\Device\\Silabser0", harness.REG_SZ, b"COM9\0"), s.serialcomm())


if __name__ == "__main__":
    harness.main()
