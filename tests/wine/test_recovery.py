"""Bravelle.exe under Wine with units unplugged, swapped, on other ports, garbling, or behind an adapter without parity."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from test_mainwindow import FRENCH_BUTTONS, FRENCH_LINES, PORT_DIALOG_FR, WATCH_LIMIT  # noqa: E402
from test_mainwindow import buttons_of, pane, pane_text, radio_items  # noqa: E402
from test_reading import COM, EXIT_LIMIT, LINK_LOST_FR, MARKED_PORT, OUTCOME_LIMIT, Reading  # noqa: E402
from test_reading import complete_reading, french_lines, link_lost_box_fr, release_idle, show  # noqa: E402
from test_reading import transcript_of  # noqa: E402

BAD_REPLY = 100003  # COMERR_BAD_REPLY


def unplug(session, unit, com=COM):
    """The adapter pulled out: the unit's line ends, then its COM link and SERIALCOMM value go."""
    unit.stop()
    session.unmap_com(com)
    session.set_serialcomm([])


def plug_in(session, serial, com=COM, *options):
    """The next unit's adapter, under the same COM port and marked again."""
    unit = session.start_unit(com, "--serial", str(serial), *options)
    session.set_serialcomm([MARKED_PORT])
    return unit


def wait_read_button(r, enabled):
    wait_until(lambda: r.states()[0] == enabled, timeout=WATCH_LIMIT,
               what="read button %s by the idle watch" % ("enabled" if enabled else "disabled"))


class UnplugAndReplug(unittest.TestCase):
    def test_new_unit_on_the_same_port_after_an_unplug_while_idle(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s)
            r.start()
            r.wait_pane_ends_with(french_lines()[-1:])
            unplug(s, r.unit)
            wait_read_button(r, False)
            r.unit = plug_in(s, 7)
            wait_read_button(r, True)
            r.start()
            r.wait_pane_ends_with(french_lines(serial=7))
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + french_lines() + french_lines(serial=7)))
            # The new unit hears one connect request: the port was opened afresh.
            self.assertEqual(show(r.quit_program()),
                             show(complete_reading(serial=7) + release_idle() + release_idle()))

    def test_new_unit_on_the_same_port_after_an_unplug_during_a_reading(self):
        # The 12th byte from the host is the ACK of the first character at 120.
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--hangup-after", "12"))
            r.start()
            wait_until(lambda: r.unit.proc.poll() is not None, timeout=OUTCOME_LIMIT, what="the line hung up")
            unplug(s, r.unit)
            box = r.wait_box()
            self.assertTrue(box.text.startswith(link_lost_box_fr(0).split(b"(code")[0]), box.text)
            lost = french_lines()[:5] + [b" ", LINK_LOST_FR]
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lost))
            r.close_box(box)
            wait_read_button(r, False)
            r.unit = plug_in(s, 7)
            wait_read_button(r, True)
            r.start()
            r.wait_pane_ends_with(french_lines(serial=7))
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lost + french_lines(serial=7)))
            self.assertEqual(show(r.quit_program()),
                             show(complete_reading(serial=7) + release_idle() + release_idle()))


class OtherPorts(unittest.TestCase):
    def choose(self, program, main, port_button, index):
        program.click(port_button.hwnd)
        dialog = program.wait_window(caption=PORT_DIALOG_FR)
        items = radio_items(program, dialog)
        self.assertEqual([i.text for i in items], [b"COM4", b"COM5"])
        program.click(items[index].hwnd)
        wait_until(lambda: radio_items(program, dialog)[index].checked == 1, what="entry highlighted")
        program.click_button(dialog, b"Valider")
        program.wait_window(caption=PORT_DIALOG_FR, appear=False)
        program.sync(main)

    def test_the_port_chosen_after_a_reading_is_the_port_read(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Serial4", "COM4"), ("\\Device\\Serial5", "COM5")])
            unit4 = s.start_unit(4, "--serial", "4444")
            unit5 = s.start_unit(5, "--serial", "5555")
            p = s.launch()
            main = p.main_window().hwnd
            read, port_button, _, quit_ = buttons_of(p, main, FRENCH_BUTTONS)
            expected = FRENCH_LINES
            for index, serial in ((0, 4444), (1, 5555)):
                self.choose(p, main, port_button, index)
                p.click(read.hwnd)
                expected = expected + french_lines(serial=serial)
                wait_until(lambda: pane(p, main).text.endswith(pane_text(french_lines()[-1:]))
                           and pane(p, main).text.count(b"Transmission") == index + 1,
                           timeout=OUTCOME_LIMIT, what="reading %d" % (index + 1))
                self.assertEqual(pane(p, main).text, pane_text(expected))
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(EXIT_LIMIT), 0)
            unit4.stop()
            unit5.stop()
            # COM4 was released and closed when COM5 was chosen; COM5 read once.
            self.assertEqual(show(transcript_of(unit4)), show(complete_reading(serial=4444) + release_idle()))
            self.assertEqual(show(transcript_of(unit5)),
                             show(complete_reading(serial=5555) + release_idle() + release_idle()))

    def test_a_unit_on_com150(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([("\\Device\\Silabser0", "COM150")])
            unit = s.start_unit(150)
            p = s.launch()
            main = p.main_window().hwnd
            read, _, _, quit_ = buttons_of(p, main, FRENCH_BUTTONS)
            self.assertTrue(read.enabled)
            p.click(read.hwnd)
            wait_until(lambda: pane(p, main).text.endswith(pane_text(french_lines()[-1:])), timeout=OUTCOME_LIMIT,
                       what="the reading of COM150")
            self.assertEqual(pane(p, main).text, pane_text(FRENCH_LINES + french_lines()))
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(EXIT_LIMIT), 0)
            unit.stop()
            self.assertEqual(show(transcript_of(unit)), show(complete_reading() + release_idle() + release_idle()))


class DamagedAnswers(unittest.TestCase):
    def test_garbled_answers_fail_and_lowercase_answers_read_exactly(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--garble",))
            r.start()
            box = r.wait_box()
            self.assertEqual(box.text, link_lost_box_fr(BAD_REPLY))
            lost = french_lines()[:5] + [b" ", LINK_LOST_FR]
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lost))
            r.close_box(box)
            # The next unit on the same port writes its digits in lowercase.
            r.unit.stop()
            r.unit = s.start_unit(COM, "--lowercase", "--serial", str(0xFEDCBA98), "--soft-major", "26")
            r.start()
            lines = french_lines(serial=0xFEDCBA98, major=26)
            r.wait_pane_ends_with(lines)
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lost + lines))
            self.assertIn(b"\r\nLe num\xe9ro de s\xe9rie est : 4275878552.\r\n", r.pane())
            self.assertIn(b"\r\n La version du logiciel est 26.12\r\n", r.pane())
            r.quit_program()


class AdapterWithoutParity(unittest.TestCase):
    def test_window_stays_responsive_and_quits(self):
        with harness.WineSession(self, env={"BRAVELLE_PTYSHIM_REFUSE_PARITY": "1"}) as s:
            r = Reading(self, s, ("--silent",))
            r.start()
            wait_until(lambda: sum("8E1 -1" in line for line in s.shim_log()) >= 4, timeout=OUTCOME_LIMIT,
                       what="two refused opens")
            # Each tick's Open fails at once and gives the port up: the window
            # answers between ticks and nothing reaches the line.
            t0 = time.monotonic()
            r.program.sync(r.main)
            self.assertLess(time.monotonic() - t0, 3.0)
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES))
            self.assertEqual(r.states(), [False, False, False, True])
            t0 = time.monotonic()
            r.program.click(r.quit.hwnd)
            self.assertEqual(r.program.wait_exit(EXIT_LIMIT), 0)
            self.assertLess(time.monotonic() - t0, 5.0)
            r.unit.stop()
            self.assertEqual(transcript_of(r.unit), [])


if __name__ == "__main__":
    harness.main()
