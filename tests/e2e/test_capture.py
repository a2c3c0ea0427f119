"""A capture as a user makes one: Print Screen freezes the screen, the
pointer reads colours, a drag chooses the area or a red highlight, and OK
sends the image to the clipboard, a file and the image host, whose address
comes back in the result dialog. Every pixel is read back from the X server
or from the files, as a person's eyes and image viewer would see them.

The uploads go to the real image host on 127.0.0.1:80, which needs root in
a private network namespace (the test command provides one); without it
these tests skip."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.request

import images
from harness import SETTINGS_KEY, DesktopTestCase, wait_until
from test_upload import ImageHost, image_host_binary, port_80_free, windows_path

APP_KEY = SETTINGS_KEY + r"\orvocapture"
SCREEN = (1280, 1024)
# The pattern window: left, top, width, height.
PATTERN = (120, 90, 700, 520)
READOUT = re.compile(r"^#[0-9A-F]{6} $")
# The file name edit: one word with an image extension.
FILE_NAME = re.compile(r"^[^\\/:*?\"<>| ]+\.(png|jpg|gif)$")


def readout_of(rgb):
    return "#%02X%02X%02X " % rgb


def blank_out(image, rect):
    """A copy with the rectangle painted black: where the options dialog
    floats, the capture window's own picture is hidden."""
    left, top, right, bottom = rect
    rgb = bytearray(image.rgb)
    for y in range(max(top, 0), min(bottom, image.height)):
        start = (y * image.width + max(left, 0)) * 3
        end = (y * image.width + min(right, image.width)) * 3
        rgb[start:end] = bytes(end - start)
    return images.Image(image.width, image.height, bytes(rgb))


class CaptureSession(DesktopTestCase):
    """The resident program with a pattern window in front, an output folder
    of the test's own, and the real image host."""

    host = None

    @classmethod
    def setUpClass(cls):
        if not port_80_free():
            raise unittest.SkipTest("127.0.0.1:80 cannot be used: run as root in a private network namespace")
        binary = image_host_binary()
        if not binary:
            raise unittest.SkipTest("the image host is not built")
        super().setUpClass()
        cls.host = ImageHost(binary)

    @classmethod
    def tearDownClass(cls):
        if cls.host:
            cls.host.stop()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="orvo-e2e-capture-", dir="/tmp")
        self.desktop.reg_delete_key(APP_KEY)
        self.settings(Dir=windows_path(self.folder), Filename="shot", Randomize=0, AppendSeq=1,
                      Format=1008, Clipboard=1, Save=1, Upload=0, DPIScale=1)

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.folder, ignore_errors=True)

    # --- set-up ---------------------------------------------------------------
    def settings(self, **values):
        for name, value in values.items():
            kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
            self.desktop.reg_set(APP_KEY, name, kind, value)

    def start(self):
        """The pattern window in front, then the resident program."""
        x, y, width, height = PATTERN
        self.pattern = self.desktop.run("patternwindow.exe", str(x), str(y), str(width), str(height))
        ready = self.pattern.wait_for_line(r"^ready (\S+) (-?\d+) (-?\d+) (-?\d+) (-?\d+)$")
        self.pattern_rect = tuple(int(ready.group(i)) for i in range(2, 6))
        self.program = self.desktop.run("orvocapture.exe")
        wait_until(lambda: (self.desktop.reg_values(APP_KEY) or {}).get("HotkeyFS"), what="the start-up defaults")
        # Settle: what the screen shows before the hotkey is what it freezes.
        wait_until(self.screen_is_still, what="a still screen")

    def screen_is_still(self):
        first = images.screen()
        time.sleep(0.3)
        self.before = images.screen()
        return first.rgb == self.before.rgb

    # --- the capture's windows ----------------------------------------------------
    def capture_windows(self):
        windows = self.desktop.windows()
        capture = next((w for w in windows if w.cls == "#32770" and w.rect == (0, 0) + SCREEN), None)
        options = next((w for w in windows if w.cls == "#32770" and "Mark Area" in w.texts), None)
        return (capture, options) if capture and options else None

    def press_until_capture(self, keys, focus=True):
        """Presses the hotkey until the capture shows: the program registers
        its hotkeys a moment after its settings are written. A second press
        while the capture shows does nothing."""
        def attempt():
            self.desktop.key(keys, focus=focus)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                found = self.capture_windows()
                if found:
                    return found
                time.sleep(0.2)
            return None
        self.capture, self.options = wait_until(attempt, what="the capture window after %s" % keys)
        # The options dialog takes the keyboard as soon as it is up.
        wait_until(lambda: self.file_name(), what="the default file name")

    def gone(self):
        return not any(w.cls == "#32770" for w in self.desktop.windows())

    def options_texts(self):
        return next((w.texts for w in self.desktop.windows() if w.hwnd == self.options.hwnd), [])

    def file_name(self):
        return next((t for t in self.options_texts() if FILE_NAME.match(t)), None)

    def readout(self):
        return next((t for t in self.options_texts() if READOUT.match(t)), None)

    def checked(self, text):
        answer = self.desktop.wintool("checked", self.options.hwnd, text).split()
        return answer[:2] == ["1", "1"]

    def drag(self, start, end):
        """A person's drag: press, move in steps, release."""
        subprocess.run(["xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1"], check=True)
        middle = ((start[0] + end[0]) // 2, (start[1] + end[1]) // 2)
        for point in (middle, end):
            time.sleep(0.1)
            subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1])], check=True)
        time.sleep(0.2)
        subprocess.run(["xdotool", "mouseup", "1"], check=True)

    def saved_files(self):
        return sorted(os.listdir(self.folder))


class CaptureTest(CaptureSession):

    def test_print_screen_freezes_the_screen_pixel_for_pixel_and_reads_colours(self):
        self.start()
        self.press_until_capture("Print")
        self.assertTrue(self.checked("Fullscreen"))
        # The frozen image is the screen as it was, wherever the dialog is not.
        shown = images.screen()
        self.assertEqual(blank_out(shown, self.options.rect).differences(blank_out(self.before, self.options.rect)),
                         [])

        # The readout names the pixel under the pointer.
        left, top, right, bottom = self.pattern_rect
        # (Both points lie beside the options dialog, which is centred.)
        for point in ((left + 60, top + 120), (left + 20, bottom - 30)):
            subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1])], check=True)
            expected = readout_of(self.before.pixel(*point))
            wait_until(lambda: self.readout() == expected, what="the readout %r at %s (it shows %r)"
                       % (expected, point, self.readout()))

        # A click on the frozen screen selects it all and leaves the options
        # dialog in front, with the keyboard.
        subprocess.run(["xdotool", "mousemove", "1200", "980", "click", "1"], check=True)
        wait_until(lambda: self.checked("Fullscreen"), what="Fullscreen after a click")
        dialog = images.screen().crop(*self.options.rect)
        self.assertNotEqual(dialog.rgb, self.before.crop(*self.options.rect).rgb, "the dialog is in sight")
        # The hotkey while the capture shows starts nothing new.
        self.desktop.key("Print")
        time.sleep(2)
        windows = self.desktop.windows()
        self.assertEqual(sum(w.cls == "#32770" and w.rect == (0, 0) + SCREEN for w in windows), 1, windows)
        self.assertEqual(sum(w.cls == "#32770" and "Mark Area" in w.texts for w in windows), 1, windows)
        self.assertIn(self.options.hwnd, [w.hwnd for w in windows])

        # Esc in the options dialog cancels the capture and writes nothing.
        self.desktop.key("Escape")
        wait_until(self.gone, what="the capture to end on Esc")
        time.sleep(1)
        self.assertTrue(self.gone(), "no second capture follows")
        self.assertEqual(self.saved_files(), [])
        self.assertTrue(self.program.running())

    def test_dragged_area_goes_to_the_file_the_clipboard_and_the_image_host(self):
        self.settings(Upload=1)
        self.start()
        self.press_until_capture("Print")
        left, top, right, bottom = self.pattern_rect
        start, end = (left + 30, top + 40), (left + 330, top + 240)
        self.drag(start, end)
        wait_until(lambda: self.checked("Custom"), what="Custom after a drag")
        area = (start[0], start[1], end[0] + 1, end[1] + 1)

        # The area shows inverted.
        shown = images.screen()
        self.assertEqual(shown.crop(*area).differences(self.before.crop(*area).inverted()), [])

        name = self.file_name()
        self.assertTrue(name.endswith(".png"), name)
        self.desktop.click(self.options.hwnd, "OK")
        dialog = self.desktop.wait_window(
            lambda w: w.cls == "#32770" and "Your file has been uploaded successfully:" in w.texts,
            what="the result dialog")
        expected = self.before.crop(*area)

        self.assertEqual(self.saved_files(), [name])
        self.assertEqual(images.read_file(os.path.join(self.folder, name)).differences(expected), [])
        clipboard = wait_until(images.clipboard_image, what="an image on the clipboard (targets %s)"
                               % images.clipboard_targets())
        self.assertEqual(clipboard.differences(expected), [])
        address = next(t for t in dialog.texts if t.startswith("http://"))
        self.assertIn("[IMG]%s[/IMG]" % address, dialog.texts)
        with urllib.request.urlopen(address.replace("//localhost", "//127.0.0.1", 1), timeout=30) as answer:
            uploaded = answer.read()
        upload_path = os.path.join(self.folder, "uploaded.png")
        with open(upload_path, "wb") as f:
            f.write(uploaded)
        self.assertEqual(images.read_file(upload_path).differences(expected), [])

        self.desktop.click(dialog.hwnd, "Close")
        wait_until(self.gone, what="the result dialog to close")
        values = self.desktop.reg_values(APP_KEY)
        self.assertEqual(values["Format"], ("REG_DWORD", "0x3f0"))  # 1008, PNG
        self.assertEqual(values["Area"], ("REG_DWORD", "0x3f3"))    # 1011, Custom

    def test_alt_print_screen_starts_with_the_active_window_and_browse_and_cancel_write_nothing(self):
        self.start()
        self.press_until_capture("alt+Print")
        self.assertTrue(self.checked("Active Window"))
        self.assertFalse(self.checked("Fullscreen"))
        # The window shows inverted: the area is the pattern window.
        shown = images.screen()
        left, top, right, bottom = self.pattern_rect
        probe = (left + 200, top + 200, left + 260, top + 240)
        self.assertEqual(shown.crop(*probe).differences(self.before.crop(*probe).inverted()), [])
        # The save dialog's library is loaded only now, at the first Browse.
        name = self.file_name()
        self.desktop.click(self.options.hwnd, "Browse...")
        save = self.desktop.wait_window(lambda w: w.title == "Save As", what="the Save As dialog")
        self.desktop.key("Escape", focus=False)
        wait_until(lambda: all(w.hwnd != save.hwnd for w in self.desktop.windows()), what="Save As to close")
        self.assertEqual(self.file_name(), name)
        self.desktop.click(self.options.hwnd, "Cancel")
        wait_until(self.gone, what="the capture to end on Cancel")
        self.assertEqual(self.saved_files(), [])

    def test_mark_area_burns_a_red_outline_into_the_saved_image(self):
        self.settings(Clipboard=0)
        self.start()
        self.press_until_capture("Print")
        self.desktop.click(self.options.hwnd, "Mark Area")
        wait_until(lambda: self.checked("Mark Area"), what="Mark Area pressed")
        left, top, right, bottom = self.pattern_rect
        start, end = (left + 100, top + 100), (left + 199, top + 159)
        self.drag(start, end)
        wait_until(lambda: not self.checked("Mark Area"), what="Mark Area released after the drag")
        self.assertTrue(self.checked("Fullscreen"), "the area stays the whole screen")
        name = self.file_name()
        self.desktop.click(self.options.hwnd, "OK")
        wait_until(self.gone, what="the capture to end on OK")

        saved = images.read_file(os.path.join(self.folder, name))
        self.assertEqual((saved.width, saved.height), SCREEN)
        x0, y0, x1, y1 = start[0], start[1], end[0] + 1, end[1] + 1
        red = (255, 0, 0)
        # Two red pixels on the inside of every edge (the very corners may be rounded off).
        for x in range(x0 + 2, x1 - 2):
            for y in (y0, y0 + 1, y1 - 2, y1 - 1):
                self.assertEqual(saved.pixel(x, y), red, (x, y))
        for y in range(y0 + 2, y1 - 2):
            for x in (x0, x0 + 1, x1 - 2, x1 - 1):
                self.assertEqual(saved.pixel(x, y), red, (x, y))
        # Inside and outside the outline the screen is untouched.
        inner = (x0 + 2, y0 + 2, x1 - 2, y1 - 2)
        self.assertEqual(saved.crop(*inner).differences(self.before.crop(*inner)), [])
        outside = (x0 - 20, y0 - 20, x0, y0)
        self.assertEqual(saved.crop(*outside).differences(self.before.crop(*outside)), [])

    def test_a_capture_saved_under_its_offered_name_never_replaces_an_earlier_one(self):
        # Random names draw the same sequence in every run of the program, so
        # the first name of a run is the first name of the run before.
        self.settings(Clipboard=0, Randomize=1)
        self.start()
        names = []
        for run in (1, 2):
            if run == 2:
                self.program.kill()
                self.program = self.desktop.run("orvocapture.exe")
            self.press_until_capture("Print")
            names.append(self.file_name())
            self.desktop.click(self.options.hwnd, "OK")
            wait_until(self.gone, what="the capture of run %d to end on OK" % run)
            wait_until(lambda: names[-1] in self.saved_files(), what="%s saved" % names[-1])
        self.assertNotEqual(names[0], names[1])
        self.assertEqual(self.saved_files(), sorted(names), "both captures are kept")

        # A numbered name that a file has already is passed over as well.
        self.settings(Randomize=0, Seqnum=1)
        open(os.path.join(self.folder, "shot001.png"), "wb").close()
        self.press_until_capture("Print")
        self.assertEqual(self.file_name(), "shot002.png")
        self.desktop.click(self.options.hwnd, "Cancel")
        wait_until(self.gone, what="the capture to end on Cancel")
        self.assertEqual(os.path.getsize(os.path.join(self.folder, "shot001.png")), 0)

    def test_jpeg_and_gif_files_are_written_and_decode(self):
        self.settings(Clipboard=0, Format=1004)
        self.start()
        for fmt, extension in ((1004, ".jpg"), (1007, ".gif")):
            self.settings(Format=fmt)
            self.press_until_capture("alt+Print")
            name = self.file_name()
            self.assertTrue(name.endswith(extension), name)
            self.desktop.click(self.options.hwnd, "OK")
            wait_until(self.gone, what="the capture to end on OK")
            image = images.read_file(os.path.join(self.folder, name))
            left, top, right, bottom = self.pattern_rect
            self.assertEqual((image.width, image.height), (right - left, bottom - top))
            colours = {image.rgb[i:i + 3] for i in range(0, len(image.rgb), 3)}
            if extension == ".gif":
                self.assertLessEqual(len(colours), 256)
            self.assertGreater(len(colours), 50, "the pattern's colours survive")


class HighDpiCaptureTest(CaptureSession):
    """The screen at 144 DPI (Wine's LogPixels): the DPI box is offered and
    the output shrinks to the size it would have at 96 DPI."""

    @classmethod
    def setUpClass(cls):
        cls._set_dpi(144)
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls._set_dpi(None)

    @classmethod
    def _set_dpi(cls, dpi):
        from harness import wine_env
        env = wine_env()
        key = r"HKCU\Control Panel\Desktop"
        if dpi:
            command = ["wine", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
        else:
            command = ["wine", "reg", "delete", key, "/v", "LogPixels", "/f"]
        subprocess.run(command, env=env, capture_output=True, timeout=120)
        # The DPI is read when the Wine session starts.
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)

    def test_dpi_box_is_enabled_and_the_output_is_scaled(self):
        self.settings(Clipboard=0)
        self.start()
        self.press_until_capture("Print")
        self.assertTrue(self.checked("Scale to standard DPI size"))
        left, top, right, bottom = self.pattern_rect
        start, end = (left + 10, top + 10), (left + 159, top + 99)  # 150 x 90
        self.drag(start, end)
        wait_until(lambda: self.checked("Custom"), what="Custom after a drag")
        name = self.file_name()
        self.desktop.click(self.options.hwnd, "OK")
        wait_until(self.gone, what="the capture to end on OK")
        image = images.read_file(os.path.join(self.folder, name))
        self.assertEqual((image.width, image.height), (100, 60))


if __name__ == "__main__":
    unittest.main()
