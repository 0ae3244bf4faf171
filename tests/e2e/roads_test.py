"""The program as a user runs it in a terminal, with the real LibreOffice: the lock road and then
the open road on the same workbook (.xlsx and .xls), with the activity log read line by line and
the backup copy read back; read-only files; renamed and moved workbooks; two workbooks of one name;
cancelling; and the open road's refusals."""

import datetime
import os
import shutil
import subprocess
import unittest

import e2e
import expected_texts as texts
from expected_texts import box, startup
import openpyxl
import public_workbooks
import workbooks


class Roads(e2e.TestCase):
    suite = "roads"
    extension = None  # set by the subclasses

    def source(self, kind="plain"):
        return self.library / f"{kind}.{self.extension}"

    def lock(self, path, answer="y\n", **options):
        lines, log = self.case.run(path, answer=answer, **options)
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
        self.assertEqual(log[-1], texts.LOCKED, log)
        return log

    def open_granted(self, path, **options):
        lines, log = self.case.run(path, **options)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN, texts.NO_DISPLAY_HANDOVER])
        self.assertEqual(log[-1], texts.OPENED, log)
        return log

    def test_lock_then_open_the_same_workbook(self):
        path = e2e.place(self.source(), self.case.books / f"月次 Report 7.{self.extension}")
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
        self.assertEqual(log, startup(e2e.this_computer()) +
                         texts.lock_lines())
        self.assert_no_processes()

        # The log: one file named after today, every line framed, dated today.
        days = self.case.log_files()
        self.assertEqual(len(days), 1)
        today = datetime.date.today()
        self.assertIn(days[0].name, {today.strftime("%Y%m%d.txt"),
                                     (today - datetime.timedelta(days=1)).strftime("%Y%m%d.txt")})
        for date, _, _ in e2e.parse_log(days[0].read_bytes()):
            self.assertEqual(date.replace("/", "") + ".txt", days[0].name)

        self.assert_locked(path, self.source())
        self.assertEqual(e2e.mode(path), 0o644)
        backup = self.case.backup(path.name)
        self.assertTrue(e2e.checks.refuses(str(backup), e2e.office_password(path.name)))
        self.assert_backup_of(backup, self.source())
        # The workbook's permissions, the user's alone.
        self.assertEqual(e2e.mode(backup), 0o600)
        self.assertEqual(sorted(os.listdir(self.case.backup_folder)), [path.name])
        self.assertEqual(sorted(os.listdir(self.case.books)), [path.name])
        locked, backed_up = e2e.digest(path), e2e.digest(backup)

        log = self.open_granted(path)
        self.assertEqual(log, startup(e2e.this_computer()) + texts.open_lines())
        self.assert_untouched(path, locked)
        self.assert_untouched(backup, backed_up)
        self.assertEqual(sorted(os.listdir(self.case.books)), [path.name])

    def test_a_read_only_workbook_and_a_read_only_earlier_backup(self):
        path = e2e.place(self.source(), self.case.books / f"読み取り専用.{self.extension}", 0o444)
        backup = e2e.place(self.source("other"), self.case.backup(path.name), 0o440)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
        self.assertEqual(log, startup(e2e.this_computer()) + texts.lock_lines(
            earlier_backup_read_only=backup, workbook_read_only=path, backup_read_only=backup))
        self.assert_locked(path, self.source())
        self.assert_backup_of(backup, self.source())
        # The workbook's permissions are back, and the backup copy has the workbook's, the
        # user's alone.
        self.assertEqual(e2e.mode(path), 0o444)
        self.assertEqual(e2e.mode(backup), 0o400)
        self.assert_no_temporary_copies()
        self.open_granted(path)

    def test_a_renamed_locked_workbook_fails_and_a_moved_one_opens(self):
        path = e2e.place(self.source(), self.case.books / f"Quarterly plan 2024.{self.extension}")
        self.lock(path)
        locked = e2e.digest(path)

        renamed = self.case.books / f"Quarterly report.{self.extension}"
        os.rename(path, renamed)
        lines, log = self.case.run(renamed)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN] + box(texts.F2[1]))
        self.assertEqual(log, startup(e2e.this_computer()) + [texts.STARTED] + texts.PROBE_FAILS +
                         texts.OPEN_EXEC_FAILS + [texts.F2[0]])
        self.assert_untouched(renamed, locked)

        # Only the first fifteen bytes of the stem count: this name keeps the password.
        same_key = self.case.books / f"Quarterly plan 2025.{self.extension}"
        os.rename(renamed, same_key)
        self.open_granted(same_key)
        self.assert_untouched(same_key, locked)

        moved = self.case.root / "elsewhere" / path.name
        moved.parent.mkdir()
        os.rename(same_key, moved)
        self.open_granted(moved)
        self.assert_untouched(moved, locked)

    def test_two_workbooks_of_one_name_share_the_backup_copy(self):
        name = f"Book1.{self.extension}"
        first = e2e.place(self.source(), self.case.books / "first" / name)
        second = e2e.place(self.source("other"), self.case.books / "second" / name)
        backup = self.case.backup(name)
        self.lock(first)
        self.assert_backup_of(backup, self.source())
        self.lock(second)
        self.assert_backup_of(backup, self.source("other"))
        self.assert_locked(first, self.source())
        self.assert_locked(second, self.source("other"))
        self.assertEqual(sorted(os.listdir(self.case.backup_folder)), [name])
        self.open_granted(first)
        self.open_granted(second)

    def test_any_answer_but_yes_cancels_and_touches_nothing(self):
        path = e2e.place(self.source(), self.case.books / f"Budget.{self.extension}")
        before = e2e.digest(path)
        for answer in ("n\n", "\n", None, "yes please\n"):
            with self.subTest(answer=answer):
                lines, log = self.case.run(path, answer=answer)
                self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL)
                self.assertEqual(log, startup(e2e.this_computer()) + [texts.STARTED] +
                                 texts.PROBE_OPENS + [texts.CANCELLED])
                self.assert_untouched(path, before)
                self.assertFalse(self.case.backup_folder.exists())
                self.assert_no_processes()


class XlsxRoads(Roads):
    extension = "xlsx"


class XlsRoads(Roads):
    extension = "xls"


del Roads


class PublicWorkbooks(e2e.TestCase):
    """Workbooks Excel wrote, which nobody here made (from Debian's packages): each locks, its
    backup copy decrypts to the file as it was, and it opens again; Excel 95 is refused."""
    suite = "roads"

    BOOKS = ["Test97J.xls", "datasets.xls", "namesdemo.xls", "readTest.xlsx",
             "loadPivotTables.xlsx", "type-me.xlsx"]

    def test_real_workbooks_lock_with_a_byte_exact_backup_and_open_again(self):
        folder = public_workbooks.folder(e2e.OUTPUT)
        for name in self.BOOKS:
            with self.subTest(book=name):
                source = folder / name
                path = e2e.place(source, self.case.books / name)
                lines, log = self.case.run(path, answer="y\n")
                self.assertEqual(log[-1], texts.LOCKED, log)
                password = e2e.office_password(path.name)
                book = e2e.checks.read_book(str(path), password)
                self.assertEqual(book.names, e2e.checks.read_book(str(source), None).names
                                 + [texts.CONTROL_SHEET])
                self.assert_backup_of(self.case.backup(name), source)
                lines, log = self.case.run(path)
                self.assertEqual(log[-1], texts.OPENED, log)
        self.assert_no_temporary_copies()
        self.assert_no_processes()

    def test_an_excel_95_workbook_is_refused_untouched(self):
        source = public_workbooks.folder(e2e.OUTPUT) / "Test95J.xls"
        path = e2e.place(source, self.case.books / source.name)
        lines, log = self.case.run(path)
        self.assertTrue(log[-1].startswith(texts.ACTUAL_FORMAT_START), log)
        self.assertEqual(e2e.digest(path), e2e.digest(source))
        self.assertFalse(self.case.backup(source.name).exists())


class Refusals(e2e.TestCase):
    """Workbooks that open with the file password but may not be handed over: made with openpyxl
    and encrypted by officecrypto-tool, with no help from the program."""

    suite = "refusals"
    NAME = "受注 一覧 2024.xlsx"

    def foreign(self, z2=None, a2=None, control=True):
        plain = self.case.root / "plain.xlsx"
        shutil.copyfile(self.library / "plain.xlsx", plain)
        if control:
            book = openpyxl.load_workbook(plain)
            sheet = book.create_sheet("KOVRISK")
            sheet.sheet_state = "hidden"
            sheet["A1"] = texts.WARNING
            if z2 is not None:
                sheet["Z2"] = z2
            if a2 is not None:
                sheet["A2"] = a2
            sheet.protection.sheet = True
            book.save(plain)
        path = self.case.books / self.NAME
        workbooks.encrypt_with_officecrypto_tool(str(plain), str(path),
                                                 e2e.office_password(self.NAME), e2e.NODE_MODULES)
        return path

    def refused(self, path, message, checks):
        before = e2e.digest(path)
        lines, log = self.case.run(path)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN] + box([message]))
        self.assertEqual(log, startup(e2e.this_computer()) + [texts.STARTED] + texts.PROBE_FAILS +
                         [texts.OPEN_EXEC_TRY] + checks + [message])
        self.assert_untouched(path, before)
        self.assert_no_processes()

    def test_no_control_sheet(self):
        self.refused(self.foreign(control=False), texts.NO_CONTROL_SHEET, [])

    def test_another_computers_tag(self):
        self.refused(self.foreign(z2=e2e.encode_tag("ANOTHER-PC")),
                     texts.refusal(e2e.this_computer()), texts.machine_checks())

    def test_empty_tags(self):
        self.refused(self.foreign(), texts.refusal(e2e.this_computer()),
                     texts.machine_checks(z2_empty=True))

    def test_a_tag_of_an_empty_name_never_grants(self):
        self.refused(self.foreign(z2=e2e.encode_tag(""), a2=e2e.encode_tag("")),
                     texts.refusal(e2e.this_computer()), texts.machine_checks())

    def test_the_earlier_layout_with_the_tag_in_a2_opens(self):
        path = self.foreign(a2=e2e.encode_tag(e2e.this_computer().lower()))
        lines, log = self.case.run(path)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN, texts.NO_DISPLAY_HANDOVER])
        self.assertEqual(log, startup(e2e.this_computer()) + texts.open_lines(z2_empty=True))


# A computer name of the test's choosing, in a UTS namespace of the program's own.
HOSTNAME_SCRIPT = ("import os, socket, sys; socket.sethostname(sys.argv[1]); "
                   "os.execv(sys.argv[2], sys.argv[2:])")


def named_computer(name):
    return ["unshare", "--uts", "/usr/bin/python3", "-c", HOSTNAME_SCRIPT, name]


def can_name_computers():
    try:
        return subprocess.run(named_computer("kovrisk-probe") + ["/bin/true"],
                              capture_output=True, timeout=30).returncode == 0
    except OSError:
        return False


@unittest.skipUnless(can_name_computers(), "no UTS namespace here (needs CAP_SYS_ADMIN)")
class OtherComputers(e2e.TestCase):
    """Locked on one computer, opened on another: the computer name comes from the host name,
    set for the program alone in a namespace of its own."""

    suite = "computers"

    def test_locked_on_one_computer_refused_on_another(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                source = self.library / f"plain.{extension}"
                path = e2e.place(source, self.case.books / f"Shared book.{extension}")
                lines, log = self.case.run(path, answer="y\n", prefix=named_computer("pc-alpha"))
                self.assertEqual(log[:2], startup("PC-ALPHA"))
                self.assertEqual(log[-1], texts.LOCKED)
                self.assert_locked(path, source, computer="PC-ALPHA")
                locked = e2e.digest(path)

                lines, log = self.case.run(path, prefix=named_computer("PC-BETA"))
                self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN] +
                                 box([texts.refusal("PC-BETA")]))
                self.assertEqual(log[-1], texts.refusal("PC-BETA"))
                self.assert_untouched(path, locked)

                # Host names are compared in upper case.
                lines, log = self.case.run(path, prefix=named_computer("Pc-Alpha"))
                self.assertEqual(log[-1], texts.OPENED)
                self.assert_untouched(path, locked)

    def test_a_computer_without_a_name_locks_nothing_and_opens_nothing(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Nameless.xlsx")
        before = e2e.digest(path)
        # A workbook locked under no name could never be opened again: nothing is locked.
        lines, log = self.case.run(path, answer="y\n", prefix=named_computer(""))
        self.assertEqual(log[:2], startup(""))
        self.assertEqual(log[-1], texts.NO_COMPUTER_NAME)
        self.assertEqual(lines, [texts.STARTING] + box([texts.NO_COMPUTER_NAME]))
        self.assert_untouched(path, before)
        self.assertFalse(self.case.backup_folder.exists())
        # Nor does a workbook locked elsewhere open on it.
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED)
        lines, log = self.case.run(path, prefix=named_computer(""))
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN] + box([texts.refusal("")]))
        self.assertEqual(log[-4:], texts.machine_checks() + [texts.refusal("")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
