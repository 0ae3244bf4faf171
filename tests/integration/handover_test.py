"""The hand-over on a real display (Xvfb): the granted workbook shows in a LibreOffice window that
outlives the program, with the control sheet still hidden; while it runs, another run still gets an
office of its own and leaves the user's alone."""

import os
import subprocess
import time
import unittest

import checks
import suite
import workbooks


def start_xvfb():
    """An X server on a free display; returns (process, display)."""
    reader, writer = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(writer), "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
        pass_fds=(writer,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(writer)
    with os.fdopen(reader) as numbers:
        display = ":" + numbers.readline().strip()
    return server, display


def window_names(display):
    result = subprocess.run(["xdotool", "search", "--name", "LibreOffice", "getwindowname", "%@"],
                            capture_output=True, text=True, env=dict(os.environ, DISPLAY=display))
    return result.stdout.splitlines()


class Handover(unittest.TestCase):
    def setUp(self):
        self.folder = suite.fresh_folder(f"handover/{self._testMethodName}")
        self.data_home = os.path.join(self.folder, "data")
        self.server, self.display = start_xvfb()

    def tearDown(self):
        # The user's office: the test plays the user who ends it.
        checks.kill_all(checks.office_processes(suite.OFFICE_MARKER))
        left = checks.wait_for_no_office(suite.OFFICE_MARKER, bound=10)
        self.server.terminate()
        self.server.wait(timeout=30)
        self.assertEqual(left, [])

    def locked(self, name):
        path = workbooks.make_xlsx(os.path.join(self.folder, name))
        code, events = suite.driver("run", path, data_home=self.data_home)
        self.assertIn("close-window ", events, events)
        return path

    def test_the_granted_workbook_stays_open_in_a_window_after_the_program_ends(self):
        path = self.locked("report 9 query.xlsx")
        code, events = suite.driver("run", path, data_home=self.data_home, display=self.display)
        self.assertEqual(code, 0, events)
        self.assertTrue([e for e in events if e.startswith("visible-at ")], events)
        self.assertNotIn("handover-no-display ", events)

        title = "report 9 query.xlsx - LibreOffice Calc"
        deadline = time.monotonic() + 20
        while title not in window_names(self.display) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn(title, window_names(self.display))
        users_office = checks.office_processes(suite.OFFICE_MARKER)
        self.assertTrue(users_office)

        # Another run meanwhile: an office of its own, and the user's keeps running.
        other = self.locked("another 7 book.xlsx")
        self.assertTrue(checks.is_encrypted(other))
        self.assertEqual(sorted(checks.office_processes(suite.OFFICE_MARKER)), sorted(users_office))
        self.assertIn(title, window_names(self.display))


if __name__ == "__main__":
    unittest.main(verbosity=2)
