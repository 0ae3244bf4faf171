"""Two copies of the program started at the same moment: on one workbook (one copy claims it, the
other ends at once), and on two workbooks of one name in different folders (which share one backup
path).  Whichever copy wins, nothing is lost: each workbook is untouched or locked and readable,
the backup copy holds one of the workbooks' data, and the day's log holds every line of both runs,
whole; each copy's exit code is the one of its end."""

import functools
import time
import unittest

import e2e
import expected_texts as texts
from expected_texts import box, startup

ROUNDS = 3


def possible_logs(lines):
    """The log lines a run may have written, given what it showed on the terminal."""
    begin = startup(e2e.this_computer()) + [texts.STARTED]
    last = lines[-1] if lines else ""
    if last == texts.LOCKING:
        return [startup(e2e.this_computer()) + texts.lock_lines(binary=binary)
                for binary in (False, True)]
    if last == texts.NO_DISPLAY_HANDOVER:
        return [startup(e2e.this_computer()) + texts.open_lines()]
    if lines == box([texts.WORKBOOK_BUSY]):
        # The other run had claimed the workbook: ended at once, before its run.
        return [startup(e2e.this_computer()) + [texts.WORKBOOK_BUSY]]
    if lines[-1:] == box([texts.IN_USE]):
        # Probed while the other run's office held it: refused, naming the cause.
        return [begin + texts.PROBE_OPENS + [texts.IN_USE]]
    if lines[-1:] == box([texts.NO_CONTROL_SHEET]):
        # Probed while the other run held it, opened when the other had let it go unlocked.
        return [begin + texts.PROBE_FAILS + [texts.OPEN_EXEC_TRY, texts.NO_CONTROL_SHEET]]
    if lines[-5:] == box(texts.F2[1]):
        return [begin + texts.PROBE_FAILS + texts.OPEN_EXEC_FAILS + [texts.F2[0]]]
    if lines[-1:] == box(texts.F3[1]):
        return [begin + texts.PROBE_OPENS + [texts.F3[0]]]
    # An Excel 97-2003 workbook gets its control sheet from the office, which the log says.
    tries = [[texts.LOCK_TRY], [texts.LOCK_TRY, texts.LOCK_BY_APPLICATION + texts.BINARY_WORKBOOK]]
    if lines[-1:] == box(texts.F4[1]):
        return [begin + texts.PROBE_OPENS + attempt + tail + [texts.F4[0]]
                for attempt in tries for tail in failure_tails(texts.LOCK)]
    if lines[-1:] == box(texts.F5[1]):
        return [begin + texts.PROBE_OPENS + attempt + [texts.LOCK_CLOSE, texts.BACKUP_LOCK_TRY] +
                tail + [texts.F5[0]]
                for attempt in tries for tail in failure_tails(texts.BACKUP_LOCK)]
    return []


def label(lines):
    """How a run ended, for the suite's figures."""
    if lines[-1:] == [texts.LOCKING]:
        return "locked it"
    if lines[-1:] == [texts.NO_DISPLAY_HANDOVER]:
        return "opened it"
    if lines == box([texts.WORKBOOK_BUSY]):
        return "busy"
    return e2e.end_of(possible_logs(lines)[0])


def wait_for_first_end(runs, bound=120):
    """The first of `runs` to end within `bound` seconds, or None."""
    deadline = time.monotonic() + bound
    while time.monotonic() < deadline:
        for run in runs:
            if run.poll() is not None:
                return run
        time.sleep(0.01)
    return None


def exit_code(lines):
    """The exit code of a run, by what it showed on the terminal."""
    if lines[-1:] in ([texts.LOCKING], [texts.NO_DISPLAY_HANDOVER]):
        return 0
    return e2e.exit_code_of(possible_logs(lines)[0])


def failure_tails(operation):
    """How an operation's failure may show in the log: an error before or after the open, or a
    failed replacement."""
    return [texts.failure_tail(operation), texts.failure_tail(operation, workbook_open=True),
            [texts.DELETE_ERROR]]


def interleaves(log, first, second):
    """Whether `log` is `first` and `second` merged, each keeping its order."""
    if len(log) != len(first) + len(second):
        return False

    @functools.lru_cache(maxsize=None)
    def fits(i, j):
        if i == len(first) and j == len(second):
            return True
        k = i + j
        return ((i < len(first) and log[k] == first[i] and fits(i + 1, j)) or
                (j < len(second) and log[k] == second[j] and fits(i, j + 1)))

    return fits(0, 0)


class Concurrency(e2e.TestCase):
    suite = "concurrency"

    def run_both(self, first, second):
        runs = [self.case.start(first, answer="y\n"), self.case.start(second, answer="y\n")]
        lines = [e2e.finish(run, expected_code=None) for run in runs]
        log = self.case.log_messages()
        for run, shown in zip(runs, lines):
            self.assertEqual(run.returncode, exit_code(shown), shown)
        # Both runs whole in the log: every line framed (log_messages checks that), and the log is
        # the two runs' lines merged line by line.
        candidates = [possible_logs(run) for run in lines]
        self.assertTrue(all(candidates), f"a run ended in no known way: {lines}")
        self.assertTrue(any(interleaves(tuple(log), tuple(a), tuple(b))
                            for a in candidates[0] for b in candidates[1]),
                        f"the log is not both runs whole: {log}")
        self.assert_no_temporary_copies(first.parent, second.parent, self.case.backup_folder)
        self.assert_no_processes()
        return lines, log

    def assert_readable(self, path, source):
        """The workbook at `path` is untouched or fully locked, with the data of `source`."""
        if e2e.digest(path) == e2e.digest(source):
            return "untouched"
        self.assert_locked(path, source)
        return "locked"

    def assert_backup_holds(self, backup, *sources):
        """The backup copy holds the user's data of one of `sources`, readable with the backup
        password, the file password of its name (a copy of a workbook locked meanwhile), or none."""
        for password in (e2e.BACKUP_PASSWORD, e2e.office_password(backup.name), None):
            try:
                book = e2e.checks.read_book(str(backup), password)
            except Exception:
                continue
            found = e2e.user_sheets(book)
            expected = [e2e.user_sheets(e2e.checks.read_book(str(source), None))
                        for source in sources]
            self.assertIn(found, expected)
            return password
        self.fail(f"the backup copy {backup} cannot be read")

    def test_two_runs_at_once_on_one_workbook(self):
        for extension in ("xlsx", "xls"):
            for round_ in range(ROUNDS if extension == "xlsx" else 1):
                with self.subTest(extension=extension, round=round_):
                    self.case = e2e.Case(self.suite, f"{self._testMethodName}.{extension}{round_}")
                    source = self.library / f"plain.{extension}"
                    path = e2e.place(source, self.case.books / f"Shared.{extension}")
                    # Whichever run claims the workbook first holds it while it waits at the
                    # question; the other ends at once, having changed nothing.
                    runs = [self.case.start(path, keep_input=True) for _ in range(2)]
                    first_end = wait_for_first_end(runs)
                    self.assertIsNotNone(first_end, "neither run ended")
                    waiting = runs[1 - runs.index(first_end)]
                    self.assertIsNone(waiting.poll(), "both runs ended")
                    lines = e2e.finish(first_end, expected_code=texts.EXIT_CODES["busy"])
                    self.assertEqual(lines, box([texts.WORKBOOK_BUSY]))
                    self.assertEqual(e2e.digest(path), e2e.digest(source))
                    self.assertFalse(self.case.backup(path.name).exists())
                    waiting.stdin.write(b"y\n")
                    waiting.stdin.close()
                    waiting.stdin = None
                    self.assertEqual(e2e.finish(waiting)[-1:], [texts.LOCKING])
                    self.assert_locked(path, source)
                    self.assert_backup_of(self.case.backup(path.name), source)
                    busy_lines = startup(e2e.this_computer()) + [texts.WORKBOOK_BUSY]
                    lock_lines = startup(e2e.this_computer()) + texts.lock_lines()
                    self.assertTrue(interleaves(tuple(self.case.log_messages()),
                                                tuple(busy_lines), tuple(lock_lines)),
                                    self.case.log_messages())
                    self.assert_no_temporary_copies(path.parent, self.case.backup_folder)
                    self.assert_no_processes()
                    print("CONCURRENT one workbook: one run busy, the other locked it", flush=True)

    def test_two_runs_at_once_on_two_workbooks_of_one_name(self):
        for kind in ("plain", "large"):
            for round_ in range(ROUNDS if kind == "plain" else 2):
                with self.subTest(first=kind, round=round_):
                    self.case = e2e.Case(self.suite, f"{self._testMethodName}.{kind}{round_}")
                    sources = [self.library / f"{kind}.xlsx", self.library / "other.xlsx"]
                    paths = [e2e.place(sources[0], self.case.books / "one" / "Book.xlsx"),
                             e2e.place(sources[1], self.case.books / "two" / "Book.xlsx")]
                    lines, log = self.run_both(*paths)
                    states = [self.assert_readable(p, s) for p, s in zip(paths, sources)]
                    ends = [e2e.end_of(possible_logs(run)[0]) for run in lines]
                    for state, end in zip(states, ends):
                        self.assertEqual(state, "untouched" if end in ("F3", "F4") else "locked")
                    self.assert_backup_holds(self.case.backup("Book.xlsx"), *sources)
                    print(f"CONCURRENT two workbooks: {[label(run) for run in lines]}", flush=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
