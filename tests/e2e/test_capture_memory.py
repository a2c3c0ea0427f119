"""Many captures in a row, as a user who keeps the program all day makes
them: the resident program's memory stays where it was after the first few.
(Its own file: under load the loop takes minutes.)"""
import unittest

from harness import wait_until
from test_capture import SCREEN, CaptureSession


class CaptureMemoryTest(CaptureSession):

    def test_two_hundred_captures_leave_memory_where_it_was(self):
        self.start()
        self.desktop.focus()

        def capture_and_cancel():
            # The X keyboard focus stays on the desktop window all along.
            self.press_until_capture("Print", focus=False)
            self.desktop.click(self.options.hwnd, "Cancel")
            wait_until(self.gone, what="the capture to end on Cancel")

        for _ in range(10):
            capture_and_cancel()
        settled = self.desktop.private_bytes("orvocapture.exe")
        # The screen image alone is 5 MB: a reading below it is no reading.
        self.assertGreater(settled, SCREEN[0] * SCREEN[1] * 4)
        for _ in range(190):
            capture_and_cancel()
        grown = self.desktop.private_bytes("orvocapture.exe") - settled
        # One leaked screen image is 5 MB at this size; a leaked device
        # context or brush per capture adds up over 190 captures as well.
        self.assertLess(grown, 2 * 1024 * 1024, "private bytes grew by %d over 190 captures" % grown)


if __name__ == "__main__":
    unittest.main()
