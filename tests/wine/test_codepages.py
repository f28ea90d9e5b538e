"""Bravelle.exe under Wine started in other locales: ANSI code pages 1251 and 65001, a user name in another script."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_mainwindow import BUTTON_LEFT, BUTTON_TOPS, FRENCH_BUTTONS, FRENCH_CAPTION, FRENCH_LINES  # noqa: E402
from test_mainwindow import buttons_of, pane, pane_text  # noqa: E402
from test_reading import WRONG_UNIT_BOX_FR, Reading, french_lines  # noqa: E402
from test_settings import CANONICAL_ENGLISH, CANONICAL_FRENCH, ENGLISH_CAPTION, choose_english, read  # noqa: E402

ANSI_CHARSET = 0
SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
USER = "\u0414\u043c\u0438\u0442\u0440\u0438\u0439"  # a Russian first name, outside code page 1252


def shown(data):
    """The str a window holds for a text of the program's (code page 1252)."""
    return data.decode("cp1252")


class FrenchOnEveryCodePage(unittest.TestCase):
    """Texts read back as UTF-16 from the windows of a PC whose ANSI code page is not 1252."""

    def check(self, locale, code_page):
        with harness.WineSession(self, env=harness.locale_env(locale)) as s:
            self.assertEqual(s.cmd("info")["acp"], code_page)
            r = Reading(self, s, settings=CANONICAL_FRENCH)
            p = r.program
            self.assertEqual(p.describe(r.main).wtext, shown(FRENCH_CAPTION))
            buttons = buttons_of(p, r.main, FRENCH_BUTTONS)
            self.assertEqual([b.wtext for b in buttons], [shown(t) for t in FRENCH_BUTTONS])
            # Laid out as on a 1252 PC: the texts measured in the font such a PC picks.
            width = max(s.text_width(t, charset=ANSI_CHARSET) for t in FRENCH_BUTTONS) + 20
            self.assertEqual([(b.x, b.y, b.w, b.h) for b in buttons],
                             [(BUTTON_LEFT, top, width, 25) for top in BUTTON_TOPS])
            self.assertEqual(p.describe(r.main).outer_width, BUTTON_LEFT + width + 14)
            r.start()
            r.wait_pane_ends_with(french_lines()[-1:])
            self.assertEqual(pane(p, r.main).wtext, shown(pane_text(FRENCH_LINES + french_lines())))
            r.quit_program()

            r = Reading(self, s, ("--type", "P05"))
            r.start()
            # Its button is the system's, in the system's language.
            box = r.program.wait_message_box(timeout=30)
            self.assertEqual((box.wcaption, box.wtext), ("Erreur", shown(WRONG_UNIT_BOX_FR)))
            r.close_box(box)
            r.quit_program()

    def test_cyrillic_code_page_1251(self):
        self.check("ru_RU.UTF-8", 1251)

    def test_utf8_code_page_65001(self):
        # A locale without an ANSI code page of its own gets 65001 from Wine,
        # as every locale does under Windows' "Beta: Use Unicode UTF-8".
        self.check("hi_IN.UTF-8", 65001)


class UserNameInAnotherScript(unittest.TestCase):
    def test_standard_account_settings_in_a_cyrillic_profile(self):
        # Code page 1252 as usual; the locale generated so that Wine's Unix side
        # (file names, command lines) is UTF-8 whatever the machine has.
        with harness.WineSession(self, env=harness.locale_env("en_US.UTF-8")) as s:
            self.assertEqual(s.cmd("info")["acp"], 1252)
            local = os.path.join(s.prefix, "drive_c", "users", USER, "AppData", "Local")
            os.makedirs(local)
            s.wine("reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d",
                   "C:\\users\\%s\\AppData\\Local" % USER, "/f")
            user = os.path.join(local, "Bravelle", "CalvineV1.CFG")
            s.remove_settings()
            s.make_unwritable(os.path.dirname(s.settings_path))

            p = s.launch()
            main = p.main_window()
            self.assertEqual(p.message_boxes(), [])
            self.assertEqual(read(user), CANONICAL_FRENCH)
            choose_english(p, main)
            self.assertEqual(p.message_boxes(), [])
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)

            p = s.launch()
            main = p.main_window()
            self.assertEqual(main.text, ENGLISH_CAPTION)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            self.assertIsNone(s.read_settings())

            # No place left: the box names the user's file, whole.
            os.unlink(user)
            os.rmdir(os.path.dirname(user))
            s.make_unwritable(local)
            p = s.launch()
            box = p.wait_message_box()
            self.assertEqual(box.wtext, "Impossible de cr\u00e9er le fichier C:\\users\\%s\\AppData\\Local\\Bravelle\\"
                                        "CalvineV1.CFG." % USER)
            p.press_ok(box)
            self.assertEqual(p.wait_exit(), 0)


if __name__ == "__main__":
    harness.main()
