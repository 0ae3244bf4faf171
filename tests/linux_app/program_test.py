"""The real program (LibreOffice as its spreadsheet application) where no office can be started:
it logs why and ends, in the terminal with the exit code of that end, on a display with 0."""

import os
import pathlib
import re
import stat
import subprocess
import unittest

import openpyxl

import kovrisk_testing as kt
import expected_texts as texts
from xserver import XServer


OFFICE = pathlib.Path("/usr/lib/libreoffice/program/soffice")


class ProgramTest(unittest.TestCase):
    def setUp(self):
        self.home = kt.Home()
        self.addCleanup(self.home.cleanup)

    def run_program(self, *arguments, display=None, code=0, office="/nonexistent"):
        done = subprocess.run([kt.PROGRAM, *map(str, arguments)], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120,
                              env=self.home.environment(display, KOVRISK_SOFFICE=str(office)))
        self.assertEqual(done.returncode, code, done.stderr)
        return done.stderr.decode("utf-8").splitlines()

    def assert_not_installed_logged(self):
        messages = self.home.log_messages()
        self.assertEqual(len(messages), 3, messages)
        self.assertEqual(messages[0], texts.FIND_LINE)
        self.assertTrue(messages[1].startswith(texts.error(texts.FIND)), messages[1])
        self.assertGreater(len(messages[1]), len(texts.error(texts.FIND)))
        self.assertEqual(messages[2], texts.NOT_INSTALLED)

    def test_in_the_terminal_without_an_office(self):
        workbook = self.home.make_workbook()
        before = workbook.read_bytes()
        # The terminal says why, with what the probe met, and ends with the code of its own.
        lines = self.run_program(workbook, code=texts.EXIT_CODES["not installed"])
        self.assertEqual(lines[0], texts.box([texts.NOT_INSTALLED])[0])
        self.assertEqual(lines[1:], [self.home.log_messages()[1][len(texts.error(texts.FIND)):]])
        self.assertIn("/nonexistent", lines[1])
        self.assert_not_installed_logged()
        self.assertEqual(workbook.read_bytes(), before)

    def test_an_office_that_ends_at_its_start_has_its_own_words_logged(self):
        office = self.home.root / "soffice"
        # More than a log line holds: only the end of what the office wrote goes into the log.
        starts = self.home.root / "starts"
        office.write_text(f"#!/bin/sh\necho >>'{starts}'\nhead -c 200000 /dev/zero | tr '\\0' x\necho\n"
                          "echo 'on the way out' \necho \"X11 error: Can't open display\" >&2\n"
                          "exit 1\n")
        office.chmod(0o700)
        self.run_program(self.home.make_workbook(), office=office,
                         code=texts.EXIT_CODES["not installed"])
        self.assert_not_installed_logged()
        failure = self.home.log_messages()[1]
        written = b"x" * 200000 + b"\non the way out \nX11 error: Can't open display\n"
        last_words = " ".join(written.decode().split())[-256:]
        self.assertEqual(failure, texts.error(texts.FIND) + "LibreOffice が応答する前に終了しました"
                         f"（終了コード 1): {office}（LibreOffice の出力: {last_words}）")
        # Started twice: an office can end at its start on a passing X error.
        self.assertEqual(starts.read_text(), "\n\n")
        # Kept in the profile's own temporary folder, for the user alone.
        kept = list((self.home.root / "cache").glob("*/office-profile-0/tmp/office-output.txt"))
        self.assertEqual(len(kept), 1)
        self.assertEqual(stat.S_IMODE(os.lstat(kept[0]).st_mode), 0o600)

    def test_a_new_office_profile_starts_as_a_known_version(self):
        # The probe's office, on a profile made for it, is not taken for an office's first start
        # after an update: it runs no start-up graphics tests, and keeps the version as it was set.
        workbook = self.home.workbooks / "Plain.xlsx"
        openpyxl.Workbook().save(workbook)
        self.run_program(workbook, office=OFFICE, code=texts.EXIT_CODES["C"])
        user = self.home.root / "cache" / "kovrisk" / "office-profile-0" / "user"
        settings = (user / "registrymodifications.xcu").read_text()
        self.assertEqual(stat.S_IMODE(os.lstat(user / "registrymodifications.xcu").st_mode), 0o600)
        version = re.search(r'oor:name="ooSetupVersion">\s*<value>([0-9.]+)</value>',
                            (OFFICE.parent.parent / "share/registry/main.xcd").read_text())[1]
        self.assertEqual(re.findall(r'"ooSetupLastVersion" oor:op="fuse"><value>([^<]*)<',
                                    settings), [version])
        self.assertFalse((user / "GraphicsRenderTests.log").exists())

    def test_the_probe_runs_before_the_extension_test(self):
        self.run_program(self.home.workbooks / "notes.txt", code=texts.EXIT_CODES["not installed"])
        self.assert_not_installed_logged()

    def test_no_argument_shows_the_one_file_message_and_logs_nothing(self):
        self.assertEqual(self.run_program(code=texts.EXIT_CODES["drop one file"]),
                         texts.box([texts.DROP_ONE_FILE]))
        self.assertEqual(self.home.log_messages(), [])
        self.assertFalse((self.home.data / "Kovrisk").exists())

    def test_on_a_display_without_an_office(self):
        x = XServer()
        self.addCleanup(x.stop)
        self.run_program(self.home.make_workbook(), display=x.display)
        self.assert_not_installed_logged()
        self.assertEqual(x.visible_windows()[1:], [], "a window was left on the screen")


if __name__ == "__main__":
    unittest.main(verbosity=2)
