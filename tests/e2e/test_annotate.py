"""Marks drawn on the frozen screen, as a person draws them: tools, colours
and undo from the options dialog's mark row (found by their names), drags and
clicks on the image, a typed word. What the saved file, the clipboard and the
image host receive is checked pixel by pixel against the screen before the
capture."""
import os
import subprocess
import time
import unittest
import urllib.request

import images
from harness import wait_until
from test_capture import CaptureSession, blank_out, readout_of

BLUE, RED, BLACK = (0, 0, 255), (255, 0, 0), (0, 0, 0)


def mean(image, rect):
    left, top, right, bottom = rect
    pixels = [image.pixel(x, y) for y in range(top, bottom) for x in range(left, right)]
    return [sum(p[c] for p in pixels) / len(pixels) for c in range(3)]


class AnnotateTest(CaptureSession):

    def press(self, name):
        self.desktop.click(self.options.hwnd, name)
        time.sleep(0.3)

    def click_at(self, point):
        subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1"], check=True)
        time.sleep(0.3)

    def white_mask(self, image, centre):
        """Where the step number's white lies inside its circle."""
        x0, y0 = centre
        return [(x - x0, y - y0) for y in range(y0 - 9, y0 + 10) for x in range(x0 - 9, x0 + 10)
                if image.pixel(x, y) == (255, 255, 255)]

    def test_marks_reach_the_file_the_clipboard_and_the_image_host(self):
        self.settings(Upload=1)
        self.start()
        self.press_until_capture("Print")
        left, top = self.pattern_rect[:2]
        print("arrow", flush=True)
        self.press("&Blue")
        self.press("&Arrow")
        a, b = (left + 30, top + 30), (left + 230, top + 30)
        self.drag(a, b)
        print("pixelate and redact", flush=True)
        self.press("Pi&xelate")
        pixelated = (left + 300, top + 30, left + 360, top + 80)
        self.drag(pixelated[:2], (pixelated[2] - 1, pixelated[3] - 1))
        self.press("B&lack")
        self.press("Re&dact")
        redacted = (left + 400, top + 30, left + 460, top + 70)
        self.drag(redacted[:2], (redacted[2] - 1, redacted[3] - 1))
        print("steps", flush=True)
        self.press("R&ed")
        self.press("&Step")
        steps = [(left + 40 + 50 * i, top + 200) for i in range(4)]
        for point in steps[:3]:
            self.click_at(point)
        wait_until(lambda: images.screen().pixel(steps[2][0] - 11, steps[2][1]) == RED, what="the third step")
        three = self.white_mask(images.screen(), steps[2])
        self.press("&Undo")
        self.click_at(steps[3])
        print("text", flush=True)
        self.press("&Text")
        word = (left + 30, top + 260)
        self.click_at(word)
        self.desktop.type_text("Hello")
        self.desktop.key("Return", focus=False)
        time.sleep(0.5)

        name = self.file_name()
        self.desktop.click(self.options.hwnd, "OK")
        dialog = self.desktop.wait_window(
            lambda w: w.cls == "#32770" and "Your file has been uploaded successfully:" in w.texts,
            what="the result dialog")
        saved = images.read_file(os.path.join(self.folder, name))

        # The arrow: blue along the segment, and a head at B wider than the shaft.
        for x in range(a[0] + 1, b[0] - 1):
            self.assertEqual(saved.pixel(x, a[1]), BLUE, (x, a[1]))
        for dy in (-5, 5):
            self.assertEqual(saved.pixel(b[0] - 14, b[1] + dy), BLUE, "the head at B")
        # Pixelation: 10-pixel blocks, each one colour within 16 levels of the mean under it.
        for by in range(pixelated[1], pixelated[3], 10):
            for bx in range(pixelated[0], pixelated[2], 10):
                block = (bx, by, bx + 10, by + 10)
                colours = {saved.pixel(x, y) for y in range(by, by + 10) for x in range(bx, bx + 10)}
                self.assertEqual(len(colours), 1, block)
                for got, exact in zip(colours.pop(), mean(self.before, block)):
                    self.assertLessEqual(abs(got - exact), 16.5, block)
        # Redaction: solid.
        self.assertEqual({saved.pixel(x, y) for y in range(redacted[1], redacted[3])
                          for x in range(redacted[0], redacted[2])}, {BLACK})
        # Steps: 1, 2 and a 3 again where the fourth click was; 24 pixels across at least.
        self.assertEqual(saved.pixel(steps[3][0] - 12, steps[3][1]), RED)
        self.assertEqual(saved.pixel(steps[3][0] + 11, steps[3][1]), RED)
        self.assertEqual(self.white_mask(saved, steps[3]), three)
        self.assertNotEqual(self.white_mask(saved, steps[1]), three)
        self.assertEqual(saved.crop(steps[2][0] - 15, steps[2][1] - 15, steps[2][0] + 15, steps[2][1] + 15).differences(
            self.before.crop(steps[2][0] - 15, steps[2][1] - 15, steps[2][0] + 15, steps[2][1] + 15)), [],
            "the undone step is gone")
        # The word: red letters where it was typed.
        box = (word[0], word[1], word[0] + 80, word[1] + 30)
        self.assertGreater(sum(saved.pixel(x, y) == RED for y in range(box[1], box[3]) for x in range(box[0], box[2])),
                           30)

        # The clipboard and the image host carry the same image.
        clipboard = wait_until(images.clipboard_image, what="an image on the clipboard")
        self.assertEqual(clipboard.differences(saved), [])
        address = next(t for t in dialog.texts if t.startswith("http://"))
        with urllib.request.urlopen(address.replace("//localhost", "//127.0.0.1", 1), timeout=30) as answer:
            uploaded = answer.read()
        upload_path = os.path.join(self.folder, "uploaded.png")
        with open(upload_path, "wb") as f:
            f.write(uploaded)
        self.assertEqual(images.read_file(upload_path).differences(saved), [])
        self.desktop.click(dialog.hwnd, "Close")
        wait_until(self.gone, what="the result dialog to close")

    def test_marks_show_in_their_colour_on_the_inverted_area_and_undo_leaves_the_plain_crop(self):
        self.settings(Clipboard=0)
        self.start()
        self.press_until_capture("Print")
        left, top = self.pattern_rect[:2]
        start, end = (left + 20, top + 20), (left + 400, top + 250)
        self.drag(start, end)
        wait_until(lambda: self.checked("Custom"), what="Custom after a drag")
        area = (start[0], start[1], end[0] + 1, end[1] + 1)
        # Mnemonics reach the mark row while the file name field has the keyboard.
        self.desktop.key("alt+b", "alt+d", focus=False)
        wait_until(lambda: self.checked("Re&dact") and self.checked("&Blue"), what="Redact and Blue by Alt+D, Alt+B")
        self.drag((left + 50, top + 50), (left + 99, top + 99))
        wait_until(lambda: images.screen().pixel(left + 70, top + 70) == BLUE,
                   what="the blue mark on the inverted area")
        self.press("&Pen")
        self.drag((left + 150, top + 60), (left + 250, top + 120))
        self.press("&Pen")  # released: a drag selects the area again, the marks stay
        self.assertFalse(self.checked("&Pen"))
        # Ctrl+Z undoes marks while a button has the focus.
        self.desktop.key("ctrl+z", "ctrl+z", focus=False)
        wait_until(lambda: images.screen().crop(*area).differences(self.before.crop(*area).inverted()) == [],
                   what="the plain inverted area after undo")
        name = self.file_name()
        self.desktop.click(self.options.hwnd, "OK")
        wait_until(self.gone, what="the capture to end on OK")
        saved = images.read_file(os.path.join(self.folder, name))
        self.assertEqual(saved.differences(self.before.crop(*area)), [])

    def test_the_next_capture_finds_the_dialog_as_new(self):
        """The options dialog is kept, with its pixels, between captures: the
        second capture's must look exactly like the first's did (but for the
        file name offered), with nothing of the first capture's pressed
        buttons, readout or magnifier left on it."""
        self.settings(Clipboard=0)
        self.start()
        rest = (self.pattern_rect[0] + 40, self.pattern_rect[1] + 40)

        def point_at_rest():
            """A real move to the resting point, so the readout and the
            magnifier show it in either capture."""
            for x in (rest[0] + 5, rest[0]):
                subprocess.run(["xdotool", "mousemove", str(x), str(rest[1])], check=True)
            wait_until(lambda: self.readout() == readout_of(self.before.pixel(*rest)), what="the readout at rest")

        self.press_until_capture("Print")
        rect = self.options.rect
        name_field = [int(n) for n in self.desktop.wintool("rect", self.options.hwnd, "Edit").split()]
        caret = 64  # the file name's blinking caret may be in either picture

        def dialog():
            return blank_out(images.screen(), name_field).crop(*rect)

        def steady():
            first = dialog()
            time.sleep(0.3)
            second = dialog()
            return second if len(first.differences(second, limit=caret + 1)) <= caret else None
        point_at_rest()
        new = wait_until(steady, what="the first capture's dialog to settle")
        self.press("&Arrow")
        self.press("Mark Area")
        subprocess.run(["xdotool", "mousemove", str(rest[0] + 300), str(rest[1] + 200)], check=True)
        wait_until(lambda: dialog().differences(new, limit=caret + 1)[caret:],
                   what="the dialog to show the pressed buttons and the pointer")
        self.desktop.click(self.options.hwnd, "Cancel")
        wait_until(self.gone, what="the capture to end on Cancel")

        self.press_until_capture("Print")
        self.assertEqual(self.options.rect, rect)
        point_at_rest()
        wait_until(lambda: len(dialog().differences(new, limit=caret + 1)) <= caret,
                   what="the second capture's dialog to look as the first's did")


if __name__ == "__main__":
    unittest.main()
