"""The program without a display: status texts and message boxes on standard error, the
confirmation answered on standard input, through pipes."""

import os
import subprocess
import unittest

import kovrisk_testing as kt
import expected_texts as texts
from expected_texts import box

class TerminalTest(unittest.TestCase):
    def setUp(self):
        self.home = kt.Home()
        self.addCleanup(self.home.cleanup)

    def run_program(self, *arguments, answer=None, code=0, **environment):
        """Runs the program; `answer` goes to standard input (None: input ends at once).  It must
        end with exit code `code`."""
        done = subprocess.run([kt.STANDIN, *map(str, arguments)],
                              input=(answer or "").encode(), capture_output=True,
                              env=self.home.environment(**environment), timeout=120)
        self.assertEqual(done.returncode, code, done.stderr.decode("utf-8"))
        return done.stderr.decode("utf-8").splitlines()

    def test_a_reader_that_stops_reading_does_not_end_the_run(self):
        # Standard error is a pipe nobody reads any more: the run still ends as it should.
        workbook = self.home.make_workbook()
        reader, writer = os.pipe()
        os.close(reader)
        try:
            done = subprocess.run([kt.STANDIN, str(workbook)], input=b"y\n", stdout=subprocess.PIPE,
                                  stderr=writer, env=self.home.environment(), timeout=120)
        finally:
            os.close(writer)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)

    def test_endless_input_at_the_question_is_no_answer(self):
        # Standard input that never ends a line: one short line is read, and it is no "yes".
        workbook = self.home.make_workbook()
        before = workbook.read_bytes()
        with open("/dev/zero", "rb") as zeros:
            done = subprocess.run([kt.STANDIN, str(workbook)], stdin=zeros, capture_output=True,
                                  env=self.home.environment(), timeout=30)
        self.assertEqual(done.returncode, texts.EXIT_CODES["C"])
        self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)
        self.assertEqual(workbook.read_bytes(), before)
        for answer in ("y" * 300 + "\n", "y" + " " * 300 + "\n"):
            self.assertEqual(self.run_program(workbook, answer=answer,
                                              code=texts.EXIT_CODES["C"])[-1:], [texts.PROMPT])
            self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)

    def test_yes_in_any_case_locks(self):
        for answer in ("y\n", "yes\n", "YES\n", "Y"):
            with self.subTest(answer=answer):
                self.home = kt.Home()
                self.addCleanup(self.home.cleanup)
                workbook = self.home.make_workbook()
                lines = self.run_program(workbook, answer=answer)
                self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
                self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)
                self.assertEqual(kt.describe_workbook(workbook),
                                 ("protected yes", ["Sheet1", texts.CONTROL_SHEET]))

    def test_anything_else_an_empty_line_or_the_end_of_input_cancels(self):
        for answer in ("n\n", "\n", None, "yes please\n", "ja\n"):
            with self.subTest(answer=answer):
                self.home = kt.Home()
                self.addCleanup(self.home.cleanup)
                workbook = self.home.make_workbook()
                before = workbook.read_bytes()
                lines = self.run_program(workbook, answer=answer, code=texts.EXIT_CODES["C"])
                self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL)
                self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)
                self.assertEqual(workbook.read_bytes(), before)
                self.assertFalse(self.home.backup().exists())

    def test_only_one_line_is_read(self):
        # The second line would say yes; the first one already decided.
        workbook = self.home.make_workbook()
        self.run_program(workbook, answer="\nyes\n", code=texts.EXIT_CODES["C"])
        self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)

    def test_a_message_box_puts_each_of_its_lines_on_a_line_of_its_own(self):
        workbook = self.home.make_workbook(password="not the derived one")
        lines = self.run_program(workbook, code=texts.EXIT_CODES["F2"])
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN] + box(texts.F2[1]))

    def test_no_argument_or_two_show_the_one_file_message_and_log_nothing(self):
        workbook = self.home.make_workbook()
        for arguments in ((), (workbook, workbook), ("",)):
            with self.subTest(arguments=arguments):
                lines = self.run_program(*arguments, code=texts.EXIT_CODES["drop one file"])
                self.assertEqual(lines, box([texts.DROP_ONE_FILE]))
                self.assertEqual(self.home.log_messages(), [])

    def test_a_display_that_cannot_be_reached_counts_as_none(self):
        done = subprocess.run([kt.STANDIN], capture_output=True, timeout=60,
                              env=self.home.environment(display=":65000"))
        self.assertEqual(done.returncode, texts.EXIT_CODES["drop one file"])
        self.assertEqual(done.stderr.decode("utf-8").splitlines(),
                         box([texts.DROP_ONE_FILE]))

    def test_every_end_says_why_and_has_its_own_exit_code(self):
        # A script tells a lock from a refusal or a failure by the exit code alone; every end
        # but a lock or an open says why on standard error, even one that shows no message box.
        workbook = self.home.make_workbook()
        lines = self.run_program(workbook, KOVRISK_STANDIN_MISSING="no such application",
                                 code=texts.EXIT_CODES["not installed"])
        self.assertEqual(lines, box([texts.NOT_INSTALLED]) + ["no such application"])
        self.assertEqual(self.home.log_messages(), [
            texts.FIND_LINE, texts.error(texts.FIND, "no such application"), texts.NOT_INSTALLED])
        lines = self.run_program(self.home.workbooks / "Book1.csv",
                                 code=texts.EXIT_CODES["bad extension"])
        self.assertEqual(lines, box([texts.BAD_EXTENSION]))
        self.assertEqual(self.home.log_messages()[-1], texts.BAD_EXTENSION)
        self.run_program(workbook, answer="y\n", code=0)
        self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)
        self.run_program(workbook, code=0)
        self.assertEqual(self.home.log_messages()[-1], texts.OPENED)
        renamed = workbook.rename(workbook.with_name("Renamed.xlsx"))
        self.run_program(renamed, code=texts.EXIT_CODES["F2"])
        self.assertEqual(self.home.log_messages()[-1], texts.F2[0])

    def test_a_second_run_on_a_workbook_being_worked_on_ends_at_once(self):
        # The first run is held in its probe; a second one on the same workbook, named another
        # way, ends at once, saying so, and changes nothing.
        workbook = self.home.make_workbook()
        before = workbook.read_bytes()
        release = self.home.root / "release"
        first = subprocess.Popen([kt.STANDIN, str(workbook)], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 env=self.home.environment(KOVRISK_STANDIN_HOLD=str(release)))
        self.addCleanup(first.kill)
        kt.wait_for_line(first.stdout, "pause", 60)
        other_name = self.home.root / "link.xlsx"
        other_name.symlink_to(workbook)
        lines = self.run_program(other_name, answer="y\n", code=texts.EXIT_CODES["busy"])
        self.assertEqual(lines, box([texts.WORKBOOK_BUSY]))
        self.assertEqual(self.home.log_messages()[-1], texts.WORKBOOK_BUSY)
        self.assertEqual(workbook.read_bytes(), before)
        self.assertFalse(self.home.backup().exists())
        release.touch()
        _, err = first.communicate(b"y\n", timeout=60)
        self.assertEqual(first.returncode, 0, err)
        self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)
        # The claim ended with its run: the next run on the workbook is free to open it.
        self.run_program(workbook, code=0)
        self.assertEqual(self.home.log_messages()[-1], texts.OPENED)
        self.assertEqual(list((self.home.data / "Kovrisk" / "claims").iterdir()), [])

    def test_text_goes_out_in_the_locale_encoding(self):
        # A locale of the test's own, EUC-JP, built from the system's locale sources.
        locales = self.home.root / "locales"
        locales.mkdir()
        built = subprocess.run(["localedef", "-i", "ja_JP", "-f", "EUC-JP",
                                str(locales / "ja_JP.EUC-JP")], capture_output=True)
        self.assertIn(built.returncode, (0, 1), built.stderr)  # 1: built, with warnings
        done = subprocess.run([kt.STANDIN], capture_output=True, timeout=60,
                              env=self.home.environment(LOCPATH=str(locales),
                                                        LANG="ja_JP.EUC-JP",
                                                        LC_ALL="ja_JP.EUC-JP"))
        self.assertEqual(done.stderr.decode("euc_jp").splitlines(),
                         box([texts.DROP_ONE_FILE]))

if __name__ == "__main__":
    unittest.main(verbosity=2)
