"""The release as a Windows user gets it (scripts/package.sh builds it into
build/dist): the x64 installer run silently, what it puts where, the
installed program at work, a silent uninstall while the program runs (here,
and on another desktop where it cannot be asked to exit), an uninstall told
to remove the settings, an upgrade over an existing install, the portable
zip unpacked into a folder with a space in its name, and the checksums."""
import hashlib
import os
import re
import select
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile

from harness import BUILD, DESKTOP, DESKTOP_SIZE, SETTINGS_KEY, WAIT, DesktopTestCase, wait_until

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DIST = os.path.join(BUILD, "..", "dist")
with open(os.path.join(ROOT, "VERSION")) as version_file:
    VERSION = version_file.readline().strip()
SETUP = os.path.join(DIST, "OrvoCapture-%s-x64-setup.exe" % VERSION)
PORTABLE = os.path.join(DIST, "OrvoCapture-%s-portable.zip" % VERSION)
ARTEFACTS = ["OrvoCapture-%s-x64-setup.exe" % VERSION, "OrvoCapture-%s-x86-setup.exe" % VERSION,
             "OrvoCapture-%s-portable.zip" % VERSION]
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvoCapture"
APP_KEY = SETTINGS_KEY + r"\orvocapture"
SCREEN = (0, 0, 1280, 1024)


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def require_release():
    missing = [name for name in ARTEFACTS + ["SHA256SUMS"] if not os.path.exists(os.path.join(DIST, name))]
    if missing:
        raise AssertionError("build/dist lacks %s: run scripts/package.sh first" % ", ".join(missing))


class ChecksumTest(unittest.TestCase):

    def test_sha256sums_lists_every_artefact_and_verifies(self):
        require_release()
        listed = [line.split(None, 1)[1].strip() for line in read(os.path.join(DIST, "SHA256SUMS")).decode()
                  .splitlines() if line.strip()]
        self.assertEqual(sorted(listed), sorted(ARTEFACTS))
        check = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=DIST,
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        # And the check is not a formality: a changed byte fails it.
        spoiled = tempfile.mkdtemp(prefix="orvo-e2e-sums-")
        try:
            for name in ARTEFACTS + ["SHA256SUMS"]:
                shutil.copy(os.path.join(DIST, name), spoiled)
            with open(os.path.join(spoiled, ARTEFACTS[2]), "r+b") as f:
                f.seek(100)
                byte = f.read(1)
                f.seek(100)
                f.write(bytes([byte[0] ^ 0xFF]))
            self.assertNotEqual(subprocess.run(["sha256sum", "--check", "--quiet", "SHA256SUMS"], cwd=spoiled,
                                               capture_output=True).returncode, 0)
        finally:
            shutil.rmtree(spoiled, ignore_errors=True)


class InstallTest(DesktopTestCase):

    @classmethod
    def setUpClass(cls):
        require_release()
        super().setUpClass()

    def setUp(self):
        super().setUp()
        self.folders = {name: self.desktop.wintool("folder", name).strip()
                        for name in ("localappdata", "programs", "startup")}
        self.default_dir = self.folders["localappdata"] + r"\Programs\OrvoCapture"
        self.remove_any_install()
        self.scratch = []

    def tearDown(self):
        super().tearDown()
        self.remove_any_install()
        # A copy the installer started, when a test failed before uninstalling.
        if self.desktop.process_ids("orvocapture.exe"):
            self.desktop.wintool("kill", "orvocapture.exe")
        for folder in self.scratch:
            shutil.rmtree(folder, ignore_errors=True)

    # --- paths and files --------------------------------------------------------
    def unix(self, path):
        """The file behind a Windows path of the prefix; Windows names do not
        care about case, the folders on disk do."""
        if path[:2].upper() == "Z:":
            return path[2:].replace("\\", "/")
        current = os.path.join(self.desktop.env["WINEPREFIX"], "drive_" + path[0].lower())
        for part in [p for p in path[2:].split("\\") if p]:
            try:
                entries = os.listdir(current)
            except OSError:
                entries = []
            current = os.path.join(current, next((e for e in entries if e.lower() == part.lower()), part))
        return current

    def exists(self, path):
        return os.path.exists(self.unix(path))

    def shortcuts(self):
        return [self.folders["programs"] + r"\OrvoCapture.lnk", self.folders["startup"] + r"\OrvoCapture.lnk"]

    # --- installing and removing ----------------------------------------------------
    def run_windows(self, *command):
        """Runs a Windows program in the desktop to its end; its exit code.
        The answer is read as soon as it comes: a program the installer
        starts holds the output pipe open for as long as it runs."""
        helper = subprocess.Popen(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE),
                                   self.desktop.exe("wintool.exe"), "run"] + list(command),
                                  env=self.desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  stdin=subprocess.DEVNULL)
        try:
            answer = ""
            deadline = time.monotonic() + 2 * WAIT
            while "\n" not in answer and time.monotonic() < deadline:
                if select.select([helper.stdout], [], [], 1)[0]:
                    chunk = os.read(helper.stdout.fileno(), 256)
                    if not chunk:
                        break
                    answer += chunk.decode("utf-8", "replace")
        finally:
            helper.stdout.close()
            try:
                helper.wait(timeout=10)
            except subprocess.TimeoutExpired:
                helper.kill()  # only the launcher: the program it started runs on
        answer = answer.strip()
        self.assertTrue(answer.isdigit(), "could not run %r: %r" % (command, answer))
        return int(answer)

    def install(self, *switches):
        self.assertEqual(self.run_windows(windows_path(SETUP), "/S", *switches), 0)

    def uninstall_as_apps_and_features_does(self):
        """Runs the entry's quiet uninstall command; the uninstaller hands over
        to a copy of itself in the temporary folder and returns at once, so
        the end is the entry going away."""
        command = self.desktop.reg_values(UNINSTALL_KEY)["QuietUninstallString"][1]
        match = re.match(r'^"([^"]+)"\s*(.*)$', command)
        self.assertTrue(match, command)
        self.assertEqual(self.run_windows(match.group(1), *match.group(2).split()), 0)
        wait_until(lambda: self.desktop.reg_values(UNINSTALL_KEY) is None, what="the uninstall entry to go")

    def remove_any_install(self):
        """A clean start whatever an earlier run left behind."""
        entry = self.desktop.reg_values(UNINSTALL_KEY)
        if entry and "InstallLocation" in entry:
            uninstaller = entry["InstallLocation"][1] + r"\uninstall.exe"
            if self.exists(uninstaller):
                self.run_windows(uninstaller, "/S")
                wait_until(lambda: self.desktop.reg_values(UNINSTALL_KEY) is None, what="the old install to go")
        self.desktop.reg_delete_key(UNINSTALL_KEY)
        shutil.rmtree(self.unix(self.default_dir), ignore_errors=True)
        for link in self.shortcuts():
            if self.exists(link):
                os.remove(self.unix(link))

    # --- the installed program ------------------------------------------------------
    def capture_window_of(self, pid):
        return next((w for w in self.desktop.windows() if w.pid == pid and w.cls == "#32770" and w.rect == SCREEN),
                    None)

    def assert_hotkey_captures(self, program):
        """Print Screen opens the capture window of this very program: its
        hotkeys are registered. (They are registered a moment after start,
        so the key is pressed again until the capture shows.)"""
        def attempt():
            self.desktop.key("Print")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if self.capture_window_of(program.pid):
                    return True
                time.sleep(0.3)
            return None
        wait_until(attempt, what="the capture window of %s after Print Screen" % program.name)
        options = self.desktop.wait_window(lambda w: w.pid == program.pid and "Mark Area" in w.texts,
                                           what="the options dialog")
        self.desktop.click(options.hwnd, "Cancel")
        wait_until(lambda: not self.capture_window_of(program.pid), what="the capture to end on Cancel")

    # --- the tests --------------------------------------------------------------------
    def test_silent_install_then_silent_uninstall_of_the_running_program(self):
        self.desktop.reg_set(APP_KEY, "Filename", "REG_SZ", "kept across uninstall")
        self.install()

        installed = self.default_dir + r"\orvocapture.exe"
        self.assertEqual(read(self.unix(installed)), read(os.path.join(BUILD, "orvocapture.exe")))
        self.assertTrue(self.exists(self.default_dir + r"\uninstall.exe"))
        for link in self.shortcuts():
            self.assertEqual(self.desktop.wintool("shortcut", link).strip().lower(), installed.lower(), link)
        entry = self.desktop.reg_values(UNINSTALL_KEY)
        self.assertEqual(entry["DisplayName"], ("REG_SZ", "OrvoCapture"))
        self.assertEqual(entry["DisplayVersion"], ("REG_SZ", VERSION))
        self.assertEqual(entry["DisplayIcon"], ("REG_SZ", installed + ",0"))
        self.assertEqual(entry["InstallLocation"], ("REG_SZ", self.default_dir))
        self.assertIn("/S", entry["QuietUninstallString"][1])
        size_kb = sum(os.path.getsize(self.unix(self.default_dir + "\\" + name)) for name in
                      ("orvocapture.exe", "uninstall.exe")) // 1024
        self.assertAlmostEqual(int(entry["EstimatedSize"][1], 16), size_kb, delta=8)

        program = self.desktop.run(self.unix(installed))
        self.assert_hotkey_captures(program)

        # Uninstalled while it runs: asked to exit (an exit code of 0, where
        # being killed gives 1), then everything the installer made is gone.
        program.expect_exit()
        self.uninstall_as_apps_and_features_does()
        self.assertEqual(program.exit_code(), 0)
        wait_until(lambda: not self.exists(self.default_dir), what="the program folder to go")
        for link in self.shortcuts():
            self.assertFalse(self.exists(link), link)
        self.assertEqual(self.desktop.reg_values(APP_KEY)["Filename"], ("REG_SZ", "kept across uninstall"))

    def test_silent_uninstall_keeps_everything_while_the_program_runs_on_another_desktop(self):
        self.install()
        installed = self.default_dir + r"\orvocapture.exe"
        uninstaller = self.default_dir + r"\uninstall.exe"
        # As in another user's session: the uninstaller cannot see its windows.
        known = self.desktop.process_ids("orvocapture.exe")
        elsewhere = subprocess.Popen(["wine", "explorer", "/desktop=Elsewhere,640x480", self.unix(installed)],
                                     env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL)
        self.addCleanup(elsewhere.wait, 60)
        pid = self.desktop.new_process_id("orvocapture.exe", known)

        # Run in place to its end, as the copy that the entry's command hands
        # over to runs: it gives up, and removes nothing.
        self.assertEqual(self.run_windows(uninstaller, "/CurrentUser", "/S", "_?=" + self.default_dir), 2)
        self.assertIsNotNone(self.desktop.reg_values(UNINSTALL_KEY), "the entry stays")
        self.assertTrue(self.exists(installed))
        self.assertTrue(self.exists(uninstaller))
        self.assertIn(pid, self.desktop.process_ids("orvocapture.exe"), "never killed")

        # Closed there, it goes with the next uninstall.
        self.desktop.wintool("kill", "orvocapture.exe")
        wait_until(lambda: pid not in self.desktop.process_ids("orvocapture.exe"), what="the copy to end")
        self.uninstall_as_apps_and_features_does()
        wait_until(lambda: not self.exists(self.default_dir), what="the program folder to go")

    def test_second_install_upgrades_the_first_in_place(self):
        # The first install went where the user chose.
        chosen = r"C:\OrvoUpgradeTest"
        self.scratch.append(self.unix(chosen))
        self.install("/D=" + chosen)
        installed = chosen + r"\orvocapture.exe"
        self.assertTrue(self.exists(installed))
        # An older program (any other file will do) that the user runs, and a
        # file of the user's beside it.
        with open(self.unix(installed), "ab") as f:
            f.write(b"older build")
        with open(self.unix(chosen + r"\notes.txt"), "w") as f:
            f.write("mine")
        old = self.desktop.run(self.unix(installed))
        self.assert_hotkey_captures(old)

        old.expect_exit()
        self.install()
        self.assertEqual(old.exit_code(), 0, "the running copy is asked to exit before it is replaced")
        self.assertEqual(read(self.unix(installed)), read(os.path.join(BUILD, "orvocapture.exe")))
        self.assertFalse(self.exists(self.default_dir), "no second copy in the default folder")
        self.assertEqual(self.desktop.reg_values(UNINSTALL_KEY)["InstallLocation"], ("REG_SZ", chosen))
        self.assertEqual(self.desktop.wintool("shortcut", self.shortcuts()[0]).strip().lower(), installed.lower())
        # A silent upgrade starts again the copy it stopped.
        restarted = wait_until(lambda: self.desktop.process_ids("orvocapture.exe") - {old.pid},
                               what="the upgraded program to run again")
        self.assertEqual(len(restarted), 1)

        # Uninstalling keeps the user's file, and so the folder.
        self.uninstall_as_apps_and_features_does()
        wait_until(lambda: not self.exists(installed), what="the program file to go")
        self.assertFalse(self.exists(chosen + r"\uninstall.exe"))
        self.assertTrue(self.exists(chosen + r"\notes.txt"))
        self.assertFalse(self.desktop.process_ids("orvocapture.exe"))

    def test_setup_with_its_pages_and_defaults_installs_and_starts_the_program(self):
        setup = subprocess.Popen(["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), SETUP],
                                 env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 stdin=subprocess.DEVNULL)
        self.addCleanup(setup.wait, 60)
        # Who for (just me is chosen), where (the per-user folder), what
        # (autostart ticked): Next, Next, Install, then Finish with "Run" ticked.
        page = self.desktop.wait_window(lambda w: w.title.startswith("OrvoCapture Setup") and
                                        "Install just for me" in w.texts, what="the setup's first page")
        self.assertEqual(self.desktop.wintool("checked", page.hwnd, "Install just for me").split()[0], "1")
        self.desktop.click(page.hwnd, "&Next >")
        self.desktop.wait_window(lambda w: w.hwnd == page.hwnd and self.default_dir in w.texts,
                                 what="the folder page offering " + self.default_dir)
        self.desktop.click(page.hwnd, "&Next >")
        self.desktop.wait_window(lambda w: w.hwnd == page.hwnd and "&Install" in w.texts, what="the components page")
        self.desktop.click(page.hwnd, "&Install")
        self.desktop.wait_window(lambda w: w.hwnd == page.hwnd and "&Finish" in w.texts, what="the last page")
        known = self.desktop.process_ids("orvocapture.exe")
        self.assertEqual(self.desktop.wintool("checked", page.hwnd, "&Run OrvoCapture").split()[0], "1")
        self.desktop.click(page.hwnd, "&Finish")

        self.desktop.new_process_id("orvocapture.exe", known)
        installed = self.default_dir + r"\orvocapture.exe"
        for link in self.shortcuts():
            self.assertEqual(self.desktop.wintool("shortcut", link).strip().lower(), installed.lower(), link)

    def test_uninstall_with_remove_my_settings_ticked_takes_the_settings_too(self):
        self.install()
        self.desktop.reg_set(APP_KEY, "Filename", "REG_SZ", "to be forgotten")
        # As Apps & features starts it: the uninstaller's own pages.
        uninstaller = subprocess.Popen(
            ["wine", "explorer", "/desktop=%s,%s" % (DESKTOP, DESKTOP_SIZE), self.unix(self.default_dir +
                                                                                    r"\uninstall.exe")],
            env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.addCleanup(uninstaller.wait, 60)
        page = self.desktop.wait_window(lambda w: w.title.startswith("OrvoCapture Uninstall") and
                                        "&Next >" in w.texts, what="the uninstaller's first page")
        self.desktop.click(page.hwnd, "&Next >")
        self.desktop.wait_window(lambda w: w.hwnd == page.hwnd and "&Uninstall" in w.texts, what="the page of components")
        # The components are a tree of check boxes: "Remove my settings" is
        # the second line, unticked; a person clicks its box.
        box = wait_until(lambda: re.match(r"^(-?\d+) (-?\d+) -?\d+ -?\d+$",
                                          self.desktop.wintool("rect", page.hwnd, "SysTreeView32").strip()),
                         what="the tree of components")
        left, top = int(box.group(1)), int(box.group(2))
        subprocess.run(["xdotool", "mousemove", str(left + 8), str(top + 26), "click", "1"], check=True)
        time.sleep(0.5)
        self.desktop.click(page.hwnd, "&Uninstall")
        done = self.desktop.wait_window(lambda w: w.hwnd == page.hwnd and "&Close" in w.texts,
                                        what="the uninstaller's last page")
        self.desktop.click(done.hwnd, "&Close")
        wait_until(lambda: self.desktop.reg_values(UNINSTALL_KEY) is None, what="the uninstall entry to go")
        self.assertFalse(self.exists(self.default_dir))
        self.assertIsNone(self.desktop.reg_values(APP_KEY), "the settings went with the program")

    def test_portable_program_runs_from_a_folder_with_a_space(self):
        folder = tempfile.mkdtemp(prefix="orvo-e2e-portable-")
        self.scratch.append(folder)
        with zipfile.ZipFile(PORTABLE) as archive:
            names = archive.namelist()
            archive.extractall(os.path.join(folder, "Portable Orvo"))
        top = "OrvoCapture-%s/" % VERSION
        self.assertEqual(sorted(n for n in names if not n.endswith("/")),
                         [top + "README.txt", top + "x64/orvocapture.exe", top + "x86/orvocapture.exe"])
        unpacked = os.path.join(folder, "Portable Orvo", top)
        self.assertEqual(read(unpacked + "x64/orvocapture.exe"), read(os.path.join(BUILD, "orvocapture.exe")))
        self.assertIn(b"Print Screen", read(unpacked + "README.txt"))

        program = self.desktop.run(unpacked + "x64/orvocapture.exe")
        self.assert_hotkey_captures(program)


if __name__ == "__main__":
    unittest.main()
