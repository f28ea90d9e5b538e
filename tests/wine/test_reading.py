"""The reading sequence through Bravelle.exe under Wine, against the simulated unit on a pty picked at start."""

import json
import os
import re
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from test_mainwindow import ENGLISH_BUTTONS, ENGLISH_LINES, FRENCH_BUTTONS, FRENCH_LINES, WATCH_LIMIT  # noqa: E402
from test_mainwindow import buttons_of, pane, pane_text  # noqa: E402

DEVICE = b"Satellite de la KVR72 QLE"
COM = 4
MARKED_PORT = ("\\Device\\Silabser0", "COM%d" % COM)
ACK = 0x84
WM_CHAR = 0x0102
VK_TAB, VK_RETURN, VK_SPACE = 0x09, 0x0D, 0x20
WM_QUERYENDSESSION, WM_ENDSESSION = 0x0011, 0x0016
WM_SYSCOMMAND = 0x0112
SAVED_READINGS = 0x0010  # the command of the main window's own system menu entry
TIMEOUT = 100002  # COMERR_TIMEOUT: the unit's silence, as the link reports it

# Generous bounds: a complete reading takes about 3.5 s; a loaded machine may
# double that, and a failure waits out several 1.1 s read limits.
OUTCOME_LIMIT = 30
EXIT_LIMIT = 20


# The shared lines are those of the simulated unit's default serial number and
# software version.
DEFAULT_SERIAL = b"0305419896"
DEFAULT_SOFTWARE_FR = b" La version du logiciel est 1.12"


def french_lines(serial=305419896, major=1, minor=12):
    software = b" La version du logiciel est %u.%u" % (major, minor)
    return [software if line == DEFAULT_SOFTWARE_FR else line.replace(DEFAULT_SERIAL, b"%010u" % serial)
            for line in harness.complete_reading_pane("fr")]


def english_lines(serial=305419896):
    return [line.replace(DEFAULT_SERIAL, b"%010u" % serial) for line in harness.complete_reading_pane("en")]


LINK_LOST_FR = b"L'appareil ne r\xe9pond plus correctement"


def link_lost_box_fr(code):
    return (b"L'appareil " + DEVICE + b" ne r\xe9pond plus correctement (code %d).\n\n\r" % code
            + b"V\xe9rifier le c\xe2ble, l'alimentation et le port choisi, puis relancer la lecture.")


WRONG_UNIT_BOX_FR = (b"Le type d'appareil ne correspond pas \xe0 un appareil " + DEVICE + b".\n\n\r"
                     b"L'appareil n'est pas un appareil " + DEVICE + b"!")


# ---- the bytes on the line, as (direction, byte) pairs --------------------

def H(*values):
    return [("H>U", v) for v in values]


def U(*values):
    return [("U>H", v) for v in values]


def unit_sends(value):
    """A byte value sent by the unit as two hex characters, each acknowledged."""
    out = []
    for c in b"%02X" % value:
        out += U(c) + H(ACK)
    return out


def read_byte(address, value):
    return H(0x89) + H(*b"%02X" % address) + unit_sends(value)


def handshake():
    return H(0x80) + U(0x81)


def check_type(unit_type=b"P04"):
    out = H(0x86)
    for c in unit_type:
        out += unit_sends(c)
    return out


def read_serial(serial):
    return sum((read_byte(120 + i, (serial >> (8 * i)) & 0xFF) for i in range(4)), [])


def read_circuit(circuit):
    return H(0x87) + unit_sends(circuit)


def read_software(major, minor):
    return read_byte(126, major) + read_byte(127, minor)


def release_connected():
    # Baud request for 9600 ("81"), accepted and one more byte; then CMD_END and its answer.
    return H(0x9E, 0x38, 0x31) + U(ACK, ACK) + H(0x04) + U(ACK)


def release_idle():
    return H(0x04) + U(ACK)


def reading_steps(serial=305419896, circuit=5, major=1, minor=12):
    """The exchange of each step of a complete reading, in order."""
    return [handshake(), check_type(), read_serial(serial), read_circuit(circuit), read_software(major, minor),
            release_connected()]


def complete_reading(**values):
    return sum(reading_steps(**values), [])


def transcript_of(unit):
    pairs = []
    for line in unit.transcript().decode("ascii").splitlines():
        _, direction, value = line.split()
        pairs.append((direction, int(value, 16)))
    return pairs


def show(pairs):
    return " ".join(("" if d == "H>U" else "<") + "%02X" % v for d, v in pairs)


class Reading:
    """One program started with the unit on a marked port, and its main window's parts."""

    def __init__(self, test, session, unit_options=(), settings=None, buttons=FRENCH_BUTTONS):
        self.test = test
        self.session = session
        if settings is not None:
            session.seed_settings(settings)
        session.set_serialcomm([MARKED_PORT])
        self.unit = session.start_unit(COM, *unit_options)
        self.program = session.launch()
        self.main = self.program.main_window().hwnd
        self.texts = buttons
        self.read, self.port, self.language, self.quit = buttons_of(self.program, self.main, buttons)
        self.memo = pane(self.program, self.main).hwnd

    def states(self):
        """Enabled states of the read, port, language and quit buttons."""
        return [b.enabled for b in buttons_of(self.program, self.main, self.texts)]

    def pane(self):
        return pane(self.program, self.main).text

    def start(self):
        self.test.assertEqual(self.states(), [True, True, True, True], "buttons before the click")
        self.program.click(self.read.hwnd)
        # A sent message can overtake the posted click, so sync alone may look
        # before the click handler ran: wait for its outcome instead.
        wait_until(lambda: self.states() == [False, False, False, True], what="buttons during the reading")

    def wait_pane_ends_with(self, lines, timeout=OUTCOME_LIMIT):
        tail = pane_text(lines)
        wait_until(lambda: self.pane().endswith(tail), timeout=timeout, what="pane ending with %r" % lines[-1])
        self.program.sync(self.main)

    def wait_box(self):
        box = self.program.wait_message_box(timeout=OUTCOME_LIMIT)
        self.test.assertEqual(box.caption, b"Erreur")
        self.test.assertEqual([text for _, text in box.buttons], [b"OK"])
        return box

    def close_box(self, box):
        self.program.press_ok(box)
        wait_until(lambda: not self.program.message_boxes(), what="the box closed")
        self.program.sync(self.main)

    def quit_program(self):
        self.program.click(self.quit.hwnd)
        self.test.assertEqual(self.program.wait_exit(EXIT_LIMIT), 0)
        self.unit.stop()
        return transcript_of(self.unit)

    def assert_idle_watch_runs(self):
        """Removing the chosen port disables the read button at the next idle tick."""
        self.session.set_serialcomm([])
        wait_until(lambda: not self.states()[0], timeout=WATCH_LIMIT, what="read button disabled by the idle watch")
        self.test.assertEqual(self.states(), [False, True, True, True])


class CompleteReading(unittest.TestCase):
    def assert_exchange(self, got, expected):
        self.assertEqual(show(got), show(expected))

    def test_french_reading_lines_bytes_and_buttons(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s)
            r.start()
            r.wait_pane_ends_with(french_lines()[-1:])
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + french_lines()))
            self.assertEqual(r.states(), [True, True, True, True])
            # The settings the port was opened with.
            self.assertIn("tcsetattr 9600 8E1 0", s.shim_log())
            r.assert_idle_watch_runs()
            # The chosen port left the list: the idle watch released the unit and
            # closed the port, so quitting has nothing left to release.
            self.assert_exchange(r.quit_program(), complete_reading() + release_idle())

    def test_english_reading_shows_the_serial_number_and_both_versions(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s, settings=b"Langue=1;\n\r", buttons=ENGLISH_BUTTONS)
            # The user typed into the pane without ending the line: the
            # reading's first line still starts a line of its own.
            before = r.pane()
            for ch in b"abc":
                r.program.post(r.memo, WM_CHAR, ch, 0)
            wait_until(lambda: r.pane() == before + b"abc", what="typed text")
            r.start()
            r.wait_pane_ends_with(english_lines()[-1:])
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + ENGLISH_LINES) + b"abc\r\n" + pane_text(english_lines()))
            self.assertIn(b"\r\nSerial number is : 0305419896.\r\n Circuit version is 5 \r\n"
                          b" Software version is 1.12\r\n", r.pane())
            self.assertEqual(r.states(), [True, True, True, True])
            self.assert_exchange(r.quit_program(), complete_reading() + release_idle() + release_idle())

    def test_second_reading_appends_on_the_port_left_open(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s)
            # Both readings are started from the keyboard, Enter and Space. The read
            # button holds the focus at start; disabled, it hands it on to the pane.
            p = r.program
            wait_until(lambda: p.focus(r.main) == r.read.hwnd, what="focus on the read button at start")
            self.assertEqual(r.states(), [True, True, True, True])
            p.key(r.main, VK_RETURN)
            wait_until(lambda: r.states() == [False, False, False, True], what="buttons during the reading")
            self.assertEqual(p.focus(r.main), r.memo)
            # Once the type is asked the port is set up; the release is four ticks away.
            wait_until(lambda: ("H>U", 0x86) in transcript_of(r.unit), timeout=OUTCOME_LIMIT, what="type request")
            opened = len(s.shim_log())
            r.wait_pane_ends_with(french_lines()[-1:])
            first = s.shim_log()
            # The focus is back on the read button, and Tab walks the window in tab order.
            self.assertEqual(p.focus(r.main), r.read.hwnd)
            for control in (r.memo, r.language.hwnd, r.quit.hwnd, r.port.hwnd, r.read.hwnd):
                p.key(r.main, VK_TAB)
                # A sent message overtakes the posted keys: wait for the focus itself.
                wait_until(lambda: p.focus(r.main) == control, what="Tab to %d" % control)
            p.key(r.main, VK_SPACE)
            wait_until(lambda: r.states() == [False, False, False, True], what="buttons during the second reading")
            r.wait_pane_ends_with(french_lines() + french_lines())
            self.assertEqual(p.focus(r.main), r.read.hwnd)
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + french_lines() + french_lines()))
            # Each reading is one record of the journal, as bravelle-cli --log writes them; the unit read
            # again on the same port is a repeat.
            with open(os.path.join(s.local_app_data(), "Bravelle", "readings.jsonl"), "rb") as f:
                records = [json.loads(line) for line in f.read().split(b"\n")[:-1]]
            unit = {"schema": 3, "outcome": "ok", "station": socket.gethostname(), "port": "COM4", "type": "P04",
                    "serial": 305419896, "serial_text": "0305419896", "circuit": 5, "software": "1.12", "status": 0,
                    "program": "Bravelle.exe 1.0.1.10"}
            for record, repeat in zip(records, ({}, {"repeat": True})):
                self.assertEqual({k: v for k, v in record.items() if k not in ("id", "elapsed_ms", "time")},
                                 dict(unit, **repeat))
                self.assertRegex(record["id"], r"^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
                self.assertRegex(record["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
                self.assertGreater(record["elapsed_ms"], 0)
            self.assertEqual(len(records), 2)
            # The system menu's entry shows the journal's folder in the file browser.
            p.post(r.main, WM_SYSCOMMAND, SAVED_READINGS, 0)
            s.wait_any_window(caption=b"Bravelle", cls=b"ExplorerWClass", timeout=30)
            # The open set the line up before the handshake; later the release's
            # baud switch sets it again. The second reading repeats only that.
            release = first[opened:]
            self.assertTrue(release, "the release sets the line's rate")
            self.assertEqual(s.shim_log()[len(first):], release, "line settings of the second reading")
            self.assert_exchange(r.quit_program(),
                                 complete_reading() * 2 + release_idle() + release_idle())

    def check_serial(self, serial, shown):
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--serial", str(serial)))
            r.start()
            r.wait_pane_ends_with(french_lines()[-1:])
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + french_lines(serial=serial)))
            self.assertIn(b"\r\nLe num\xe9ro de s\xe9rie est : " + shown + b".\r\n", r.pane())
            self.assert_exchange(r.quit_program(),
                                 complete_reading(serial=serial) + release_idle() + release_idle())

    def test_serial_number_zero(self):
        self.check_serial(0, b"0000000000")

    def test_serial_number_all_ones_is_unsigned(self):
        self.check_serial(4294967295, b"4294967295")


class Handshake(unittest.TestCase):
    def test_unit_answering_after_several_attempts(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--answer-after", "3"))
            r.start()
            r.wait_pane_ends_with(french_lines()[-1:], timeout=OUTCOME_LIMIT + 10)
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + french_lines()))
            self.assertEqual(show(r.quit_program()),
                             show(H(0x80) * 2 + complete_reading() + release_idle() + release_idle()))

    def test_no_unit_retries_silently_until_the_session_ends(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--silent",))
            r.start()
            # Each attempt is a one-second pause and a 1.1 s wait for the answer.
            wait_until(lambda: transcript_of(r.unit).count(("H>U", 0x80)) >= 3, timeout=OUTCOME_LIMIT,
                       what="three connect requests")
            self.assertEqual(r.program.text(r.memo), pane_text(FRENCH_LINES))
            # Windows asks, then ends the session, and ends the program some five seconds later: the
            # program has let the unit go and ended well before, whatever the attempt was doing.
            self.assertEqual(r.program.send(r.main, WM_QUERYENDSESSION, 0, 0), 1)
            t0 = time.monotonic()
            r.program.send(r.main, WM_ENDSESSION, 1, 0)
            self.assertEqual(r.program.wait_exit(EXIT_LIMIT), 0)
            self.assertLess(time.monotonic() - t0, 2.0)
            r.unit.stop()
            got = transcript_of(r.unit)
            # Connect requests only, then one release: nothing was connected, so no baud request.
            requests = len(got) - 1
            self.assertGreaterEqual(requests, 3)
            self.assertEqual(show(got), show(H(0x80) * requests + H(0x04)))

    def test_unit_that_is_not_there_at_all(self):
        with harness.WineSession(self) as s:
            s.set_serialcomm([MARKED_PORT])
            p = s.launch()
            main = p.main_window().hwnd
            read, port, language, quit_ = buttons_of(p, main, FRENCH_BUTTONS)
            self.assertTrue(read.enabled)
            p.click(read.hwnd)
            # The port does not open: every tick tries again, and writes nothing.
            time.sleep(2.0)
            p.sync(main)
            self.assertEqual(pane(p, main).text, pane_text(FRENCH_LINES))
            self.assertEqual([b.enabled for b in buttons_of(p, main, FRENCH_BUTTONS)], [False, False, False, True])
            self.assertEqual(p.message_boxes(), [])
            p.click(quit_.hwnd)
            self.assertEqual(p.wait_exit(EXIT_LIMIT), 0)


class FailedReading(unittest.TestCase):
    def test_unit_of_another_type(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s, ("--type", "P05"))
            r.start()
            box = r.wait_box()
            self.assertEqual(box.text, WRONG_UNIT_BOX_FR)
            lines = french_lines()[:3] + [b" ", b"Mauvais type d'appareil"]
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lines))
            self.assertNotIn(b"num\xe9ro de s\xe9rie", r.pane())
            self.assertEqual(r.states(), [False, False, False, True], "buttons while the box is open")
            r.close_box(box)
            self.assertEqual(r.states(), [True, True, True, True])
            self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lines))
            r.assert_idle_watch_runs()
            # The failure handler's release, then the idle watch's Close of the port
            # that left the list; quitting finds the port closed.
            self.assertEqual(show(r.quit_program()),
                             show(handshake() + check_type(b"P05") + release_connected() + release_idle()))

    def check_link_lost(self, session, unit_options, lines_before):
        r = Reading(self, session, unit_options)
        r.start()
        box = r.wait_box()
        match = re.fullmatch(re.escape(link_lost_box_fr(12345)).replace(b"12345", b"(-?[0-9]+)"), box.text)
        self.assertIsNotNone(match, box.text)
        code = int(match.group(1))
        self.assertNotEqual(code, 0)
        lines = lines_before + [b" ", LINK_LOST_FR]
        self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lines))
        self.assertNotIn(b"Transmission r\xe9ussie", r.pane())
        self.assertEqual(r.states(), [False, False, False, True], "buttons while the box is open")
        r.close_box(box)
        self.assertEqual(r.states(), [True, True, True, True])
        self.assertEqual(r.pane(), pane_text(FRENCH_LINES + lines))
        r.assert_idle_watch_runs()
        return r, code

    def test_unit_silent_after_the_handshake(self):
        with harness.WineSession(self) as s:
            r, code = self.check_link_lost(s, ("--silent-after-handshake",), french_lines()[:3])
            self.assertEqual(code, TIMEOUT)
            # The failure handler releases the unit (asked, never answered) and
            # closes the port, so the destructor finds nothing left to release.
            got = r.quit_program()
            self.assertEqual(show(got), show(handshake() + H(0x86) + H(0x9E, 0x38, 0x31) + H(0x04)))

    def test_line_closing_during_the_serial_number(self):
        # The 12th byte from the host is the ACK of the first character at 120.
        with harness.WineSession(self) as s:
            r, code = self.check_link_lost(s, ("--hangup-after", "12"), french_lines()[:5])
            sent = handshake() + check_type() + read_byte(120, 0x78)[:5]
            got = r.quit_program()
            self.assertEqual(show(got), show(sent))


class QuitDuringReading(unittest.TestCase):
    def test_quit_releases_the_connected_unit(self):
        with harness.WineSession(self) as s:
            r = Reading(self, s)
            r.start()
            wait_until(lambda: b"Appareil connect\xe9\r\n" in r.pane(), timeout=OUTCOME_LIMIT,
                       what="the connected line")
            got = r.quit_program()
            # The quit is handled between two ticks: the steps done so far, whole,
            # then the destructor's Release of a connected unit and Close's own.
            steps = reading_steps()[:-1]
            tail = release_connected() + release_idle()
            prefixes = [sum(steps[:n], []) for n in range(1, len(steps) + 1)]
            self.assertEqual(got[-len(tail):], tail, show(got))
            self.assertIn(show(got[:-len(tail)]), [show(p) for p in prefixes])

    def test_session_end_releases_the_unit_and_restores_the_port(self):
        with harness.WineSession(self) as s:
            # A slow unit: each handshake answer comes 700 ms late.
            r = Reading(self, s, ("--late", "700"))
            r.start()
            wait_until(lambda: ("H>U", 0x80) in transcript_of(r.unit), timeout=OUTCOME_LIMIT, what="connect request")
            # Windows asks, then ends the session and may end the process as soon
            # as the window has answered: by then the unit is let go, once, and the
            # port holds its own settings again.
            self.assertEqual(r.program.send(r.main, WM_QUERYENDSESSION, 0, 0), 1)
            r.program.send(r.main, WM_ENDSESSION, 1, 0)
            heard = transcript_of(r.unit)
            # A new pty's own settings, the kernel's standard ones, are put back.
            self.assertEqual(s.shim_log()[-1], "tcsetattr 38400 8N1 0")
            self.assertEqual(r.program.wait_exit(EXIT_LIMIT), 0)
            r.unit.stop()
            self.assertEqual(transcript_of(r.unit), heard, "nothing sent after the session's end")
            steps = reading_steps()[:-1]
            tail = release_connected()
            prefixes = [sum(steps[:n], []) for n in range(1, len(steps) + 1)]
            self.assertEqual(heard[-len(tail):], tail, show(heard))
            self.assertIn(show(heard[:-len(tail)]), [show(p) for p in prefixes])


if __name__ == "__main__":
    harness.main()
