"""Capture figures at one screen size, in a Wine virtual desktop of the X
server's size (ORVO_DESKTOP_SIZE, set by run_capture_bench.sh):

1. Print Screen to the frozen screen painted, and to the options dialog
   complete on it (capture_latency, a native X client), median and spread
   over the runs;
2. private memory of the idle resident program after the captures, beside
   a minimal Win32 program with one window (the desktop keeper) in the same
   session, less the one screen image the program keeps between captures;
3. the same key press to screen timed for the least a capture can do under
   this window system (bench/plainfreeze.cpp: one screen read, one
   full-screen window, a grey panel where the dialog shows), and the ratios.

   python3 bench/capture_bench.py CAPTURE_LATENCY_BINARY [RUNS]

The screen: the maximised ticker window (bench/tickerwindow.cpp), a colour
ramp in which every pixel differs from its neighbours, so a misplaced or
stale copy shows, with a square whose colour changes every 10 ms, to tell
the frozen screen from the live one."""
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from harness import DESKTOP_SIZE, SETTINGS_KEY, WineDesktop, wait_until  # noqa: E402

APP_KEY = SETTINGS_KEY + r"\orvocapture"
MB = 1024.0 * 1024.0
TARGET_MS = 100
TARGET_MB = 4


class BenchDesktop(WineDesktop):
    """The e2e desktop, which also finds the benchmark's own programs."""

    def exe(self, name):
        path = os.path.join(self.build, "bench", name)
        return path if os.path.exists(path) else super().exe(name)


def options_and_capture(desktop, width, height):
    windows = desktop.windows()
    capture = next((w for w in windows if w.cls == "#32770" and w.rect == (0, 0, width, height)), None)
    options = next((w for w in windows if w.cls == "#32770" and "Mark Area" in w.texts), None)
    return (capture, options) if capture and options else None


def capture_gone(desktop):
    return not any(w.cls == "#32770" for w in desktop.windows())


def end_stuck_capture(desktop, why):
    """A capture the keyboard cannot end (the options dialog hidden behind
    the capture window, or without the focus) ends the way its Cancel
    button ends it. What the session looked like goes to the log."""
    windows = desktop.windows()
    print("  stuck (%s); windows, topmost first: %s" % (why, windows), file=sys.stderr)
    print("  X stacking, topmost first:\n%s" % x_stacking(), file=sys.stderr)
    options = next((w for w in windows if w.cls == "#32770" and "Mark Area" in w.texts), None)
    if options:
        desktop.wintool("command", options.hwnd, "2")  # IDCANCEL
    wait_until(lambda: capture_gone(desktop), what="the capture to end on Cancel")
    time.sleep(1)
    desktop.focus()


def x_stacking():
    """The desktop's X child windows of the resident program, top first."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, timeout=30).stdout
    return "\n".join("    " + line.strip() for line in out.splitlines() if "orvocapture.exe" in line)


def plain_freeze_totals(desktop, latency, runs, rects):
    """Key press to painted screen for bench/plainfreeze.cpp, its panel where
    OrvoCapture's dialog showed; empty when it could not be measured."""
    peer = desktop.run("plainfreeze.exe", *(str(n) for n in rects[:4]))
    try:
        peer.wait_for_line(r"^ready")
        result = subprocess.run([latency, str(runs)] + [str(n) for n in rects], capture_output=True, text=True,
                                timeout=runs * 60 + 60)
        lines = [line.split() for line in result.stdout.splitlines() if line.startswith("run ")]
        for words in lines:
            print("  plain " + " ".join(words), file=sys.stderr)
        return [float(words[3]) for words in lines if words[2] == "total"]
    finally:
        peer.kill()


def spread(values):
    return "min %.1f, max %.1f" % (min(values), max(values))


def main():
    latency = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 19
    width, height = (int(n) for n in DESKTOP_SIZE.split("x"))
    desktop = BenchDesktop().start()
    try:
        # No stored placement: the options dialog shows in the middle.
        desktop.reg_delete_key(APP_KEY)
        ticker = desktop.run("tickerwindow.exe", str(width // 8), str(height // 8), "120")
        ready = ticker.wait_for_line(r"^ready (-?\d+) (-?\d+) (-?\d+) (-?\d+)$")
        ticker_rect = tuple(int(ready.group(i)) for i in range(1, 5))
        program = desktop.run("orvocapture.exe")
        wait_until(lambda: (desktop.reg_values(APP_KEY) or {}).get("HotkeyFS"), what="the start-up defaults")
        # The pointer rests on the ramp, away from the dialog and ticker.
        subprocess.run(["xdotool", "mousemove", str(width // 4), str(height * 3 // 4)], check=True)
        desktop.focus()

        # One capture first: the hotkeys are registered a moment after the
        # settings are written, and it tells where the dialog shows.
        def attempt():
            subprocess.run(["xdotool", "key", "Print"], check=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                found = options_and_capture(desktop, width, height)
                if found:
                    return found
                time.sleep(0.2)
            return None
        _, options = wait_until(attempt, what="the capture window after Print")
        time.sleep(1)
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        try:
            wait_until(lambda: capture_gone(desktop), timeout=10, what="the capture to end on Escape")
            time.sleep(1)
        except AssertionError:
            end_stuck_capture(desktop, "escape, first capture")

        samples, stuck = [], []
        captures = 1
        while len(samples) < runs and len(stuck) < runs:
            args = [latency, str(runs - len(samples))] + [str(n) for n in options.rect + ticker_rect]
            result = subprocess.run(args, capture_output=True, text=True, timeout=runs * 60 + 60)
            for line in result.stdout.splitlines():
                print("  " + line, file=sys.stderr)
                words = line.split()
                if line.startswith("run ") and " total " in line:
                    samples.append(words)
                    captures += 1
                elif line.startswith("run ") and " stuck " in line:
                    stuck.append(words[3])
                    # Escape ends a capture already counted; nothing froze, no capture.
                    captures += words[3] == "no-dialog"
            if result.returncode == 3:
                end_stuck_capture(desktop, stuck[-1] if stuck else "?")
            elif result.returncode != 0:
                print(result.stderr, file=sys.stderr)
                return 1
        # Idle: the program is back in its message loop, holding one image.
        time.sleep(3)
        resident = statistics.median(desktop.private_bytes("orvocapture.exe") for _ in range(3))
        keeper = statistics.median(desktop.private_bytes("desktopkeeper.exe") for _ in range(3))
        image = width * height * 4
        program.kill()  # frees Print Screen for the plain freeze
        plain = plain_freeze_totals(desktop, latency, runs, options.rect + ticker_rect)

        total = [float(s[3]) for s in samples]
        dialog = [float(s[5]) for s in samples]
        frozen = [float(s[7]) for s in samples]
        first = [float(s[9]) for s in samples]
        outside = [int(s[11]) for s in samples]
        mixed = [int(s[13]) for s in samples]

        print("screen %dx%d, Wine virtual desktop of the same size" % (width, height))
        if total:
            print("  Print Screen to frozen screen painted (the frozen image over the ticker), %d runs: median %.1f ms "
                  "(%s); target <= %d ms%s" % (len(frozen), statistics.median(frozen), spread(frozen), TARGET_MS,
                                               " at 1920x1080" if (width, height) != (1920, 1080) else ""))
            print("  Print Screen to options dialog complete: median %.1f ms (%s); its first change on the screen: "
                  "median %.1f ms" % (statistics.median(dialog), spread(dialog), statistics.median(first)))
            print("    frozen image equals the screen before the press outside the dialog: %s; "
                  "ticker held one colour: %s" % ("yes" if not any(outside) else "NO (%s pixels)" % outside,
                                                 "yes" if not any(mixed) else "NO (%s pixels)" % mixed))
        if plain:
            peer = statistics.median(plain)
            print("  plain freeze (one screen read, one full-screen window) under the same Wine, %d runs: median %.1f ms "
                  "(%s)" % (len(plain), peer, spread(plain)))
            if total:
                print("    OrvoCapture / plain freeze: frozen screen %.2f, options dialog complete %.2f"
                      % (statistics.median(frozen) / peer, statistics.median(dialog) / peer))
        if stuck:
            print("  %d captures stuck (%s) and were ended through the options dialog's Cancel"
                  % (len(stuck), ", ".join(stuck)))
        print("  idle private memory (anonymous pages) after %d captures: resident program %.1f MB, one-window program %.1f MB, "
              "one screen image %.1f MB" % (captures, resident / MB, keeper / MB, image / MB))
        print("  resident program above the one-window program, less the screen image: %.1f MB; target <= %d MB"
              % ((resident - keeper - image) / MB, TARGET_MB))
        return 0 if total else 1
    finally:
        desktop.stop()


if __name__ == "__main__":
    sys.exit(main())
