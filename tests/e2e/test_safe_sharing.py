"""Sharing safely, as a user meets it: uploads over https to the real image
host with a certificate from an authority the Wine prefix trusts, and the
three certificates that must be refused; the upload key, which the host
checks and which never goes to a remote address over plain http; deleting
an image from the result dialog and the recent-uploads list.

The https host and the plain-http stand-ins listen on free ports of their
own; the capture test uses the real image host on 127.0.0.1:80 and skips
without a private network namespace, as the other capture tests do."""
import os
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

from harness import SETTINGS_KEY, WAIT, DesktopTestCase, wait_until
from test_capture import CaptureSession
from test_upload import image_host_binary, png_bytes, windows_path
from testca import TestAuthority

APP_KEY = SETTINGS_KEY + r"\orvocapture"
RESULT_TEXT = "Your file has been uploaded successfully:"
FIRST_TRAY_ICON = ("1269", "1013")
RECENT_ITEM = "2/4"


def free_port(host="127.0.0.1"):
    with socket.socket() as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


class TlsImageHost:
    """The real image host on a free loopback port, over https with the
    given certificate, or over plain http without one."""

    def __init__(self, binary, cert=None, keys=None):
        self.port = free_port()
        self.data = tempfile.mkdtemp(prefix="orvo-e2e-tls-images-")
        scheme = "https" if cert else "http"
        self.base = "%s://localhost:%d" % (scheme, self.port)
        args = [binary, "--listen", "127.0.0.1:%d" % self.port, "--data-dir", self.data, "--public-url", self.base]
        if cert:
            args += ["--tls-cert", cert[0], "--tls-key", cert[1]]
        if keys:
            keys_file = os.path.join(self.data, "..", os.path.basename(self.data) + ".keys")
            self.keys_file = os.path.abspath(keys_file)
            with open(self.keys_file, "w") as f:
                f.write("".join(k + "\n" for k in keys))
            args += ["--upload-keys", self.keys_file]
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT)
        wait_until(self._listening, what="the image host on port %d" % self.port)

    def _listening(self):
        if self.process.poll() is not None:
            self.log.seek(0)
            raise AssertionError("the image host ended: %s" % self.log.read().decode("utf-8", "replace"))
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
            return True
        except OSError:
            return False

    def stored_images(self):
        folder = os.path.join(self.data, "images")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.log.close()
        shutil.rmtree(self.data, ignore_errors=True)
        if getattr(self, "keys_file", None) and os.path.exists(self.keys_file):
            os.remove(self.keys_file)


class Eavesdropper:
    """A listening socket on another loopback address standing in for a
    remote host: it keeps whatever arrives."""

    def __init__(self, host="127.0.0.2"):
        self.sock = socket.socket()
        self.sock.bind((host, 0))
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.address = "http://%s:%d/upload.php" % (host, self.sock.getsockname()[1])
        self.received = b""
        self.connections = 0
        self._stop = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while not self._stop:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            self.connections += 1
            with conn:
                conn.settimeout(2)
                try:
                    while True:
                        more = conn.recv(65536)
                        if not more:
                            break
                        self.received += more
                except OSError:
                    pass

    def stop(self):
        self._stop = True
        self._thread.join(5)
        self.sock.close()


class HttpsAndKeyTest(DesktopTestCase):
    """"/U" uploads against the image host over https and with keys."""

    @classmethod
    def setUpClass(cls):
        cls.binary = image_host_binary()
        if not cls.binary:
            raise unittest.SkipTest("the image host is not built")
        super().setUpClass()
        cls.ca = TestAuthority()
        cls.ca.trust(cls.desktop)

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "ca", None):
            try:
                cls.ca.distrust(cls.desktop)
            finally:
                cls.ca.cleanup()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="orvo-e2e-safe-", dir="/tmp")
        self.hosts = []
        for name in ("UploadUrl", "UploadKey"):
            self.desktop.reg_delete_value(APP_KEY, name)

    def tearDown(self):
        super().tearDown()
        for host in self.hosts:
            host.stop()
        for name in ("UploadUrl", "UploadKey"):
            self.desktop.reg_delete_value(APP_KEY, name)
        shutil.rmtree(self.folder, ignore_errors=True)

    def host(self, **kwargs):
        host = TlsImageHost(self.binary, **kwargs)
        self.hosts.append(host)
        return host

    def image_file(self, name="shot.png"):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(png_bytes(64, 48))
        return path

    def upload(self, path):
        return self.desktop.run("orvocapture.exe", "/U", windows_path(path))

    def expect_result(self, program):
        dialog = self.desktop.wait_window(lambda w: w.cls == "#32770" and RESULT_TEXT in w.texts,
                                          what="the result dialog")
        address = next((t for t in dialog.texts if t.startswith("http")), None)
        program.expect_exit()
        self.desktop.click(dialog.hwnd, "Close")
        self.assertEqual(program.exit_code(), 0)
        return address

    def expect_message(self, program, text):
        box = self.desktop.message_box(text)
        program.expect_exit()
        self.desktop.dismiss(box)
        self.assertEqual(program.exit_code(), 0)
        return " ".join(box.texts)

    def test_https_upload_goes_through_and_bad_certificates_end_in_their_message(self):
        print("https with a certificate the prefix trusts", flush=True)
        host = self.host(cert=self.ca.good)
        self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", host.base + "/upload.php")
        path = self.image_file()
        address = self.expect_result(self.upload(path))
        self.assertTrue(address.startswith(host.base + "/"), address)
        context = ssl.create_default_context(cafile=self.ca.ca_pem)
        with urllib.request.urlopen(address, timeout=30, context=context) as answer:
            with open(path, "rb") as f:
                self.assertEqual(answer.read(), f.read())
        host.stop()
        self.hosts.remove(host)

        for cert, words in ((self.ca.untrusted, "The image host's certificate is not trusted"),
                            (self.ca.expired, "The image host's certificate has expired"),
                            (self.ca.wrong_name, "The image host's certificate is for another name")):
            print("refused: " + words, flush=True)
            host = self.host(cert=cert)
            self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", host.base + "/upload.php")
            text = self.expect_message(self.upload(path), words)
            self.assertIn("localhost", text)
            self.assertEqual(host.stored_images(), [], "nothing stored")
            self.assertTrue(os.path.exists(path), "the image is kept")

    def test_upload_key_is_checked_and_never_sent_to_a_remote_plain_http_address(self):
        host = self.host(cert=self.ca.good, keys=["right-key-1234"])
        self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", host.base + "/upload.php")
        path = self.image_file()

        print("no key, then a wrong key", flush=True)
        self.expect_message(self.upload(path), "refused the image: 401")
        self.desktop.reg_set(APP_KEY, "UploadKey", "REG_SZ", "wrong-key-5678")
        text = self.expect_message(self.upload(path), "refused the image: 401")
        self.assertNotIn("wrong-key-5678", text, "the key never shows in a message")
        self.assertEqual(host.stored_images(), [])

        print("the right key", flush=True)
        self.desktop.reg_set(APP_KEY, "UploadKey", "REG_SZ", "right-key-1234")
        address = self.expect_result(self.upload(path))
        self.assertTrue(address.startswith(host.base + "/"), address)
        self.assertEqual(len(host.stored_images()), 1)

        print("a remote address over plain http", flush=True)
        remote = Eavesdropper()
        try:
            self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", remote.address)
            text = self.expect_message(self.upload(path), "The upload key is never sent over plain http")
            self.assertIn("https", text)
            self.assertNotIn("right-key-1234", text)
            time.sleep(1)
            self.assertNotIn(b"right-key-1234", remote.received)
            self.assertEqual(remote.connections, 0, "nothing was sent there at all")
        finally:
            remote.stop()

    def test_a_failure_says_what_happened_in_plain_words(self):
        print("nothing listening", flush=True)
        port = free_port()
        self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", "http://localhost:%d/upload.php" % port)
        path = self.image_file()
        text = self.expect_message(self.upload(path), "Nothing answered at localhost:%d." % port)
        self.assertIn("Start the image host", text)
        self.assertTrue(text.rstrip().endswith("12029)"), text)

        print("a missing file", flush=True)
        host = self.host()
        self.desktop.reg_set(APP_KEY, "UploadUrl", "REG_SZ", host.base + "/upload.php")
        missing = os.path.join(self.folder, "gone.png")
        text = self.expect_message(self.upload(missing), "does not exist.")
        self.assertIn(windows_path(missing).upper(), text.upper())

        print("a refusal with the host's reason", flush=True)
        notes = os.path.join(self.folder, "notes.txt")
        with open(notes, "wb") as f:
            f.write(b"not an image at all\n" * 50)
        text = self.expect_message(self.upload(notes), "refused the image: 415")
        self.assertRegex(text, r"415 \w")


class DeleteAndRecentTest(CaptureSession):
    """A capture uploaded to the real image host, deleted from its result
    dialog, and the recent-uploads list from the tray menu."""

    def setUp(self):
        super().setUp()
        self.history = None
        for name in ("UploadUrl", "UploadKey"):
            self.desktop.reg_delete_value(APP_KEY, name)

    def history_file(self):
        out = subprocess.run(["wine", "cmd", "/c", "echo", "%APPDATA%"], env=self.desktop.env,
                             capture_output=True, timeout=60).stdout.decode("utf-8", "replace").strip()
        unix = subprocess.run(["winepath", "-u", out + "\\OrvoCapture\\uploads.txt"], env=self.desktop.env,
                              capture_output=True, timeout=60).stdout.decode("utf-8", "replace").strip()
        return unix

    def test_delete_now_removes_the_image_and_the_recent_list_shows_it_deleted(self):
        history = self.history_file()
        if os.path.exists(history):
            os.remove(history)
        self.settings(Upload=1)
        self.start()
        self.press_until_capture("Print")
        self.desktop.click(self.options.hwnd, "OK")
        dialog = self.desktop.wait_window(lambda w: w.cls == "#32770" and RESULT_TEXT in w.texts,
                                          what="the result dialog")
        address = next(t for t in dialog.texts if t.startswith("http://localhost/"))
        deletion = next((t for t in dialog.texts if "/delete/" in t), None)
        self.assertIsNotNone(deletion, dialog.texts)
        local = address.replace("//localhost", "//127.0.0.1", 1)
        with urllib.request.urlopen(local, timeout=30) as answer:
            self.assertEqual(answer.status, 200)

        print("Delete now", flush=True)
        self.desktop.click(dialog.hwnd, "&Delete now")
        box = self.desktop.message_box("The image is gone")
        self.desktop.dismiss(box)
        wait_until(lambda: all(w.hwnd != dialog.hwnd for w in self.desktop.windows()), what="the dialog to close")
        with self.assertRaises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(local, timeout=30)
        self.assertEqual(refused.exception.code, 404)

        print("a command-line upload joins the list", flush=True)
        path = os.path.join(self.folder, "cli.png")
        with open(path, "wb") as f:
            f.write(png_bytes(40, 30))
        cli = self.desktop.run("orvocapture.exe", "/U", windows_path(path))
        result = self.desktop.wait_window(lambda w: w.cls == "#32770" and RESULT_TEXT in w.texts and
                                          w.hwnd != dialog.hwnd, what="the result dialog of /U")
        cli_address = next(t for t in result.texts if t.startswith("http://localhost/"))
        cli.expect_exit()
        self.desktop.click(result.hwnd, "Close")

        print("Recent uploads from the tray menu", flush=True)
        self.desktop.right_click_until_menu(*FIRST_TRAY_ICON)
        self.desktop.click("menu", RECENT_ITEM)
        recent = self.desktop.wait_window(lambda w: w.title == "Recent uploads", what="the recent uploads")
        lines = [t for t in recent.texts if "http://localhost/" in t]
        self.assertEqual(len(lines), 2, recent.texts)
        self.assertIn(cli_address, lines[0])
        self.assertFalse(lines[0].rstrip().endswith("deleted"), lines[0])
        self.assertIn(address, lines[1])
        self.assertTrue(lines[1].rstrip().endswith("deleted"), lines[1])
        self.desktop.click(recent.hwnd, "Close")
        wait_until(lambda: all(w.hwnd != recent.hwnd for w in self.desktop.windows()), what="the list to close")


if __name__ == "__main__":
    unittest.main()
