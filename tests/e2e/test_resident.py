"""The resident program as a user meets it: first start, settings kept
across restarts, the global hotkeys, a second instance, and Exit."""
import time
import unittest

from harness import SETTINGS_KEY, DesktopTestCase, wait_until

APP_KEY = SETTINGS_KEY + r"\orvocapture"
PROBE_KEY = SETTINGS_KEY + r"\hotkeyprobe"
KEYBOARD_KEY = r"HKCU\Control Panel\Keyboard"
SNIPPING_VALUE = "PrintScreenKeyForSnippingEnabled"
SNIPPING_HINT = "Accessibility \u2192 Keyboard \u2192 \"Use the Print screen key to open screen capture\""
# Where Wine's taskbar shows the first notification icon on the 1280x1024
# virtual desktop: the bottom-right corner.
FIRST_TRAY_ICON = ("1269", "1013")
# "E&xit" is the last of the four items of the icon's menu.
EXIT_ITEM = "4/4"


class ResidentProgramTest(DesktopTestCase):

    def start_resident(self, key=APP_KEY, exe="orvocapture.exe"):
        """Starts the program and waits until its start-up defaults are in
        place (the output directory is written last)."""
        program = self.desktop.run(exe)
        wait_until(lambda: (self.desktop.reg_values(key) or {}).get("Dir"), what="the start-up defaults")
        return program

    def exit_through_menu(self, program):
        """Opens the icon's menu the way the shell does and picks Exit."""
        program.expect_exit()
        self.desktop.tray_click(program.pid, "rbuttonup")
        self.desktop.click("menu", EXIT_ITEM)
        self.assertEqual(program.exit_code(), 0)

    def test_first_start_writes_exactly_the_defaults_and_exit_ends_it(self):
        self.desktop.reg_delete_key(APP_KEY)
        program = self.start_resident()
        my_pictures = self.desktop.wintool("mypictures").strip()
        self.assertTrue(my_pictures)
        self.assertEqual(self.desktop.reg_values(APP_KEY), {
            "HotkeyFS": ("REG_SZ", "Print Screen"),
            "HotkeyW": ("REG_SZ", "Print Screen"),
            "HotkeyWAlt": ("REG_DWORD", "0x1"),
            "Filename": ("REG_SZ", "Capture"),
            "Dir": ("REG_SZ", my_pictures),
        })
        # A person's right-click on the icon, then Exit from its menu.
        program.expect_exit()
        self.desktop.right_click_until_menu(*FIRST_TRAY_ICON)
        self.desktop.click("menu", EXIT_ITEM)
        self.assertEqual(program.exit_code(), 0)

    def test_emptied_values_survive_a_restart_while_deleted_ones_come_back(self):
        self.desktop.reg_delete_key(APP_KEY)
        self.desktop.reg_set(APP_KEY, "Filename", "REG_SZ", "")
        self.desktop.reg_set(APP_KEY, "HotkeyFS", "REG_SZ", "")
        self.exit_through_menu(self.start_resident())
        values = self.desktop.reg_values(APP_KEY)
        self.assertEqual(values["Filename"], ("REG_SZ", ""))
        # An empty hotkey name is as good as none: it gets Print Screen.
        self.assertEqual(values["HotkeyFS"], ("REG_SZ", "Print Screen"))

        self.desktop.reg_delete_value(APP_KEY, "Filename")
        self.desktop.reg_delete_value(APP_KEY, "Dir")
        self.exit_through_menu(self.start_resident())
        self.assertEqual(self.desktop.reg_values(APP_KEY)["Filename"], ("REG_SZ", "Capture"))

    def test_second_instance_reports_both_hotkeys_taken_and_runs_on(self):
        first = self.start_resident()
        self.desktop.reg_delete_value(KEYBOARD_KEY, SNIPPING_VALUE)
        second = self.desktop.run("orvocapture.exe")
        for failure in ("Could not register hot key for full screen capture",
                        "Could not register hot key for window capture"):
            box = self.desktop.message_box(failure)
            # Windows does not keep Print Screen: no word about its setting.
            self.assertFalse(any(SNIPPING_HINT in t for t in box.texts), box.texts)
            self.desktop.dismiss(box)
        time.sleep(0.5)
        self.assertTrue(second.running(), "the second instance keeps running without its hotkeys")
        self.exit_through_menu(second)
        self.exit_through_menu(first)

    def test_print_screen_kept_by_windows_is_explained_with_where_to_switch_it_off(self):
        # Windows 11 with Print Screen opening its own capture; another
        # program holds Print Screen and Alt+Print Screen, as the system would.
        self.desktop.reg_set(KEYBOARD_KEY, SNIPPING_VALUE, "REG_DWORD", 1)
        try:
            self.desktop.reg_delete_key(PROBE_KEY)
            holder = self.desktop.run("hotkeyprobe.exe")
            holder.wait_for_line(r"^ready")
            program = self.desktop.run("orvocapture.exe")
            for failure in ("Could not register hot key for full screen capture",
                            "Could not register hot key for window capture"):
                box = self.desktop.message_box(failure)
                text = " ".join(box.texts)
                self.assertIn(SNIPPING_HINT, text)
                self.assertIn("pick another key in Settings", text)
                self.desktop.dismiss(box)
            self.assertTrue(program.running(), "the program runs on without its hotkeys")
        finally:
            self.desktop.reg_delete_value(KEYBOARD_KEY, SNIPPING_VALUE)

    def test_print_screen_and_alt_print_screen_reach_the_hotkey_callback(self):
        self.desktop.reg_delete_key(PROBE_KEY)
        probe = self.desktop.run("hotkeyprobe.exe")
        ready = probe.wait_for_line(r"^ready (\d+) (\d+)$")
        fullscreen, window = int(ready.group(1)), int(ready.group(2))
        self.assertNotEqual(fullscreen, 0)
        self.assertNotEqual(window, 0)
        self.assertNotEqual(fullscreen, window)

        start = probe.line_count()
        self.desktop.key("Print")
        self.assertEqual(int(probe.wait_for_line(r"^hotkey (\d+)$", start=start).group(1)), fullscreen)
        start = probe.line_count()
        self.desktop.key("alt+Print")
        self.assertEqual(int(probe.wait_for_line(r"^hotkey (\d+)$", start=start).group(1)), window)
        # An unregistered combination delivers nothing.
        start = probe.line_count()
        self.desktop.key("ctrl+Print")
        time.sleep(1)
        self.assertEqual(probe.line_count(), start)


if __name__ == "__main__":
    unittest.main()
