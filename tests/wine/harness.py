"""Test harness that runs Bravelle.exe under Wine and drives it through automate.exe.

A test opens one WineSession (a context manager) and works through it:

    with harness.WineSession(self) as s:        # own prefix, display, wineserver
        s.seed_settings(b"Langue=1;\\n\\r")      # exact bytes, or s.remove_settings()
        s.set_serialcomm([("Silabser0", "COM4")])
        p = s.launch()                           # Bravelle.exe, first visible window
        main = p.main_window()                   # Window: .hwnd .cls .text (bytes) ...
        kids = p.children(main.hwnd)             # [Control]: .cls .text .x .y .w .h ...
        s.read_settings()                        # bytes, or None when there is no file
        p.close(main.hwnd); p.wait_exit()        # exit code

What a session gives (all texts are bytes, code page 1252, exactly as the program
holds them; windows are read through the wide calls, so .wtext and wtext() give
the same texts as the str the window holds, whatever the ANSI code page):

  Files and registry
    settings_path                  host path of C:\\windows\\CalvineV1.CFG
    seed_settings(data)            writes the file with exactly these bytes (new inode)
    remove_settings()              removes the file (or a directory in its place)
    read_settings()                its bytes, or None
    settings_stat()                os.stat of the file (mtime_ns tells a rewrite)
    user_settings_path()           host path of %LOCALAPPDATA%\\Bravelle\\CalvineV1.CFG
    virtual_store_path()           host path of ...\\VirtualStore\\Windows\\CalvineV1.CFG
    make_unwritable(path) / make_writable(path)
                                   chattr +i / -i on a host path of the prefix: Wine then
                                   denies access to any change; undone when the session ends
    set_serialcomm(values)         makes HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM hold exactly
                                   these values: [(name, data)] or [(name, type, data)],
                                   str or bytes; data of a REG_SZ gets its zero byte
                                   unless given as bytes. Verified by reading back.
    serialcomm()                   [(name, type, data)] as the registry holds them
    reg_set/reg_delete/reg_clear/reg_delete_key(key, ...)   any key under HKLM
    reg_query_with_wine(key)       `wine reg query` output (an independent check)
    map_com(n, target)             symlink <prefix>/dosdevices/comN -> target
    unmap_com(n)
    lock_file(winpath) / unlock_file(winpath)
                                   hold a file open without sharing, so the program's
                                   own open of it fails
    set_attributes(host_path, attributes)  SetFileAttributesW (READONLY, HIDDEN)
    reg_restrict(key, access)      the key's access list allows everyone that access only

  Programs
    launch(exe=None, timeout=15)   starts Bravelle.exe (or another exe); -> Program
    version_info(exe=None)         VerQueryValueA view plus every string of the table
    manifest(exe=None)             ([ids of RT_MANIFEST resources], bytes of manifest 1)
    text_width(text, face="MS Sans Serif", height=-11, charset=1)
                                   GetTextExtentPoint32W width of the text in that font
    cmd(name, *args)               raw automation command -> dict (see automate.cpp)
    wine(*args)                    runs a Wine command in the session (CompletedProcess)
    screenshot(path=None, window=None)  PNG of the display or of one Window, -> path

  Serial line
    start_unit(com, *options)      the simulated unit on a pty linked as COMn; options
                                   are simunit's own (e.g. "--type", "P05"). -> SimUnit
                                   with .slave, .transcript(), .stop(). Skips the test
                                   when simunit is not built.
    shim_log()                     lines the pty shim recorded (tcsetattr requests)

Program (returned by launch):
    pid, first (hwnd of the first visible window), exited, code
    windows(visible_only=True)     [Window] of this process
    main_window(timeout=30)        the visible top-level window that is no dialog box
                                   and not the application window
    window(caption=None, cls=None) first visible top-level window matching
    children(hwnd)                 [Control], every descendant, positions in the
                                   client coordinates of its parent
    text(hwnd)                     WM_GETTEXT bytes; wtext(hwnd) the str
    sync(hwnd)                     waits until the window's thread is idle again
                                   (after a dialog closes, before reading results)
    click(hwnd) / click_button(top, text)   BM_CLICK, posted
    focus(hwnd)                    the window holding the keyboard focus in its thread (0: none)
    key(hwnd, vk)                  a key pressed and released, posted to that focus (fails
                                   when none holds it: the key would reach no control)
    post(hwnd, msg, wp, lp) / send(...)
    message_boxes()                [MessageBox] (.hwnd .caption .text .wtext .owner .buttons)
    wait_message_box(timeout=10)   the first one to appear
    press_ok(box)                  clicks its OK button
    close(hwnd)                    posts WM_CLOSE
    wait_window(caption=None, cls=None, appear=True, timeout=10) -> hwnd
    wait_exit(timeout=15)          exit code; fails the test on timeout
    kill()
    control(top, text=None, cls=None)   first descendant with that text / class

wait_until(condition, timeout=10)  polls condition() until true -> (value, seconds)
locale_env(name)                   {"LANG": name, "LOCPATH": ...} for WineSession(env=...),
                                   the locale generated once in the work folder; Wine takes
                                   its ANSI code page from it (ru_RU.UTF-8: 1251,
                                   hi_IN.UTF-8: 65001)

Everything a session starts (Xvfb, wineserver, the automation server, simulated
units) is ended by its process id when the session ends; the prefix is removed
unless the test failed or BRAVELLE_KEEP_WINE_RUNS is set. Where things are comes
from the environment that CTest sets: BRAVELLE_EXE, BRAVELLE_AUTOMATE,
BRAVELLE_WINE_WORK (template prefix and runs), BRAVELLE_SIMUNIT, BRAVELLE_PTYSHIM.
"""

import fcntl
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM"
SETTINGS_WINPATH = "C:\\windows\\CalvineV1.CFG"
# The toolkit's own window that holds the program's taskbar entry.
APPLICATION_CLASS = "BravelleApplication"
REG_SZ = 1
REG_EXPAND_SZ = 2
REG_BINARY = 3
REG_DWORD = 4
REG_MULTI_SZ = 7
FILE_ATTRIBUTE_READONLY = 1
FILE_ATTRIBUTE_HIDDEN = 2

_HERE = os.path.dirname(os.path.abspath(__file__))

# Files that no process writes: shared with the template by hard link, which
# makes a prefix copy take milliseconds instead of seconds (the DLLs are 600 MB).
_LINKED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".tlb", ".nls",
                    ".fon", ".ttf", ".msstyles", ".ax", ".ds", ".mui", ".com", ".vxd")


# What the template prefix gets beyond wineboot's defaults; changing it remakes the template.
_TEMPLATE_SETTINGS = (
    # A crash ends the process instead of waiting for someone to close winedbg's dialog.
    ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
    # Without a window manager every window that is hidden or destroyed makes
    # winex11 wait two seconds for a withdrawal that never comes; unmanaged
    # windows skip that, and Wine draws their frames itself.
    ("HKCU\\Software\\Wine\\X11 Driver", "Managed", "REG_SZ", "N"),
)


def _env_path(name, default=None):
    value = os.environ.get(name)
    return value if value else default


def work_dir():
    """Where the template prefix and the per-test runs live."""
    path = _env_path("BRAVELLE_WINE_WORK", os.path.join(_HERE, "..", "..", "build", "wine-work"))
    os.makedirs(path, exist_ok=True)
    return os.path.abspath(path)


def find_windows_file(env_name, file_name):
    explicit = _env_path(env_name)
    if explicit:
        return explicit if os.path.isfile(explicit) else None
    root = _env_path("BRAVELLE_WIN64_DIR")
    if not root or not os.path.isdir(root):
        return None
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames if d != "CMakeFiles"]
        if file_name in filenames:
            return os.path.join(dirpath, file_name)
    return None


def bravelle_exe():
    return find_windows_file("BRAVELLE_EXE", "Bravelle.exe")


def automate_exe():
    return find_windows_file("BRAVELLE_AUTOMATE", "automate.exe")


def to_windows_path(host_path):
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")


def _hex(value):
    if isinstance(value, str):
        value = value.encode("cp1252")
    return value.hex() if value else "-"


def _bytes(value):
    return value.encode("cp1252") if isinstance(value, str) else bytes(value)


def _window_text(hex_text):
    """(bytes in code page 1252 as the program holds them, "?" for what 1252 lacks; str)
    of a text automate.exe reported in UTF-8."""
    text = bytes.fromhex(hex_text).decode("utf-8")
    return text.encode("cp1252", "replace"), text


def _base_env():
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    # No desktop menus, no Mono or Gecko installers: nothing to wait for.
    env["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d;mscoree=;mshtml="
    # A fixed locale gives the ANSI code page 1252 and the same sort rules everywhere, whatever the
    # caller had: none at all (cron, env -i, a container), for which Python itself sets LC_CTYPE,
    # or another one, whose LC_* would win over the LANG a session asks for.
    for name in [n for n in env if n.startswith("LC_") or n == "LANGUAGE"]:
        del env[name]
    env["LANG"] = "en_US.UTF-8"
    env.pop("WINELOADERNOEXEC", None)
    return env


def _end_process(proc, grace=3.0):
    """Ends a process we started, and its process group, by id."""
    if proc is None:
        return
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            pass
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        pass


def _become_subreaper():
    """Wine's service processes detach into sessions of their own; as a subreaper
    we inherit them when their parents end, so we can end and reap them by pid
    instead of leaving zombies to an init that may not reap."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        pass


def _descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat[stat.rindex(")") + 2:].split()[1])
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [root]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def _reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def complete_reading_pane(language):
    """The pane lines of a complete reading in "fr" or "en", from the file the native tests read too."""
    lines = []
    section = None
    with open(os.path.join(_HERE, "..", "support", "complete_reading_pane.txt"), "rb") as f:
        for raw in f.read().split(b"\n"):
            if raw.startswith(b"[") and raw.endswith(b"]"):
                section = raw[1:-1].decode("ascii")
            elif section == language and len(raw) >= 2 and raw.startswith(b"|") and raw.endswith(b"|"):
                lines.append(re.sub(rb"\\x([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), raw[1:-1]))
    if not lines:
        raise HarnessError("no pane lines for %r" % language)
    return lines


def template_stamp():
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True, env=_base_env()).stdout.strip()
    return version + " " + repr(_TEMPLATE_SETTINGS)


def ensure_template(log=None):
    """Makes the template prefix once per build; parallel tests wait on a lock."""
    base = work_dir()
    template = os.path.join(base, "prefix-template")
    marker = os.path.join(template, ".bravelle-template")
    version = template_stamp()
    with open(os.path.join(base, "prefix-template.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(marker) as f:
                if f.read().strip() == version:
                    return template
        except OSError:
            pass
        started = time.monotonic()
        shutil.rmtree(template, ignore_errors=True)
        env = _base_env()
        env["WINEPREFIX"] = template
        env.pop("DISPLAY", None)
        out = subprocess.DEVNULL if log is None else log
        subprocess.run(["wineboot", "-i"], env=env, stdout=out, stderr=out, check=True, timeout=300)
        for key, name, kind, data in _TEMPLATE_SETTINGS:
            subprocess.run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"], env=env,
                           stdout=out, stderr=out, check=True, timeout=120)
        subprocess.run(["wineserver", "-k"], env=env, stdout=out, stderr=out, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, stdout=out, stderr=out, timeout=60)
        with open(marker, "w") as f:
            f.write(version + "\n")
        sys.stderr.write("harness: template prefix made in %.1f s\n" % (time.monotonic() - started))
        return template


def locale_env(name):
    """Environment for a session whose Wine runs in the Unix locale name
    ("ru_RU.UTF-8"). The locale is generated once into the work folder, so the
    tests need no locale of the system's."""
    language, _, charset = name.partition(".")
    root = os.path.join(work_dir(), "locales")
    os.makedirs(root, exist_ok=True)
    target = os.path.join(root, name)
    with open(os.path.join(root, "locales.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isfile(os.path.join(target, "LC_CTYPE")):
            # localedef also writes what it made when it only warns.
            out = subprocess.run(["localedef", "-i", language, "-f", charset or "UTF-8", target],
                                 capture_output=True, timeout=120)
            if not os.path.isfile(os.path.join(target, "LC_CTYPE")):
                raise HarnessError("localedef %s: %r" % (name, out.stderr))
    return {"LANG": name, "LOCPATH": root}


def copy_prefix(template, target):
    def copy(src, dst):
        if src.lower().endswith(_LINKED_SUFFIXES):
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)
    shutil.copytree(template, target, symlinks=True, copy_function=copy)


class Window:
    def __init__(self, d):
        self.raw = d
        self.hwnd = d["hwnd"]
        self.cls = d["class"]
        self.text, self.wtext = _window_text(d["text"])
        self.visible = d["visible"]
        self.enabled = d["enabled"]
        self.rect = tuple(d["rect"])            # outer rect, screen coordinates
        self.client = tuple(d["client"])        # client width, height
        self.client_origin = tuple(d["client_origin"])
        self.style = d["style"]
        self.owner = d["owner"]

    @property
    def outer_width(self):
        return self.rect[2] - self.rect[0]

    @property
    def outer_height(self):
        return self.rect[3] - self.rect[1]

    def __repr__(self):
        return "Window(%d %s %r)" % (self.hwnd, self.cls, self.text)


class Control:
    def __init__(self, d):
        self.raw = d
        self.hwnd = d["hwnd"]
        self.parent = d["parent"]
        self.id = d["id"]
        self.cls = d["class"]
        self.text, self.wtext = _window_text(d["text"])
        self.visible = d["visible"]
        self.enabled = d["enabled"]
        self.x, self.y, self.w, self.h = d["x"], d["y"], d["w"], d["h"]
        self.style = d["style"]
        self.checked = d["checked"]

    def __repr__(self):
        return "Control(%d %s %r at %d,%d %dx%d%s)" % (self.hwnd, self.cls, self.text, self.x, self.y, self.w,
                                                       self.h, "" if self.enabled else " disabled")


class MessageBox:
    def __init__(self, d):
        self.hwnd = d["hwnd"]
        self.owner = d["owner"]
        self.caption, self.wcaption = _window_text(d["caption"])
        self.text, self.wtext = _window_text(d["text"])
        self.buttons = [(b["id"], _window_text(b["text"])[0]) for b in d["buttons"]]

    def __repr__(self):
        return "MessageBox(%r: %r %r)" % (self.caption, self.text, self.buttons)


class HarnessError(AssertionError):
    pass


class Program:
    """A program started in the session by the automation server."""

    def __init__(self, session, reply):
        self.session = session
        self.pid = reply["pid"]
        self.first = reply["window"]
        self.exited = reply["exited"]
        self.code = reply.get("code")

    def cmd(self, *args):
        return self.session.cmd(*args)

    def windows(self, visible_only=True):
        items = [Window(w) for w in self.cmd("windows", self.pid)["windows"]]
        return [w for w in items if w.visible or not visible_only]

    def main_window(self, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            for w in self.windows():
                if w.cls not in ("#32770", APPLICATION_CLASS):
                    return w
            if time.monotonic() > deadline:
                raise HarnessError("no main window; windows: %r" % self.windows(False))
            time.sleep(0.03)

    def window(self, caption=None, cls=None):
        for w in self.windows():
            if (caption is None or w.text == _bytes(caption)) and (cls is None or w.cls == cls):
                return w
        return None

    def sync(self, hwnd):
        """Returns once the window's thread has handled everything before: a
        sent message waits for the click handler or modal loop in progress."""
        self.cmd("send", hwnd, 0, 0, 0)

    def describe(self, hwnd):
        return Window(self.cmd("children", hwnd)["window"])

    def children(self, hwnd):
        return [Control(c) for c in self.cmd("children", hwnd)["children"]]

    def text(self, hwnd):
        return _window_text(self.cmd("text", hwnd)["text"])[0]

    def wtext(self, hwnd):
        return _window_text(self.cmd("text", hwnd)["text"])[1]

    def click(self, hwnd):
        self.cmd("click", hwnd)

    def click_button(self, top, text):
        return self.cmd("click", top, _hex(text))["hwnd"]

    def post(self, hwnd, msg, wparam=0, lparam=0):
        self.cmd("post", hwnd, msg, wparam, lparam)

    def send(self, hwnd, msg, wparam=0, lparam=0):
        return self.cmd("send", hwnd, msg, wparam, lparam)["result"]

    def focus(self, hwnd):
        """The window holding the keyboard focus in the thread of hwnd (0: none)."""
        return self.cmd("focus", hwnd)["focus"]

    def key(self, hwnd, vk):
        """A key pressed and released where a keyboard's goes: the focus in the
        thread of hwnd. -> the window it went to"""
        return self.cmd("key", hwnd, vk)["target"]

    def message_boxes(self):
        return [MessageBox(b) for b in self.cmd("msgboxes", self.pid)["boxes"]]

    def wait_message_box(self, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            boxes = self.message_boxes()
            if boxes:
                return boxes[0]
            if time.monotonic() > deadline:
                raise HarnessError("no message box within %s s; windows: %r" % (timeout, self.windows()))
            time.sleep(0.03)

    def press_ok(self, box):
        self.cmd("pressok", box.hwnd if isinstance(box, MessageBox) else box)

    def close(self, hwnd):
        self.cmd("close", hwnd)

    def wait_window(self, caption=None, cls=None, appear=True, timeout=10):
        reply = self.session.cmd("waitwin", self.pid, "-" if cls is None else _hex(cls),
                                 "*" if caption is None else _hex(caption), 1 if appear else 0,
                                 int(timeout * 1000), check=False)
        if not reply["ok"]:
            raise HarnessError("window %r/%r did not %s within %s s; windows: %r"
                               % (caption, cls, "appear" if appear else "go", timeout, self.windows()))
        return reply["hwnd"]

    def wait_exit(self, timeout=15):
        reply = self.cmd("waitexit", self.pid, int(timeout * 1000))
        if not reply["exited"]:
            raise HarnessError("process %d still running after %s s; windows: %r"
                               % (self.pid, timeout, self.windows(False)))
        self.exited, self.code = True, reply["code"]
        return self.code

    def kill(self):
        self.session.cmd("kill", self.pid, check=False)

    def control(self, top, text=None, cls=None):
        """The first descendant of top with this text (and class), or None."""
        for c in self.children(top):
            if (text is None or c.text == _bytes(text)) and (cls is None or c.cls.lower() == cls.lower()):
                return c
        return None


def wait_until(condition, timeout=10, interval=0.05, what="condition"):
    """Polls condition() until it returns something true; returns (value, seconds)."""
    start = time.monotonic()
    while True:
        value = condition()
        if value:
            return value, time.monotonic() - start
        if time.monotonic() - start > timeout:
            raise HarnessError("%s not reached within %s s" % (what, timeout))
        time.sleep(interval)


class SimUnit:
    """The simulated unit on a pty that Wine sees as a COM port."""

    def __init__(self, session, com, options):
        self.session = session
        self.com = com
        run = session.run_dir
        self.transcript_path = os.path.join(run, "unit%d.transcript" % com)
        self.ready_path = os.path.join(run, "unit%d.ready" % com)
        self.log_path = os.path.join(run, "unit%d.log" % com)
        link = os.path.join(session.prefix, "dosdevices", "com%d" % com)
        args = [session.simunit, "--link", link, "--ready-file", self.ready_path,
                "--transcript", self.transcript_path] + [str(o) for o in options]
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.ready_path):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise HarnessError("simunit did not start: %r" % self.log())
            time.sleep(0.01)
        with open(self.ready_path) as f:
            self.slave = f.read().strip()

    def log(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def transcript(self):
        try:
            with open(self.transcript_path, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def stop(self):
        """Asks the unit to stop (SIGTERM, so it records what it got) and waits."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                pass
        _end_process(self.proc)
        self._log.close()
        return self.proc.returncode


class WineSession:
    """One private Wine world for one test (see the module docstring)."""

    def __init__(self, test=None, name=None, display=None, use_shim=True, env=None):
        # display: None takes $DISPLAY when set, "" always starts a private Xvfb.
        # env: variables added for every process of the session (the shim's switches).
        self.test = test
        self.extra_env = dict(env or {})
        self.name = name or (test.id().split(".", 1)[-1] if test is not None else "session")
        self.display = display if display is not None else os.environ.get("DISPLAY") or None
        self.use_shim = use_shim
        self.exe = bravelle_exe()
        self.automate = automate_exe()
        self.simunit = _env_path("BRAVELLE_SIMUNIT")
        self.ptyshim = _env_path("BRAVELLE_PTYSHIM")
        self._procs = []
        self._units = []
        self._immutable = []
        self._server = None
        self._automate = None
        self.timings = {}

    # -- set-up and tear-down ------------------------------------------------

    def __enter__(self):
        if self.automate is None:
            raise unittest.SkipTest("automate.exe is not built (BRAVELLE_WIN64_DIR)")
        try:
            self._start()
        except BaseException:
            self._stop(keep=True)
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        failed = exc_type is not None and not issubclass(exc_type, unittest.SkipTest)
        if failed and self._automate is not None:
            try:
                self.screenshot(os.path.join(self.run_dir, "failure.png"))
            except Exception:
                pass
        self._stop(keep=failed or bool(os.environ.get("BRAVELLE_KEEP_WINE_RUNS")))
        if failed:
            sys.stderr.write("harness: run kept in %s\n" % self.run_dir)
        return False

    def _start(self):
        _become_subreaper()
        t0 = time.monotonic()
        template = ensure_template()
        t1 = time.monotonic()
        runs = os.path.join(work_dir(), "runs")
        os.makedirs(runs, exist_ok=True)
        safe = "".join(c if c.isalnum() or c in "._-" else "_" for c in self.name)
        self.run_dir = os.path.join(runs, "%s.%d" % (safe, os.getpid()))
        shutil.rmtree(self.run_dir, ignore_errors=True)
        os.makedirs(self.run_dir)
        self.prefix = os.path.join(self.run_dir, "prefix")
        copy_prefix(template, self.prefix)
        self.settings_path = os.path.join(self.prefix, "drive_c", "windows", "CalvineV1.CFG")
        self.shim_log_path = os.path.join(self.run_dir, "ptyshim.log")
        t2 = time.monotonic()
        self.env = _base_env()
        self.env["WINEPREFIX"] = self.prefix
        if not self.display:
            self._start_xvfb()
        self.env["DISPLAY"] = self.display
        if self.use_shim and self.ptyshim and os.path.isfile(self.ptyshim):
            self.env["LD_PRELOAD"] = self.ptyshim
            self.env["BRAVELLE_PTYSHIM_LOG"] = self.shim_log_path
        self.env.update(self.extra_env)
        t3 = time.monotonic()
        self._log = open(os.path.join(self.run_dir, "wine.log"), "wb")
        # The server runs in the foreground as our child, so it has a pid we own.
        self._server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=self._log, stderr=subprocess.STDOUT, start_new_session=True)
        self._automate = subprocess.Popen(["wine", self.automate], env=self.env, stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=self._log, start_new_session=True,
                                          bufsize=0)
        ready = self._read_reply(timeout=60)
        if not ready.get("ready"):
            raise HarnessError("automate.exe did not start: %r" % ready)
        t4 = time.monotonic()
        self.timings = {"template": t1 - t0, "copy": t2 - t1, "display": t3 - t2, "wine": t4 - t3}

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_fd)
        self._procs.append(proc)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or proc.poll() is not None:
                os.close(read_fd)
                raise HarnessError("Xvfb did not start")
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()

    def _stop(self, keep):
        for unit in self._units:
            try:
                unit.stop()
            except Exception:
                pass
        if self._automate is not None:
            try:
                if self._automate.poll() is None:
                    self._automate.stdin.write(b"quit\n")
                    self._automate.stdin.close()
                    self._automate.wait(3)
            except Exception:
                pass
        # The Wine processes (the program, services, explorer) are ours by
        # inheritance; ending them by pid first leaves the server nothing to wait for.
        ours = {p.pid for p in self._procs + [self._server] if p is not None}
        wine_clients = [pid for pid in _descendants(os.getpid()) if pid not in ours]
        for pid in wine_clients:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self._server is not None and self._server.poll() is None:
            # Our own server ends at once on SIGTERM; `wineserver -k` would take
            # 0.8 s to say so, and stays as the fallback.
            self._server.terminate()
            try:
                self._server.wait(2)
            except subprocess.TimeoutExpired:
                subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        for proc in [self._automate, self._server] + self._procs[::-1]:
            _end_process(proc)
        if self._automate is not None:
            self._automate.stdout.close()
        for pid in _descendants(os.getpid()):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        _reap()
        if getattr(self, "_log", None):
            self._log.close()
        # An immutable entry would stop the prefix from ever being removed.
        while self._immutable:
            self.make_writable(self._immutable[-1])
        if not keep and getattr(self, "run_dir", None):
            shutil.rmtree(self.run_dir, ignore_errors=True)

    # -- the automation server ----------------------------------------------

    def _read_reply(self, timeout):
        line = b""
        deadline = time.monotonic() + timeout
        fd = self._automate.stdout.fileno()
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                raise HarnessError("automate.exe gave no answer within %s s" % timeout)
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                continue
            chunk = os.read(fd, 65536)
            if not chunk:
                raise HarnessError("automate.exe ended: %r" % line)
            line += chunk
        return json.loads(line.decode("ascii"))

    def cmd(self, name, *args, check=True, timeout=60):
        """Sends one command to automate.exe and returns its decoded answer."""
        text = " ".join([name] + [str(a) for a in args]) + "\n"
        self._automate.stdin.write(text.encode("ascii"))
        reply = self._read_reply(timeout)
        if check and not reply.get("ok"):
            raise HarnessError("%s: %s" % (text.strip()[:200], reply.get("error")))
        return reply

    def wine(self, *args, timeout=60):
        return subprocess.run(["wine"] + list(args), env=self.env, capture_output=True, timeout=timeout)

    # -- programs --------------------------------------------------------------

    def launch(self, exe=None, timeout=15):
        exe = exe or self.exe
        if exe is None:
            raise unittest.SkipTest("Bravelle.exe is not built (BRAVELLE_WIN64_DIR)")
        reply = self.cmd("launch", _hex(to_windows_path(exe)), _hex(to_windows_path(os.path.dirname(exe))),
                         int(timeout * 1000))
        return Program(self, reply)

    def version_info(self, exe=None):
        exe = exe or self.exe
        if exe is None:
            raise unittest.SkipTest("Bravelle.exe is not built (BRAVELLE_WIN64_DIR)")
        reply = self.cmd("version", _hex(to_windows_path(exe)))
        strings = {k: (None if v is None else bytes.fromhex(v)) for k, v in reply["strings"].items()}
        return {"translations": [tuple(t) for t in reply["translations"]], "strings": strings,
                "fixed": reply["fixed"], "tables": parse_version_block(bytes.fromhex(reply["raw"]))}

    def manifest(self, exe=None):
        """(ids of the RT_MANIFEST resources, bytes of manifest 1 or b"")."""
        reply = self.cmd("manifest", _hex(to_windows_path(exe or self.exe)))
        return reply["ids"], bytes.fromhex(reply["manifest"])

    def text_width(self, text, face="MS Sans Serif", height=-11, charset=1):
        """charset: DEFAULT_CHARSET (1), or ANSI_CHARSET (0) as a code page 1252 PC resolves it."""
        return self.cmd("textwidth", _hex(face), height, _hex(text), charset)["cx"]

    def screenshot(self, path=None, window=None):
        """PNG of the display, or of one window's outer rectangle (a Window)."""
        path = path or os.path.join(self.run_dir, "screen.png")
        crop = []
        if window is not None:
            left, top, right, bottom = window.rect
            crop = ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
        subprocess.run(["import", "-display", self.display, "-window", "root"] + crop + [path], check=True,
                       timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    # -- the settings file -----------------------------------------------------

    def seed_settings(self, data):
        self.remove_settings()
        with open(self.settings_path, "wb") as f:
            f.write(_bytes(data))

    def remove_settings(self):
        if os.path.isdir(self.settings_path) and not os.path.islink(self.settings_path):
            shutil.rmtree(self.settings_path)
        elif os.path.lexists(self.settings_path):
            os.unlink(self.settings_path)

    def read_settings(self):
        # Wine finds a file whatever the case of its name, Linux does not: a
        # file the program made under another spelling must not pass unseen.
        folder, name = os.path.split(self.settings_path)
        variants = [n for n in os.listdir(folder) if n.lower() == name.lower() and n != name]
        if variants:
            raise HarnessError("settings file under another spelling: %r" % variants)
        try:
            with open(self.settings_path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def user_settings_path(self):
        """Host path of %LOCALAPPDATA%\\Bravelle\\CalvineV1.CFG of the prefix's one user."""
        return os.path.join(self.local_app_data(), "Bravelle", "CalvineV1.CFG")

    def virtual_store_path(self):
        return os.path.join(self.local_app_data(), "VirtualStore", "Windows", "CalvineV1.CFG")

    def local_app_data(self):
        users = os.path.join(self.prefix, "drive_c", "users")
        names = [n for n in os.listdir(users) if n.lower() != "public" and not os.path.islink(os.path.join(users, n))]
        if len(names) != 1:
            raise HarnessError("one user folder expected in %s: %r" % (users, names))
        return os.path.join(users, names[0], "AppData", "Local")

    def make_unwritable(self, host_path):
        """Makes a file or folder of the prefix refuse every change, as the
        Windows directory refuses a standard account: Wine answers access
        denied. Root ignores permissions, hence the immutable attribute; the
        session clears it again before the prefix is removed."""
        subprocess.run(["chattr", "+i", host_path], check=True, capture_output=True, timeout=30)
        self._immutable.append(host_path)

    def make_writable(self, host_path):
        if host_path in self._immutable:
            self._immutable.remove(host_path)
        subprocess.run(["chattr", "-i", host_path], check=True, capture_output=True, timeout=30)

    def settings_stat(self):
        return os.stat(self.settings_path)

    def lock_file(self, winpath=SETTINGS_WINPATH):
        self.cmd("lock", _hex(winpath))

    def unlock_file(self, winpath=SETTINGS_WINPATH):
        self.cmd("unlock", _hex(winpath))

    def set_attributes(self, host_path, attributes):
        self.cmd("attrib", to_windows_path(host_path).encode("utf-8").hex(), attributes)

    # -- the registry ------------------------------------------------------------

    def reg_values(self, key):
        reply = self.cmd("reglist", _hex(key))
        if not reply["exists"]:
            return None
        return [(bytes.fromhex(v["name"]), v["type"], bytes.fromhex(v["data"])) for v in reply["values"]]

    def reg_set(self, key, name, data, reg_type=REG_SZ):
        if isinstance(data, str):
            data = data.encode("cp1252") + (b"\0" if reg_type in (REG_SZ, REG_EXPAND_SZ) else b"")
        elif isinstance(data, int):
            data = data.to_bytes(4, "little")
        self.cmd("regset", _hex(key), _hex(name), reg_type, _hex(data))

    def reg_delete(self, key, name):
        self.cmd("regdel", _hex(key), _hex(name))

    def reg_clear(self, key):
        return self.cmd("regclear", _hex(key))["removed"]

    def reg_delete_key(self, key):
        self.cmd("regdelkey", _hex(key))

    def reg_restrict(self, key, access):
        self.cmd("regrestrict", _hex(key), "0x%x" % access)

    def serialcomm(self):
        return self.reg_values(SERIALCOMM)

    def set_serialcomm(self, values):
        """SERIALCOMM holds exactly these values afterwards, whatever Wine put there."""
        wanted = []
        for v in values:
            name, reg_type, data = (v[0], REG_SZ, v[1]) if len(v) == 2 else v
            if isinstance(data, str):
                data = data.encode("cp1252") + (b"\0" if reg_type in (REG_SZ, REG_EXPAND_SZ) else b"")
            wanted.append((_bytes(name), reg_type, data))
        self.reg_clear(SERIALCOMM)
        for name, reg_type, data in wanted:
            self.reg_set(SERIALCOMM, name, data, reg_type)
        got = self.serialcomm()
        if sorted(got or []) != sorted(wanted):
            raise HarnessError("SERIALCOMM holds %r instead of %r" % (got, wanted))

    def reg_query_with_wine(self, key):
        out = self.wine("reg", "query", "HKLM\\" + key)
        return out.stdout.decode("cp1252", "replace")

    # -- serial ports ------------------------------------------------------------

    def map_com(self, n, target):
        link = os.path.join(self.prefix, "dosdevices", "com%d" % n)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(target, link)

    def unmap_com(self, n):
        link = os.path.join(self.prefix, "dosdevices", "com%d" % n)
        if os.path.lexists(link):
            os.unlink(link)

    def start_unit(self, com, *options):
        if not self.simunit or not os.path.isfile(self.simunit):
            raise unittest.SkipTest("simunit is not built (BRAVELLE_SIMUNIT)")
        if not self.env.get("LD_PRELOAD"):
            raise unittest.SkipTest("the pty shim is not built (BRAVELLE_PTYSHIM)")
        unit = SimUnit(self, com, options)
        self._units.append(unit)
        return unit

    def shim_log(self):
        try:
            with open(self.shim_log_path) as f:
                return f.read().splitlines()
        except OSError:
            return []


def parse_version_block(raw):
    """Every string of every StringFileInfo table: {"040c04e4": {key: bytes}}.

    The block GetFileVersionInfoA returns is the resource itself, in UTF-16, so
    nothing that VerQueryValueA would hide (an extra key, a missing one) escapes.
    """
    def node(offset):
        length, value_length, value_type = int.from_bytes(raw[offset:offset + 2], "little"), \
            int.from_bytes(raw[offset + 2:offset + 4], "little"), int.from_bytes(raw[offset + 4:offset + 6], "little")
        pos = offset + 6
        key_end = pos
        while raw[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = raw[pos:key_end].decode("utf-16-le")
        pos = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if value_type == 1 else value_length
        value = raw[pos:pos + value_size]
        children_start = (pos + value_size + 3) & ~3
        children = []
        child = children_start
        end = offset + length
        while child < end and length > 0:
            child_len = int.from_bytes(raw[child:child + 2], "little")
            if child_len == 0:
                break
            children.append(node(child))
            child = (child + child_len + 3) & ~3
        return key, value_type, value, children

    tables = {}
    _, _, _, top_children = node(0)
    for key, _, _, children in top_children:
        if key != "StringFileInfo":
            continue
        for table_key, _, _, strings in children:
            entries = tables.setdefault(table_key.lower(), {})
            for name, value_type, value, _ in strings:
                text = value.decode("utf-16-le") if value_type == 1 else value.decode("cp1252")
                entries[name] = text.rstrip("\0").encode("cp1252")
    return tables


def main():
    """Runs the calling test module; exits 77 (CTest's skip) when every test was skipped."""
    program = unittest.main(module="__main__", exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun > 0 and len(result.skipped) == result.testsRun:
        sys.exit(77)
    sys.exit(0)


def _list_tests(paths):
    """Test ids of the given files, one per line, for CTest to register each case."""
    sys.path.insert(0, _HERE)
    loader = unittest.TestLoader()
    for path in paths:
        stack = [loader.loadTestsFromName(os.path.splitext(os.path.basename(path))[0])]
        while stack:
            item = stack.pop(0)
            if isinstance(item, unittest.TestSuite):
                stack.extend(item)
            else:
                print(item.id())


if __name__ == "__main__":
    if sys.argv[1:2] == ["--make-template"]:
        started = time.monotonic()
        ensure_template(log=sys.stderr)
        sys.stderr.write("harness: template ready after %.1f s\n" % (time.monotonic() - started))
    elif sys.argv[1:2] == ["--list-tests"]:
        _list_tests(sys.argv[2:])
    elif sys.argv[1:2] == ["--copy-prefix"] and len(sys.argv) == 3:
        # For the shell-driven Wine tests: a private prefix from the one template.
        copy_prefix(ensure_template(log=sys.stderr), sys.argv[2])
    else:
        sys.exit("usage: harness.py --make-template | --list-tests FILE... | --copy-prefix NEW_DIR")
