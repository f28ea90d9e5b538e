"""The release archive as `cmake --build <win64 tree> --target package` makes it, checked entry by entry."""

import os
import re
import subprocess
import sys
import unittest
import zipfile

CMAKE, WIN64_DIR, SOURCE_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)


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

    def test_holds_the_program_and_the_note_for_technicians(self):
        with zipfile.ZipFile(self.zip_path) as z:
            self.assertEqual(sorted(z.namelist()), ["Bravelle.exe", "LISEZMOI-README.txt"])
            with open(os.path.join(WIN64_DIR, "win32", "Bravelle.exe"), "rb") as f:
                self.assertEqual(z.read("Bravelle.exe"), f.read())
            note = z.read("LISEZMOI-README.txt")
        # Notepad on every supported Windows reads it: code page 1252, CR LF.
        text = note.decode("cp1252")
        self.assertEqual(note.count(b"\n"), note.count(b"\r\n"))
        self.assertNotIn(b"\xc3", note, "UTF-8 bytes in a code page 1252 text")
        for words in ("FRAN\xc7AIS", "ENGLISH", "C:\\Windows\\CalvineV1.CFG", "%LOCALAPPDATA%\\Bravelle\\CalvineV1.CFG",
                      "Configuration du Port", "Serial port settings", "KORVANE", file_version()):
            self.assertIn(words, text)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
