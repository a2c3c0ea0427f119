"""End-to-end harness: the real Windows programs in a Wine virtual desktop on
the test X server, driven with real X input.

The test command provides DISPLAY (an Xvfb), WINEPREFIX (a private prefix
with a running wineserver) and ORVO_BUILD_DIR. Every program joins one
virtual desktop named OrvoCapture, so global hotkeys reach it while the
desktop window has the X keyboard focus."""
import os
import re
import subprocess
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("ORVO_BUILD_DIR", os.path.join(HERE, "..", "..", "build", "x86_64"))
DESKTOP = "OrvoCapture"
DESKTOP_SIZE = "1280x1024"
SETTINGS_KEY = r"HKCU\Software\Cindrel"


def wine_env():
    env = os.environ.copy()
    env.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=")
    return env


def wait_until(predicate, timeout=15.0, interval=0.2, what="condition"):
    """Polls until predicate returns something true; returns it or fails."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


class Program:
    """A Windows program running in the desktop. Its launcher returns at
    once, so the program is followed by its Windows process id; its standard
    output (a pipe it inherits) is collected line by line."""

    def __init__(self, desktop, name, args):
        self.desktop = desktop
        self.name = name
        known = desktop.process_ids(name)
        self.process = subprocess.Popen(
            ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), desktop.exe(name)] + list(args),
            env=desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.lines = []
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.pid = desktop.new_process_id(name, known)

    def _read(self):
        for raw in self.process.stdout:
            with self._lock:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))

    def wait_for_line(self, pattern, timeout=15.0, start=0):
        """The first line from index start on that matches the pattern."""
        regex = re.compile(pattern)

        def find():
            with self._lock:
                for line in self.lines[start:]:
                    match = regex.search(line)
                    if match:
                        return match
            return None

        return wait_until(find, timeout, what="output matching " + pattern)

    def line_count(self):
        with self._lock:
            return len(self.lines)

    def expect_exit(self, timeout=15.0):
        """Starts watching for the end of the program; call before the action
        that ends it, then collect the exit code with exit_code()."""
        self._exit_watch = subprocess.Popen(
            ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), self.desktop.exe("wintool.exe"),
             "wait", str(self.pid), str(int(timeout * 1000))],
            env=self.desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        time.sleep(0.5)  # the watcher holds the process before anything happens

    def exit_code(self):
        """The exit code of a program being watched; fails if it runs on."""
        out, _ = self._exit_watch.communicate(timeout=120)
        answer = out.decode("utf-8", "replace").strip()
        if answer == "running":
            raise AssertionError("%s is still running" % self.name)
        if not answer.isdigit():
            raise AssertionError("%s could not be watched: %r" % (self.name, answer))
        return int(answer)

    def running(self):
        return self.pid in self.desktop.process_ids(self.name)

    def kill(self):
        if self.running():
            self.desktop.wintool("kill", self.name)
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=10)
        self._reader.join(timeout=5)
        self.process.stdout.close()


class Window:
    def __init__(self, line):
        parts = (line.split("\t") + [""] * 5)[:5]
        self.hwnd, pid, self.cls, self.title, texts = parts
        self.pid = int(pid) if pid.isdigit() else 0
        self.texts = [t for t in texts.split("|") if t]

    def __repr__(self):
        return "Window(%s, %s, %r, %r)" % (self.hwnd, self.cls, self.title, self.texts)


class WineDesktop:
    """One Wine virtual desktop on the X server, with helpers to start
    programs in it, look at its windows, type into it and read the registry."""

    def __init__(self):
        self.env = wine_env()
        self.build = BUILD
        self.programs = []
        self._desktop = None

    # --- the desktop --------------------------------------------------------
    def start(self):
        self._desktop = subprocess.Popen(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE)],
                                         env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(self.desktop_window, 30, what="the Wine desktop window")
        return self

    def stop(self):
        """Ends every Wine process of the prefix, the desktop included. A
        desktop killed any other way leaves the wineserver pointing at its
        vanished X window, and the next desktop could not be created."""
        for program in self.programs:
            program.kill()
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)
        if self._desktop:
            try:
                self._desktop.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._desktop.kill()
        # A persistent server again, so the next Wine process starts quickly
        # (it forks into the background: its output must not be a pipe).
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        # Wine's services start with the next program and live on: start them
        # now, so they do not hold open the output pipe of whoever runs next.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def desktop_window(self):
        out = subprocess.run(["xdotool", "search", "--name", "^%s - Wine desktop$" % DESKTOP],
                             capture_output=True, text=True).stdout.split()
        return out[0] if out else None

    def focus(self):
        """Gives the desktop window the X keyboard focus, as a click would."""
        wid = self.desktop_window()
        subprocess.run(["xdotool", "windowactivate", "--sync", wid], capture_output=True)
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], capture_output=True)

    # --- programs -----------------------------------------------------------
    def exe(self, name):
        """Path of a built program: the product or one of the test tools."""
        for folder in (self.build, os.path.join(self.build, "tests")):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                return path
        raise FileNotFoundError(name)

    def run(self, name, *args):
        """Starts a program inside the desktop."""
        program = Program(self, name, args)
        self.programs.append(program)
        return program

    def wintool(self, *args):
        # Inside the desktop: window enumeration sees only its own desktop.
        return subprocess.run(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE),
                               self.exe("wintool.exe")] + list(args), env=self.env,
                              capture_output=True, timeout=60).stdout.decode("utf-8", "replace")

    def windows(self):
        return [Window(line) for line in self.wintool("windows").splitlines() if line.strip()]

    def wait_window(self, predicate, timeout=15.0, what="a window"):
        return wait_until(lambda: next((w for w in self.windows() if predicate(w)), None), timeout, what=what)

    def message_box(self, text, timeout=15.0):
        """A visible message box showing the text."""
        return self.wait_window(lambda w: w.cls == "#32770" and any(text in t for t in w.texts), timeout,
                                what="a message box saying " + text)

    def click(self, window, text, button="1"):
        """Clicks the control of a window that shows the text, or with window
        "menu" the item of the open popup menu, where a person would."""
        answer = wait_until(lambda: re.match(r"^(-?\d+) (-?\d+)$", self.wintool("center", window, text).strip()),
                            10, what="%r on the screen" % text)
        subprocess.run(["xdotool", "mousemove", answer.group(1), answer.group(2), "click", button], check=True)

    def dismiss(self, box, button="OK"):
        """Answers a message box by clicking its button and waits until it is gone."""
        self.click(box.hwnd, button)
        wait_until(lambda: all(w.hwnd != box.hwnd for w in self.windows()), 10, what="the box to close")

    def process_ids(self, exe_name):
        return {int(x) for x in self.wintool("processes", exe_name).split() if x.isdigit()}

    def new_process_id(self, exe_name, known, timeout=15.0):
        """The Windows process id of a newly started program."""
        return wait_until(lambda: next(iter(self.process_ids(exe_name) - known), None), timeout,
                          what="a new %s process" % exe_name)

    def tray_click(self, pid, mouse_message):
        """Delivers the icon callback the shell sends for a click on the icon."""
        return self.wintool("tray", str(pid), mouse_message)

    # --- input and output ---------------------------------------------------
    def key(self, *keys, focus=True):
        """Presses keys on the desktop. focus=False keeps the X focus where it
        is: activating the desktop window would close an open menu."""
        if focus:
            self.focus()
        subprocess.run(["xdotool", "key", "--delay", "80"] + list(keys), check=True)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "40", text], check=True)

    def clipboard(self):
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                              timeout=10).stdout.decode("utf-8", "replace")

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], capture_output=True)

    # --- registry -----------------------------------------------------------
    def reg(self, *args):
        return subprocess.run(["wine", "reg"] + list(args), env=self.env, capture_output=True, timeout=60)

    def reg_values(self, key):
        """The values directly in a key as {name: (type, data)}, or None when
        the key does not exist."""
        result = self.reg("query", key)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            match = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if match:
                values[match.group(1)] = (match.group(2), match.group(3))
        return values

    def reg_delete_key(self, key):
        self.reg("delete", key, "/f")

    def reg_delete_value(self, key, name):
        self.reg("delete", key, "/v", name, "/f")

    def reg_set(self, key, name, reg_type, data):
        self.reg("add", key, "/v", name, "/t", reg_type, "/d", str(data), "/f")


class DesktopTestCase(unittest.TestCase):
    """One Wine desktop per test class; every program a test starts is
    stopped when the test ends."""

    desktop = None

    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("no X display")
        cls.desktop = WineDesktop().start()

    @classmethod
    def tearDownClass(cls):
        if cls.desktop:
            cls.desktop.stop()

    def tearDown(self):
        # The last screen of every test, for a look after a failure.
        shots = os.path.join(BUILD, "e2e-screens")
        os.makedirs(shots, exist_ok=True)
        self.desktop.screenshot(os.path.join(shots, self.id() + ".png"))
        # Killing a launcher leaves its Windows process running, still
        # holding the hotkeys: end the programs themselves.
        for program in self.desktop.programs:
            program.kill()
        self.desktop.programs.clear()
