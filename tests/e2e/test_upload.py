"""Uploading a file from the command line ("/U file") as a user meets it: the
progress bar on the desktop, the result dialog with the address and its forum
tag, both Copy buttons through the real clipboard, and the failures.

The uploads go to 127.0.0.1:80 (the program's endpoint is
http://localhost/upload.php): to the real image host when it is built, and to
a small server of this file where a test needs one that is slow or absent.
Port 80 needs root in a private network namespace, as the test command
provides; without it these tests skip."""
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request
import zlib

from harness import BUILD, DESKTOP, DESKTOP_SIZE, WAIT, DesktopTestCase, wait_until

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PROGRESS_TEXT = re.compile(r"^(Connecting: .*|Connected: .*|\d+%   \d+ KB/s   \d+ s left)$")


def image_host_binary():
    candidates = [os.environ.get("ORVO_IMAGEHOST", ""),
                  os.path.join(BUILD, "..", "imagehost", "imagehost"),
                  os.path.join(ROOT, "build", "imagehost", "imagehost")]
    return next((os.path.abspath(c) for c in candidates if c and os.access(c, os.X_OK)), None)


def port_80_free():
    try:
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        probe.bind(("127.0.0.1", 80))
        probe.close()
        return True
    except OSError:
        return False


def png_bytes(width=320, height=200):
    """A real PNG image: a colour pattern that does not compress away."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(((x * 7 + y * 3) & 0xFF, (x * y) & 0xFF, (x ^ y) & 0xFF))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


class SmallServer:
    """An HTTP server on 127.0.0.1:80 that keeps every request it gets and
    answers after `delay` seconds with the address header, or without one
    when the address is None."""

    def __init__(self, address="http://localhost/e2e/shot.png", delay=0.0):
        self.address = address
        self.delay = delay
        self.requests = []
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", 80))
        self._sock.listen(4)
        self._sock.settimeout(0.2)
        self._stop = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while not self._stop:
            try:
                conn, _ = self._sock.accept()
            except socket.timeout:
                continue
            with conn:
                conn.settimeout(30)
                try:
                    self._handle(conn)
                except OSError:
                    pass

    def _handle(self, conn):
        data = b""
        while b"\r\n\r\n" not in data:
            more = conn.recv(65536)
            if not more:
                return
            data += more
        head, body = data.split(b"\r\n\r\n", 1)
        match = re.search(rb"\r\ncontent-length: *(\d+)", head, re.I)
        length = int(match.group(1)) if match else 0
        while len(body) < length:
            more = conn.recv(65536)
            if not more:
                break
            body += more
        self.requests.append((head.decode("latin-1"), body))
        time.sleep(self.delay)
        text = (self.address or "no address for you").encode()
        header = b"Uploaded: " + text + b"\r\n" if self.address else b""
        conn.sendall(b"HTTP/1.1 200 OK\r\n" + header + b"Content-Length: %d\r\nConnection: close\r\n\r\n"
                     % len(text) + text)

    def stop(self):
        self._stop = True
        self._thread.join(5)
        self._sock.close()


class ImageHost:
    """The real image-hosting service, on 127.0.0.1:80 with its own data."""

    def __init__(self, binary):
        self.data = tempfile.mkdtemp(prefix="orvo-e2e-images-")
        # The tests upload from 127.0.0.1 far faster than one client of a
        # public host may (60 a minute): the upload limits are off here.
        self.process = subprocess.Popen([binary, "--listen", "127.0.0.1:80", "--data-dir", self.data,
                                         "--upload-rate", "0", "--upload-bytes-per-hour", "0"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(self._listening, what="the image host")

    @staticmethod
    def _listening():
        try:
            socket.create_connection(("127.0.0.1", 80), timeout=0.5).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        shutil.rmtree(self.data, ignore_errors=True)


class UploadModeTest(DesktopTestCase):

    @classmethod
    def setUpClass(cls):
        if not port_80_free():
            raise unittest.SkipTest("127.0.0.1:80 cannot be used: run as root in a private network namespace")
        super().setUpClass()
        # The endpoint is the program's constant unless the settings say otherwise.
        cls.desktop.reg_delete_value(r"HKCU\Software\Cindrel\orvocapture", "UploadUrl")

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="orvo-e2e-upload-", dir="/tmp")
        self.servers = []

    def tearDown(self):
        super().tearDown()
        for server in self.servers:
            server.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def file(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def bars(self):
        """The progress bars on the desktop, read without messages: the
        uploading program answers none while it sends."""
        out = subprocess.run(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE),
                              self.desktop.exe("uploadprobe.exe"), "bar"], env=self.desktop.env,
                             capture_output=True, timeout=60).stdout.decode("utf-8", "replace")
        bars = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 5:
                bars.append({"width": int(parts[1]), "height": int(parts[2]), "filled": int(parts[3]),
                             "text": parts[4]})
        return bars

    def result_dialog(self, timeout=WAIT):
        return self.desktop.wait_window(
            lambda w: w.cls == "#32770" and "Your file has been uploaded successfully:" in w.texts, timeout,
            what="the result dialog")

    def close_dialog_and_expect_exit(self, program, dialog):
        program.expect_exit()
        self.desktop.click(dialog.hwnd, "Close")
        self.assertEqual(program.exit_code(), 0)

    def test_upload_shows_the_bar_then_the_address_and_tag_each_ready_to_copy(self):
        # The server thinks long enough for a look at the full bar even when
        # each look takes seconds on a loaded machine.
        server = SmallServer("http://localhost/e2e/7f3a.png", delay=12)
        self.servers.append(server)
        image = png_bytes()
        path = self.file("shot.png", image)
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(path))

        # While the server thinks, the bar sits on the desktop, 550 x 50, full,
        # with the last figures of the file.
        bar = wait_until(lambda: next((b for b in self.bars() if b["text"].startswith("100%")), None),
                         what="the full progress bar")
        self.assertRegex(bar["text"], PROGRESS_TEXT)
        self.assertEqual((bar["width"], bar["height"]), (550, 50))
        self.assertGreater(bar["filled"], 70, "the bar is painted in the bar colour")

        dialog = self.result_dialog()
        self.assertEqual(dialog.title, "OrvoCapture")
        self.assertIn("http://localhost/e2e/7f3a.png", dialog.texts)
        self.assertIn("[IMG]http://localhost/e2e/7f3a.png[/IMG]", dialog.texts)
        self.assertEqual(self.bars(), [], "the bar is gone")

        # What arrived: the upper-cased path as the file name, the image intact.
        self.assertEqual(len(server.requests), 1)
        head, body = server.requests[0]
        self.assertTrue(head.startswith("POST /upload.php HTTP/1.1\r\n"), head)
        self.assertIn("\r\nUser-Agent: OrvoCapture/1.8", head)
        disposition = ('Content-Disposition: form-data; name="file"; filename="%s"\r\n'
                       'Content-Type: application/octet-stream\r\n\r\n' % windows_path(path).upper()).encode()
        self.assertIn(disposition + image + b"\r\n--", body)
        self.assertNotIn(b"selfdestruct_timeout", body)

        self.desktop.click(dialog.hwnd, "&Copy")
        wait_until(lambda: self.desktop.clipboard() == "http://localhost/e2e/7f3a.png",
                   what="the address on the clipboard")
        self.desktop.click(dialog.hwnd, "Co&py")
        wait_until(lambda: self.desktop.clipboard() == "[IMG]http://localhost/e2e/7f3a.png[/IMG]",
                   what="the tag on the clipboard")

        # What the user typed into a box is what its button copies.
        self.desktop.click(dialog.hwnd, "http://localhost/e2e/7f3a.png")
        self.desktop.key("End", "shift+Home")
        self.desktop.type_text("http://elsewhere/x.png")
        self.desktop.click(dialog.hwnd, "&Copy")
        wait_until(lambda: self.desktop.clipboard() == "http://elsewhere/x.png", what="the edited address")

        # Enter right after a Copy, with the focus still in the box, closes.
        program.expect_exit()
        self.desktop.key("Return")
        self.assertEqual(program.exit_code(), 0)

    def test_image_reaches_the_real_image_host_and_its_address_serves_it(self):
        binary = image_host_binary()
        if not binary:
            self.skipTest("the image host is not built")
        self.servers.append(ImageHost(binary))
        image = png_bytes(400, 300)
        path = self.file("real.png", image)
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(path))
        dialog = self.result_dialog()
        address = next((t for t in dialog.texts if t.startswith("http://")), None)
        self.assertIsNotNone(address, dialog.texts)
        self.assertIn("[IMG]%s[/IMG]" % address, dialog.texts)
        with urllib.request.urlopen(address.replace("//localhost", "//127.0.0.1", 1), timeout=10) as answer:
            self.assertEqual(answer.read(), image)
        self.desktop.click(dialog.hwnd, "Co&py")
        wait_until(lambda: self.desktop.clipboard() == "[IMG]%s[/IMG]" % address, what="the tag")
        self.close_dialog_and_expect_exit(program, dialog)

    def test_quoted_path_with_spaces_uploads(self):
        server = SmallServer("http://localhost/e2e/spaced.png")
        self.servers.append(server)
        os.makedirs(os.path.join(self.folder, "my shots"))
        path = self.file(os.path.join("my shots", "a b.png"), png_bytes(40, 30))
        # Windows quotes an argument with spaces: the tail is /U "Z:\...\a b.png".
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(path))
        dialog = self.result_dialog()
        self.assertIn("http://localhost/e2e/spaced.png", dialog.texts)
        self.assertIn(('filename="%s"' % windows_path(path).upper()).encode(), server.requests[0][1])
        self.close_dialog_and_expect_exit(program, dialog)

    def test_answer_without_an_address_shows_could_not_upload_file(self):
        binary = image_host_binary()
        if binary:
            # The real host refuses what is not an image, without "Uploaded: ".
            self.servers.append(ImageHost(binary))
        else:
            self.servers.append(SmallServer(address=None))
        path = self.file("notes.txt", b"not an image at all\n" * 50)
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(path))
        box = self.desktop.message_box("Could not upload file")
        self.assertEqual(box.title, "orvocapture")
        program.expect_exit()
        self.desktop.dismiss(box)
        self.assertEqual(program.exit_code(), 0)
        self.assertFalse(any("Your file has been uploaded" in " ".join(w.texts) for w in self.desktop.windows()))

    def test_nothing_listening_shows_the_failed_step_then_could_not_upload_file(self):
        path = self.file("shot.png", png_bytes(20, 20))
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(path))
        box = self.desktop.message_box("HttpSendRequestEx failed, error = 12029 (0x2efd)")
        self.desktop.dismiss(box)
        box = self.desktop.message_box("Could not upload file")
        program.expect_exit()
        self.desktop.dismiss(box)
        self.assertEqual(program.exit_code(), 0)

    def test_missing_file_shows_createfile_error_2_then_could_not_upload_file(self):
        server = SmallServer()
        self.servers.append(server)
        program = self.desktop.run("orvocapture.exe", "/U", windows_path(os.path.join(self.folder, "gone.png")))
        box = self.desktop.message_box("CreateFile failed, error = 2 (0x2)")
        self.desktop.dismiss(box)
        box = self.desktop.message_box("Could not upload file")
        program.expect_exit()
        self.desktop.dismiss(box)
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
