"""Many captures in a row, as a user who keeps the program all day makes
them: the resident program's memory and GDI objects stay where they were
after the first few. (Its own file: under load the loop takes minutes.)"""
import time
import unittest

from harness import wait_until
from test_capture import SCREEN, CaptureSession

SETTLING = 10
# Counted exactly, a GDI object kept per capture shows after a few dozen;
# a screen image kept per capture (5 MB) after the first.
MEASURED = 100


class CaptureMemoryTest(CaptureSession):

    def test_captures_leave_memory_and_gdi_objects_where_they_were(self):
        self.start()
        self.desktop.focus()
        began = time.monotonic()

        def capture_and_cancel(done):
            # The X keyboard focus stays on the desktop window all along.
            self.press_until_capture("Print", focus=False)
            self.desktop.click(self.options.hwnd, "Cancel")
            wait_until(self.gone, what="the capture to end on Cancel")
            if done % 20 == 0:
                print("%d captures in %.0f s, private bytes %.1f MB, %d GDI objects"
                      % (done, time.monotonic() - began, self.desktop.private_bytes("orvocapture.exe") / 2**20,
                         self.desktop.gdi_objects(self.program.pid)), flush=True)

        for done in range(1, SETTLING + 1):
            capture_and_cancel(done)
        settled = self.desktop.private_bytes("orvocapture.exe")
        settled_objects = self.desktop.gdi_objects(self.program.pid)
        # The screen image alone is 5 MB: a reading below it is no reading;
        # the program holds at least its fonts and the tray icon's bitmaps.
        self.assertGreater(settled, SCREEN[0] * SCREEN[1] * 4)
        self.assertGreater(settled_objects, 0)
        for done in range(SETTLING + 1, SETTLING + MEASURED + 1):
            capture_and_cancel(done)
        grown = self.desktop.private_bytes("orvocapture.exe") - settled
        grown_objects = self.desktop.gdi_objects(self.program.pid) - settled_objects
        self.assertLess(grown, 2 * 1024 * 1024, "private bytes grew by %d over %d captures" % (grown, MEASURED))
        # A device context, bitmap, brush or font kept per capture.
        self.assertLess(grown_objects, MEASURED // 4,
                        "%d more GDI objects after %d captures" % (grown_objects, MEASURED))


if __name__ == "__main__":
    unittest.main()
