"""End-to-end harness: the real Windows programs in a Wine virtual desktop on
the test X server, driven with real X input.

The test command provides DISPLAY (an Xvfb), WINEPREFIX (a private prefix
with a running wineserver) and ORVO_BUILD_DIR. Every program joins one
virtual desktop named OrvoCapture, so global hotkeys reach it while the
desktop window has the X keyboard focus."""
import os
import queue
import re
import subprocess
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("ORVO_BUILD_DIR", os.path.join(HERE, "..", "..", "build", "x86_64"))
DESKTOP = "OrvoCapture"
# The benchmarks run the same desktop at other screen sizes.
DESKTOP_SIZE = os.environ.get("ORVO_DESKTOP_SIZE", "1280x1024")
SETTINGS_KEY = r"HKCU\Software\Cindrel"
# Waits on a success path end as soon as their condition holds, so a long
# limit costs nothing on a quiet machine and keeps a loaded one green: a
# first start in a busy prefix has taken well over 15 s.
WAIT = 60.0
# Who can tell what the session looked like when a wait failed.
_describers = []


def wine_env():
    env = os.environ.copy()
    env.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=")
    return env


def wait_until(predicate, timeout=WAIT, interval=0.2, what="condition"):
    """Polls until predicate returns something true; returns it or fails,
    saying what the session looked like then (windows and processes), so a
    failure can be understood from the log alone."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s%s" % (timeout, what, session_report()))
        time.sleep(interval)


def session_report():
    lines = []
    for describe in _describers:
        try:
            lines.append(describe())
        except Exception as error:  # a broken session must not hide the first failure
            lines.append("(could not look at the session: %s)" % error)
    return "".join("\n" + line for line in lines)


def launcher_gave_up(lines):
    """Wine's desktop now and then fails to launch a program at all on a busy
    machine; its launcher then says so and exits. Such a start is tried again."""
    return any("ShellExecuteEx failed" in line or "could not be started" in line for line in lines)


def close_when_read(pipe, reader):
    """Closes a program's output pipe once its reader thread is done with it.
    A Windows program lives on after its launcher, so the pipe can stay open
    after the launcher was killed: closing it under a reader still blocked
    in a read would wait for that read for ever. Such a pipe is left to the
    end of the Wine session, which ends its reader too."""
    if reader.is_alive():
        return
    try:
        pipe.close()
    except OSError:
        pass


class Program:
    """A Windows program running in the desktop. Its launcher returns at
    once, so the program is followed by its Windows process id; its standard
    output (a pipe it inherits) is collected line by line."""

    def __init__(self, desktop, name, args):
        self.desktop = desktop
        path = desktop.exe(name)
        # Windows knows the process by its file name alone.
        self.name = name = os.path.basename(path)
        known = desktop.process_ids(name)
        self._lock = threading.Lock()
        for attempt in range(3):
            self.process = subprocess.Popen(
                ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), path] + list(args),
                env=desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            self.lines = []
            self._reader = threading.Thread(target=self._read, daemon=True)
            self._reader.start()
            # The new process, or a launch that failed.
            started = wait_until(lambda: next(iter(desktop.process_ids(name) - known), None)
                                 or (self.launch_failed() and -1), what="a new %s process" % name)
            if started != -1:
                self.pid = started
                return
        raise AssertionError("%s could not be started: %r" % (name, self.lines))

    def launch_failed(self):
        """Wine's launcher gave up on the program without starting it (its
        words arrive by the reader; a started program keeps the pipe open, so
        the reader is not waited for)."""
        if self.process.poll() is None:
            return False
        with self._lock:
            return launcher_gave_up(self.lines)

    def _read(self):
        for raw in self.process.stdout:
            with self._lock:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))

    def wait_for_line(self, pattern, timeout=WAIT, start=0):
        """The first line from index start on that matches the pattern."""
        regex = re.compile(pattern)

        def find():
            with self._lock:
                for line in self.lines[start:]:
                    match = regex.search(line)
                    if match:
                        return match
            return None

        return wait_until(find, timeout, what="output of %s matching %s (it printed %r)"
                          % (self.name, pattern, self.lines[start:][-5:]))

    def line_count(self):
        with self._lock:
            return len(self.lines)

    def expect_exit(self, timeout=WAIT):
        """Starts watching for the end of the program; call before the action
        that ends it, then collect the exit code with exit_code(). Returns
        once the watcher holds the process, so the end cannot go unseen."""
        for attempt in range(3):
            self._exit_watch = subprocess.Popen(
                ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), self.desktop.exe("wintool.exe"),
                 "wait", str(self.pid), str(int(timeout * 1000))],
                env=self.desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            self._exit_lines = []
            self._exit_reader = threading.Thread(target=self._read_exit_watch, daemon=True)
            self._exit_reader.start()
            wait_until(lambda: self._exit_lines, what="the exit watcher of %s to hold it" % self.name)
            if self._exit_lines[0] == "watching":
                return
            self._exit_watch.wait(timeout=WAIT)
            self._exit_reader.join(timeout=WAIT)
            if not launcher_gave_up(self._exit_lines):
                break
        raise AssertionError("%s could not be watched: %r" % (self.name, self._exit_lines))

    def _read_exit_watch(self):
        for raw in self._exit_watch.stdout:
            self._exit_lines.append(raw.decode("utf-8", "replace").strip())

    def exit_code(self):
        """The exit code of a program being watched; fails if it runs on."""
        self._exit_watch.wait(timeout=WAIT + 60)
        self._exit_reader.join(timeout=10)
        close_when_read(self._exit_watch.stdout, self._exit_reader)
        answer = self._exit_lines[-1] if len(self._exit_lines) > 1 else ""
        if answer == "running":
            raise AssertionError("%s is still running%s" % (self.name, session_report()))
        if not answer.isdigit():
            raise AssertionError("%s could not be watched: %r" % (self.name, self._exit_lines))
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
        close_when_read(self.process.stdout, self._reader)


class ToolSession:
    """One wintool process that answers questions for the whole session: a
    new Wine process per question costs a start, seconds on a loaded
    machine."""

    def __init__(self, desktop):
        self.process = subprocess.Popen(
            ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), desktop.exe("wintool.exe"), "serve"],
            env=desktop.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._answers = queue.Queue()
        self._ended = False
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stdout:
            self._answers.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self._answers.put(None)

    def ask(self, args, timeout=WAIT):
        """The answer's lines, or None when the session cannot answer. (Its
        launcher returns at once: the helper lives for as long as its
        output pipe.)"""
        if self._ended:
            return None
        try:
            self.process.stdin.write(("\t".join(args) + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except OSError:
            return None
        lines = []
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self._answers.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                return None
            if line is None:
                self._ended = True
                return None
            if re.match(r"^<<done -?\d+>>$", line):
                return "".join(l + "\n" for l in lines)
            lines.append(line)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        try:
            self.process.stdin.close()
        except OSError:
            pass
        self._reader.join(timeout=5)
        close_when_read(self.process.stdout, self._reader)


class Window:
    def __init__(self, line):
        parts = (line.split("\t") + [""] * 6)[:6]
        self.hwnd, pid, self.cls, self.title, texts, rect = parts
        self.pid = int(pid) if pid.isdigit() else 0
        self.texts = [t for t in texts.split("|") if t]
        numbers = [int(n) for n in rect.split(",") if re.match(r"^-?\d+$", n)]
        self.rect = tuple(numbers) if len(numbers) == 4 else (0, 0, 0, 0)

    def __repr__(self):
        return "Window(%s, pid %d, %s, %r, %r)" % (self.hwnd, self.pid, self.cls, self.title, self.texts)


class WineDesktop:
    """One Wine virtual desktop on the X server, with helpers to start
    programs in it, look at its windows, type into it and read the registry."""

    def __init__(self):
        self.env = wine_env()
        self.build = BUILD
        self.programs = []
        self._desktop = None
        self._keeper = None
        self._tools = None

    # --- the desktop --------------------------------------------------------
    def start(self):
        """The desktop, with its keeper: a program with one window that stays
        for the whole session, so the desktop never ends between tests. Each
        desktop starts in a fresh Wine session, so one left over by a run
        that was ended goes first; a desktop that dies while it starts (seen
        on a heavily loaded machine) is started again."""
        for attempt in range(3):
            self.restart_session()
            try:
                return self._start_desktop_and_keeper()
            except AssertionError as error:
                if attempt == 2:
                    raise
                print("note: the desktop did not come up (%s); starting it again" % str(error).splitlines()[0],
                      flush=True)
                if self._keeper:
                    self._keeper.kill()
                    self._keeper = None
                if self.describe in _describers:
                    _describers.remove(self.describe)

    def _start_desktop_and_keeper(self):
        self._desktop = subprocess.Popen(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE)],
                                         env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _describers.append(self.describe)
        wait_until(self.desktop_window, what="the Wine desktop window")
        self._keeper = Program(self, "desktopkeeper.exe", [])
        self._keeper.wait_for_line(r"^ready \d+$")
        wait_until(self.keeper_window, what="the desktop keeper's window inside the desktop")
        return self

    def keeper_window(self):
        return next((w for w in self.windows() if w.cls == "OrvoDesktopKeeper"), None)

    def alive(self):
        """Why the desktop cannot be used, or None when it can: its X window
        is there, and a program started in it now sees the keeper's window.
        (A launcher returns at once, so the keeper is followed by its
        Windows process id.)"""
        if not self.desktop_window():
            return "the desktop's X window is gone"
        if not self._keeper:
            return "the desktop has no keeper"
        fresh = [Window(line) for line in self.wintool("windows", fresh=True).splitlines() if line.strip()]
        if not any(w.cls == "OrvoDesktopKeeper" and w.pid == self._keeper.pid for w in fresh):
            return "a program started in the desktop does not see the keeper's window"
        return None

    def ensure_alive(self):
        """Restarts the desktop and its keeper when either has gone."""
        problem = self.alive()
        if problem:
            print("note: %s; starting the desktop again" % problem, flush=True)
            self.stop()
            self.start()

    def stop(self):
        """Ends every Wine process of the prefix, the desktop and its keeper
        included, and leaves a fresh Wine session behind."""
        if self.describe in _describers:
            _describers.remove(self.describe)
        for program in self.programs:
            program.kill()
        self.programs.clear()
        if self._tools:
            self._tools.close()
            self._tools = None
        if self._keeper:
            self._keeper.kill()
            self._keeper = None
        self.restart_session()
        if self._desktop:
            try:
                self._desktop.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._desktop.kill()

    def restart_session(self):
        """Ends every Wine process of the prefix and starts the Wine session
        afresh. A desktop killed any other way (a test process that a time
        limit ended, say) leaves the wineserver pointing at its vanished X
        window, and the next desktop could not be created."""
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)
        # The next desktop must not mistake this one's window for its own.
        wait_until(lambda: not self.desktop_window(), what="the desktop's X window to go")
        # A persistent server again, so the next Wine process starts quickly
        # (it forks into the background: its output must not be a pipe).
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        # Wine's services start with the next program and live on: start them
        # now, so they do not hold open the output pipe of whoever runs next.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def desktop_window(self):
        try:
            out = subprocess.run(["xdotool", "search", "--name", "^%s - Wine desktop$" % DESKTOP],
                                 capture_output=True, text=True, timeout=30).stdout.split()
        except subprocess.TimeoutExpired:
            # Seen while windows vanish on a loaded machine: no answer this
            # time. The waits around it ask again.
            return None
        return out[0] if out else None

    def describe(self):
        """What is there now: the desktop's windows and the Wine processes."""
        windows = "\n".join("  %r" % w for w in self.windows()) or "  (none)"
        tasks = self.wintool("tasks").strip().replace("\t", " ").splitlines()
        return "the desktop's X window: %s\nwindows in the desktop:\n%s\nWine processes: %s" % (
            self.desktop_window() or "gone", windows, ", ".join(tasks) or "(none)")

    def focus(self):
        """Gives the desktop window the X keyboard focus, as a click would."""
        wid = wait_until(self.desktop_window, what="the desktop window to focus")
        for command in ("windowactivate", "windowfocus"):
            try:
                subprocess.run(["xdotool", command, "--sync", wid], capture_output=True, timeout=10)
            except subprocess.TimeoutExpired:
                pass  # without a window manager --sync may never hear back; the focus is set

    # --- programs -----------------------------------------------------------
    def exe(self, name):
        """Path of a built program (the product or one of the test tools), or
        of any program given by its full path (an installed copy, say)."""
        if os.path.isabs(name) and os.path.exists(name):
            return name
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

    def wintool(self, *args, fresh=False):
        """Asks the Windows-side helper, inside the desktop (window
        enumeration sees only its own desktop): the session's helper
        process, or a new one when fresh or when the session's cannot
        answer."""
        if not fresh:
            if self._tools is None:
                self._tools = ToolSession(self)
            answer = self._tools.ask(args)
            if answer is not None:
                return answer
            self._tools.close()
            self._tools = None
        try:
            return subprocess.run(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE),
                                   self.exe("wintool.exe")] + list(args), env=self.env,
                                  capture_output=True, timeout=WAIT).stdout.decode("utf-8", "replace")
        except subprocess.TimeoutExpired:
            return ""  # no answer is no answer: the waits around it decide

    def windows(self):
        return [Window(line) for line in self.wintool("windows").splitlines() if line.strip()]

    def wait_window(self, predicate, timeout=WAIT, what="a window"):
        return wait_until(lambda: next((w for w in self.windows() if predicate(w)), None), timeout, what=what)

    def message_box(self, text, timeout=WAIT):
        """A visible message box showing the text."""
        return self.wait_window(lambda w: w.cls == "#32770" and any(text in t for t in w.texts), timeout,
                                what="a message box saying " + text)

    def click(self, window, text, button="1"):
        """Clicks the control of a window that shows the text, or with window
        "menu" the item of the open popup menu, where a person would."""
        answer = wait_until(lambda: re.match(r"^(-?\d+) (-?\d+)$", self.wintool("center", window, text).strip()),
                            what="%r on the screen" % text)
        subprocess.run(["xdotool", "mousemove", answer.group(1), answer.group(2), "click", button], check=True)

    def dismiss(self, box, button="OK"):
        """Answers a message box by clicking its button and waits until it is gone."""
        self.click(box.hwnd, button)
        wait_until(lambda: all(w.hwnd != box.hwnd for w in self.windows()), what="the box to close")

    def process_ids(self, exe_name):
        return {int(x) for x in self.wintool("processes", exe_name).split() if x.isdigit()}

    def new_process_id(self, exe_name, known, timeout=WAIT):
        """The Windows process id of a newly started program."""
        return wait_until(lambda: next(iter(self.process_ids(exe_name) - known), None), timeout,
                          what="a new %s process" % exe_name)

    def private_bytes(self, exe_name):
        """Private memory of the one process of this prefix running exe_name,
        as Linux counts it: anonymous pages, resident or swapped. (Wine
        answers 0 when one Windows process asks about another's.)"""
        prefix = ("WINEPREFIX=" + self.env["WINEPREFIX"]).encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
                if argv0.replace("\\", "/").rsplit("/", 1)[-1].lower() != exe_name.lower():
                    continue
                # Others on the machine may run the same program in prefixes of their own.
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if prefix not in f.read().split(b"\0"):
                        continue
                with open("/proc/%s/smaps_rollup" % entry) as f:
                    fields = dict(line.split(":", 1) for line in f if ":" in line and line[0].isupper())
            except OSError:
                continue  # gone meanwhile
            found.append(sum(int(fields[k].split()[0]) * 1024 for k in ("Anonymous", "Swap")))
        if len(found) != 1:
            raise AssertionError("%d processes of %s in this prefix" % (len(found), exe_name))
        return found[0]

    def gdi_objects(self, pid):
        """How many GDI objects (device contexts, bitmaps, brushes, fonts...)
        a process holds, read from its GDI handle table."""
        answer = self.wintool("gdiobjects", str(pid)).strip()
        if not answer.isdigit():
            raise AssertionError("cannot count the GDI objects of process %s: %r" % (pid, answer))
        return int(answer)

    def tray_click(self, pid, mouse_message):
        """Delivers the icon callback the shell sends for a click on the icon,
        once the program's tray window exists."""
        return wait_until(lambda: "no tray window" not in self.wintool("tray", str(pid), mouse_message) or None,
                          what="the tray window of process %s" % pid)

    def menu_open(self):
        return re.match(r"^-?\d+ -?\d+$", self.wintool("center", "menu", "1/1").strip())

    def right_click_until_menu(self, x, y):
        """Right-clicks a point until a popup menu opens: a notification icon
        shows up on the taskbar a moment after its program has started."""
        def attempt():
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "3"], check=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if self.menu_open():
                    return True
                time.sleep(0.2)
            return None
        return wait_until(attempt, what="a menu from a right-click at %s,%s" % (x, y))

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

    def setUp(self):
        self.desktop.ensure_alive()

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
