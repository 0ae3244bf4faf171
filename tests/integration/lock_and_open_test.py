"""The lock road and the open road through the program's portable part and the real office, for
.xlsx and .xls, checked with msoffcrypto, openpyxl and xlrd."""

import hashlib
import os
import socket
import unittest

import openpyxl

import checks
import suite
import workbooks

WARNING = ("本シートは絶対に変更しないで下さい。変更しますとパスワード解除できなくなり、"
           "ファイルを開くことができなくなります。")
OPEN_FAILED = "ファイルのオープンに失敗しました。"
# Digits and the letters p to z make derived passwords with lone lead bytes and control bytes.
NAME = "report 9 query"
USER_SHEETS = ["Data", "第二", "Third"]


def this_computer():
    return socket.gethostname().strip().upper()


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


class Roads(unittest.TestCase):
    extension = None  # set by the subclasses

    def setUp(self):
        self.folder = suite.fresh_folder(f"lock_and_open/{self._testMethodName}.{self.extension}")
        self.data_home = os.path.join(self.folder, "data")
        self.backup_folder = os.path.join(self.data_home, "Kovrisk", "BackUp")

    def tearDown(self):
        left = checks.wait_for_no_office(suite.OFFICE_MARKER)
        checks.kill_all(left)
        self.assertEqual(left, [], "office processes left behind")

    def make(self, name=NAME, sheets=None):
        path = os.path.join(self.folder, f"{name}.{self.extension}")
        if self.extension == "xlsx":
            workbooks.make_xlsx(path, sheets=sheets)
        else:
            workbooks.make_xls(path, suite.CONVERT_PROFILE, sheets=sheets)
        return path

    def run_program(self, path):
        code, events = suite.driver("run", path, data_home=self.data_home)
        self.assertEqual(code, 0, events)
        return events

    def log_lines(self):
        folder = os.path.join(self.data_home, "Kovrisk", "syslog")
        text = "".join(open(os.path.join(folder, name), encoding="cp932").read()
                       for name in sorted(os.listdir(folder)))
        return [line.split(",", 3)[3] for line in text.splitlines()]

    def lock(self, path):
        events = self.run_program(path)
        self.assertIn("close-window ", events, events)
        self.assertFalse([e for e in events if e.startswith("box ")], events)
        self.assertIn("パスワード施工完了。", self.log_lines())

    def assert_user_data_kept(self, locked, original):
        for name in USER_SHEETS:
            with self.subTest(sheet=name):
                self.assertEqual(locked.sheet(name).cells, original.sheet(name).cells)
                self.assertFalse(locked.sheet(name).hidden)

    def test_lock_adds_the_control_sheet_and_the_file_password_and_locks_the_backup(self):
        path = self.make(sheets=[("Data", False), ("kovrisk", False), ("第二", False),
                                 ("Third", False)])
        original = checks.read_book(path, None)
        self.lock(path)

        password = suite.password_of(os.path.basename(path))
        self.assertTrue(any(ord(c) < 0x20 for c in password), "the name should give control bytes")
        self.assertTrue(checks.is_encrypted(path))
        self.assertTrue(checks.refuses(path, "MIRTHOLAN"))
        self.assertTrue(checks.refuses(path, password + "x"))
        self.assertFalse(os.path.exists(path + ".pwd"))
        self.assertEqual([n for n in os.listdir(os.path.dirname(path)) if n.startswith(".kovrisk-")],
                         [], "a private folder was left beside the workbook")

        book = checks.read_book(path, password)
        self.assertEqual(book.names, USER_SHEETS + ["Kovrisk"])
        control = book.sheet("Kovrisk")
        self.assertTrue(control.hidden)
        self.assertTrue(control.protected)
        self.assertEqual(control.cells.get("A1"), WARNING)
        self.assertEqual(set(control.cells), {"A1", "Z2"})
        self.assertEqual(suite.decode_tag(control.cells["Z2"]), this_computer())
        self.assertIn("Z2", control.white)
        self.assertEqual(book.active, "Data")
        self.assert_user_data_kept(book, original)

        backup = os.path.join(self.backup_folder, os.path.basename(path))
        self.assertTrue(checks.refuses(backup, password))
        backup_book = checks.read_book(backup, "MIRTHOLAN")
        self.assertEqual(backup_book.names, original.names)
        self.assert_user_data_kept(backup_book, original)

    def test_open_road_checks_the_machine_and_hands_over_without_changing_the_file(self):
        path = self.make()
        self.lock(path)
        locked = digest(path)

        events = self.run_program(path)
        self.assertTrue([e for e in events if e.startswith("visible-at ")], events)
        self.assertIn("handover-no-display ", events)
        self.assertFalse([e for e in events if e.startswith("box ")], events)
        lines = self.log_lines()
        self.assertIn("fncXlsOpenChk():Catch Exception", lines)
        self.assertIn("fncXlsOpenExec():OPEN OK", lines)
        self.assertEqual(digest(path), locked)

    def test_a_renamed_locked_workbook_fails_to_open_without_asking(self):
        path = self.make()
        self.lock(path)
        renamed = os.path.join(self.folder, f"renamed.{self.extension}")
        os.rename(path, renamed)
        events = self.run_program(renamed)
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(len(boxes), 1, events)
        self.assertIn(OPEN_FAILED, boxes[0])
        self.assertIn("fncXlsOpenExec():パスワードが一致しません。", self.log_lines())


class XlsxRoads(Roads):
    extension = "xlsx"

    def foreign(self, tag):
        """A workbook with a control sheet holding `tag`, encrypted by officecrypto-tool (agile
        encryption, as Excel writes it) with its file password."""
        plain = os.path.join(self.folder, "plain-source.xlsx")
        workbooks.make_xlsx(plain)
        if tag is not None:
            book = openpyxl.load_workbook(plain)
            control = book.create_sheet("KOVRISK")
            control.sheet_state = "hidden"
            control["A1"] = WARNING
            control["Z2"] = tag
            control.protection.sheet = True
            book.save(plain)
        path = os.path.join(self.folder, f"{NAME}.xlsx")
        workbooks.encrypt_with_officecrypto_tool(plain, path, suite.password_of(os.path.basename(path)),
                                                 suite.NODE_MODULES)
        self.assertTrue(checks.is_encrypted(path))
        return path

    def test_a_workbook_encrypted_by_another_tool_opens_and_passes_the_check(self):
        path = self.foreign(suite.encode_name(this_computer()))
        events = self.run_program(path)
        self.assertIn("handover-no-display ", events)
        self.assertIn("fncXlsOpenExec():OPEN OK", self.log_lines())

    def test_a_workbook_locked_on_another_computer_is_refused_naming_this_one(self):
        path = self.foreign(suite.encode_name("ANOTHER-PC"))
        events = self.run_program(path)
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(boxes, [f"box PC名 {this_computer()} にはオープン許可がありません。"])
        self.assertNotIn("handover-no-display ", events)

    def test_a_workbook_without_control_sheet_is_refused_with_its_message(self):
        events = self.run_program(self.foreign(None))
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(boxes, ["box コヴリスクで作成された制御情報が見つかりません。"])
        self.assertNotIn("handover-no-display ", events)


class XlsRoads(Roads):
    extension = "xls"


del Roads

if __name__ == "__main__":
    unittest.main(verbosity=2)
