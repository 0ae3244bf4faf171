"""The lock keeps a workbook whole: on the public workbooks Excel and others wrote, the decrypted
locked file is the original part by part, but for the parts the control sheet has to change; the
office opens it with the file password and the open road grants; openpyxl and xlrd read it."""

import io
import os
import shutil
import socket
import struct
import sys
import unittest
import zipfile

from lxml import etree

import checks
import expected_texts as texts
import public_workbooks
import suite

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import office_tool  # noqa: E402

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
PACKAGE_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
TYPES = "http://schemas.openxmlformats.org/package/2006/content-types"
VT = "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes"
WORKSHEET = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet"
STYLES = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles"
PROTECTION_PASSWORD = "KorvenatePlume!"


def entries(data):
    """name -> (compression, stored bytes, unpacked bytes), and the names in order."""
    archive = zipfile.ZipFile(io.BytesIO(data))
    result = {}
    for info in archive.infolist():
        name_length, extra_length = struct.unpack_from("<HH", data, info.header_offset + 26)
        start = info.header_offset + 30 + name_length + extra_length
        result[info.filename] = (info.compress_type, data[start:start + info.compress_size],
                                 archive.read(info))
    return result, [info.filename for info in archive.infolist()]


def canonical(xml, edit=None):
    # Whitespace between elements is no content.
    root = etree.fromstring(xml, etree.XMLParser(remove_blank_text=True))
    if edit:
        edit(root)
    return etree.tostring(root, method="c14n")


def q(namespace, name):
    return f"{{{namespace}}}{name}"


def relationships(xml):
    return {r.get("Id"): r for r in etree.fromstring(xml).iter(q(PACKAGE_RELS, "Relationship"))}


def part_of(source, target):
    folder = source.rsplit("/", 1)[0] + "/" if "/" in source else ""
    path = target.lstrip("/") if target.startswith("/") else folder + target
    parts = []
    for segment in path.split("/"):
        if segment == "..":
            parts and parts.pop()
        elif segment not in ("", "."):
            parts.append(segment)
    return "/".join(parts)


def is_control(name):
    return name.upper() == texts.CONTROL_SHEET.upper()


def differences(original, locked):
    """What differs between two packages beyond what the lock may change, as texts."""
    before, before_order = entries(original)
    after, after_order = entries(locked)
    found = []
    package_rels = relationships(before["_rels/.rels"][2])
    workbook = next(part_of("", r.get("Target")) for r in package_rels.values()
                    if r.get("Type").endswith("/officeDocument"))
    workbook_rels = workbook.rsplit("/", 1)[0] + "/_rels/" + workbook.rsplit("/", 1)[1] + ".rels"
    rels = relationships(after[workbook_rels][2])
    new_sheets = [s for s in etree.fromstring(after[workbook][2]).iter(q(MAIN, "sheet"))
                  if is_control(s.get("name"))]
    if len(new_sheets) != 1 or new_sheets[0].get("state") != "hidden":
        return ["not exactly one hidden control sheet"]
    new_id = new_sheets[0].get("{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id")
    new_part = part_of(workbook, rels[new_id].get("Target"))
    if after_order != [n for n in before_order] + [new_part]:
        found.append(f"entries or their order changed: {before_order} -> {after_order}")
    styles = next(part_of(workbook, r.get("Target")) for r in rels.values()
                  if r.get("Type") == STYLES)
    sheet_parts = {part_of(workbook, r.get("Target")) for r in rels.values()}

    def drop_new_sheet(root):
        for sheet in root.iter(q(MAIN, "sheet")):
            if is_control(sheet.get("name")):
                sheet.getparent().remove(sheet)
        for view in root.iter(q(MAIN, "workbookView")):
            view.attrib.pop("activeTab", None)
            view.attrib.pop("firstSheet", None)

    def drop_new_relationship(root):
        for relationship in root:
            if relationship.get("Id") == new_id:
                root.remove(relationship)

    def drop_new_override(root):
        for override in root:
            if override.get("PartName") == "/" + new_part:
                root.remove(override)

    def drop_counts(root):
        for name in ("fonts", "cellXfs"):
            for element in root.iter(q(MAIN, name)):
                element.attrib.pop("count", None)

    def drop_new_styles(root):
        drop_counts(root)
        for name, entry in (("fonts", "font"), ("cellXfs", "xf")):
            element = root.find(q(MAIN, name))
            element.remove(element.findall(q(MAIN, entry))[-1])

    def drop_selection(root):
        for view in root.iter(q(MAIN, "sheetView")):
            view.attrib.pop("tabSelected", None)

    def drop_sheet_list(root):
        titles = [t.text for t in root.iter(q(VT, "lpstr"))]
        for element in list(root):
            if element.tag.endswith("}HeadingPairs") or element.tag.endswith("}TitlesOfParts"):
                root.remove(element)
        root.text = "\n".join(t for t in titles if not is_control(t or ""))

    allowed = {
        "[Content_Types].xml": (None, drop_new_override),
        workbook: (drop_new_sheet, drop_new_sheet),
        workbook_rels: (None, drop_new_relationship),
        styles: (drop_counts, drop_new_styles),
        "docProps/app.xml": (drop_sheet_list, drop_sheet_list),
    }
    for name in before_order:
        if name not in after:
            continue
        if before[name][:2] == after[name][:2]:
            continue
        if name in allowed:
            edit_before, edit_after = allowed[name]
        elif name in sheet_parts:
            edit_before, edit_after = drop_selection, drop_selection
        else:
            found.append(f"{name} changed")
            continue
        if canonical(before[name][2], edit_before) != canonical(after[name][2], edit_after):
            found.append(f"{name} changed beyond the control sheet")
    return found


class WholeLock(unittest.TestCase):
    def test_public_workbooks_come_out_whole(self):
        folder = suite.fresh_folder("whole_lock")
        books = [b for b in public_workbooks.workbooks(suite.OUTPUT)
                 if b.name not in public_workbooks.EXCEL_95]
        edited, fallbacks, refused = [], [], []
        office = office_tool.Office(os.path.join(suite.OUTPUT, "whole-lock-office"))
        try:
            for book in books:
                with self.subTest(book=book.name):
                    outcome = self.lock_and_check(folder, book, office)
                    {"edited": edited, "fallback": fallbacks, "refused": refused}[outcome].append(
                        book.name)
        finally:
            office.end()
            checks.kill_all(checks.wait_for_no_office(suite.OFFICE_MARKER))
        print(f"\nedited {len(edited)}, saved by the office {len(fallbacks)}: {fallbacks}, "
              f"refused {len(refused)}: {refused}", file=sys.stderr)
        # Only binary workbooks are left to the office's save; every package is edited.
        self.assertEqual([b for b in fallbacks if not b.endswith(".xls")], [])
        self.assertGreaterEqual(len([b for b in edited if b.endswith(".xlsx")]), 15)

    def lock_and_check(self, folder, book, office):
        work = os.path.join(folder, book.stem + book.suffix.replace(".", "_"))
        os.makedirs(work)
        data_home = os.path.join(work, "data")
        path = os.path.join(work, book.name)
        shutil.copyfile(book, path)
        original = book.read_bytes()
        code, events = suite.driver("run", path, data_home=data_home)
        self.assertEqual(code, 0, events)
        lines = suite.log_messages(data_home)
        if texts.LOCKED not in lines:
            self.assertFalse(checks.is_encrypted(path), lines)
            self.assertEqual(open(path, "rb").read(), original)
            return "refused"
        fallback = any(texts.LOCK_BY_APPLICATION in line for line in lines)
        password = suite.password_of(book.name)
        decrypted = checks.decrypt(path, password)
        if fallback:
            self.assert_control_sheet(checks.read_book(path, password))
        else:
            self.assertEqual(differences(original, decrypted), [])
            self.assert_office_reads_the_control_sheet(office, path, password)
            # openpyxl reads what it read of the original (it refuses a few packages whose
            # content types name parts that are not there).
            try:
                checks.read_xlsx(original)
            except KeyError:
                pass
            else:
                self.assert_control_sheet(checks.read_xlsx(decrypted))

        # The open road grants on this computer.
        code, events = suite.driver("run", path, data_home=data_home)
        self.assertEqual(code, 0, events)
        self.assertIn(texts.OPENED, suite.log_messages(data_home))
        return "fallback" if fallback else "edited"

    def assert_control_sheet(self, read):
        control = read.sheet(texts.CONTROL_SHEET)
        self.assertEqual(read.names[-1], texts.CONTROL_SHEET)
        self.assertTrue(control.hidden)
        self.assertTrue(control.protected)
        self.assertEqual(control.cells.get("A1"), texts.WARNING)
        self.assertEqual(suite.decode_tag(control.cells["Z2"]), socket.gethostname().strip().upper())
        self.assertIn("Z2", control.white)

    def assert_office_reads_the_control_sheet(self, office, path, password):
        """LibreOffice opens the locked file with its password: the control sheet is hidden, holds
        the warning and the tag in white, and its protection takes only its password."""
        document = office.load(path, password=password)
        try:
            sheets = document.Sheets
            self.assertEqual(sheets.ElementNames[-1], texts.CONTROL_SHEET)
            sheet = sheets.getByName(texts.CONTROL_SHEET)
            self.assertFalse(sheet.IsVisible)
            self.assertEqual(sheet.getCellRangeByName("A1").String, texts.WARNING)
            tag = sheet.getCellRangeByName("Z2")
            self.assertEqual(suite.decode_tag(tag.String), socket.gethostname().strip().upper())
            self.assertEqual(tag.CharColor, 0xFFFFFF)
            self.assertTrue(sheet.isProtected())
            with self.assertRaises(Exception):
                sheet.unprotect(PROTECTION_PASSWORD + "x")
            self.assertTrue(sheet.isProtected())
            sheet.unprotect(PROTECTION_PASSWORD)
            self.assertFalse(sheet.isProtected())
        finally:
            document.close(True)

if __name__ == "__main__":
    unittest.main(verbosity=2)
