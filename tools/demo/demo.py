"""Shows one reading of the simulated unit by the real Bravelle.exe under Wine, and prints what the window says.

usage: demo.py [--build DIR] [--screenshot PATH] [--timeout S] [-- SIMUNIT_OPTIONS...]
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import harness  # noqa: E402

COM = 4
PORT = ("\\Device\\Silabser0", "COM%d" % COM)
READ_BUTTON = b"Lecture des informations"
QUIT_BUTTON = b"&Quitter"
LAST_LINE = b"Vous pouvez effectuer une nouvelle lecture sur un autre appareil Satellite de la KVR72 QLE"


def terminal(text):
    return text.decode("cp1252", "replace")


def main():
    parser = argparse.ArgumentParser(
        prog="run-demo", description="Reads the simulated unit with Bravelle.exe under Wine: starts the unit on a "
        "pseudo-terminal seen as COM%d (registered under a \"Silabser\" name), presses the read button, prints the "
        "outcome and the text pane, saves a screenshot. Headless on its own Xvfb unless DISPLAY is set." % COM,
        epilog="Options after -- go to the simulated unit, e.g. -- --type P05, -- --silent-after-handshake, "
        "-- --serial 0, -- --answer-after 3. Its own list: build/native/tools/simunit/simunit --help. "
        "Exit status 0 when the reading completed, 1 otherwise.")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"),
                        help="folder holding the win64 and native builds (default: build)")
    parser.add_argument("--screenshot", default=None, help="where to save the picture (default: BUILD/demo/reading.png)")
    parser.add_argument("--timeout", type=float, default=60, help="seconds to wait for the outcome (default: 60)")
    parser.add_argument("unit", nargs="*", help=argparse.SUPPRESS)
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    win64, native = os.path.join(build, "win64"), os.path.join(build, "native")
    out_dir = os.path.join(build, "demo")
    os.makedirs(out_dir, exist_ok=True)
    picture = os.path.abspath(args.screenshot or os.path.join(out_dir, "reading.png"))
    os.environ.update({
        "BRAVELLE_WIN64_DIR": win64,
        "BRAVELLE_EXE": os.path.join(win64, "win32", "Bravelle.exe"),
        "BRAVELLE_AUTOMATE": os.path.join(win64, "tests", "wine", "automate.exe"),
        "BRAVELLE_WINE_WORK": os.path.join(out_dir, "wine"),
        "BRAVELLE_SIMUNIT": os.path.join(native, "tools", "simunit", "simunit"),
        "BRAVELLE_PTYSHIM": os.path.join(native, "tests", "ptyshim", "libptyshim.so"),
    })
    for name in ("BRAVELLE_EXE", "BRAVELLE_AUTOMATE", "BRAVELLE_SIMUNIT", "BRAVELLE_PTYSHIM"):
        if not os.path.isfile(os.environ[name]):
            sys.exit("run-demo: %s is missing; build first" % os.environ[name])
    # Options of our own must not reach the unit; the unit checks its own.
    check = subprocess.run([os.environ["BRAVELLE_SIMUNIT"]] + args.unit + ["--help"], capture_output=True)
    if check.returncode != 0:
        sys.stderr.write(check.stderr.decode(errors="replace"))
        sys.exit("run-demo: the simulated unit does not take %r" % " ".join(args.unit))

    started = time.monotonic()
    completed = False
    with harness.WineSession(name="demo") as s:
        print("display %s%s" % (s.display, "" if os.environ.get("DISPLAY") else " (private Xvfb)"))
        s.set_serialcomm([PORT])
        unit = s.start_unit(COM, *args.unit)
        print("simulated unit on %s, seen as COM%d" % (unit.slave, COM))
        p = s.launch()
        main_window = p.main_window()
        read = p.control(main_window.hwnd, text=READ_BUTTON)
        quit_ = p.control(main_window.hwnd, text=QUIT_BUTTON)
        memo = p.control(main_window.hwnd, cls="Edit")
        if read is None or quit_ is None or memo is None:
            sys.exit("run-demo: the main window lacks its read button, quit button or pane")
        if not read.enabled:
            print("the read button is disabled: the program did not pick the port")
        else:
            p.click(read.hwnd)
            print("pressed \"%s\"" % terminal(READ_BUTTON))
        deadline = time.monotonic() + args.timeout
        outcome = "no outcome within %g s" % args.timeout
        while read.enabled and time.monotonic() < deadline:
            boxes = p.message_boxes()
            if boxes:
                box = boxes[0]
                print("error box \"%s\":" % terminal(box.caption))
                for line in box.text.replace(b"\r", b"").split(b"\n"):
                    print("    " + terminal(line))
                s.screenshot(picture)
                p.press_ok(box)
                outcome = "the reading failed"
                break
            text = p.text(memo.hwnd)
            if text.endswith(LAST_LINE + b"\r\n"):
                p.sync(main_window.hwnd)
                s.screenshot(picture)
                outcome, completed = "the reading completed", True
                break
            time.sleep(0.2)
        else:
            s.screenshot(picture)
        print("text pane:")
        for line in p.text(memo.hwnd).split(b"\r\n")[:-1]:
            print("    |" + terminal(line))
        print("screenshot: %s" % picture)
        p.click(quit_.hwnd)
        try:
            code = p.wait_exit(30)
            print("Bravelle.exe ended with code %d" % code)
        except harness.HarnessError:
            p.kill()
            print("Bravelle.exe did not end; killed")
    print("%s (%.1f s)" % (outcome, time.monotonic() - started))
    return 0 if completed else 1


if __name__ == "__main__":
    sys.exit(main())
