"""The Debian package as `cmake --build <native tree> --target deb` makes it: its files, lintian's verdict,
its manual page and completion beside the program's own help, its udev rule, and dpkg installing and
removing it.

usage: check_deb.py CMAKE NATIVE_DIR SOURCE_DIR
"""

import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from common import project_version

CMAKE, NATIVE_DIR, SOURCE_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fake_sysfs import make_sysfs, usb  # noqa: E402

FILES = {
    "./usr/bin/bravelle-cli": "-rwxr-xr-x",
    "./usr/lib/udev/rules.d/60-bravelle.rules": "-rw-r--r--",
    "./usr/share/bash-completion/completions/bravelle-cli": "-rw-r--r--",
    "./usr/share/doc/bravelle-cli/changelog.gz": "-rw-r--r--",
    "./usr/share/doc/bravelle-cli/copyright": "-rw-r--r--",
    "./usr/share/man/fr/man1/bravelle-cli.1.gz": "-rw-r--r--",
    "./usr/share/man/man1/bravelle-cli.1.gz": "-rw-r--r--",
}
# The Silicon Labs ids of the kernel's cp210x driver: the CP210x bridges and their siblings.
CP210X_PRODUCTS = {"ea60", "ea61", "ea63", "ea70", "ea71", "ea7a", "ea7b"}
COMMANDS = ("ports", "read", "watch")
# The tools in a locale every Debian has, whatever the caller's: lintian and man complain of one that
# is not installed.
PLAIN = dict({name: value for name, value in os.environ.items() if not name.startswith(("LC_", "LANG"))},
             LANG="C.UTF-8")


def help_options(text):
    """[(option, value)] of a command's --help."""
    return re.findall(r"^  (--[a-z-]*)(?: (\S+))?(?: {2,}|$)", text, re.M)


def man_options(page, command):
    """[(option, value)] of the .TP entries of the manual page's section of a command."""
    section = page.split(".SS %s\n" % command, 1)[1].split("\n.SS ", 1)[0].split("\n.SH ", 1)[0]
    found = re.findall(r"^\.TP\n\\fB(.*?)\\fR(?: \\fI(.*?)\\fR)?$", section, re.M)
    return [(name.replace("\\-", "-"), value) for name, value in found]


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("dpkg-deb") or not shutil.which("lintian"):
            raise unittest.SkipTest("dpkg-deb and lintian are needed (tools/ensure-packages.sh)")
        arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
        cls.version = project_version(SOURCE_DIR)
        cls.deb = os.path.join(NATIVE_DIR, "bravelle-cli_%s_%s.deb" % (cls.version, arch))
        if os.path.exists(cls.deb):
            os.unlink(cls.deb)
        subprocess.run([CMAKE, "--build", NATIVE_DIR, "--target", "deb"], check=True, stdout=subprocess.DEVNULL)
        cls.root = tempfile.mkdtemp(prefix="bravelle-deb-")
        subprocess.run(["dpkg-deb", "-R", cls.deb, cls.root], check=True)
        cls.cli = os.path.join(cls.root, "usr", "bin", "bravelle-cli")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def run_cli(self, *args, language="C"):
        return subprocess.run([self.cli] + list(args), capture_output=True, text=True, env=dict(PLAIN, LANG=language))

    def test_files_control_and_lintian(self):
        listing = subprocess.run(["dpkg-deb", "-c", self.deb], capture_output=True, text=True, check=True,
                                 env=dict(PLAIN, TZ="UTC")).stdout
        entries = [line.split() for line in listing.splitlines()]
        self.assertEqual({e[5]: e[0] for e in entries if not e[0].startswith("d")}, FILES)
        self.assertEqual({e[1] for e in entries}, {"root/root"})
        # Every file dated from the commit (or the caller's SOURCE_DATE_EPOCH), not from the build.
        epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
            ["git", "-C", SOURCE_DIR, "log", "-1", "--format=%ct"], capture_output=True, text=True).stdout.strip()
        if epoch:
            self.assertEqual({" ".join(e[3:5]) for e in entries},
                             {time.strftime("%Y-%m-%d %H:%M", time.gmtime(int(epoch)))})

        with open(os.path.join(self.root, "DEBIAN", "control"), encoding="utf-8") as f:
            control = dict(re.findall(r"^([A-Za-z-]+): (.*)$", f.read(), re.M))
        self.assertEqual((control["Package"], control["Version"]), ("bravelle-cli", self.version))
        # The dependencies are the program's own libraries, found by dpkg-shlibdeps: no sanitizer runtime.
        self.assertEqual({re.sub(r" \(.*\)", "", d) for d in control["Depends"].split(", ")},
                         {"libc6", "libgcc-s1", "libstdc++6"})
        self.assertEqual(self.run_cli("--version").stdout, "bravelle-cli %s\n" % self.version)

        checked = subprocess.run(["lintian", "--fail-on", "error,warning", self.deb], capture_output=True, text=True,
                                 env=PLAIN)
        print("lintian:\n" + checked.stdout + checked.stderr)
        self.assertEqual(checked.returncode, 0)
        self.assertEqual([line for line in checked.stdout.splitlines() if line[:2] in ("E:", "W:")], [])

    def test_dpkg_installs_and_removes_it_cleanly(self):
        if os.geteuid() == 0:
            # This system's packages satisfy its dependencies, as a Debian 12's do.
            dry = subprocess.run(["dpkg", "--dry-run", "-i", self.deb], capture_output=True, text=True)
            self.assertEqual(dry.returncode, 0, dry.stdout + dry.stderr)
        with tempfile.TemporaryDirectory() as root:
            admin = os.path.join(root, "var", "lib", "dpkg")
            for folder in ("info", "updates", "triggers"):
                os.makedirs(os.path.join(admin, folder))
            open(os.path.join(admin, "status"), "w").close()
            dpkg = ["dpkg", "--root=" + root, "--force-not-root", "--force-depends"]
            subprocess.run(dpkg + ["-i", self.deb], check=True, capture_output=True)
            installed = {"./" + os.path.relpath(os.path.join(d, f), root) for d, _, files in os.walk(root)
                         for f in files if not d.startswith(os.path.join(root, "var"))}
            self.assertEqual(installed, set(FILES))
            subprocess.run(dpkg + ["--purge", "bravelle-cli"], check=True, capture_output=True)
            self.assertEqual(sorted(os.listdir(root)), ["var"])

    def test_udev_rule_gives_the_seat_the_cp210x_ports_and_keeps_modemmanager_off(self):
        with open(os.path.join(self.root, "usr", "lib", "udev", "rules.d", "60-bravelle.rules")) as f:
            rules = [line for line in f.read().splitlines() if line and not line.startswith("#")]
        for line in rules:
            self.assertRegex(line, r'^([A-Z_]+(\{[A-Za-z_]+\})?(==|\+=|=)"[^"]*"(, |$))+$')
        tty = [line for line in rules if 'SUBSYSTEM=="tty"' in line]
        usb_device = [line for line in rules if 'ENV{DEVTYPE}=="usb_device"' in line]
        # ModemManager reads its flag on the port or on the USB device: both get it.
        for line in tty + usb_device:
            self.assertIn('{idVendor}=="10c4"', line)
            self.assertEqual(set(re.search(r'\{idProduct\}=="([^"]*)"', line).group(1).split("|")), CP210X_PRODUCTS)
            self.assertIn('ENV{ID_MM_DEVICE_IGNORE}="1"', line)
        self.assertEqual((len(tty), len(usb_device)), (1, 1))
        self.assertIn('TAG+="uaccess"', tty[0])
        self.assertEqual((rules[0], rules[-1]), ('ACTION=="remove", GOTO="bravelle_end"', 'LABEL="bravelle_end"'))

    def test_manual_pages_say_what_the_help_says(self):
        for language, page in (("C", "man/man1"), ("fr_FR.UTF-8", "man/fr/man1")):
            with gzip.open(os.path.join(self.root, "usr", "share", page, "bravelle-cli.1.gz"), "rt") as f:
                text = f.read()
            self.assertIn('.TH BRAVELLE\\-CLI 1 ', text)
            for command in COMMANDS:
                with self.subTest(language=language, command=command):
                    said = help_options(self.run_cli(command, "--help", language=language).stdout)
                    self.assertGreater(len(said), 1)
                    self.assertEqual(man_options(text, command), said)
            # groff reads it without a warning.
            warned = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", os.path.join(self.root, "usr", "share",
                                     page, "bravelle-cli.1.gz")], capture_output=True, text=True,
                                    env=dict(PLAIN, MANWIDTH="80"))
            self.assertEqual(re.sub(r".*running with root privileges.*\n?", "", warned.stderr), "")

    def test_bash_completes_commands_options_and_port_forms(self):
        with tempfile.TemporaryDirectory() as scratch:
            sysfs, dev = os.path.join(scratch, "sys"), os.path.join(scratch, "dev")
            make_sysfs(sysfs, [("ttyUSB0", "cp210x", usb("10c4", "ea60", serial="0001", device="1-1.4")),
                               ("ttyUSB1", "ftdi_sio", usb("0403", "6010", serial="FT4", interfaces=2, device="1-2")),
                               ("ttyUSB2", "ftdi_sio", usb("0403", "6010", serial="FT4", interface=1, interfaces=2,
                                                           device="1-2"))])
            os.makedirs(os.path.join(dev, "serial", "by-id"))
            for tty in ("ttyUSB0", "ttyUSB1", "ttyUSB2"):
                open(os.path.join(dev, tty), "w").close()
            by_id = os.path.join(dev, "serial", "by-id", "usb-Silicon_Labs_CP2102-if00-port0")
            os.symlink("../../ttyUSB0", by_id)
            consoles = os.path.join(scratch, "consoles")
            open(consoles, "w").close()
            env = dict(PLAIN, PATH=os.path.dirname(self.cli) + os.pathsep + os.environ["PATH"],
                       BRAVELLE_SYSFS=sysfs, BRAVELLE_DEV=dev, BRAVELLE_CONSOLES=consoles)
            script = os.path.join(self.root, "usr", "share", "bash-completion", "completions", "bravelle-cli")

            def complete(line):
                out = subprocess.run(["bash", "--norc", "-c", 'source "$0"; COMP_LINE=$1; COMP_POINT=${#1}; '
                                      '_bravelle_cli; printf "%s\\n" "${COMPREPLY[@]}"', script, line],
                                     capture_output=True, text=True, env=env, check=True).stdout
                return sorted(out.split("\n")[:-1]) if out != "\n" else []

            watch = [name for name, _ in help_options(self.run_cli("watch", "--help").stdout)] + ["--help"]
            tty = os.path.join(dev, "ttyUSB")
            cases = [
                ("bravelle-cli ", ["--help", "--version", "help", "ports", "read", "watch"]),
                ("bravelle-cli watch --", sorted(o for o in watch if o != "--")),
                ("bravelle-cli read --lang ", ["en", "fr"]),
                ("bravelle-cli read --port ", sorted([
                    "auto", by_id, tty + "0", tty + "1", tty + "2", "location=1-1.4:1.0", "location=1-2:1.0",
                    "location=1-2:1.1", "usb:10c4:ea60", "usb:10c4:ea60:0001", "usb:0403:6010", "usb:0403:6010:FT4",
                    "usb:0403:6010:FT4:if00", "usb:0403:6010:FT4:if01"])),
                # Bash puts in what follows the word's last ":" or "=".
                ("bravelle-cli read --port=usb:10c4:", ["ea60", "ea60:0001"]),
                ("bravelle-cli watch --fixture left=usb:0403:6010:FT4:", ["if00", "if01"]),
                ("bravelle-cli read -- ", complete("bravelle-cli read --port ")),
            ]
            for line, expected in cases:
                with self.subTest(line):
                    self.assertEqual(complete(line), expected)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:])
