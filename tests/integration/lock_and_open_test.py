"""The lock road and the open road through the program's portable part and the real office, for
.xlsx and .xls, checked with msoffcrypto, openpyxl and xlrd."""

import hashlib
import io
import os
import shutil
import socket
import sys
import unittest
import zipfile

import openpyxl
from openpyxl.workbook.protection import WorkbookProtection

import checks
import expected_texts as texts
import suite
import workbooks

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import office_tool  # noqa: E402  (the e2e suites' own office, reused)

# Digits and the letters p to z make derived passwords with lone lead bytes and control bytes.
NAME = "report 9 query"
REGRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "regressions")
USER_SHEETS = ["Data", "第二", "Third"]


def this_computer():
    return socket.gethostname().strip().upper()


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


class Runs(unittest.TestCase):
    """A folder per test, the program's run on a workbook in it, and what it logged."""
    extension = None  # set by the subclasses

    def setUp(self):
        self.folder = suite.fresh_folder(f"lock_and_open/{self._testMethodName}.{self.extension}")
        self.data_home = os.path.join(self.folder, "data")
        self.backup_folder = os.path.join(self.data_home, "Kovrisk", "BackUp")

    def tearDown(self):
        left = checks.wait_for_no_office(suite.OFFICE_MARKER)
        checks.kill_all(left)
        self.assertEqual(left, [], "office processes left behind")

    def make(self, name=NAME, sheets=None, active=0, rows=3):
        path = os.path.join(self.folder, f"{name}.{self.extension}")
        if self.extension == "xlsx":
            workbooks.make_xlsx(path, sheets=sheets, active=active, rows=rows)
        else:
            workbooks.make_xls(path, suite.CONVERT_PROFILE, sheets=sheets, active=active,
                               rows=rows)
        return path

    def run_program(self, path):
        code, events = suite.driver("run", path, data_home=self.data_home)
        self.assertEqual(code, 0, events)
        return events

    def log_lines(self):
        return suite.log_messages(self.data_home)

    def lock(self, path):
        events = self.run_program(path)
        self.assertIn("close-window ", events, events)
        self.assertFalse([e for e in events if e.startswith("box ")], events)
        self.assertIn(texts.LOCKED, self.log_lines())

    def assert_refused(self, path, text):
        """The run refused to lock `path` with `text`, before anything changed."""
        before = digest(path)
        events = self.run_program(path)
        self.assertEqual([e for e in events if e.startswith("box ")], [f"box {text}"], events)
        self.assertEqual(self.log_lines()[-1], text)
        self.assertEqual(digest(path), before)
        self.assertFalse(os.path.exists(self.backup_folder) and os.listdir(self.backup_folder))

    def assert_user_data_kept(self, locked, original):
        for name in USER_SHEETS:
            with self.subTest(sheet=name):
                self.assertEqual(locked.sheet(name).cells, original.sheet(name).cells)
                self.assertFalse(locked.sheet(name).hidden)



class Roads(Runs):
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
        self.assertEqual(book.names, USER_SHEETS + [texts.CONTROL_SHEET])
        control = book.sheet(texts.CONTROL_SHEET)
        self.assertTrue(control.hidden)
        self.assertTrue(control.protected)
        self.assertEqual(control.cells.get("A1"), texts.WARNING)
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

    def test_the_locked_workbook_opens_on_its_first_visible_sheet(self):
        for hidden_first, expected in ((False, "Data"), (True, "第二")):
            with self.subTest(hidden_first=hidden_first):
                path = self.make(name=f"active {int(hidden_first)}", active=2,
                                 sheets=[("Data", hidden_first), ("第二", False), ("Third", False)])
                self.assertEqual(checks.read_book(path, None).active, "Third")
                self.lock(path)
                book = checks.read_book(path, suite.password_of(os.path.basename(path)))
                self.assertEqual(book.active, expected)
                self.assertEqual(book.sheet("Data").hidden, hidden_first)

    def test_open_road_checks_the_machine_and_hands_over_without_changing_the_file(self):
        path = self.make()
        self.lock(path)
        locked = digest(path)

        events = self.run_program(path)
        self.assertTrue([e for e in events if e.startswith("visible-at ")], events)
        self.assertIn("handover-no-display ", events)
        self.assertFalse([e for e in events if e.startswith("box ")], events)
        lines = self.log_lines()
        self.assertIn(texts.catch(texts.PROBE), lines)
        # The probe's failure is logged with LibreOffice's own text.
        failures = [line for line in lines if line.startswith(texts.error(texts.PROBE))]
        self.assertEqual(len(failures), 1, lines)
        self.assertGreater(len(failures[0]), len(texts.error(texts.PROBE)), lines)
        self.assertIn(texts.OPENED, lines)
        self.assertEqual(digest(path), locked)

    def test_a_renamed_locked_workbook_fails_to_open_without_asking(self):
        path = self.make()
        self.lock(path)
        renamed = os.path.join(self.folder, f"renamed.{self.extension}")
        os.rename(path, renamed)
        events = self.run_program(renamed)
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(len(boxes), 1, events)
        self.assertIn(texts.F2[1][0], boxes[0])
        self.assertIn(texts.WRONG_PASSWORD, self.log_lines())

    def test_a_workbook_locked_by_the_earlier_build_still_opens(self):
        # The earlier build had LibreOffice's own writer encrypt the lock: standard encryption
        # (AES-128) for packages, LibreOffice's RC4 CryptoAPI for binary workbooks.
        plain = os.path.join(self.folder, "earlier-source.xlsx")
        workbooks.make_xlsx(plain)
        book = openpyxl.load_workbook(plain)
        control = book.create_sheet(texts.CONTROL_SHEET)
        control.sheet_state = "hidden"
        control["A1"] = texts.WARNING
        control["Z2"] = suite.encode_name(this_computer())
        control.protection.sheet = True
        book.save(plain)
        path = os.path.join(self.folder, f"{NAME}.{self.extension}")
        with office_tool.Office(os.path.join(self.folder, "earlier-office")) as office:
            office.convert(plain, path, password=suite.password_of(os.path.basename(path)))
        self.assertTrue(checks.is_encrypted(path))
        before = digest(path)
        events = self.run_program(path)
        self.assertIn("handover-no-display ", events)
        self.assertEqual(self.log_lines()[-1], texts.OPENED)
        self.assertEqual(digest(path), before)


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
            control["A1"] = texts.WARNING
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
        self.assertIn(texts.OPENED, self.log_lines())

    def test_a_workbook_locked_on_another_computer_is_refused_naming_this_one(self):
        path = self.foreign(suite.encode_name("ANOTHER-PC"))
        events = self.run_program(path)
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(boxes, ["box " + texts.refusal(this_computer())])
        self.assertNotIn("handover-no-display ", events)

    def test_a_workbook_without_control_sheet_is_refused_with_its_message(self):
        events = self.run_program(self.foreign(None))
        boxes = [e for e in events if e.startswith("box ")]
        self.assertEqual(boxes, ["box " + texts.NO_CONTROL_SHEET])
        self.assertNotIn("handover-no-display ", events)


    def test_a_package_with_a_damaged_sheet_part_is_not_locked(self):
        path = self.make(rows=200)
        # Cut inside the second sheet's rows: LibreOffice loads what comes before, without a word.
        self.rewrite_part(path, "xl/worksheets/sheet2.xml", lambda data: data[:len(data) // 2])
        self.assert_refused(path, texts.NOT_READ_WHOLE)

    def test_a_package_rezipped_on_a_mac_is_locked(self):
        # The Finder keeps each part's resource fork beside it: "__MACOSX/._name.xml", no XML.
        path = self.make()
        with zipfile.ZipFile(path, "a") as package:
            for part in ("xl/workbook.xml", "xl/worksheets/sheet1.xml", "[Content_Types].xml"):
                folder, name = os.path.split(part)
                package.writestr(os.path.join("__MACOSX", folder, "._" + name),
                                 b"\x00\x05\x16\x07\x00\x02\x00\x00Mac OS X        ")
        self.lock(path)

    def test_a_workbook_part_beyond_the_read_bound_is_not_locked(self):
        # 61 KB whose workbook part unpacks to 16 MB, a comment repeating the structure lock's
        # element name: once checked for hours, now refused as not read whole, at once.
        path = os.path.join(self.folder, f"{NAME}.xlsx")
        shutil.copyfile(os.path.join(REGRESSIONS, "lockstructure-quadratic-16MB.xlsx"), path)
        self.assert_refused(path, texts.NOT_READ_WHOLE)

    def test_rows_beyond_the_applications_sheet_are_not_locked_away(self):
        path = self.make()
        beyond = (b'<row r="1100000"><c r="A1100000" t="inlineStr"><is><t>beyond</t></is></c>'
                  b'</row></sheetData>')
        self.rewrite_part(path, "xl/worksheets/sheet1.xml",
                          lambda data: data.replace(b"</sheetData>", beyond))
        self.assert_refused(path, texts.NOT_READ_WHOLE)

    @staticmethod
    def rewrite_part(path, part, change):
        """The package at `path` with one part changed."""
        rewritten = path + ".rewritten"
        with zipfile.ZipFile(path) as source, zipfile.ZipFile(rewritten, "w") as target:
            for item in source.infolist():
                data = source.read(item.filename)
                target.writestr(item, change(data) if item.filename == part else data)
        os.replace(rewritten, path)

    def test_the_locked_workbook_carries_excels_agile_encryption(self):
        path = self.make()
        self.lock(path)
        with open(path, "rb") as locked:
            streams = checks.ole_streams(locked.read())
        info = streams["EncryptionInfo"]
        self.assertEqual(info[:4], b"\x04\x00\x04\x00", "agile encryption is version 4.4")
        self.assertIn(b'hashAlgorithm="SHA512"', info)
        self.assertIn(b'spinCount="100000"', info)
        self.assertIn("\x06DataSpaces/DataSpaceMap", streams)
        self.assertEqual([n for n in os.listdir(self.folder) if n.endswith(".plain")], [])

    def test_a_package_marked_macro_enabled_is_locked_as_one(self):
        path = self.make()
        macro = b"application/vnd.ms-excel.sheet.macroEnabled.main+xml"
        self.rewrite_part(path, "[Content_Types].xml", lambda data: data.replace(
            b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml", macro))
        self.lock(path)
        data = checks.decrypt(path, suite.password_of(os.path.basename(path)))
        with zipfile.ZipFile(io.BytesIO(data)) as package:
            self.assertIn(macro, package.read("[Content_Types].xml"))

    def test_a_workbook_encrypted_with_excels_built_in_password_is_not_locked(self):
        # Excel encrypts a workbook whose structure is protected with this password; the office
        # opens it without asking.
        plain = self.make(name="plain source")
        path = os.path.join(self.folder, f"{NAME}.xlsx")
        workbooks.encrypt_with_officecrypto_tool(plain, path, "VelvetSweatshop", suite.NODE_MODULES)
        self.assert_refused(path, texts.STRUCTURE_PROTECTED)

    def test_a_workbook_with_a_protected_structure_is_not_locked(self):
        path = self.make()
        book = openpyxl.load_workbook(path)
        book.security = WorkbookProtection(lockStructure=True)
        book.save(path)
        self.assert_refused(path, texts.STRUCTURE_PROTECTED)


class XlsRoads(Roads):
    extension = "xls"

    def test_the_locked_workbook_keeps_its_charts_for_every_decryptor(self):
        # LibreOffice's own encrypted writer encrypts the start records of chart substreams too,
        # which a decryptor following the format then loses.
        path = os.path.join(self.folder, f"{NAME}.xls")
        workbooks.make_chart_xls(path, suite.CONVERT_PROFILE)
        original = checks.ole_streams(open(path, "rb").read())["Workbook"]
        charts = checks.substream_kinds(original).count(0x0020)
        self.assertGreater(charts, 0)
        self.lock(path)
        data = checks.decrypt(path, suite.password_of(os.path.basename(path)))
        stream = checks.ole_streams(data)["Workbook"]
        self.assertEqual(checks.substream_kinds(stream).count(0x0020), charts)


    def test_a_pivot_table_survives_the_lock_and_the_backup_copys(self):
        # The lock road saves through LibreOffice; the backup copy is encrypted from its bytes.
        path = os.path.join(self.folder, f"{NAME}.xls")
        shutil.copyfile(os.path.join(REGRESSIONS, "..", "..", "workbook", "encryption", "data",
                                     "pivot-table.xls"), path)
        reading = os.path.join(self.folder, "reading-office")
        with office_tool.Office(reading) as office:
            pivot = checks.pivot_tables(office, path)
        self.assertIn("Nitro", pivot)
        self.lock(path)
        backup = os.path.join(self.backup_folder, os.path.basename(path))
        with office_tool.Office(reading) as office:
            for locked, password in ((path, suite.password_of(os.path.basename(path))),
                                     (backup, "MIRTHOLAN")):
                with open(locked, "rb") as file:
                    self.assertNotIn(b"Nitro", file.read())
                self.assertEqual(checks.pivot_tables(office, locked, password), pivot)


class RealFormats(Runs):
    """Workbooks whose names do not say their formats."""
    extension = "xls"

    def test_an_excel_workbook_named_xls_is_locked_as_what_it_is_and_keeps_every_row(self):
        path = os.path.join(self.folder, f"{NAME}.xls")
        book = openpyxl.Workbook()
        book.active["A1"] = "top"
        book.active.cell(row=70_000, column=300, value="far")  # beyond Excel 97's sheet
        book.save(path)
        self.lock(path)
        data = checks.decrypt(path, suite.password_of(os.path.basename(path)))
        self.assertEqual(data[:2], b"PK", "saved in another format than it has")
        # Only the far cell is read: the whole sheet would be 21 million cells.
        sheet = openpyxl.load_workbook(io.BytesIO(data), read_only=True).worksheets[0]
        far = next(sheet.iter_rows(min_row=70_000, max_row=70_000, min_col=300, max_col=300,
                                   values_only=True))
        self.assertEqual(far, ("far",))
        backup = checks.decrypt(os.path.join(self.backup_folder, os.path.basename(path)),
                                "MIRTHOLAN")
        self.assertEqual(backup[:2], b"PK")

    def test_an_excel_97_workbook_named_xlsx_is_locked_as_what_it_is(self):
        source = self.make()
        path = os.path.join(self.folder, "renamed 97.xlsx")
        shutil.move(source, path)
        self.lock(path)
        data = checks.decrypt(path, suite.password_of(os.path.basename(path)))
        self.assertEqual(data[:8], bytes.fromhex("d0cf11e0a1b11ae1"))

    def test_a_web_page_named_xls_is_not_locked(self):
        path = os.path.join(self.folder, f"{NAME}.xls")
        with open(path, "w", encoding="utf-8") as page:
            page.write("<html><body><table><tr><td>1</td><td>2</td></tr></table></body></html>\n")
        self.assert_refused(path, texts.actual_format("calc_HTML_WebQuery"))


del Runs, Roads

if __name__ == "__main__":
    unittest.main(verbosity=2)
