"""Start-up language and the settings file, checked through Bravelle.exe under Wine."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

FRENCH_CAPTION = b"Lecture des Information de votre Satellite de la KVR72 QLE"
ENGLISH_CAPTION = b"Reading the information of your Satellite de la KVR72 QLE"
CANONICAL_FRENCH = b"Langue=0;\x0a\x0d"
CANONICAL_ENGLISH = b"Langue=1;\x0a\x0d"
SETTINGS = b"C:\\windows\\CalvineV1.CFG"
# A time no run of the program can give the file: a rewrite always changes it.
OLD_MTIME_NS = 1000000000 * 10 ** 9


def choose_english(program, main):
    program.click_button(main.hwnd, b"Choix de la Langue")
    dialog = program.wait_window(caption=b"Choix de la Langue")
    english = [c for c in program.children(dialog) if c.text == b"English"][0]
    program.click(english.hwnd)
    harness.wait_until(lambda: program.text(dialog) == b"Language choice", what="English preview")
    program.click_button(dialog, b"OK")
    program.wait_window(caption=b"Language choice", appear=False)
    program.sync(main.hwnd)


def start(session, content):
    """Seeds the file (None: no file), starts the program and returns
    (caption of the main window, file bytes, whether the file was rewritten)."""
    if content is None:
        session.remove_settings()
    else:
        session.seed_settings(content)
        os.utime(session.settings_path, ns=(OLD_MTIME_NS, OLD_MTIME_NS))
    program = session.launch()
    main = program.main_window()
    data = session.read_settings()
    rewritten = content is None or session.settings_stat().st_mtime_ns != OLD_MTIME_NS
    program.close(main.hwnd)
    code = program.wait_exit()
    if code != 0:
        raise AssertionError("exit code %d" % code)
    return main.text, data, rewritten


class StartupLanguage(unittest.TestCase):
    def test_missing_file_is_created_for_french(self):
        with harness.WineSession(self) as s:
            caption, data, _ = start(s, None)
            self.assertEqual(caption, FRENCH_CAPTION)
            self.assertEqual(data, CANONICAL_FRENCH)
            self.assertEqual(len(data), 11)
            # The next start reads what the first one wrote and leaves it alone.
            caption, data, rewritten = start(s, data)
            self.assertEqual((caption, data, rewritten), (FRENCH_CAPTION, CANONICAL_FRENCH, False))

    def check_english(self, cases):
        with harness.WineSession(self) as s:
            for label, content in cases:
                with self.subTest(label, content=content):
                    caption, data, rewritten = start(s, content)
                    self.assertEqual(caption, ENGLISH_CAPTION)
                    self.assertEqual(data, CANONICAL_ENGLISH)
                    # A file that holds the canonical line already is left alone.
                    self.assertEqual(rewritten, content != CANONICAL_ENGLISH)

    def check_french_untouched(self, cases):
        with harness.WineSession(self) as s:
            for label, content in cases:
                with self.subTest(label, content=content):
                    caption, data, rewritten = start(s, content)
                    self.assertEqual(caption, FRENCH_CAPTION)
                    self.assertEqual(data, content)
                    self.assertFalse(rewritten, "a French start-up leaves an existing file alone")

    def test_stored_english_lines_are_rewritten_canonical(self):
        self.check_english([
            ("canonical line", CANONICAL_ENGLISH),
            ("further lines are lost", CANONICAL_ENGLISH + b"Mode=3;\x0a\x0dLangue=0;\x0a\x0d"),
            ("blanks around the value", b"Langue = 1 ;"),
            ("no key, no separator", b"1;"),
            ("leading blanks and controls", b" \t\x0a\x0dLangue=1;"),
            ("key found after other text", b"Mode=7 Langue=1;"),
            ("a lower-case key is just text", b"langue=1;"),
        ])

    def test_stored_english_number_forms(self):
        self.check_english([
            ("plus sign", b"Langue=+1;"),
            ("dollar hexadecimal", b"Langue=$1;"),
            ("x hexadecimal", b"Langue=x1;"),
            ("0x hexadecimal", b"Langue=0x01;"),
            ("leading zeros", b"Langue=0001;"),
            ("terminator on byte 200", b"Langue=1" + b" " * 191 + b";"),
        ])

    def test_unusable_values_stay_french_and_untouched(self):
        self.check_french_untouched([
            ("stored French", CANONICAL_FRENCH),
            ("empty file", b""),
            ("value 2", b"Langue=2;"),
            ("value -1", b"Langue=-1;"),
            ("empty value", b"Langue=;"),
            ("letters in the value", b"Langue=1a;"),
            ("beyond 32 bits", b"Langue=4294967297;"),
            ("beyond the signed range", b"Langue=2147483648;"),
        ])

    def test_unseen_terminators_stay_french_and_untouched(self):
        self.check_french_untouched([
            ("no terminator", b"Langue=1"),
            ("parsing starts at the key", b"Mode=1;Langue=0;"),
            ("terminator on byte 201", b"Langue=1" + b" " * 192 + b";"),
            ("terminator after a zero byte", b"Langue=1\x00;"),
            ("terminator before the separator", b"Langue;=1"),
            ("bare sign", b"Langue=+;"),
            ("bare 0x", b"Langue=0x;"),
        ])


class StartupFailure(unittest.TestCase):
    def expect_error_box(self, session, text):
        program = session.launch()
        box = program.wait_message_box()
        self.assertEqual(box.caption, b"Bravelle")
        self.assertEqual(box.text, text)
        self.assertEqual(box.buttons, [(1, b"OK")])
        # Start-up stopped before the message loop: the main window never showed.
        self.assertEqual([w for w in program.windows() if w.hwnd != box.hwnd], [])
        program.press_ok(box)
        self.assertEqual(program.wait_exit(), 0)

    def test_settings_file_that_cannot_be_created(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            os.mkdir(s.settings_path)
            self.expect_error_box(s, b"Impossible de cr\xe9er le fichier " + SETTINGS + b".")
            self.assertTrue(os.path.isdir(s.settings_path))

    def test_settings_file_that_cannot_be_opened(self):
        with harness.WineSession(self) as s:
            s.seed_settings(CANONICAL_ENGLISH)
            s.lock_file()
            self.expect_error_box(s, b"Impossible d'ouvrir le fichier " + SETTINGS + b".")
            s.unlock_file()
            self.assertEqual(s.read_settings(), CANONICAL_ENGLISH)


class StandardAccount(unittest.TestCase):
    """The Windows directory made to refuse every change, as it refuses a standard
    account on Windows 10 and 11: the settings live in the user's own folder."""

    def launch_main(self, session):
        program = session.launch()
        main = program.main_window()
        self.assertEqual(program.message_boxes(), [])
        return program, main

    def quit(self, program, main):
        program.close(main.hwnd)
        self.assertEqual(program.wait_exit(), 0)

    def test_first_start_and_a_choice_kept_across_restarts(self):
        with harness.WineSession(self) as s:
            windows_dir = os.path.dirname(s.settings_path)
            user = s.user_settings_path()
            s.remove_settings()
            s.make_unwritable(windows_dir)
            program, main = self.launch_main(s)
            self.assertEqual(main.text, FRENCH_CAPTION)
            self.assertEqual(read(user), CANONICAL_FRENCH)
            choose_english(program, main)
            self.assertEqual(program.message_boxes(), [])
            self.assertEqual(program.text(main.hwnd), ENGLISH_CAPTION)
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            self.quit(program, main)

            program, main = self.launch_main(s)
            self.assertEqual(main.text, ENGLISH_CAPTION)
            self.quit(program, main)
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            self.assertEqual(len(read(user)), 11)
            self.assertIsNone(s.read_settings())

            # No place left: the box names the user's file, the last one tried.
            os.unlink(user)
            os.rmdir(os.path.dirname(user))
            s.make_unwritable(os.path.dirname(os.path.dirname(user)))
            program = s.launch()
            box = program.wait_message_box()
            self.assertEqual(box.caption, b"Bravelle")
            self.assertEqual(box.text, b"Impossible de cr\xe9er le fichier " + self.windows_path_of(s, user) + b".")
            self.assertEqual([w for w in program.windows() if w.hwnd != box.hwnd], [])
            program.press_ok(box)
            self.assertEqual(program.wait_exit(), 0)

    def test_a_read_only_hidden_english_file_of_the_user_starts_in_english(self):
        with harness.WineSession(self) as s:
            user = s.user_settings_path()
            s.remove_settings()
            s.make_unwritable(os.path.dirname(s.settings_path))
            os.makedirs(os.path.dirname(user))
            with open(user, "wb") as f:
                f.write(CANONICAL_ENGLISH)
            os.utime(user, ns=(OLD_MTIME_NS, OLD_MTIME_NS))
            # Windows refuses CREATE_ALWAYS on such a file; Wine run by root does
            # not, so the file is also made to refuse every change.
            s.set_attributes(user, harness.FILE_ATTRIBUTE_READONLY | harness.FILE_ATTRIBUTE_HIDDEN)
            s.make_unwritable(user)
            program, main = self.launch_main(s)
            self.assertEqual(main.text, ENGLISH_CAPTION)
            self.quit(program, main)
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            self.assertEqual(os.stat(user).st_mtime_ns, OLD_MTIME_NS)

    def windows_path_of(self, session, host_path):
        relative = os.path.relpath(host_path, os.path.join(session.prefix, "drive_c"))
        return b"C:\\" + relative.replace("/", "\\").encode("cp1252")

    def test_an_unwritable_english_file_and_a_virtual_store_copy_start_in_english(self):
        with harness.WineSession(self) as s:
            windows_dir = os.path.dirname(s.settings_path)
            user = s.user_settings_path()
            s.seed_settings(CANONICAL_ENGLISH + b"Mode=3;")
            s.make_unwritable(s.settings_path)
            s.make_unwritable(windows_dir)
            program, main = self.launch_main(s)
            self.assertEqual(main.text, ENGLISH_CAPTION)
            self.quit(program, main)
            self.assertEqual(s.read_settings(), CANONICAL_ENGLISH + b"Mode=3;")
            self.assertEqual(read(user), CANONICAL_ENGLISH)

            # A fresh user whose earlier 32-bit program left its choice in the VirtualStore.
            s.make_writable(s.settings_path)
            s.make_writable(windows_dir)
            s.remove_settings()
            os.unlink(user)
            os.rmdir(os.path.dirname(user))
            os.makedirs(os.path.dirname(s.virtual_store_path()))
            with open(s.virtual_store_path(), "wb") as f:
                f.write(b"Langue=1;")
            s.make_unwritable(windows_dir)
            program, main = self.launch_main(s)
            self.assertEqual(main.text, ENGLISH_CAPTION)
            self.quit(program, main)
            self.assertEqual(read(user), CANONICAL_ENGLISH)
            self.assertEqual(read(s.virtual_store_path()), b"Langue=1;")
            self.assertIsNone(s.read_settings())


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


if __name__ == "__main__":
    harness.main()
