#!/usr/bin/env python3
"""Screenshots of the Settings dialog and the About box for the README,
taken from the real program in a Wine desktop on an X server: opened the way
a person opens them, from the notification icon's menu, and cut out of the
screen at the dialog's own rectangle. Needs DISPLAY, WINEPREFIX and a built
tree (scripts/screenshots-settings.sh provides them)."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import SETTINGS_KEY, WineDesktop, wait_until  # noqa: E402

APP_KEY = SETTINGS_KEY + r"\orvocapture"
DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs")


def shoot(desktop, window, name):
    # The dialog is fully drawn once the screen stops changing.
    left, top, right, bottom = window.rect
    path = os.path.join(DOCS, name)
    previous = None
    for _ in range(20):
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                        "+repage", path], check=True, capture_output=True)
        with open(path, "rb") as f:
            data = f.read()
        if data == previous:
            break
        previous = data
        subprocess.run(["sleep", "0.5"])
    print("wrote", os.path.normpath(path))


def main():
    desktop = WineDesktop().start()
    try:
        desktop.reg_delete_key(APP_KEY)
        program = desktop.run("orvocapture.exe")
        wait_until(lambda: (desktop.reg_values(APP_KEY) or {}).get("Dir"), what="the start-up defaults")

        desktop.tray_click(program.pid, "lbuttondblclk")
        settings = desktop.wait_window(lambda w: w.title == "Options" and "Randomize filename" in w.texts,
                                       what="the Settings dialog")
        wait_until(lambda: any(t.endswith(".jpg") for w in desktop.windows() if w.hwnd == settings.hwnd
                               for t in w.texts), what="the sample name")
        shoot(desktop, settings, "settings-dialog.png")
        desktop.click(settings.hwnd, "Cancel")
        wait_until(lambda: all(w.hwnd != settings.hwnd for w in desktop.windows()), what="Settings to close")

        desktop.tray_click(program.pid, "rbuttonup")
        desktop.click("menu", "1/3")
        about = desktop.wait_window(lambda w: w.title == "About OrvoCapture", what="the About box")
        # Away from the links, so the picture shows the plain pointer.
        subprocess.run(["xdotool", "mousemove", "5", "5"], check=True)
        shoot(desktop, about, "about-box.png")
        desktop.click(about.hwnd, "OK")
    finally:
        desktop.stop()


if __name__ == "__main__":
    main()
