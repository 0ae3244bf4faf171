"""The lock keeps a workbook whole: on the public workbooks Excel and others wrote, the decrypted
locked file is the original part by part, but for the parts the control sheet has to change; the
office opens it with the file password and the open road grants; openpyxl and xlrd read it."""

import collections
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
import workbooks

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import office_tool  # noqa: E402

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
PACKAGE_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
TYPES = "http://schemas.openxmlformats.org/package/2006/content-types"
VT = "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes"
WORKSHEET = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet"
STYLES = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles"
RELATIONSHIPS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
EXTENDED_PROPERTIES = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"
PROTECTION_PASSWORD = "KorvenatePlume!"
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "ooxml-schemas")


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
    # Exclusive form: a namespace declaration counts where it is used, not where it is declared
    # (the lock may declare the relationships namespace on the root for the new sheet).
    return etree.tostring(root, method="c14n", exclusive=True)


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


class Schemas:
    """The ECMA-376 transitional schemas of the parts the lock writes, each compiled on first use."""

    FILES = {TYPES: "opc-contentTypes.xsd", PACKAGE_RELS: "opc-relationships.xsd",
             MAIN: "sml.xsd", EXTENDED_PROPERTIES: "shared-documentPropertiesExtended.xsd"}

    def __init__(self):
        self.compiled = {}

    def errors(self, xml):
        """The schema's complaints about `xml`, as messages with their counts."""
        root = etree.fromstring(xml)
        namespace = etree.QName(root).namespace
        if namespace not in self.compiled:
            self.compiled[namespace] = etree.XMLSchema(
                etree.parse(os.path.join(SCHEMAS, self.FILES[namespace])))
        schema = self.compiled[namespace]
        schema.validate(root)
        return collections.Counter(error.message for error in schema.error_log)


def schema_faults(schemas, original, locked):
    """The schema errors of each part the lock wrote or changed that the original part did not
    have (producers write non-schema XML the lock has to keep), how many parts were checked, and
    how many of those the original already held invalid."""
    before, _ = entries(original)
    after, order = entries(locked)
    found, checked, invalid_before = [], 0, 0
    for name in order:
        if name in before and before[name][:2] == after[name][:2]:
            continue
        new = schemas.errors(after[name][2])
        if name in before:
            old = schemas.errors(before[name][2])
            invalid_before += bool(old)
            new -= old
        checked += 1
        if new:
            found.append(f"{name}: {sorted(new)}")
    return found, checked, invalid_before


def lock_copy(test, folder, book, work_name):
    """Locks a copy of `book` in a folder of its own below `folder`: its path, data home, original
    bytes and log lines, or None when the lock was refused (and nothing changed)."""
    work = os.path.join(folder, work_name)
    os.makedirs(work)
    data_home = os.path.join(work, "data")
    path = os.path.join(work, book.name)
    shutil.copyfile(book, path)
    original = book.read_bytes()
    code, events = suite.driver("run", path, data_home=data_home)
    test.assertEqual(code, 0, events)
    lines = suite.log_messages(data_home)
    if texts.LOCKED not in lines:
        # Refused (a protected structure, say).
        test.assertFalse(checks.is_encrypted(path), lines)
        test.assertEqual(open(path, "rb").read(), original)
        return None
    return path, data_home, original, lines


def assert_open_road_grants(test, path, data_home):
    """The open road grants on this computer."""
    code, events = suite.driver("run", path, data_home=data_home)
    test.assertEqual(code, 0, events)
    test.assertIn(texts.OPENED, suite.log_messages(data_home))


class WholeLock(unittest.TestCase):
    def test_public_workbooks_come_out_whole(self):
        folder = suite.fresh_folder("whole_lock")
        # Binary workbooks have their own case (WholeBinaryLock).
        books = [b for b in public_workbooks.workbooks(suite.OUTPUT)
                 if b.name not in public_workbooks.EXCEL_95 and b.suffix != ".xls"]
        edited, fallbacks, refused = [], [], []
        self.schemas, self.validated = Schemas(), []
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
        print(f"\npackages: edited {len(edited)}, saved by the office {len(fallbacks)}: "
              f"{fallbacks}, refused {len(refused)}: {refused}; parts checked against the schemas "
              f"{sum(c for c, _ in self.validated)} in {len(self.validated)} packages, of which "
              f"{sum(i for _, i in self.validated)} were invalid already in the original",
              file=sys.stderr)
        # Every package is edited by Kovrisk; none is left to the office's save.
        self.assertEqual(fallbacks, [])
        self.assertGreaterEqual(len(edited), 40)

    def lock_and_check(self, folder, book, office):
        locked = lock_copy(self, folder, book, book.stem + book.suffix.replace(".", "_"))
        if locked is None:
            return "refused"
        path, data_home, original, lines = locked
        fallback = any(texts.LOCK_BY_APPLICATION in line for line in lines)
        password = suite.password_of(book.name)
        decrypted = checks.decrypt(path, password)
        if fallback:
            self.assert_control_sheet(checks.read_book(path, password))
        else:
            self.assertEqual(differences(original, decrypted), [])
            self.assert_office_reads_the_control_sheet(office, path, password)
            self.assert_parts_valid(original, decrypted)
            # openpyxl reads what it read of the original (it refuses a few packages whose
            # content types name parts that are not there, or whose active tab is past the
            # last sheet).
            try:
                checks.read_xlsx(original)
            except (KeyError, AttributeError):
                pass
            else:
                self.assert_control_sheet(checks.read_xlsx(decrypted))

        assert_open_road_grants(self, path, data_home)
        return "fallback" if fallback else "edited"

    def assert_parts_valid(self, original, locked):
        """Every part the lock wrote or changed validates against the transitional schemas as
        well as the original part did."""
        faults, checked, invalid_before = schema_faults(self.schemas, original, locked)
        self.assertEqual(faults, [])
        self.validated.append((checked, invalid_before))

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


def formula_results(package):
    """Sheet name -> {cell: (type, stored result)} of every formula cell with a stored result."""
    archive = zipfile.ZipFile(io.BytesIO(package))
    package_rels = relationships(archive.read("_rels/.rels"))
    workbook = next(part_of("", r.get("Target")) for r in package_rels.values()
                    if r.get("Type").endswith("/officeDocument"))
    folder, name = workbook.rsplit("/", 1)
    rels = relationships(archive.read(f"{folder}/_rels/{name}.rels"))
    results = {}
    for sheet in etree.fromstring(archive.read(workbook)).iter(q(MAIN, "sheet")):
        target = rels[sheet.get(q(RELATIONSHIPS, "id"))].get("Target")
        cells = {}
        for cell in etree.fromstring(archive.read(part_of(workbook, target))).iter(q(MAIN, "c")):
            value = cell.find(q(MAIN, "v"))
            if cell.find(q(MAIN, "f")) is not None and value is not None:
                cells[cell.get("r")] = (cell.get("t"), value.text)
        results[sheet.get("name")] = cells
    return results


def position(reference):
    """(row, column) from 0 of a cell reference such as "AB12"."""
    letters = reference.rstrip("0123456789")
    column = 0
    for letter in letters:
        column = column * 26 + ord(letter) - ord("A") + 1
    return int(reference[len(letters):]) - 1, column - 1


class StoredResults(unittest.TestCase):
    """The lock keeps the results Excel stored where LibreOffice, recalculating, would write others:
    CONCATENATE of a boolean ("FALSE-Z", not "0-Z") and SUBTOTAL(9, ...) over a table with rows
    hidden by hand (which counts them).  The stored results are the same bytes after the lock, and
    LibreOffice opening the locked file with its password shows them."""

    def test_stored_results_are_kept(self):
        folder = suite.fresh_folder("whole_lock_results")
        hidden_rows = os.path.join(folder, "hidden-rows-table.xlsx")
        workbooks.make_hidden_rows_table_xlsx(hidden_rows)
        books = [public_workbooks.folder(suite.OUTPUT) / "readTest.xlsx", hidden_rows]
        office = office_tool.Office(os.path.join(suite.OUTPUT, "whole-lock-results-office"))
        try:
            for book in books:
                with self.subTest(book=os.path.basename(book)):
                    shown = self.lock_and_compare(folder, str(book), office)
                    if book == hidden_rows:
                        self.assertEqual(shown[("Sales", "B9")], (210.0, 210.0))
                    else:
                        self.assertIn("FALSE-Z", [stored for stored, _ in shown.values()])
        finally:
            office.end()
            checks.kill_all(checks.wait_for_no_office(suite.OFFICE_MARKER))

    def lock_and_compare(self, folder, book, office):
        name = os.path.basename(book)
        work = os.path.join(folder, name.replace(".", "_"))
        os.makedirs(work)
        path = os.path.join(work, name)
        shutil.copyfile(book, path)
        with open(book, "rb") as handle:
            original = handle.read()
        before = formula_results(original)
        code, events = suite.driver("run", path, data_home=os.path.join(work, "data"))
        self.assertEqual(code, 0, events)
        password = suite.password_of(name)
        after = formula_results(checks.decrypt(path, password))
        self.assertEqual(after.pop(texts.CONTROL_SHEET), {})
        self.assertEqual(after, before)
        shown = {}
        document = office.load(path, password=password)
        try:
            for sheet_name, cells in before.items():
                if not cells:
                    continue
                sheet = document.Sheets.getByName(sheet_name)
                cursor = sheet.createCursor()
                cursor.gotoEndOfUsedArea(False)
                end = cursor.RangeAddress
                data = sheet.getCellRangeByPosition(0, 0, end.EndColumn, end.EndRow).DataArray
                for reference, (kind, value) in cells.items():
                    row, column = position(reference)
                    if kind == "e":  # the data array holds no error values
                        result = (value, sheet.getCellByPosition(column, row).String)
                    elif kind == "str":
                        result = (value, data[row][column])
                    else:  # numbers and booleans (1 or 0)
                        result = (float(value), data[row][column])
                    shown[(sheet_name, reference)] = result
        finally:
            document.close(True)
        self.assertEqual({k: v for k, v in shown.items() if v[0] != v[1]}, {})
        print(f"\n{name}: {len(shown)} stored results kept", file=sys.stderr)
        return shown


# Binary workbooks (.xls): the workbook stream compared record by record.

BOF, EOF, CONTINUE, FONT, XF, XFCRC = 0x0809, 0x000A, 0x003C, 0x0031, 0x00E0, 0x087C
BOUNDSHEET8, INDEX, SST, EXTSST, SUPBOOK = 0x0085, 0x020B, 0x00FC, 0x00FF, 0x01AE
WINDOW1, WINDOW2, RRTABID, FORMULA, DBCELL, DEFCOLWIDTH = 0x003D, 0x023E, 0x013D, 0x0006, 0x00D7, 0x0055


def biff_records(stream):
    """(position, type, data) of every record of a workbook stream."""
    return [(at, kind, stream[at + 4:at + 4 + length])
            for at, kind, length in checks.biff_records(stream)]


def sheet_entries(records):
    """(record index, position, hidden, name) of every BOUNDSHEET8."""
    entries = []
    for index, (_, kind, data) in enumerate(records):
        if kind == BOUNDSHEET8:
            count, high = data[6], data[7] & 1
            raw = data[8:8 + count * (2 if high else 1)]
            name = raw.decode("utf-16-le" if high else "latin-1")
            entries.append((index, struct.unpack_from("<I", data)[0], data[4] & 3 != 0, name))
    return entries


def substream_at(records, position):
    """The record indexes of the substream whose BOF is at `position`, to its EOF."""
    start = next(i for i, (at, _, _) in enumerate(records) if at == position)
    depth = 0
    for end in range(start, len(records)):
        depth += {BOF: 1, EOF: -1}.get(records[end][1], 0)
        if depth == 0:
            return range(start, end + 1)
    raise AssertionError("a substream without its end")


def binary_differences(original, locked):
    """What differs between two binary workbooks beyond what the lock may change, as texts."""
    before, after = checks.ole_streams(original), checks.ole_streams(locked)
    found = [f"{name} changed" for name in before
             if name != "Workbook" and before[name] != after.get(name)]
    if set(after) != set(before):
        found.append(f"streams {sorted(before)} became {sorted(after)}")
    old, new = biff_records(before["Workbook"]), biff_records(after["Workbook"])
    old_sheets, new_sheets = sheet_entries(old), sheet_entries(new)
    control = [s for s in new_sheets if is_control(s[3])]
    if len(control) != 1 or control[0] != new_sheets[-1] or not control[0][2]:
        return found + ["not exactly one hidden control sheet, the last one"]
    kinds = {at: kind for at, kind, _ in new}
    # Every stream position leads to its record: sheets to their BOF, INDEX to DEFCOLWIDTH and
    # the DBCELL records.
    for _, position, _, name in new_sheets:
        if kinds.get(position) != BOF:
            found.append(f"sheet {name} does not start at its position")
    for _, kind, data in new:
        if kind == INDEX:
            targets = struct.unpack_from(f"<{(len(data) - 12) // 4}I", data, 12)
            if kinds.get(targets[0]) != DEFCOLWIDTH or any(kinds.get(t) != DBCELL
                                                           for t in targets[1:]):
                found.append("an INDEX record points beside its records")
    # The sheet counts: the self-reference's and the sheet ids'.
    for _, kind, data in new:
        if kind == SUPBOOK and data[2:4] == b"\x01\x04" and \
                struct.unpack_from("<H", data)[0] != len(new_sheets):
            found.append("the self-reference counts other sheets")
        if kind == RRTABID and len(data) // 2 != len(new_sheets):
            found.append("the sheet id list counts other sheets")
    # The strings: the original table's data goes on unchanged, and more follows.
    def strings(records):
        start = next(i for i, r in enumerate(records) if r[1] == SST)
        end = start + 1
        while records[end][1] == CONTINUE:
            end += 1
        return b"".join(r[2] for r in records[start:end])[8:], range(start, end)
    old_strings, old_table = strings(old)
    new_strings, new_table = strings(new)
    if not new_strings.startswith(old_strings):
        found.append("the shared strings changed")

    def comparable(records, sheets, control_sheet=None):
        """The records but the ones the lock writes or rewrites, their changed fields left out."""
        skip = set(old_table if records is old else new_table)
        if control_sheet:
            skip |= set(substream_at(records, control_sheet[1])) | {control_sheet[0]}
            skip.add(max(i for i, r in enumerate(records) if r[1] == FONT))
            skip.add(max(i for i, r in enumerate(records) if r[1] == XF))
        result = []
        for index, (_, kind, data) in enumerate(records):
            # msoffcrypto-tool leaves FILEPASS as a record of type 0: padding, as zeros are.
            if index in skip or kind in (EXTSST, 0):
                continue
            if kind == BOUNDSHEET8 or kind == XFCRC:
                data = data[4:] if kind == BOUNDSHEET8 else data[:14]
            elif kind == INDEX:
                data = data[:12]
            elif kind == WINDOW1:
                data = data[:10] + data[16:]
            elif kind == WINDOW2:
                data = bytes([data[0], data[1] & ~0x06]) + data[2:]
            elif kind == SUPBOOK and data[2:4] == b"\x01\x04":
                data = data[2:]
            elif kind == RRTABID:
                data = b""
            result.append((kind, data))
        return result

    if comparable(old, old_sheets) != comparable(new, new_sheets, control[0]):
        found.append("the workbook stream changed beyond the control sheet")
    return found


class WholeBinaryLock(unittest.TestCase):
    """Excel 97-2003 workbooks get the control sheet from Kovrisk itself."""

    def test_public_binary_workbooks_come_out_whole(self):
        folder = suite.fresh_folder("whole_binary_lock")
        books = [b for b in public_workbooks.workbooks(suite.OUTPUT, ".xls")
                 if b.name not in public_workbooks.EXCEL_95]
        edited, fallbacks, refused, formulas = [], [], [], 0
        office = office_tool.Office(os.path.join(suite.OUTPUT, "whole-binary-lock-office"))
        try:
            for book in books:
                with self.subTest(book=book.name):
                    outcome, count = self.lock_and_check(folder, book, office)
                    if outcome == "edited":
                        edited.append(book.name)
                    elif outcome == "refused":
                        refused.append(book.name)
                    else:
                        fallbacks.append(f"{book.name}: {outcome}")
                    formulas += count
        finally:
            office.end()
            checks.kill_all(checks.wait_for_no_office(suite.OFFICE_MARKER))
        print(f"\nbinary: edited {len(edited)}, saved by the office {len(fallbacks)}: {fallbacks}, "
              f"refused {len(refused)}: {refused}; {formulas} stored formula results compared",
              file=sys.stderr)
        self.assertEqual(fallbacks, [])
        self.assertGreaterEqual(len(edited), 13)
        self.assertGreater(formulas, 0)

    def lock_and_check(self, folder, book, office):
        locked = lock_copy(self, folder, book, book.stem + "_xls")
        if locked is None:
            return "refused", 0
        path, data_home, original, lines = locked
        fallback = [line for line in lines if texts.LOCK_BY_APPLICATION in line]
        if fallback:
            return fallback[0], 0
        password = suite.password_of(book.name)
        decrypted = checks.decrypt(path, password)
        self.assertEqual(binary_differences(original, decrypted), [])
        WholeLock.assert_office_reads_the_control_sheet(self, office, path, password)
        # xlrd reads every cell of the original as it was, and the control sheet.
        read, locked = checks.read_xls(original), checks.read_xls(decrypted)
        self.assertEqual(locked.names[:-1], read.names)
        for sheet in read.sheets:
            self.assertEqual(locked.sheet(sheet.name).cells, sheet.cells)
        WholeLock.assert_control_sheet(self, locked)
        self.assertEqual(locked.active, next(s.name for s in read.sheets if not s.hidden))
        assert_open_road_grants(self, path, data_home)
        stream = checks.ole_streams(original)["Workbook"]
        return "edited", sum(1 for _, kind, _ in checks.biff_records(stream) if kind == FORMULA)


if __name__ == "__main__":
    unittest.main(verbosity=2)
