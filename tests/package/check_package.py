"""The release archive as `cmake --build <win64 tree> --target package` makes it, checked entry by entry."""

import os
import re
import struct
import subprocess
import sys
import unittest
import zipfile

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


def file_version():
    with open(os.path.join(SOURCE_DIR, "win32", "Bravelle.rc"), encoding="ascii") as f:
        return re.search(r'VALUE "FileVersion", "([^"]*)"', f.read()).group(1)


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
        # Notepad on every supported Windows reads it: code page 1252, CR LF.
        text = note.decode("cp1252")
        self.assertEqual(note.count(b"\n"), note.count(b"\r\n"))
        self.assertNotIn(b"\xc3", note, "UTF-8 bytes in a code page 1252 text")
        for words in ("FRAN\xc7AIS", "ENGLISH", "C:\\Windows\\CalvineV1.CFG", "%LOCALAPPDATA%\\Bravelle\\CalvineV1.CFG",
                      "Configuration du Port", "Serial port settings", "KORVANE", file_version(),
                      "bravelle-cli.exe read --port COM5", "bravelle-cli.exe --help"):
            self.assertIn(words, text)

    def test_programs_are_lean_and_their_debug_data_stays_in_the_build_tree(self):
        with zipfile.ZipFile(self.zip_path) as z:
            for name, folder in PROGRAMS:
                with self.subTest(name):
                    data = z.read(name)
                    self.assertLessEqual(len(data), 400 * 1000)
                    sections = pe_sections(data)
                    self.assertEqual([s for s in sections if s.startswith(".debug")], [])
                    # The debug link names the file beside the program, which holds the debug data.
                    link = sections[".gnu_debuglink"]
                    self.assertEqual(link[:link.index(b"\0")], (name + ".debug").encode("ascii"))
                    with open(os.path.join(WIN64_DIR, folder, name + ".debug"), "rb") as f:
                        self.assertIn(".debug_info", pe_sections(f.read()))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
