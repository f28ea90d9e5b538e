"""The installer as `cmake --build <win64 tree> --target msi` makes it, run by Wine's msiexec in a fresh
prefix: what it installs for the user and where, the Start-menu shortcut, the version resources and the
manifest of the installed programs as Windows reads them, an upgrade by a newer signed installer, and
an uninstallation that leaves the user's own files.

usage: check_msi.py CMAKE WIN64_DIR SOURCE_DIR
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

from common import project_version, throwaway_certificate

CMAKE, WIN64_DIR, SOURCE_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import harness  # noqa: E402

UPGRADE_CODE = "{B174895F-2701-4844-B1BD-85C349438CB6}"
INSTALLED = {"Bravelle.exe": "win32/Bravelle.exe", "bravelle-cli.exe": "cli/bravelle-cli.exe",
             "LISEZMOI-README.txt": "win32/LISEZMOI-README.txt"}
DESCRIPTIONS = {"Bravelle.exe": b"Bravelle", "bravelle-cli.exe": b"Bravelle en ligne de commande"}
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
SOURCE_NO_PRIVILEGES = 8  # the summary's word count: no elevation asked for


def products(session):
    """{product name: version} of what Windows Installer has installed for the user."""
    out = session.wine("reg", "query", "HKCU\\Software\\Microsoft\\Installer\\Products", "/s").stdout.decode("cp1252")
    names = re.findall(r"ProductName\s+REG_SZ\s+(.*?)\r?$", out, re.M)
    versions = re.findall(r"Version\s+REG_DWORD\s+0x([0-9a-f]+)", out)
    return sorted(zip(names, [int(v, 16) for v in versions]))


def msiexec(session, *args):
    """msiexec's exit code. Its output is not read: the service it starts in the session would hold it open."""
    return subprocess.run(["wine", "msiexec"] + list(args) + ["/qn"], env=session.env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode


def msi_version(text):
    """A version as Windows Installer keeps and compares it: its first three parts."""
    major, minor, build = (int(p) for p in text.split(".")[:3])
    return major << 24 | minor << 16 | build


class WindowsInstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(os.path.join(WIN64_DIR or "", "win32", "Bravelle.exe")):
            raise unittest.SkipTest("the Windows tree is not built")
        for tool in ("wixl", "msiinfo", "msiextract", "openssl", "osslsigncode"):
            if not shutil.which(tool):
                raise unittest.SkipTest(tool + " is not installed (tools/ensure-packages.sh)")
        cls.version = project_version(SOURCE_DIR)
        cls.msi = os.path.join(WIN64_DIR, "Bravelle-%s-x64.msi" % cls.version)
        if os.path.exists(cls.msi):
            os.unlink(cls.msi)
        subprocess.run([CMAKE, "--build", WIN64_DIR, "--target", "msi"], check=True, stdout=subprocess.DEVNULL)

    def newer_signed_installer(self, scratch):
        """The same programs as a version one greater in its last part, signed with a throwaway certificate;
        -> (installer, its version, certificate)."""
        parts = self.version.split(".")
        newer = ".".join(parts[:-1] + [str(int(parts[-1]) + 1)])
        cert, pfx, password = throwaway_certificate(scratch)
        made = subprocess.run([CMAKE, "-DSOURCE_DIR=" + SOURCE_DIR, "-DBINARY_DIR=" + WIN64_DIR, "-DVERSION=" + newer,
                               "-DWIXL=" + shutil.which("wixl"), "-DOUTPUT_DIR=" + scratch, "-P",
                               os.path.join(SOURCE_DIR, "cmake", "MakeMsi.cmake")],
                              env=dict(os.environ, BRAVELLE_SIGN_PFX=pfx, BRAVELLE_SIGN_PASSWORD=password,
                                       BRAVELLE_SIGN_TIMESTAMP=""), capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        return os.path.join(scratch, "Bravelle-%s-x64.msi" % newer), newer, cert

    def assert_signed(self, path, cert):
        checked = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
        self.assertIn("Signature verification: ok", checked.stdout, path + checked.stderr)

    def test_installs_for_the_user_upgrades_and_uninstalls_leaving_the_users_files(self):
        summary = subprocess.run(["msiinfo", "suminfo", self.msi], capture_output=True, text=True, check=True).stdout
        self.assertTrue(int(re.search(r"^Source: (\d+)", summary, re.M).group(1)) & SOURCE_NO_PRIVILEGES)
        table = subprocess.run(["msiinfo", "export", self.msi, "Property"], capture_output=True, text=True).stdout
        properties = dict(line.split("\t", 1) for line in table.splitlines()[3:])
        self.assertEqual((properties["UpgradeCode"], properties["ProductVersion"]), (UPGRADE_CODE, self.version))
        self.assertNotIn("ALLUSERS", properties, "a per-user installation")

        with harness.WineSession(self) as s, tempfile.TemporaryDirectory() as scratch:
            local = s.local_app_data()
            folder = os.path.join(local, "Programs", "Bravelle")
            link = os.path.join(os.path.dirname(local), "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                                "Bravelle.lnk")
            # The user's settings and journal, there before and kept after.
            own = os.path.join(local, "Bravelle")
            os.makedirs(own)
            for name, data in (("CalvineV1.CFG", b"Langue=1;\n\r"), ("readings.jsonl", b'{"schema":2}\n')):
                with open(os.path.join(own, name), "wb") as f:
                    f.write(data)

            self.assertEqual(msiexec(s, "/i", harness.to_windows_path(self.msi)), 0)
            self.assertEqual(sorted(os.listdir(folder)), sorted(INSTALLED))
            for name, built in INSTALLED.items():
                with open(os.path.join(folder, name), "rb") as f, open(os.path.join(WIN64_DIR, built), "rb") as g:
                    self.assertEqual(f.read(), g.read(), name)
            # The shortcut's target, as its link information holds it: the installed Bravelle.exe.
            user = os.path.basename(os.path.dirname(os.path.dirname(local)))
            with open(link, "rb") as f:
                self.assertIn(b"C:\\users\\%s\\AppData\\Local\\Programs\\Bravelle\\Bravelle.exe\0" % user.encode(),
                              f.read())
            self.assertEqual(products(s), [("Bravelle", msi_version(self.version))])

            # Both programs say who they are, as Windows' version API reads it; bravelle-cli.exe has its manifest.
            numbers = [int(p) for p in self.version.split(".")]
            for name, description in DESCRIPTIONS.items():
                with self.subTest(name):
                    info = s.version_info(os.path.join(folder, name))
                    self.assertEqual(info["translations"], [(0x040C, 1252)])
                    self.assertEqual(list(info["tables"]), ["040c04e4"])
                    strings = {k: v for k, v in info["strings"].items() if v}
                    self.assertEqual(strings, {"CompanyName": b"Bravelle", "ProductName": b"Bravelle",
                                               "FileDescription": description, "OriginalFilename": name.encode(),
                                               "InternalName": name[:-4].encode(), "FileVersion": self.version.encode(),
                                               "ProductVersion": self.version.encode()})
                    self.assertEqual((info["fixed"]["file"], info["fixed"]["product"]), (numbers, numbers))
            ids, manifest = s.manifest(os.path.join(folder, "bravelle-cli.exe"))
            self.assertEqual(ids, [1])
            root = ET.fromstring(manifest)
            ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
                  "c": "urn:schemas-microsoft-com:compatibility.v1"}
            self.assertEqual([e.get("level") for e in root.findall(".//v3:requestedExecutionLevel", ns)], ["asInvoker"])
            self.assertEqual({e.get("Id") for e in root.findall(".//c:supportedOS", ns)}, SUPPORTED_OS)
            self.assertEqual(root.find("v1:assemblyIdentity", ns).get("version"), self.version)

            # A newer installer, signed, and the programs in it: it replaces the installed version, though
            # Windows Installer sees the same three parts.
            newer, newer_version, cert = self.newer_signed_installer(scratch)
            self.assert_signed(newer, cert)
            unpacked = os.path.join(scratch, "unpacked")
            subprocess.run(["msiextract", "-C", unpacked, newer], check=True, capture_output=True)
            unpacked = os.path.join(unpacked, "Programs", "Bravelle")
            for name in DESCRIPTIONS:
                self.assert_signed(os.path.join(unpacked, name), cert)
            self.assertEqual(msiexec(s, "/i", harness.to_windows_path(newer)), 0)
            self.assertEqual(products(s), [("Bravelle", msi_version(newer_version))])
            with open(os.path.join(folder, "Bravelle.exe"), "rb") as f, \
                    open(os.path.join(unpacked, "Bravelle.exe"), "rb") as g:
                self.assertEqual(f.read(), g.read(), "the signed program installed")

            self.assertEqual(msiexec(s, "/x", harness.to_windows_path(newer)), 0)
            self.assertFalse(os.path.exists(folder))
            self.assertFalse(os.path.exists(link))
            self.assertEqual(products(s), [])
            self.assertNotEqual(s.wine("reg", "query", "HKCU\\Software\\Bravelle").returncode, 0)
            self.assertEqual(sorted(os.listdir(own)), ["CalvineV1.CFG", "readings.jsonl"])
            with open(os.path.join(own, "CalvineV1.CFG"), "rb") as f:
                self.assertEqual(f.read(), b"Langue=1;\n\r")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:])
