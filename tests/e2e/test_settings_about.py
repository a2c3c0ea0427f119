"""The tray menu's Settings and About as a user meets them: a new hotkey
chosen with clicks and keys works at once, and a link in the About box shows
the hand and its tip under the real pointer and is handed to the shell when
clicked."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import images
import xcursor
from harness import SETTINGS_KEY, DesktopTestCase, wait_until

APP_KEY = SETTINGS_KEY + r"\orvocapture"
# Where Wine's taskbar shows the first notification icon on the 1280x1024
# virtual desktop, and the icon menu's items: About, Recent uploads, Settings, Exit.
FIRST_TRAY_ICON = ("1269", "1013")
ABOUT_ITEM, SETTINGS_ITEM = "1/4", "3/4"
SCREEN = (1280, 1024)
BLUE = (0, 0, 255)
# The shell finds the program that opens a scheme here (the test prefix's own
# machine-wide classes, which the test puts back as they were).
CLASSES = r"HKLM\Software\Classes"


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


def move_pointer(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)


class TrayDialogsTest(DesktopTestCase):

    def setUp(self):
        super().setUp()
        self.desktop.reg_delete_key(APP_KEY)

    def start_resident(self):
        program = self.desktop.run("orvocapture.exe")
        wait_until(lambda: (self.desktop.reg_values(APP_KEY) or {}).get("Dir"), what="the start-up defaults")
        return program

    def open_from_menu(self, item, predicate, what):
        """A person's right-click on the icon, then the menu item."""
        self.desktop.right_click_until_menu(*FIRST_TRAY_ICON)
        self.desktop.click("menu", item)
        return self.desktop.wait_window(predicate, what=what)

    def texts_of(self, window):
        return next((w.texts for w in self.desktop.windows() if w.hwnd == window.hwnd), [])

    def capture_shows(self):
        return any(w.cls == "#32770" and "Mark Area" in w.texts for w in self.desktop.windows())

    # --- Settings -----------------------------------------------------------------
    def test_a_hotkey_changed_in_settings_captures_at_once_and_the_old_one_no_longer(self):
        self.start_resident()
        settings = self.open_from_menu(SETTINGS_ITEM, lambda w: w.title == "Options" and "Randomize filename" in w.texts,
                                       "the Settings dialog")
        wait_until(lambda: "Capture001.jpg" in self.texts_of(settings), what="the sample name")

        # Control for the full-screen hotkey (the first "Control" of the
        # dialog), then F9 from its key list: open it, walk down, take it.
        self.desktop.click(settings.hwnd, "Control")
        wait_until(lambda: self.desktop.wintool("checked", settings.hwnd, "Control").split()[:1] == ["1"],
                   what="the Control box checked")
        self.desktop.click(settings.hwnd, "Print Screen")
        time.sleep(0.5)
        self.desktop.key(*(["Down"] * 9), "Return", focus=False)
        wait_until(lambda: "F9" in self.texts_of(settings), what="F9 chosen in the list (it shows %r)"
                   % self.texts_of(settings))
        self.desktop.click(settings.hwnd, "OK")
        wait_until(lambda: all(w.hwnd != settings.hwnd for w in self.desktop.windows()), what="Settings to close")

        values = self.desktop.reg_values(APP_KEY)
        self.assertEqual(values["HotkeyFS"], ("REG_SZ", "F9"))
        self.assertEqual(values["HotkeyFSControl"], ("REG_DWORD", "0x1"))
        self.assertEqual(values["HotkeyW"], ("REG_SZ", "Print Screen"))
        self.assertEqual(values["HotkeyWAlt"], ("REG_DWORD", "0x1"))

        # Print Screen alone starts nothing any more.
        self.desktop.key("Print")
        time.sleep(3)
        self.assertFalse(self.capture_shows(), "Print Screen still captures")
        # Ctrl+F9 captures the whole screen.
        self.desktop.key("ctrl+F9")
        options = self.desktop.wait_window(lambda w: w.cls == "#32770" and "Mark Area" in w.texts,
                                           what="the capture after Ctrl+F9")
        self.assertTrue(any(w.cls == "#32770" and w.rect == (0, 0) + SCREEN for w in self.desktop.windows()))
        self.assertEqual(self.desktop.wintool("checked", options.hwnd, "Fullscreen").split()[:1], ["1"])
        self.desktop.click(options.hwnd, "Cancel")
        wait_until(lambda: not self.capture_shows(), what="the capture to end")

    def test_a_double_click_on_the_icon_opens_settings_and_cancel_keeps_everything(self):
        self.start_resident()
        before = self.desktop.reg_values(APP_KEY)

        def open_by_double_click():
            subprocess.run(["xdotool", "mousemove", FIRST_TRAY_ICON[0], FIRST_TRAY_ICON[1], "click", "--repeat", "2",
                            "--delay", "80", "1"], check=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                found = next((w for w in self.desktop.windows() if w.title == "Options"), None)
                if found:
                    return found
                time.sleep(0.2)
            return None
        settings = wait_until(open_by_double_click, what="Settings after a double-click on the icon")
        # It opens in the middle of the screen the pointer is on, not over
        # whatever is in the screen's corner.
        left, top, right, bottom = settings.rect
        self.assertLessEqual(abs((left + right) // 2 - SCREEN[0] // 2), 1, settings.rect)
        self.assertGreater(top, 0, settings.rect)
        self.desktop.click(settings.hwnd, "Append date")
        self.desktop.click(settings.hwnd, "Cancel")
        wait_until(lambda: all(w.hwnd != settings.hwnd for w in self.desktop.windows()), what="Settings to close")
        after = self.desktop.reg_values(APP_KEY)
        # Only the sample's sequence number may have been written (unchanged).
        self.assertEqual(after.pop("Seqnum", ("REG_DWORD", "0x1")), ("REG_DWORD", "0x1"))
        self.assertEqual(after, before)

    # --- About --------------------------------------------------------------------
    def test_a_link_in_the_about_box_shows_the_hand_and_tip_and_goes_to_the_shell(self):
        folder = tempfile.mkdtemp(prefix="orvo-e2e-links-", dir="/tmp")
        self.addCleanup(shutil.rmtree, folder, True)
        record = os.path.join(folder, "opened.txt")
        recorder = windows_path(self.desktop.exe("shellrecorder.exe"))
        for scheme in ("mailto", "https"):
            key = CLASSES + "\\" + scheme + r"\shell\open\command"
            before = (self.desktop.reg_values(key) or {}).get("(Default)")
            if before:
                self.addCleanup(self.desktop.reg, "add", key, "/ve", "/t", before[0], "/d", before[1], "/f")
            else:
                self.addCleanup(self.desktop.reg_delete_key, key)
            self.desktop.reg("add", key, "/ve", "/t", "REG_SZ", "/d",
                             '"%s" "%s" "%%1"' % (recorder, windows_path(record)), "/f")

        self.start_resident()
        about = self.open_from_menu(ABOUT_ITEM, lambda w: w.title == "About OrvoCapture", "the About box")
        left, top, right, bottom = about.rect
        links = wait_until(lambda: self.blue_runs(about.rect), what="the links drawn in blue")
        self.assertEqual(len(links), 2, links)

        # The plain pointer first, on the box away from the links.
        move_pointer(left + 8, bottom - 8)
        time.sleep(0.6)
        plain = xcursor.cursor()
        self.assertIsNotNone(plain)

        # On the e-mail link: within a moment the hand and the tip.
        x, y = links[0]
        move_pointer(x, y)
        hand = wait_until(lambda: (lambda c: c if c and c != plain else None)(xcursor.cursor()),
                          what="the pointer to change over the link")
        self.assertNotEqual(hand[2:4], plain[2:4], "the hand's hot spot differs from the arrow's")
        # The tip comes up when the pointer rests after moving on the link,
        # and goes again a second later: a person's hand moves a little.
        def tip_after_a_nudge():
            for dx in (1, -1):
                move_pointer(x + dx, y)
                deadline = time.monotonic() + 1.5
                while time.monotonic() < deadline:
                    shown = next((w for w in self.desktop.windows()
                                  if w.cls == "tooltips_class32" and w.title.startswith("Go to: ")), None)
                    if shown:
                        return shown
            return None
        tip = wait_until(tip_after_a_nudge, what="the link's tip")
        self.assertEqual(tip.title, "Go to: mailto:dev@orvo.example")

        # Off the links again: the plain pointer comes back.
        move_pointer(left + 8, bottom - 8)
        wait_until(lambda: xcursor.cursor() == plain, what="the plain pointer off the link")

        # A click on each link hands its target to the shell's handler.
        for (x, y), target in zip(links, ("mailto:dev@orvo.example", "https://orvo.example/orvocapture/")):
            move_pointer(x, y)
            wait_until(lambda: xcursor.cursor() == hand, what="the hand over %s" % target)
            subprocess.run(["xdotool", "click", "1"], check=True)
            wait_until(lambda: target in self.opened(record), what="%s handed to the shell" % target)

        # A click on blank space opens nothing more.
        move_pointer(left + 8, top + (bottom - top) // 2)
        subprocess.run(["xdotool", "click", "1"], check=True)
        time.sleep(1.5)
        self.assertEqual(len(self.opened(record)), 2)
        self.desktop.click(about.hwnd, "OK")
        wait_until(lambda: all(w.hwnd != about.hwnd for w in self.desktop.windows()), what="the About box to close")

    @staticmethod
    def opened(record):
        """What the shell's handler was handed so far, one target a line."""
        if not os.path.exists(record):
            return []
        with open(record, encoding="utf-8") as f:
            return [line for line in f.read().split("\n") if line]

    def blue_runs(self, rect):
        """The centre of each line of pure blue text inside the rectangle,
        top to bottom: where a person sees the links."""
        left, top, right, bottom = rect
        shot = images.screen()
        rows = {}
        for y in range(top, bottom):
            xs = [x for x in range(left, right) if shot.pixel(x, y) == BLUE]
            if xs:
                rows[y] = (min(xs), max(xs))
        lines, current = [], []
        for y in sorted(rows):
            if current and y != current[-1] + 1:
                lines.append(current)
                current = []
            current.append(y)
        if current:
            lines.append(current)
        centres = []
        for ys in lines:
            x0 = min(rows[y][0] for y in ys)
            x1 = max(rows[y][1] for y in ys)
            centres.append(((x0 + x1) // 2, (ys[0] + ys[-1]) // 2))
        return centres if len(centres) >= 2 else None


if __name__ == "__main__":
    unittest.main()
