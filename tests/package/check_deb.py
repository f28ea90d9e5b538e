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


def help_options(text):
    """{option: (value, text)} of a command's --help: an option's line and the lines indented under it."""
    options, last = {}, None
    for line in text.splitlines():
        match = re.match(r"^  (--[a-z-]*)(?: (\S+))?(?: +(.*))?$", line)
        if match:
            last = match.group(1)
            options[last] = [match.group(2) or "", match.group(3) or ""]
        elif last and line.startswith(" " * 22):
            options[last][1] = (options[last][1] + " " + line.strip()).strip()
        else:
            last = None
    return {name: tuple(said) for name, said in options.items()}


def roff_text(line):
    return re.sub(r"\\f[BIR]", "", line).replace("\\-", "-").replace("\\e", "\\").replace("\\&", "")


def man_options(page, command):
    """{option: (value, text)} of the .TP entries under the manual page's section of a command."""
    options, section, lines = {}, None, page.splitlines()
    for i, line in enumerate(lines):
        if line.startswith((".SS", ".SH")):
            section = line.split(" ", 1)[1] if line.startswith(".SS") else None
        elif line == ".TP" and section == command:
            name, _, value = roff_text(lines[i + 1]).partition(" ")
            said = []
            for text in lines[i + 2:]:
                if text.startswith("."):
                    break
                said.append(roff_text(text))
            options[name] = (value, " ".join(said))
    return options


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
        env = {name: value for name, value in os.environ.items() if not name.startswith("LC_")}
        return subprocess.run([self.cli] + list(args), capture_output=True, text=True, env=dict(env, LANG=language))

    def test_files_control_and_lintian(self):
        listing = subprocess.run(["dpkg-deb", "-c", self.deb], capture_output=True, text=True, check=True,
                                 env=dict(os.environ, TZ="UTC")).stdout
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

        checked = subprocess.run(["lintian", "--fail-on", "error,warning", self.deb], capture_output=True, text=True)
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
        parsed = []
        for line in rules:
            keys = [re.fullmatch(r'([A-Z_]+)(?:\{([^}]+)\})?(==|!=|\+=|=)"([^"]*)"', k.strip()) for k in line.split(",")]
            self.assertNotIn(None, keys, line)
            parsed.append({(m.group(1), m.group(2), m.group(3)): m.group(4) for m in keys})
        tty = [r for r in parsed if r.get(("SUBSYSTEM", None, "==")) == "tty"]
        self.assertEqual(len(tty), 1)
        self.assertEqual(tty[0][("ATTRS", "idVendor", "==")], "10c4")
        self.assertEqual(set(tty[0][("ATTRS", "idProduct", "==")].split("|")), CP210X_PRODUCTS)
        self.assertEqual(tty[0][("TAG", None, "+=")], "uaccess")
        self.assertEqual(tty[0][("ENV", "ID_MM_DEVICE_IGNORE", "=")], "1")
        # ModemManager reads the flag on the USB device too.
        usb_device = [r for r in parsed if r.get(("ENV", "DEVTYPE", "==")) == "usb_device"]
        self.assertEqual([r[("ENV", "ID_MM_DEVICE_IGNORE", "=")] for r in usb_device], ["1"])
        self.assertEqual(set(usb_device[0][("ATTR", "idProduct", "==")].split("|")), CP210X_PRODUCTS)
        # The rule ends where it says, on every event but a removal.
        labels = [r[("LABEL", None, "=")] for r in parsed if ("LABEL", None, "=") in r]
        self.assertEqual(labels, [parsed[0][("GOTO", None, "=")]])

    def test_manual_pages_say_what_the_help_says(self):
        for language, page in (("C", "man/man1"), ("fr_FR.UTF-8", "man/fr/man1")):
            with gzip.open(os.path.join(self.root, "usr", "share", page, "bravelle-cli.1.gz"), "rt") as f:
                text = f.read()
            self.assertIn('.TH BRAVELLE\\-CLI 1 ', text)
            for command in COMMANDS:
                with self.subTest(language=language, command=command):
                    said = self.run_cli(command, "--help", language=language).stdout
                    self.assertGreater(len(help_options(said)), 1)
                    self.assertEqual(man_options(text, command), help_options(said))
            # groff reads it without a warning.
            warned = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", os.path.join(self.root, "usr", "share",
                                     page, "bravelle-cli.1.gz")], capture_output=True, text=True,
                                    env=dict(os.environ, MANWIDTH="80"))
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
            env = dict(os.environ, PATH=os.path.dirname(self.cli) + os.pathsep + os.environ["PATH"],
                       BRAVELLE_SYSFS=sysfs, BRAVELLE_DEV=dev, BRAVELLE_CONSOLES=consoles)
            script = os.path.join(self.root, "usr", "share", "bash-completion", "completions", "bravelle-cli")

            def complete(line):
                out = subprocess.run(["bash", "--norc", "-c", 'source "$0"; COMP_LINE=$1; COMP_POINT=${#1}; '
                                      '_bravelle_cli; printf "%s\\n" "${COMPREPLY[@]}"', script, line],
                                     capture_output=True, text=True, env=env, check=True).stdout
                return sorted(out.split("\n")[:-1]) if out != "\n" else []

            watch = sorted(help_options(self.run_cli("watch", "--help").stdout)) + ["--help"]
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
