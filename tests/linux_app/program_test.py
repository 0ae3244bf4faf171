"""The real program (LibreOffice as its spreadsheet application) where no office can be started:
it logs why and ends, in the terminal with the exit code of that end, on a display with 0."""

import subprocess
import unittest

import kovrisk_testing as kt
import expected_texts as texts
from xserver import XServer


class ProgramTest(unittest.TestCase):
    def setUp(self):
        self.home = kt.Home()
        self.addCleanup(self.home.cleanup)

    def run_program(self, *arguments, display=None, code=0):
        done = subprocess.run([kt.PROGRAM, *map(str, arguments)], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120,
                              env=self.home.environment(display,
                                                        KOVRISK_SOFFICE="/nonexistent"))
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
