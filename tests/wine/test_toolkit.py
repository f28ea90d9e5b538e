"""The Win32 toolkit as Bravelle.exe shows it: frames, control styles, radio layout, modal loops, keys, handler errors."""

import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from test_mainwindow import ENGLISH_LINES  # noqa: E402

SCREEN = (1024, 768)  # the harness's Xvfb screen
MAIN_FR = b"Lecture des Information de votre Satellite de la KVR72 QLE"
MAIN_EN = b"Reading the information of your Satellite de la KVR72 QLE"
PORT_DIALOG_FR = b"Comfiguration du port s\xe9rie"
LANG_FR = b"Choix de la Langue"
LANG_BUTTON_FR = b"Choix de la Langue"
SETTINGS_FR = b"Langue=0;\x0a\x0d"

WS_TABSTOP, WS_GROUP = 0x00010000, 0x00020000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000
WS_THICKFRAME, WS_SYSMENU, WS_CAPTION = 0x00040000, 0x00080000, 0x00C00000
WS_HSCROLL, WS_VSCROLL = 0x00100000, 0x00200000
WS_EX_TOPMOST, WS_EX_APPWINDOW = 0x00000008, 0x00040000
ES_MULTILINE, ES_AUTOVSCROLL, ES_AUTOHSCROLL, ES_READONLY = 0x0004, 0x0040, 0x0080, 0x0800
BS_TYPEMASK, BS_DEFPUSHBUTTON, BS_GROUPBOX, BS_AUTORADIOBUTTON = 0x0F, 1, 7, 9
WM_KEYDOWN, WM_CHAR, EM_GETLIMITTEXT = 0x0100, 0x0102, 0x00D5
KEY_READ, KEY_NOTIFY = 0x20019, 0x0010
VK_RETURN = 0x0D


def button_type(control):
    return control.style & BS_TYPEMASK


def by_text(controls, text):
    found = [c for c in controls if c.text == text]
    if len(found) != 1:
        raise AssertionError("one control %r expected among %r" % (text, controls))
    return found[0]


def radios(controls):
    return [c for c in controls if c.cls.lower() == "button" and button_type(c) == BS_AUTORADIOBUTTON]


def pane(controls):
    edits = [c for c in controls if c.cls.lower() == "edit"]
    if len(edits) != 1:
        raise AssertionError("one text pane expected among %r" % controls)
    return edits[0]


class ToolkitCase(unittest.TestCase):
    def assert_dialog_frame(self, window):
        self.assertEqual(window.style & WS_CAPTION, WS_CAPTION)
        self.assertTrue(window.style & WS_SYSMENU, "close box")
        self.assertFalse(window.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), "fixed size")

    def assert_centred(self, window):
        left, top = window.rect[0], window.rect[1]
        self.assertLessEqual(abs(left - (SCREEN[0] - window.outer_width) // 2), 1, window.rect)
        self.assertLessEqual(abs(top - (SCREEN[1] - window.outer_height) // 2), 1, window.rect)


class Frames(ToolkitCase):
    def test_windows_and_controls_carry_the_standard_styles(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([("\\Device\\Serial0", "COM1")])
            p = s.launch()
            main = p.describe(p.main_window().hwnd)
            self.assert_dialog_frame(main)
            # The taskbar entry is the application window's, which owns the main window.
            self.assertFalse(main.raw["exstyle"] & WS_EX_APPWINDOW)
            self.assertEqual(p.describe(main.owner).cls, harness.APPLICATION_CLASS)
            self.assertEqual(main.client, (main.client[0], 225))
            self.assert_centred(main)

            kids = p.children(main.hwnd)
            memo = pane(kids)
            self.assertEqual(memo.style & (ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL),
                             ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL)
            self.assertFalse(memo.style & (WS_HSCROLL | ES_AUTOHSCROLL | ES_READONLY), "wraps, editable")
            self.assertGreater(p.send(memo.hwnd, EM_GETLIMITTEXT) & 0xFFFFFFFF, 32767)
            # Tab order is creation order: read button, pane, language, quit, port.
            self.assertEqual([c.cls.lower() for c in kids], ["button", "edit", "button", "button", "button"])
            self.assertTrue(all(c.style & WS_TABSTOP for c in kids))

            p.click(by_text(kids, b"Configuration du Port").hwnd)
            dialog = p.describe(p.wait_window(caption=PORT_DIALOG_FR))
            self.assert_dialog_frame(dialog)
            self.assertTrue(dialog.raw["exstyle"] & WS_EX_TOPMOST, "stays on top")
            self.assertFalse(dialog.raw["exstyle"] & WS_EX_APPWINDOW)
            self.assertEqual(dialog.owner, main.hwnd)
            # One port: the group is 3 rows of 13 high, the buttons 10 below it,
            # all inside a border of 10; the widest row is the search button.
            self.assertEqual(dialog.client, (10 + 104 + 147 + 10, 10 + 39 + 10 + 25 + 10))
            self.assert_centred(dialog)
            p.close(dialog.hwnd)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)

            p.click(by_text(kids, LANG_BUTTON_FR).hwnd)
            dialog = p.describe(p.wait_window(caption=LANG_FR))
            self.assert_dialog_frame(dialog)
            self.assertEqual(dialog.owner, main.hwnd)
            self.assert_centred(dialog)
            dkids = p.children(dialog.hwnd)
            self.assertEqual(button_type(by_text(dkids, b"OK")), BS_DEFPUSHBUTTON)
            self.assertEqual(button_type(by_text(dkids, LANG_FR)), BS_GROUPBOX)
            items = radios(dkids)
            self.assertEqual([i.text for i in items], [b"Fran\xe7ais", b"English"])
            self.assertTrue(items[0].style & WS_GROUP)
            p.close(dialog.hwnd)
            p.wait_window(caption=LANG_FR, appear=False)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


class RadioLayout(ToolkitCase):
    def test_eleven_ports_fill_two_columns_inside_the_group_box(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial%d" % n, "COM%d" % n) for n in range(1, 12)])
            p = s.launch()
            main = p.main_window()
            p.click_button(main.hwnd, b"Configuration du Port")
            dialog = p.wait_window(caption=PORT_DIALOG_FR)
            kids = p.children(dialog)
            group = by_text(kids, b"Port s\xe9rie")
            # Twelve rows of 13 pixels, two columns of 150, at the layout place plus the border.
            self.assertEqual((group.x, group.y, group.w, group.h), (13, 10, 300, 156))
            items = radios(kids)
            names = [b"COM1", b"COM10", b"COM11"] + [b"COM%d" % n for n in range(2, 10)]
            self.assertEqual([i.text for i in items], names)
            # Six rows in the first column, five in the second; the rows share
            # the 139 pixels under the caption band.
            places = [(i.x, i.y, i.w, i.h) for i in items]
            expected = [(13 + 8 + (k // 6) * 145, 10 + 13 + (k % 6) * 23, 145, 23) for k in range(11)]
            self.assertEqual(places, expected)
            self.assertEqual([i.checked for i in items], [1] + [0] * 10)
            self.assertEqual(p.describe(dialog).client, (10 + 303 + 10, 10 + 156 + 10 + 25 + 10))
            p.close(dialog)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


class ModalLoops(ToolkitCase):
    def test_main_window_waits_while_a_dialog_is_up_and_enter_presses_ok(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            p.click_button(main.hwnd, LANG_BUTTON_FR)
            dialog = p.wait_window(caption=LANG_FR)
            self.assertFalse(p.describe(main.hwnd).enabled)
            english = radios(p.children(dialog))[1]
            p.click(english.hwnd)
            wait_until(lambda: p.text(dialog) == b"Language choice", what="English preview")
            # Enter goes to the default button through the dialog keys, wherever the focus is.
            p.post(english.hwnd, WM_KEYDOWN, VK_RETURN, 0)
            p.wait_window(caption=b"Language choice", appear=False)
            self.assertTrue(p.describe(main.hwnd).enabled)
            self.assertEqual(p.text(main.hwnd), MAIN_EN)
            self.assertEqual(s.read_settings(), b"Langue=1;\x0a\x0d")

            # The close box of a dialog only ends its modal loop: the program goes on.
            p.click_button(main.hwnd, b"Language choice")
            dialog = p.wait_window(caption=b"Language choice")
            p.close(dialog)
            p.wait_window(caption=b"Language choice", appear=False)
            p.sync(main.hwnd)
            self.assertTrue(p.describe(main.hwnd).visible)
            self.assertTrue(p.describe(main.hwnd).enabled)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)

    def test_typed_text_stays_and_new_lines_go_below_it(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            memo = pane(p.children(main.hwnd))
            before = p.text(memo.hwnd)
            for ch in b"ok":
                p.post(memo.hwnd, WM_CHAR, ch, 0)
            wait_until(lambda: p.text(memo.hwnd) == before + b"ok", what="typed text")
            # Lines are added at the very end of the text, the caret's place notwithstanding.
            p.post(memo.hwnd, 0x00B1, 0, 0)  # EM_SETSEL to the start
            p.click_button(main.hwnd, LANG_BUTTON_FR)
            dialog = p.wait_window(caption=LANG_FR)
            p.click(radios(p.children(dialog))[1].hwnd)
            wait_until(lambda: p.text(dialog) == b"Language choice", what="English preview")
            p.click_button(dialog, b"OK")
            p.wait_window(caption=b"Language choice", appear=False)
            p.sync(main.hwnd)
            # The first of them starts a line of its own below the typed text.
            self.assertEqual(p.text(memo.hwnd), before + b"ok\r\n" + b"".join(line + b"\r\n" for line in ENGLISH_LINES))
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


class HandlerErrors(ToolkitCase):
    def test_an_error_in_a_click_is_shown_under_the_title_and_the_program_goes_on(self):
        with harness.WineSession(self) as s:
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            self.assertEqual(s.read_settings(), SETTINGS_FR)
            # Held open without sharing, the settings file cannot be created again.
            s.lock_file()
            p.click_button(main.hwnd, LANG_BUTTON_FR)
            dialog = p.wait_window(caption=LANG_FR)
            p.click(radios(p.children(dialog))[1].hwnd)
            wait_until(lambda: p.text(dialog) == b"Language choice", what="English preview")
            p.click_button(dialog, b"OK")
            box = p.wait_message_box()
            self.assertEqual(box.caption, b"Bravelle")
            self.assertEqual(box.text, b"Impossible de cr\xe9er le fichier C:\\windows\\CalvineV1.CFG.")
            self.assertEqual([text for _, text in box.buttons], [b"OK"])
            # Centred on the screen, the forms disabled, and no taskbar entry of its own.
            self.assert_centred(p.describe(box.hwnd))
            self.assertEqual([(w.enabled, w.text) for w in p.windows() if w.cls == "BravelleForm"],
                             [(False, MAIN_EN)])
            self.assertEqual([w.text for w in taskbar_windows(p)], [b"Bravelle"])
            p.press_ok(box)
            wait_until(lambda: not p.message_boxes(), what="box closed")
            s.unlock_file()
            # The language was switched before the write failed.
            self.assertEqual(p.text(main.hwnd), MAIN_EN)
            self.assertTrue(p.describe(main.hwnd).enabled)
            self.assertEqual(s.read_settings(), SETTINGS_FR)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


class ErrorBoxes(ToolkitCase):
    def test_a_box_of_the_port_dialog_stands_in_front_of_it(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial0", "COM1")])
            p = s.launch()
            main = p.main_window()
            p.click_button(main.hwnd, b"Configuration du Port")
            dialog = p.wait_window(caption=PORT_DIALOG_FR)
            # The list cannot be read any more: the key opens for a look, not for reading.
            s.reg_restrict(harness.SERIALCOMM, KEY_READ & ~KEY_NOTIFY)
            p.click_button(dialog, b"Recherche des Ports")
            box = p.wait_message_box()
            self.assertEqual((box.caption, box.text), (b"Erreur", b" Pas de port serie"))
            # EnumWindows lists the top-level windows from the top down: the box
            # is above the dialog, which stays on top of other windows.
            order = [w.hwnd for w in p.windows()]
            self.assertLess(order.index(box.hwnd), order.index(dialog), p.windows())
            self.assertEqual([w.text for w in taskbar_windows(p)], [b"Bravelle"])
            p.press_ok(box)
            p.wait_window(caption=PORT_DIALOG_FR, appear=False)
            p.sync(main.hwnd)
            self.assertTrue(p.describe(main.hwnd).enabled)
            p.close(main.hwnd)
            self.assertEqual(p.wait_exit(), 0)


WS_MINIMIZE = 0x20000000
WS_EX_TOOLWINDOW = 0x00000080
WM_SYSCOMMAND, SC_MINIMIZE, SC_RESTORE = 0x0112, 0xF020, 0xF120
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
FRENCH_BUTTONS = [b"Lecture des informations", b"Configuration du Port", b"Choix de la Langue", b"&Quitter"]
ENGLISH_BUTTONS = [b"Read the information", b"Serial port settings", b"Language choice", b"&Exit"]


def taskbar_windows(program):
    """The windows the taskbar (and Alt+Tab) shows a button for."""
    return [w for w in program.windows()
            if w.raw["exstyle"] & WS_EX_APPWINDOW or (w.owner == 0 and not w.raw["exstyle"] & WS_EX_TOOLWINDOW)]


class WindowsShell(ToolkitCase):
    def check_manifest(self, session):
        ids, data = session.manifest()
        self.assertEqual(ids, [1])
        root = ET.fromstring(data)
        ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "c": "urn:schemas-microsoft-com:compatibility.v1"}
        levels = root.findall(".//v3:requestedExecutionLevel", ns)
        self.assertEqual([e.get("level") for e in levels], ["asInvoker"])
        self.assertEqual({e.get("Id") for e in root.findall(".//c:supportedOS", ns)}, SUPPORTED_OS)
        # Without DPI awareness Windows scales the window as a whole, its GDI text
        # drawn at the screen's scale.
        self.assertNotIn(b"dpiAware", data)
        gdi = root.findall("./v3:application/v3:windowsSettings/{http://schemas.microsoft.com/SMI/2017/WindowsSettings}"
                           "gdiScaling", ns)
        self.assertEqual([e.text for e in gdi], ["true"])
        controls = [e.get("name") for e in root.findall(".//v1:dependentAssembly/v1:assemblyIdentity", ns)]
        self.assertEqual(controls, ["Microsoft.Windows.Common-Controls"])

    def check_layout(self, session, program, main, texts):
        """Every place and width as laid out, whatever the controls' look."""
        kids = program.children(main.hwnd)
        width = max(session.text_width(t) for t in texts) + 20
        places = [(c.x, c.y, c.w, c.h) for t in texts for c in kids if c.text == t and c.cls.lower() == "button"]
        self.assertEqual(places, [(312, top, width, 25) for top in (8, 84, 116, 192)])
        memo = pane(kids)
        self.assertEqual((memo.x, memo.y, memo.w, memo.h), (8, 8, 297, 209))
        window = program.describe(main.hwnd)
        self.assertEqual((window.outer_width, window.client[1]), (312 + width + 14, 225))

    def assert_one_taskbar_entry(self, program, main):
        entries = taskbar_windows(program)
        self.assertEqual([(w.cls, w.text) for w in entries], [(harness.APPLICATION_CLASS, b"Bravelle")])
        described = program.describe(main.hwnd)
        self.assertEqual(described.owner, entries[0].hwnd)
        self.assertFalse(described.raw["exstyle"] & WS_EX_APPWINDOW)
        return entries[0]

    def minimize(self, program, hwnd, app, hidden):
        program.post(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0)
        wait_until(lambda: program.describe(app.hwnd).style & WS_MINIMIZE, what="program minimised")
        for h in hidden:
            self.assertFalse(program.describe(h).visible)
        self.assertEqual(len(taskbar_windows(program)), 1, "the entry stays while minimised")

    def restore(self, program, app, shown):
        program.post(app.hwnd, WM_SYSCOMMAND, SC_RESTORE, 0)
        wait_until(lambda: all(program.describe(h).visible for h in shown), what="forms shown again")
        self.assertFalse(program.describe(app.hwnd).style & WS_MINIMIZE)

    def test_manifest_one_taskbar_entry_and_the_layout_in_both_languages(self):
        with harness.WineSession(self) as s:
            # The manifest opts into Common Controls 6: the places and widths
            # checked below are those of the controls it brings.
            self.check_manifest(s)
            s.remove_settings()
            s.set_serialcomm([])
            p = s.launch()
            main = p.main_window()
            app = self.assert_one_taskbar_entry(p, main)
            self.check_layout(s, p, main, FRENCH_BUTTONS)

            # Minimising the main window minimises the program; its entry brings it back as it was.
            before = p.describe(main.hwnd).rect
            self.minimize(p, main.hwnd, app, [main.hwnd])
            self.restore(p, app, [main.hwnd])
            self.assertEqual(p.describe(main.hwnd).rect, before)

            # With a dialog up: still one entry; minimised and restored, the dialog keeps the input.
            p.click_button(main.hwnd, LANG_BUTTON_FR)
            dialog = p.wait_window(caption=LANG_FR)
            self.assert_one_taskbar_entry(p, main)
            self.minimize(p, app.hwnd, app, [main.hwnd, dialog])
            self.restore(p, app, [main.hwnd, dialog])
            self.assertTrue(p.describe(dialog).enabled)
            self.assertFalse(p.describe(main.hwnd).enabled)
            p.click(radios(p.children(dialog))[1].hwnd)
            wait_until(lambda: p.text(dialog) == b"Language choice", what="English preview")
            p.click_button(dialog, b"OK")
            p.wait_window(caption=b"Language choice", appear=False)
            p.sync(main.hwnd)

            # English: the main window's caption changes, the entry still reads "Bravelle".
            self.assertEqual(p.text(main.hwnd), MAIN_EN)
            self.assert_one_taskbar_entry(p, main)
            self.check_layout(s, p, main, ENGLISH_BUTTONS)
            # "Close window" on the entry closes the program.
            p.close(app.hwnd)
            self.assertEqual(p.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
