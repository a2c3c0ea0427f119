"""Takes the README's screenshots (icon menu, capture window, options dialog,
result dialog, Settings dialog, About box) of the real program in a Wine desktop on
the X server that scripts/screenshots.sh starts, into docs/.

One function per picture, listed in SHOTS: a new dialog gets its picture
from one more function that brings the dialog up, calls save() with the
window to crop to (or none for the whole screen) and closes it again.
    scripts/screenshots.sh                 every picture
    scripts/screenshots.sh tray-menu ...   only these"""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import SETTINGS_KEY, WineDesktop, wait_until  # noqa: E402
from test_upload import ImageHost, image_host_binary, port_80_free, windows_path  # noqa: E402

DOCS = os.path.join(ROOT, "docs")
APP_KEY = SETTINGS_KEY + r"\orvocapture"
# Wine's taskbar shows the first notification icon in the bottom-right corner.
FIRST_TRAY_ICON = (1269, 1013)
# The whole-screen pictures are shown at this fraction of 1280x1024.
SCREEN_SCALE = "80%"


def save(name, window=None, margin=0, region=None, scale=None):
    """docs/NAME.png: the whole screen, a window's rectangle (with a margin
    around it) or an explicit region (left, top, right, bottom)."""
    if window is not None:
        left, top, right, bottom = window.rect
        region = (left - margin, top - margin, right + margin, bottom + margin)
    command = ["import", "-window", "root"]
    if region:
        left, top, right, bottom = region
        command += ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
    if scale:
        command += ["-resize", scale]
    path = os.path.join(DOCS, name + ".png")
    # A window is fully drawn once the screen stops changing.
    previous = None
    for _ in range(20):
        subprocess.run(command + ["-strip", path], check=True, capture_output=True)
        with open(path, "rb") as f:
            data = f.read()
        if data == previous:
            break
        previous = data
        time.sleep(0.5)
    print("screenshots: %s" % os.path.relpath(path, ROOT), flush=True)


class Session:
    """The program as a person starts it, with a window in front to capture."""

    def __init__(self, desktop):
        self.desktop = desktop
        self.program = None

    def resident(self):
        if self.program is None or not self.program.running():
            self.program = self.desktop.run("orvocapture.exe")
            wait_until(lambda: (self.desktop.reg_values(APP_KEY) or {}).get("Dir"), what="the program's start")
        return self.program

    def capture(self):
        """Alt+Print Screen over the pattern window; the options dialog."""
        self.resident()
        pattern = self.desktop.run("patternwindow.exe", "120", "90", "700", "520")
        pattern.wait_for_line(r"^ready ")
        # The pointer over the pattern: the magnifier shows it, and no tip of
        # the icon is frozen into the picture.
        subprocess.run(["xdotool", "mousemove", "430", "330"], check=True)
        time.sleep(1)

        def options():
            return next((w for w in self.desktop.windows() if w.cls == "#32770" and "Mark Area" in w.texts), None)

        def attempt():
            self.desktop.key("alt+Print")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                found = options()
                if found:
                    return found
                time.sleep(0.3)
            return None
        found = wait_until(attempt, what="the capture window")
        # The magnifier and the colour readout follow the pointer's moves.
        for step in range(5):
            subprocess.run(["xdotool", "mousemove", str(431 + step), str(331 + step)], check=True)
            time.sleep(0.2)
        time.sleep(1)
        return pattern, found

    def close_menu(self):
        """Escape, or a click on the empty desktop, as a person would."""
        def attempt():
            self.desktop.key("Escape", focus=False)
            time.sleep(0.5)
            if self.desktop.menu_open():
                subprocess.run(["xdotool", "mousemove", "900", "600", "click", "1"], check=True)
                time.sleep(0.5)
            return not self.desktop.menu_open()
        wait_until(attempt, what="the menu to close")

    def end_capture(self, pattern):
        self.desktop.key("Escape")
        wait_until(lambda: not any(w.cls == "#32770" for w in self.desktop.windows()), what="the capture to end")
        pattern.kill()


# --- the pictures ------------------------------------------------------------------
def shot_tray_menu(session):
    program = session.resident()
    x, y = FIRST_TRAY_ICON
    # The menu opens at the pointer: just above the icon, where no tip of the
    # icon covers it. The click itself comes the way the shell sends it.
    subprocess.run(["xdotool", "mousemove", str(x - 2), str(y - 16)], check=True)
    session.desktop.tray_click(program.pid, "rbuttonup")
    wait_until(session.desktop.menu_open, what="the icon's menu")
    time.sleep(0.5)
    save("tray-menu", region=(1280 - 200, 1024 - 110, 1280, 1024))
    session.close_menu()


def drag(start, end):
    """A person's drag: press, move in steps, release."""
    subprocess.run(["xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1"], check=True)
    for step in range(1, 5):
        time.sleep(0.1)
        point = [start[i] + (end[i] - start[i]) * step // 4 for i in range(2)]
        subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1])], check=True)
    time.sleep(0.2)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
    time.sleep(0.3)


def shot_capture_window(session):
    """The frozen screen with marks on it: an arrow, a box, numbered steps,
    a pixelated and a redacted strip, a few words."""
    pattern, options = session.capture()
    desktop = session.desktop

    def press(name):
        desktop.click(options.hwnd, name)
        time.sleep(0.3)

    def click_at(x, y):
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)
        time.sleep(0.3)

    press("&Arrow")
    drag((640, 350), (470, 250))
    press("&Rectangle")
    drag((160, 150), (320, 215))
    press("&Step")
    for x, y in ((150, 140), (470, 140)):
        click_at(x, y)
    press("&Blue")
    press("Pi&xelate")
    drag((490, 120), (640, 170))
    press("B&lack")
    press("Re&dact")
    drag((160, 250), (300, 272))
    press("R&ed")
    press("&Text")
    click_at(170, 300)
    desktop.type_text("Click here")
    desktop.key("Return", focus=False)
    press("&Text")
    # The pointer over the pattern again: the magnifier shows the marks.
    subprocess.run(["xdotool", "mousemove", "335", "235"], check=True)
    time.sleep(1)
    save("capture-window", scale=SCREEN_SCALE)
    session.end_capture(pattern)


def shot_options_dialog(session):
    pattern, options = session.capture()
    save("options-dialog", window=options)
    session.end_capture(pattern)


def shot_settings_dialog(session):
    program = session.resident()
    session.desktop.tray_click(program.pid, "lbuttondblclk")
    desktop = session.desktop
    settings = desktop.wait_window(lambda w: w.title == "Options" and "Randomize filename" in w.texts,
                                   what="the Settings dialog")
    wait_until(lambda: any(t.endswith(".jpg") for w in desktop.windows() if w.hwnd == settings.hwnd
                           for t in w.texts), what="the sample name")
    save("settings-dialog", window=settings)
    desktop.click(settings.hwnd, "Cancel")
    wait_until(lambda: all(w.hwnd != settings.hwnd for w in desktop.windows()), what="Settings to close")


def shot_about_box(session):
    program = session.resident()
    desktop = session.desktop
    desktop.tray_click(program.pid, "rbuttonup")
    desktop.click("menu", "1/3")
    about = desktop.wait_window(lambda w: w.title == "About OrvoCapture", what="the About box")
    # Away from the links, so the picture shows the plain pointer.
    subprocess.run(["xdotool", "mousemove", "5", "5"], check=True)
    save("about-box", window=about)
    desktop.click(about.hwnd, "OK")
    wait_until(lambda: all(w.hwnd != about.hwnd for w in desktop.windows()), what="the About box to close")


def shot_result_dialog(session):
    if not port_80_free() or not image_host_binary():
        print("screenshots: result-dialog skipped (needs the image host on 127.0.0.1:80: run as root)", flush=True)
        return
    host = ImageHost(image_host_binary())
    picture = tempfile.NamedTemporaryFile(suffix=".png", delete=False)
    picture.close()
    try:
        subprocess.run(["convert", "-size", "320x200", "gradient:#2a6f97-#f4a261", picture.name], check=True)
        uploader = session.desktop.run("orvocapture.exe", "/U", windows_path(picture.name))
        dialog = session.desktop.wait_window(
            lambda w: w.cls == "#32770" and "Your file has been uploaded successfully:" in w.texts,
            what="the result dialog")
        time.sleep(0.5)
        save("result-dialog", window=dialog)
        uploader.kill()
    finally:
        host.stop()
        os.unlink(picture.name)


SHOTS = {
    "tray-menu": shot_tray_menu,
    "capture-window": shot_capture_window,
    "options-dialog": shot_options_dialog,
    "result-dialog": shot_result_dialog,
    "settings-dialog": shot_settings_dialog,
    "about-box": shot_about_box,
}


def main(names):
    unknown = [n for n in names if n not in SHOTS]
    if unknown:
        sys.exit("screenshots: no picture named %s (there are: %s)" % (", ".join(unknown), ", ".join(SHOTS)))
    desktop = WineDesktop().start()
    try:
        # The first start's defaults, so every picture shows what a new user sees.
        desktop.reg_delete_key(APP_KEY)
        session = Session(desktop)
        for name in names or list(SHOTS):
            SHOTS[name](session)
    finally:
        desktop.stop()


if __name__ == "__main__":
    main(sys.argv[1:])
