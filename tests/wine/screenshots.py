"""Takes the README's pictures of Bravelle.exe under Wine: main window in French and English, port and language dialogs.

usage: screenshots.py WIN64_BUILD_DIR OUTPUT_DIR
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PORTS = [("\\Device\\Serial0", "COM1"), ("\\Device\\Serial1", "COM3"), ("\\Device\\Silabser0", "COM4")]


def shoot(session, program, hwnd, path):
    program.sync(hwnd)
    session.screenshot(path, window=program.describe(hwnd))
    print(path)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    os.environ["BRAVELLE_WIN64_DIR"] = os.path.abspath(sys.argv[1])
    out = os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    with harness.WineSession(name="screenshots", display="") as s:
        s.set_serialcomm(PORTS)
        for settings, name, port_caption, language_caption in [
                (b"Langue=0;\n\r", "fr", b"Comfiguration du port s\xe9rie", b"Choix de la Langue"),
                (b"Langue=1;\n\r", "en", b"Serial port settings", b"Language choice")]:
            s.seed_settings(settings)
            p = s.launch()
            main_window = p.main_window()
            shoot(s, p, main_window.hwnd, os.path.join(out, "main-window-%s.png" % name))
            if name == "fr":
                buttons = {c.text: c for c in p.children(main_window.hwnd)}
                p.click(buttons[b"Configuration du Port"].hwnd)
                dialog = p.wait_window(caption=port_caption)
                shoot(s, p, dialog, os.path.join(out, "port-dialog.png"))
                p.close(dialog)
                p.wait_window(caption=port_caption, appear=False)
                p.click(buttons[b"Choix de la Langue"].hwnd)
                dialog = p.wait_window(caption=language_caption)
                shoot(s, p, dialog, os.path.join(out, "language-dialog.png"))
                p.close(dialog)
                p.wait_window(caption=language_caption, appear=False)
            p.close(main_window.hwnd)
            p.wait_exit()


if __name__ == "__main__":
    main()
