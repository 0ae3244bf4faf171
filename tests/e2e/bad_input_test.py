"""Inputs a user may drop on the program that are not a plain workbook, each with the end the run
gives it (a failure box, a refusal or success), and each leaving the file and an earlier backup
copy of the same name as they were, or the workbook fully locked."""

import os
import pathlib
import sys
import time
import unittest

import e2e
import expected_texts as texts
from expected_texts import box, startup
import office_tool
import workbooks

FAILED_OPEN_LOG = [texts.STARTED] + texts.PROBE_FAILS + texts.OPEN_EXEC_FAILS + [texts.F2[0]]
FAILED_OPEN_LINES = [texts.STARTING, texts.PREPARING_OPEN] + box(texts.F2[1])


class BadInput(e2e.TestCase):
    suite = "bad_input"

    def earlier_backup(self, name):
        """An earlier backup copy of another workbook of the same name; returns its digest."""
        return e2e.digest(e2e.place(self.library / "other.xlsx", self.case.backup(name)))

    def fails_to_open(self, path):
        """Runs on `path` and expects the failed open (F2), with the path and an earlier backup
        copy of its name left as they were."""
        path = pathlib.Path(path)
        before = e2e.digest(path) if path.is_file() else None
        backup = self.earlier_backup(path.name)
        listing = sorted(os.listdir(path.parent))
        backups = sorted(os.listdir(self.case.backup_folder))
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, FAILED_OPEN_LINES)
        self.assertEqual(log, startup(e2e.this_computer()) + FAILED_OPEN_LOG)
        if before is not None:
            self.assert_untouched(path, before)
        self.assertEqual(sorted(os.listdir(path.parent)), listing)
        self.assert_untouched(self.case.backup(path.name), backup)
        self.assertEqual(sorted(os.listdir(self.case.backup_folder)), backups)

    def refuses_as_in_use(self, path):
        """Runs on `path` and expects the lock refused because the file cannot be written, with
        nothing changed."""
        before = e2e.digest(path)
        listing = sorted(os.listdir(path.parent))
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + box([texts.IN_USE]))
        self.assertEqual(log, startup(e2e.this_computer()) + [texts.STARTED] + texts.PROBE_OPENS +
                         [texts.IN_USE])
        self.assert_untouched(path, before)
        self.assertEqual(sorted(os.listdir(path.parent)), listing)
        self.assertFalse(self.case.backup_folder.is_dir() and
                         any(self.case.backup_folder.iterdir()))

    def locks_and_opens(self, path, source, file_name=None):
        """Runs twice on `path`: the first run locks it (the user's sheets of `source` kept), the
        second opens it."""
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
        self.assertEqual(log, startup(e2e.this_computer()) +
                         texts.lock_lines())
        self.assert_locked(path, source, file_name=file_name)
        self.assert_backup_of(self.case.backup(pathlib.Path(path).name), source)
        self.assert_no_temporary_copies(pathlib.Path(path).parent, self.case.backup_folder)
        locked = e2e.digest(path)
        lines, log = self.case.run(path)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN, texts.NO_DISPLAY_HANDOVER])
        self.assertEqual(log, startup(e2e.this_computer()) + texts.open_lines())
        self.assert_untouched(path, locked)

    def test_a_missing_file(self):
        self.fails_to_open(self.case.books / "Missing.xlsx")
        self.assertFalse((self.case.books / "Missing.xlsx").exists())

    def is_no_workbook_file(self, path, text):
        """Runs on `path` and expects the run to end at its start with `text`, before any office
        reads the file, with everything left as it was."""
        backup = self.earlier_backup(pathlib.Path(path).name)
        listing = sorted(os.listdir(pathlib.Path(path).parent))
        lines, log = self.case.run(path, answer="y\n", timeout=60)
        self.assertEqual(lines, box([text]))
        self.assertEqual(log, startup(e2e.this_computer()) + [text])
        self.assertEqual(sorted(os.listdir(pathlib.Path(path).parent)), listing)
        self.assert_untouched(self.case.backup(pathlib.Path(path).name), backup)

    def test_a_folder(self):
        folder = self.case.books / "Folder.xlsx"
        folder.mkdir()
        (folder / "inside.txt").write_text("kept\n")
        self.is_no_workbook_file(folder, texts.NOT_A_REGULAR_WORKBOOK)
        self.assertEqual(os.listdir(folder), ["inside.txt"])

    def test_a_pipe_a_device_and_a_system_file_named_as_workbooks(self):
        pipe = self.case.books / "Pipe.xlsx"
        os.mkfifo(pipe)
        device = self.case.books / "Device.xls"
        device.symlink_to("/dev/zero")
        system = self.case.books / "Status.xlsx"
        system.symlink_to("/proc/self/status")
        self.is_no_workbook_file(pipe, texts.NOT_A_REGULAR_WORKBOOK)
        self.is_no_workbook_file(device, texts.NOT_A_REGULAR_WORKBOOK)
        # A file of the system's that reads as text but has no size.
        self.is_no_workbook_file(system, texts.EMPTY_WORKBOOK)

    def test_random_bytes_named_xlsx(self):
        path = self.case.books / "Random.xlsx"
        path.write_bytes(os.urandom(20000))
        self.fails_to_open(path)

    def test_a_text_file_named_xls(self):
        path = self.case.books / "Notes.xls"
        path.write_text("date,amount\n2024-01-01,100\n")
        self.fails_to_open(path)

    def test_workbooks_with_a_password_set_by_someone_else(self):
        xlsx = workbooks.encrypt_with_officecrypto_tool(
            str(self.library / "plain.xlsx"), str(self.case.books / "Theirs.xlsx"),
            "not the derived", e2e.NODE_MODULES)
        with office_tool.Office(e2e.TOOL_PROFILES / "bad_input") as office:
            xls = office.convert(self.library / "plain.xls", self.case.books / "Theirs.xls",
                                 password="not the derived")
        for path in (xlsx, xls):
            with self.subTest(path=path):
                self.assertTrue(e2e.checks.is_encrypted(str(path)))
                self.fails_to_open(path)

    def test_a_workbook_held_open_by_another_office(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Held.xlsx")
        with office_tool.Office(e2e.TOOL_PROFILES / "bad_input") as office:
            document = office.load(path, hidden=False)
            lock_file = self.case.books / ".~lock.Held.xlsx#"
            self.assertTrue(lock_file.exists())
            lock = lock_file.read_bytes()
            # It opens read-only here: the lock is refused, naming the cause.
            self.refuses_as_in_use(path)
            self.assertIsNone(office.process.poll(), "the other office was ended")
            self.assertEqual(lock_file.read_bytes(), lock)
            document.close(True)
        # Once the other office let it go, the workbook locks as any other.
        self.locks_and_opens(path, self.library / "plain.xlsx")

    def test_a_file_larger_than_any_workbook(self):
        # 4 GiB of nothing (a sparse file) named .xlsx: refused before the run, without the office
        # reading it, which would keep it busy for many minutes and take many gigabytes.
        path = self.case.books / "Huge.xlsx"
        with open(path, "wb") as huge:
            huge.truncate(4 << 30)
        before = os.stat(path)
        started = time.monotonic()
        lines, log = self.case.run(path, answer="y\n", timeout=90)
        print(f"HUGE FILE refused in {time.monotonic() - started:.1f} s", file=sys.stderr,
              flush=True)
        self.assertEqual(lines, box([texts.TOO_LARGE]))
        self.assertEqual(log, startup(e2e.this_computer()) + [texts.TOO_LARGE])
        after = os.stat(path)
        self.assertEqual((after.st_ino, after.st_size, after.st_mtime_ns),
                         (before.st_ino, before.st_size, before.st_mtime_ns))
        self.assertFalse(self.case.backup_folder.exists())

    def test_an_empty_file_is_no_workbook(self):
        # A file of no bytes is no workbook: said so at the start.
        path = self.case.books / "Empty.xlsx"
        path.write_bytes(b"")
        self.is_no_workbook_file(path, texts.EMPTY_WORKBOOK)
        self.assertEqual(path.read_bytes(), b"")

    def test_all_sheets_hidden_but_one(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                source = self.library / f"hidden.{extension}"
                path = e2e.place(source, self.case.books / f"Hidden sheets.{extension}")
                self.locks_and_opens(path, source)
                self.assertEqual(e2e.read_locked(path).active, "Shown")

    def test_japanese_characters_spaces_and_a_path_over_260_bytes(self):
        folder = self.case.books / ("年度 予算 フォルダ " * 4) / ("第 2 四半期 資料 " * 5)
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                source = self.library / f"plain.{extension}"
                path = e2e.place(source, folder / f"売上 データ 2024 年.{extension}")
                self.assertGreater(len(os.fsencode(path)), 260)
                self.locks_and_opens(path, source)

    def test_names_shift_jis_cannot_hold(self):
        # The file password comes from the name in Shift-JIS, where such characters read "?".
        emoji = e2e.place(self.library / "plain.xlsx", self.case.books / "📊 Sales ü.xlsx")
        self.locks_and_opens(emoji, self.library / "plain.xlsx", file_name="? Sales ?.xlsx")
        raw = e2e.place(self.library / "plain.xlsx",
                        os.fsencode(self.case.books) + b"/\x92\xa0\x95\xeb \xff.xlsx")
        self.locks_and_opens(os.fsdecode(raw), self.library / "plain.xlsx",
                             file_name="???? ?.xlsx")

    def test_a_symbolic_link(self):
        # The link stays; the workbook it leads to is the one locked, and opened again through it.
        target = e2e.place(self.library / "plain.xlsx", self.case.books / "real" / "Real.xlsx")
        link = self.case.books / "Linked.xlsx"
        link.symlink_to(target)
        self.locks_and_opens(link, self.library / "plain.xlsx")
        self.assertTrue(link.is_symlink())
        self.assertEqual(os.path.realpath(link), str(target))

    def test_a_file_name_too_long_for_the_offices_lock_file(self):
        # The office keeps ".~lock.<name>#" beside an open file: a name of 248 bytes or more
        # leaves no room for it, and the office would open the file read-only: the run ends at
        # its start, naming the cause, and nothing changes.
        path = e2e.place(self.library / "plain.xlsx", self.case.books / ("L" * 243 + ".xlsx"))
        self.is_no_workbook_file(path, texts.NAME_TOO_LONG)

    def test_a_name_with_another_extension(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Book.xlsm")
        before = e2e.digest(path)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, box([texts.BAD_EXTENSION]))
        self.assertEqual(log, [texts.FIND_LINE, texts.BAD_EXTENSION])
        self.assert_untouched(path, before)
        self.assertFalse(self.case.backup_folder.exists())


if __name__ == "__main__":
    unittest.main(verbosity=2)
