"""The version resource of Bravelle.exe, read back under Wine as Windows' own version API reports it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

STANDARD_STRINGS = ("Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild", "ProductName",
                    "ProductVersion", "SpecialBuild")


class VersionResource(unittest.TestCase):
    def test_one_french_translation_with_the_file_version(self):
        with harness.WineSession(self) as s:
            info = s.version_info()
        self.assertEqual(info["translations"], [(0x040C, 0x04E4)])
        # Every table of the resource, not only what VerQueryValueA finds.
        self.assertEqual(list(info["tables"]), ["040c04e4"])
        table = info["tables"]["040c04e4"]
        self.assertEqual(table["FileVersion"], b"1.0.1.10")
        self.assertEqual(table["ProductVersion"], b"1.0.0.0")
        for name, value in table.items():
            if name not in ("FileVersion", "ProductVersion"):
                self.assertIn(name, STANDARD_STRINGS, "unexpected string in the table")
                self.assertEqual(value, b"", name)
        for name in STANDARD_STRINGS:
            with self.subTest(name):
                expected = {"FileVersion": b"1.0.1.10", "ProductVersion": b"1.0.0.0"}.get(name, b"")
                self.assertIn(info["strings"][name], (expected, None) if not expected else (expected,))
        fixed = info["fixed"]
        self.assertEqual(fixed["signature"], 0xFEEF04BD)
        self.assertEqual(fixed["file"], [1, 0, 1, 10])


if __name__ == "__main__":
    harness.main()
