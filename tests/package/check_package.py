"""The release archive as `cmake --build <win64 tree> --target package` makes it, checked entry by entry."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from common import project_version, throwaway_certificate

CMAKE, WIN64_DIR, SOURCE_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)


# Each program in the archive and where the build tree keeps it.
PROGRAMS = (("Bravelle.exe", "win32"), ("bravelle-cli.exe", "cli"))


def pe_sections(data):
    """{name: bytes} of a PE file's sections; names longer than 8 bytes are read from the string table."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise AssertionError("not a PE file")
    count, _, symbols, symbol_count, optional = struct.unpack_from("<HIIIH", data, pe + 6)
    strings = symbols + 18 * symbol_count
    sections = {}
    for i in range(count):
        entry = pe + 24 + optional + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0")
        if name.startswith(b"/"):
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)]
        size, offset = struct.unpack_from("<II", data, entry + 16)
        sections[name.decode("ascii")] = data[offset:offset + size]
    return sections


def icon_sizes(data):
    """Pixel sizes in the first icon group (RT_GROUP_ICON) of a PE32+ file's resources; 256 is stored as 0."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    rva = struct.unpack_from("<I", data, pe + 24 + 112 + 16)[0]  # the resource table's data directory
    headers = [pe + 24 + optional + 40 * i for i in range(count)]
    base = next(struct.unpack_from("<I", data, h + 20)[0] for h in headers
                if struct.unpack_from("<I", data, h + 12)[0] == rva)

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, base + at + 12)
        return [struct.unpack_from("<II", data, base + at + 16 + 8 * k) for k in range(named + numbered)]

    # Type, name, language: from the group type down to its first data entry.
    node = dict(entries(0)).get(14, 0)
    while node & 0x80000000:
        node = entries(node & 0x7FFFFFFF)[0][1]
    if not node:
        return []
    start, size = struct.unpack_from("<II", data, base + node)
    group = data[base + start - rva:base + start - rva + size]
    return sorted(group[6 + 14 * k] or 256 for k in range(struct.unpack_from("<H", group, 4)[0]))


def file_version():
    return project_version(SOURCE_DIR)


class ReleaseArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(os.path.join(WIN64_DIR or "", "win32", "Bravelle.exe")):
            raise unittest.SkipTest("the Windows tree is not built")
        cls.zip_path = os.path.join(WIN64_DIR, "Bravelle-%s-win64.zip" % file_version())
        if os.path.exists(cls.zip_path):
            os.unlink(cls.zip_path)
        subprocess.run([CMAKE, "--build", WIN64_DIR, "--target", "package"], check=True, stdout=subprocess.DEVNULL)

    def test_holds_the_programs_and_the_note_for_technicians(self):
        with zipfile.ZipFile(self.zip_path) as z:
            self.assertEqual(sorted(z.namelist()), ["Bravelle.exe", "LISEZMOI-README.txt", "bravelle-cli.exe"])
            for name, folder in PROGRAMS:
                with open(os.path.join(WIN64_DIR, folder, name), "rb") as f:
                    self.assertEqual(z.read(name), f.read(), name)
            note = z.read("LISEZMOI-README.txt")
        # Notepad reads it right whatever the system's code page: UTF-8 with its
        # mark, CR LF. Without the mark a Greek Windows shows "identit\u03b9".
        self.assertEqual(note[:3], b"\xef\xbb\xbf")
        text = note[3:].decode("utf-8")
        self.assertEqual(note.count(b"\n"), note.count(b"\r\n"))
        self.assertIn("l'identit\u00e9 d'un appareil".encode("utf-8"), note)
        for words in ("FRAN\xc7AIS", "ENGLISH", "C:\\Windows\\CalvineV1.CFG", "%LOCALAPPDATA%\\Bravelle\\CalvineV1.CFG",
                      "Configuration du Port", "Serial port settings", "KORVANE", file_version(),
                      "bravelle-cli.exe read --port COM5", "bravelle-cli.exe --help"):
            self.assertIn(words, text)

    def test_programs_are_lean_and_their_debug_data_stays_in_the_build_tree(self):
        with zipfile.ZipFile(self.zip_path) as z:
            for name, folder in PROGRAMS:
                with self.subTest(name):
                    data = z.read(name)
                    # Debug data left in would add megabytes; the README promises each under 400 KB.
                    self.assertLessEqual(len(data), 400 * 1000)
                    sections = pe_sections(data)
                    self.assertEqual([s for s in sections if s.startswith(".debug")], [])
                    # The debug link names the file beside the program, which holds the debug data.
                    link = sections[".gnu_debuglink"]
                    self.assertEqual(link[:link.index(b"\0")], (name + ".debug").encode("ascii"))
                    with open(os.path.join(WIN64_DIR, folder, name + ".debug"), "rb") as f:
                        self.assertIn(".debug_info", pe_sections(f.read()))


class SignedReleaseArchive(unittest.TestCase):
    def test_both_programs_carry_the_icon_and_verify_signed_with_the_given_certificate(self):
        if not os.path.isfile(os.path.join(WIN64_DIR or "", "win32", "Bravelle.exe")):
            self.skipTest("the Windows tree is not built")
        for tool in ("openssl", "osslsigncode"):
            if not shutil.which(tool):
                self.skipTest(tool + " is not installed")
        with tempfile.TemporaryDirectory() as scratch:
            cert, pfx, password = throwaway_certificate(scratch)
            env = dict(os.environ, BRAVELLE_SIGN_PFX=pfx, BRAVELLE_SIGN_PASSWORD=password, BRAVELLE_SIGN_TIMESTAMP="")
            # Packed into the scratch folder: the build tree's archive stays unsigned.
            cpack = os.path.join(os.path.dirname(CMAKE), "cpack")
            made = subprocess.run([cpack, "--config", os.path.join(WIN64_DIR, "CPackConfig.cmake"), "-B", scratch],
                                  env=env, capture_output=True, text=True)
            self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
            self.assertIn("Signed bravelle-cli.exe", made.stderr)
            with zipfile.ZipFile(os.path.join(scratch, "Bravelle-%s-win64.zip" % file_version())) as z:
                z.extractall(scratch)
            for name, _ in PROGRAMS:
                with self.subTest(name):
                    program = os.path.join(scratch, name)
                    with open(program, "rb") as f:
                        self.assertEqual(icon_sizes(f.read()), [16, 24, 32, 48, 64, 256])
                    checked = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", program],
                                             capture_output=True, text=True)
                    self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                    self.assertIn("Signature verification: ok", checked.stdout)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
