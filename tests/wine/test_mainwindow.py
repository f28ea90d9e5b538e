"""The main window, the port dialog and the language dialog, driven through Bravelle.exe under Wine."""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402

DEVICE = b"Satellite de la KVR72 QLE"
FRENCH_CAPTION = b"Lecture des Information de votre " + DEVICE
FRENCH_LINES = [
    b"Lecture des Informations de votre " + DEVICE,
    b" ",
    b"Connecter votre " + DEVICE + b" au PC",
    b"Allumer votre " + DEVICE + b".",
    b"Choisir ensuite le port serie \xe0 utiliser.",
    b"Et pour lire les informations, appuyer sur le bouton < Lecture des informations >.",
]
ENGLISH_CAPTION = b"Reading the information of your " + DEVICE
ENGLISH_LINES = [
    b"Reading the information of your " + DEVICE,
    b" ",
    b"Connect your " + DEVICE + b" to the PC",
    b"Switch on your " + DEVICE + b".",
    b"Then choose the serial port to use.",
    b"And to read the information, press the button < Read the information >.",
]
# Button texts, in the order read, port, language, quit.
FRENCH_BUTTONS = [b"Lecture des informations", b"Configuration du Port", b"Choix de la Langue", b"&Quitter"]
ENGLISH_BUTTONS = [b"Read the information", b"Serial port settings", b"Language choice", b"&Exit"]
BUTTON_TOPS = [8, 84, 116, 192]
BUTTON_LEFT = 312
PORT_DIALOG_FR = b"Comfiguration du port s\xe9rie"
PORT_DIALOG_EN = b"Serial port settings"
LANG_FR = b"Choix de la Langue"
LANG_EN = b"Language choice"
WM_COMMAND = 0x0111
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
BS_TYPEMASK = 0x0F
BS_GROUPBOX = 7
BS_AUTORADIOBUTTON = 9
# The idle port watch ticks every 2 s; a change must show within one tick,
# and the margin covers a loaded machine.
WATCH_LIMIT = 2.0 + 3.0


def pane_text(lines):
    return b"".join(line + b"\r\n" for line in lines)


def buttons_of(program, top, texts):
    """The push buttons with these texts, in that order."""
    pushes = [c for c in program.children(top) if c.cls.lower() == "button"
              and c.style & BS_TYPEMASK not in (BS_GROUPBOX, BS_AUTORADIOBUTTON)]
    found = []
    for text in texts:
        matches = [c for c in pushes if c.text == text]
        if len(matches) != 1:
            raise AssertionError("button %r: %r among %r" % (text, matches, pushes))
        found.append(matches[0])
    return found


def pane(program, top):
    edits = [c for c in program.children(top) if c.cls.lower() == "edit"]
    if len(edits) != 1:
        raise AssertionError("one text pane expected: %r" % edits)
    return edits[0]


def radio_items(program, dialog):
    return [c for c in program.children(dialog)
            if c.cls.lower() == "button" and c.style & BS_TYPEMASK == BS_AUTORADIOBUTTON]


def group_box(program, dialog):
    boxes = [c for c in program.children(dialog)
             if c.cls.lower() == "button" and c.style & BS_TYPEMASK == BS_GROUPBOX]
    if len(boxes) != 1:
        raise AssertionError("one group box expected: %r" % boxes)
    return boxes[0]


def read_button_enabled(program, main, text=FRENCH_BUTTONS[0]):
    return buttons_of(program, main, [text])[0].enabled


def unit_heard(unit, byte):
    """True once the unit's transcript holds a byte sent by the program."""
    return re.search(r"H>U %02X\b" % byte, unit.transcript().decode("ascii", "replace")) is not None


class MainWindowLayout(unittest.TestCase):
    def check_layout(self, session, program, main, texts):
        buttons = buttons_of(program, main.hwnd, texts)
        width = max(session.text_width(t) for t in texts) + 20
        for button, top in zip(buttons, BUTTON_TOPS):
            with self.subTest(button=button.text):
                self.assertEqual((button.x, button.y, button.w, button.h), (BUTTON_LEFT, top, width, 25))
        window = program.describe(main.hwnd)
        self.assertEqual(window.outer_width, BUTTON_LEFT + width + 14)
        return buttons, window

    def test_french_window_after_a_first_start(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            self.assertEqual(main.text, FRENCH_CAPTION)
            buttons, window = self.check_layout(s, p, main, FRENCH_BUTTONS)
            self.assertEqual(window.client[1], 225)
            self.assertEqual([b.enabled for b in buttons], [False, True, True, True])
            memo = pane(p, main.hwnd)
            self.assertEqual((memo.x, memo.y, memo.w, memo.h), (8, 8, 297, 209))
            self.assertEqual(memo.text, pane_text(FRENCH_LINES))
            p.click(buttons[3].hwnd)
            self.assertEqual(p.wait_exit(), 0)

    def test_english_window_from_a_stored_english(self):
        with harness.WineSession(self) as s:
            s.seed_settings(b"Langue=1;\x0a\x0d")
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            self.assertEqual(main.text, ENGLISH_CAPTION)
            buttons, window = self.check_layout(s, p, main, ENGLISH_BUTTONS)
            # The height is the design's whatever the language.
            self.assertEqual(window.client[1], 225)
            self.assertEqual(pane(p, main.hwnd).text, pane_text(FRENCH_LINES + ENGLISH_LINES))
            p.click(buttons[3].hwnd)
            self.assertEqual(p.wait_exit(), 0)


class PortChoice(unittest.TestCase):
    def test_without_a_marked_port_the_link_stays_at_com2(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial0", "COM3")])
            unit = s.start_unit(2)
            p = s.launch()
            main = p.main_window()
            read, quit_ = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[0], FRENCH_BUTTONS[3]])
            self.assertFalse(read.enabled)
            # The idle watch sees no change: the button stays disabled over a tick.
            time.sleep(2.5)
            self.assertFalse(read_button_enabled(p, main.hwnd))
            # The handler does not look at the button's state; a reading started
            # by its command shows which port the link holds.
            p.post(main.hwnd, WM_COMMAND, read.id, read.hwnd)
            wait_until(lambda: unit_heard(unit, 0x80), timeout=10, what="connect byte on COM2")
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(20), 0)

    def test_a_marked_port_enables_reading_at_start(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial0", "COM3"), ("\\Device\\Silabser0", "COM4")])
            unit = s.start_unit(4)
            p = s.launch()
            main = p.main_window()
            read, quit_ = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[0], FRENCH_BUTTONS[3]])
            self.assertTrue(read.enabled)
            p.click(read.hwnd)
            wait_until(lambda: unit_heard(unit, 0x80), timeout=10, what="connect byte on COM4")
            wait_until(lambda: b"Appareil connect\xe9\r\n" in pane(p, main.hwnd).text, timeout=10,
                       what="the connected line")
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(20), 0)

    def test_port_dialog_lists_sorted_entries_in_both_languages(self):
        values = [
            ("\\Device\\Serial0", "COM3"),
            ("\\Device\\Serial1", "COM10"),
            ("\\Device\\Serial2", "COM2"),
            ("\\Device\\Silabser0", "COM4"),
            ("\\Device\\Serial9", "COM3"),                         # same data: one entry
            ("\\Device\\Serial7", harness.REG_EXPAND_SZ, "COM7"),  # taken, not expanded
            ("\\Device\\Serial8", harness.REG_DWORD, b"\x05\x00\x00\x00"),  # skipped
        ]
        entries = [b"COM10", b"COM2", b"COM3", b"COM4 : KORVANE", b"COM7"]
        languages = [
            (b"Langue=0;\x0a\x0d", FRENCH_BUTTONS, PORT_DIALOG_FR, b"Port s\xe9rie", b"Valider",
             b"Recherche des Ports"),
            (b"Langue=1;\x0a\x0d", ENGLISH_BUTTONS, PORT_DIALOG_EN, b"Serial port", b"Valid", b"ports searching"),
        ]
        with harness.WineSession(self) as s:
            s.set_serialcomm(values)
            for settings, main_texts, caption, group_text, validate, search in languages:
                with self.subTest(caption=caption):
                    s.seed_settings(settings)
                    p = s.launch()
                    main = p.main_window()
                    port_button, quit_ = buttons_of(p, main.hwnd, [main_texts[1], main_texts[3]])
                    p.click(port_button.hwnd)
                    dialog = p.wait_window(caption=caption)
                    items = radio_items(p, dialog)
                    self.assertEqual([i.text for i in items], entries)
                    self.assertEqual([i.checked for i in items], [0, 0, 0, 1, 0])
                    group = group_box(p, dialog)
                    self.assertEqual(group.text, group_text)
                    ok, again = buttons_of(p, dialog, [validate, search])
                    # Five entries: one column of 7 rows of 13 pixels, buttons 10 below.
                    self.assertEqual((group.w, group.h), (150, 91))
                    self.assertEqual(ok.y - group.y, 91 + 10)
                    self.assertEqual(again.y, ok.y)
                    self.assertEqual((ok.h, again.h), (25, 25))
                    p.click(ok.hwnd)
                    p.wait_window(caption=caption, appear=False)
                    self.assertTrue(read_button_enabled(p, main.hwnd, main_texts[0]))
                    p.click(quit_.hwnd)
                    self.assertEqual(p.wait_exit(), 0)

    def test_valider_hands_the_chosen_port_to_the_link(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial0", "COM3"), ("\\Device\\Serial1", "COM10"),
                              ("\\Device\\Serial2", "COM2")])
            unit = s.start_unit(3)
            p = s.launch()
            main = p.main_window()
            read, port_button, quit_ = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[0], FRENCH_BUTTONS[1],
                                                                 FRENCH_BUTTONS[3]])
            self.assertFalse(read.enabled)
            p.click(port_button.hwnd)
            dialog = p.wait_window(caption=PORT_DIALOG_FR)
            items = radio_items(p, dialog)
            # No marked entry and no earlier port: the first entry is chosen.
            self.assertEqual([(i.text, i.checked) for i in items], [(b"COM10", 1), (b"COM2", 0), (b"COM3", 0)])
            p.click(items[2].hwnd)
            wait_until(lambda: radio_items(p, dialog)[2].checked == 1, what="COM3 highlighted")
            # Enter, from the highlighted item, presses Valider.
            wait_until(lambda: p.focus(dialog) == items[2].hwnd, what="focus on COM3")
            p.key(dialog, VK_RETURN)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)
            self.assertTrue(read_button_enabled(p, main.hwnd))
            wait_until(lambda: p.focus(main.hwnd) == port_button.hwnd, what="focus back on the port button")
            # The choice survives the idle watch and the next show of the dialog.
            time.sleep(2.5)
            p.click(port_button.hwnd)
            dialog = p.wait_window(caption=PORT_DIALOG_FR)
            items = radio_items(p, dialog)
            self.assertEqual([i.checked for i in items], [0, 0, 1])
            # Escape closes the dialog as its close box does, without a choice:
            # the item highlighted meanwhile is not taken.
            p.click(items[1].hwnd)
            wait_until(lambda: radio_items(p, dialog)[1].checked == 1, what="COM2 highlighted")
            wait_until(lambda: p.focus(dialog) == items[1].hwnd, what="focus on COM2")
            p.key(dialog, VK_ESCAPE)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)
            wait_until(lambda: p.focus(main.hwnd) == port_button.hwnd, what="focus back on the port button")
            p.click(read.hwnd)
            wait_until(lambda: unit_heard(unit, 0x80), timeout=10, what="connect byte on COM3")
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(20), 0)


class PortSelection(unittest.TestCase):
    def selection(self, session, values):
        """The dialog's entries and the highlighted one after a fresh start."""
        session.set_serialcomm(values)
        p = session.launch()
        main = p.main_window()
        read, port_button, quit_ = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[0], FRENCH_BUTTONS[1],
                                                             FRENCH_BUTTONS[3]])
        enabled_at_start = read.enabled
        p.click(port_button.hwnd)
        dialog = p.wait_window(caption=PORT_DIALOG_FR)
        items = [(i.text, i.checked) for i in radio_items(p, dialog)]
        p.close(dialog)
        p.wait_window(caption=PORT_DIALOG_FR, appear=False)
        p.click(quit_.hwnd)
        self.assertEqual(p.wait_exit(), 0)
        return items, enabled_at_start

    def test_selection_rules_over_the_real_registry(self):
        long_marked = "\\Device\\" + "x" * 2000 + "Silabser"
        with harness.WineSession(self) as s:
            with self.subTest("the first marked entry wins"):
                items, enabled = self.selection(s, [
                    ("\\Device\\Serial0", "COM2"),
                    ("\\Device\\Silabser1", "COM9"),
                    (long_marked, harness.REG_SZ, b"COM6"),       # long name, data without its zero
                    ("\\Device\\Silabser0", "COM5"),
                ])
                self.assertEqual(items, [(b"COM2", 0), (b"COM5 : KORVANE", 1), (b"COM6 : KORVANE", 0),
                                         (b"COM9 : KORVANE", 0)])
                self.assertTrue(enabled)
            with self.subTest("at the first scan an entry without a number beats entry 0"):
                items, enabled = self.selection(s, [
                    ("\\Device\\Serial0", "COM10"),
                    ("\\Device\\Serial1", "LPT"),
                    ("\\Device\\Serial2", "COM2"),
                ])
                self.assertEqual(items, [(b"COM10", 0), (b"COM2", 0), (b"LPT", 1)])
                self.assertFalse(enabled)
            with self.subTest("same data twice, one of them marked"):
                items, _ = self.selection(s, [
                    ("\\Device\\Serial0", "COM3"),
                    ("\\Device\\Serial1", "COM3"),
                    ("\\Device\\Silabser0", "COM3"),
                ])
                self.assertEqual(items, [(b"COM3", 0), (b"COM3 : KORVANE", 1)])


class IdlePortWatch(unittest.TestCase):
    MARKED = ("\\Device\\Silabser0", "COM4")

    def start(self, session):
        session.set_serialcomm([])
        program = session.launch()
        main = program.main_window()
        self.assertFalse(read_button_enabled(program, main.hwnd))
        return program, main, buttons_of(program, main.hwnd, FRENCH_BUTTONS[1:])

    def wait_read_button(self, p, main, enabled, timings, label):
        _, timings[label] = wait_until(lambda: read_button_enabled(p, main.hwnd) == enabled, WATCH_LIMIT,
                                       what="read button %s" % ("enabled" if enabled else "disabled"))

    def test_registry_changes_are_followed_while_idle(self):
        with harness.WineSession(self) as s:
            p, main, (_, _, quit_) = self.start(s)
            timings = {}
            s.set_serialcomm([self.MARKED])
            self.wait_read_button(p, main, True, timings, "added")
            s.set_serialcomm([])
            self.wait_read_button(p, main, False, timings, "removed")
            sys.stderr.write("idle watch delays: %s\n" % ", ".join("%s %.2f s" % kv for kv in timings.items()))
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(), 0)

    def test_registry_changes_are_followed_under_the_dialogs(self):
        with harness.WineSession(self) as s:
            p, main, (port_button, language_button, quit_) = self.start(s)
            timings = {}
            p.click(language_button.hwnd)
            dialog = p.wait_window(caption=LANG_FR)
            s.set_serialcomm([self.MARKED])
            self.wait_read_button(p, main, True, timings, "added, language dialog")
            p.click_button(dialog, b"OK")
            p.wait_window(caption=LANG_FR, appear=False)

            p.click(port_button.hwnd)
            dialog = p.wait_window(caption=PORT_DIALOG_FR)
            s.set_serialcomm([])
            self.wait_read_button(p, main, False, timings, "removed, port dialog")
            p.close(dialog)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)
            # Closing the port dialog enables the button whatever the port list holds.
            self.assertTrue(read_button_enabled(p, main.hwnd))
            sys.stderr.write("idle watch delays: %s\n" % ", ".join("%s %.2f s" % kv for kv in timings.items()))
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(), 0)


class LanguageDialog(unittest.TestCase):
    def dialog_state(self, p, dialog):
        items = radio_items(p, dialog)
        return (p.text(dialog), group_box(p, dialog).text, [(i.text, i.checked) for i in items])

    def test_choice_previewed_stored_and_not_rewritten_when_unchanged(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            language_button = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[2]])[0]

            p.click(language_button.hwnd)
            dialog = p.wait_window(caption=LANG_FR)
            self.assertEqual(self.dialog_state(p, dialog),
                             (LANG_FR, LANG_FR, [(b"Fran\xe7ais", 1), (b"English", 0)]))
            ok = buttons_of(p, dialog, [b"OK"])[0]
            self.assertEqual((ok.x, ok.y, ok.w, ok.h), (71, 164, 75, 25))
            self.assertEqual(p.describe(dialog).client, (221, 198))
            # Highlighting English previews it before anything is chosen.
            p.click(radio_items(p, dialog)[1].hwnd)
            wait_until(lambda: self.dialog_state(p, dialog) == (LANG_EN, LANG_EN, [(b"Fran\xe7ais", 0),
                                                                                   (b"English", 1)]),
                       what="English preview")
            self.assertEqual(p.text(main.hwnd), FRENCH_CAPTION)
            p.click(ok.hwnd)
            p.wait_window(caption=LANG_EN, appear=False)
            self.assertEqual(p.text(main.hwnd), ENGLISH_CAPTION)
            self.assertEqual(s.read_settings(), b"Langue=1;\x0a\x0d")
            self.assertEqual(pane(p, main.hwnd).text, pane_text(FRENCH_LINES + ENGLISH_LINES))
            english_buttons = buttons_of(p, main.hwnd, ENGLISH_BUTTONS)
            width = max(s.text_width(t) for t in ENGLISH_BUTTONS) + 20
            self.assertEqual([b.w for b in english_buttons], [width] * 4)
            self.assertEqual(p.describe(main.hwnd).outer_width, BUTTON_LEFT + width + 14)

            # Choosing the current language again writes nothing and adds no lines.
            old = 1000000000 * 10 ** 9
            os.utime(s.settings_path, ns=(old, old))
            p.click(english_buttons[2].hwnd)
            dialog = p.wait_window(caption=LANG_EN)
            self.assertEqual(self.dialog_state(p, dialog),
                             (LANG_EN, LANG_EN, [(b"Fran\xe7ais", 0), (b"English", 1)]))
            p.click_button(dialog, b"OK")
            p.wait_window(caption=LANG_EN, appear=False)
            p.sync(main.hwnd)
            self.assertEqual(s.settings_stat().st_mtime_ns, old)
            self.assertEqual(pane(p, main.hwnd).text, pane_text(FRENCH_LINES + ENGLISH_LINES))

            # The close box takes the highlighted language as OK does.
            p.click(english_buttons[2].hwnd)
            dialog = p.wait_window(caption=LANG_EN)
            p.click(radio_items(p, dialog)[0].hwnd)
            wait_until(lambda: p.text(dialog) == LANG_FR, what="French preview")
            p.close(dialog)
            p.wait_window(caption=LANG_FR, appear=False)
            self.assertEqual(p.text(main.hwnd), FRENCH_CAPTION)
            self.assertEqual(s.read_settings(), b"Langue=0;\x0a\x0d")
            self.assertEqual(pane(p, main.hwnd).text, pane_text(FRENCH_LINES + ENGLISH_LINES + FRENCH_LINES))

            # Escape does what the close box does; the focus goes back to the button.
            language_button = buttons_of(p, main.hwnd, [FRENCH_BUTTONS[2]])[0]
            p.click(language_button.hwnd)
            dialog = p.wait_window(caption=LANG_FR)
            english = radio_items(p, dialog)[1].hwnd
            p.click(english)
            wait_until(lambda: p.text(dialog) == LANG_EN and p.focus(dialog) == english, what="English preview")
            p.key(dialog, VK_ESCAPE)
            p.wait_window(caption=LANG_EN, appear=False)
            p.sync(main.hwnd)
            self.assertEqual(p.text(main.hwnd), ENGLISH_CAPTION)
            self.assertEqual(s.read_settings(), b"Langue=1;\x0a\x0d")
            wait_until(lambda: p.focus(main.hwnd) == language_button.hwnd, what="focus back on the button")
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


if __name__ == "__main__":
    harness.main()
