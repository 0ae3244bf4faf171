"""No office outlives the program: not after a crash, not after a kill in the middle of a lock,
not when the office cannot start; and two programs at once each get their own office."""

import os
import signal
import subprocess
import threading
import time
import unittest

import openpyxl

import checks
import expected_texts as texts
import suite
import workbooks


class OfficeLifetime(unittest.TestCase):
    def setUp(self):
        self.folder = suite.fresh_folder(f"office_lifetime/{self._testMethodName}")
        self.data_home = os.path.join(self.folder, "data")

    def tearDown(self):
        left = checks.wait_for_no_office(suite.OFFICE_MARKER)
        checks.kill_all(left)
        self.assertEqual(left, [], "office processes left behind")

    def workbook(self, name="book.xlsx", large=False):
        path = os.path.join(self.folder, name)
        if large:
            return workbooks.make_large_xlsx(path, 3_000_000)
        return workbooks.make_xlsx(path)

    def large_binary_workbook(self):
        """A large Excel 97-2003 workbook that the lock opens and saves in the office: one with an
        earlier control sheet that carries a drawing layer (LibreOffice writes one in every
        sheet), which Kovrisk leaves to the office (it writes the control sheet into other
        workbooks itself, the office only probing them)."""
        source = self.workbook("large source.xlsx", large=True)
        book = openpyxl.load_workbook(source)
        book.create_sheet(texts.CONTROL_SHEET)
        book.save(source)
        return workbooks.convert(source, "xls", self.folder, suite.CONVERT_PROFILE)

    def log_lines(self):
        return suite.log_messages(self.data_home)

    def test_a_crash_of_the_program_takes_its_office_down(self):
        code, events = suite.driver("crash", self.workbook(), data_home=self.data_home)
        self.assertEqual(code, -signal.SIGKILL)
        self.assertIn("opened ", events)
        # tearDown waits for the office to go.

    def test_a_program_killed_in_the_middle_of_a_lock_leaves_no_office_and_the_file_unlocked(self):
        path = self.large_binary_workbook()
        before = open(path, "rb").read()
        environment = dict(os.environ, XDG_DATA_HOME=self.data_home)
        environment.pop("DISPLAY", None)
        program = subprocess.Popen([suite.DRIVER, "--profile", suite.PROFILE, "run", path],
                                   stdout=subprocess.PIPE, text=True, env=environment)
        for line in program.stdout:
            if line.startswith("status ") and texts.LOCKING in line:
                break
        threading.Timer(0.5, program.kill).start()
        program.wait(timeout=60)
        self.assertEqual(program.returncode, -signal.SIGKILL)
        self.assertFalse(checks.wait_for_no_office(suite.OFFICE_MARKER))
        self.assertEqual(open(path, "rb").read(), before)

    def test_an_office_that_stops_answering_is_ended_and_the_lock_fails(self):
        # The office is stopped while the lock opens the workbook: past the operation's bound (3 s
        # here, and 1 s per megabyte of the workbook) it is ended, the lock fails the way any
        # failed lock does, and the workbook is as it was.  (An office stopped between two
        # operations is found not answering and replaced: the next operation works.)
        path = self.large_binary_workbook()
        with open(path, "rb") as original:
            before = original.read()
        environment = dict(os.environ, XDG_DATA_HOME=self.data_home)
        environment.pop("DISPLAY", None)
        program = subprocess.Popen([suite.DRIVER, "--profile", suite.PROFILE, "--operation-bound",
                                    "3000", "1000", "run", path],
                                   stdout=subprocess.PIPE, text=True, env=environment)
        self.addCleanup(program.kill)
        for line in program.stdout:
            if line.startswith("status ") and texts.LOCKING in line:
                break
        deadline = time.monotonic() + 60
        # The office opens the workbook once the lock says it does.
        while (not any(line.startswith(texts.LOCK_BY_APPLICATION) for line in self.log_lines())
               and time.monotonic() < deadline):
            time.sleep(0.001)
        stopped = checks.office_processes(suite.OFFICE_MARKER)
        self.assertTrue(stopped)
        for pid in stopped:
            os.kill(pid, signal.SIGSTOP)
        started = time.monotonic()
        program.communicate(timeout=120)
        ended = time.monotonic() - started
        self.assertEqual(program.returncode, 0)
        lines = self.log_lines()
        self.assertEqual(lines[-1], texts.F4[0], lines)
        self.assertIn(texts.catch(texts.LOCK), lines)
        self.assertIn(texts.error(texts.LOCK, texts.OFFICE_NOT_ANSWERING.format(path)), lines)
        with open(path, "rb") as after:
            self.assertEqual(after.read(), before)
        self.assertFalse(checks.wait_for_no_office(suite.OFFICE_MARKER))
        print(f"BOUND stopped office ended, lock failed {ended:.1f} s after the stop",
              flush=True)

    def test_a_file_larger_than_any_workbook_is_not_given_to_the_office(self):
        # 4 GiB of nothing named .xlsx: the probe and the open fail at once, the office untouched
        # by it (it would read it for many minutes, taking many gigabytes).
        path = os.path.join(self.folder, "huge.xlsx")
        with open(path, "wb") as huge:
            huge.truncate(4 << 30)
        code, events = suite.driver("run", path, data_home=self.data_home, timeout=60)
        self.assertEqual(code, 0)
        lines = self.log_lines()
        self.assertEqual(lines[-1], texts.F2[0], lines)
        self.assertEqual(os.path.getsize(path), 4 << 30)

    def test_a_missing_office_ends_start_up_with_its_message(self):
        code, events = suite.driver("--office", "/nonexistent/libreoffice/soffice", "run",
                                    self.workbook(), data_home=self.data_home)
        self.assertEqual(code, 0)
        self.assertIn("terminate ", events)
        self.assertNotIn("started ", events)
        lines = self.log_lines()
        errors = [line for line in lines if line.startswith(texts.error(texts.FIND))]
        self.assertEqual(len(errors), 1, lines)
        self.assertIn("/nonexistent/libreoffice/soffice", errors[0])
        self.assertIn("LibreOffice", errors[0])
        self.assertEqual(lines[-1], texts.NOT_INSTALLED)

    def test_two_programs_at_once_each_lock_their_workbook(self):
        paths = [self.workbook("first one.xlsx"), self.workbook("second one.xlsx")]
        results = {}

        def lock(path):
            results[path] = suite.driver("run", path, data_home=self.data_home)

        threads = [threading.Thread(target=lock, args=(path,)) for path in paths]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for path in paths:
            code, events = results[path]
            self.assertEqual(code, 0, events)
            self.assertIn("close-window ", events, events)
            self.assertTrue(checks.is_encrypted(path))
            checks.decrypt(path, suite.password_of(os.path.basename(path)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
