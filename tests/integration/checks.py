"""Independent checks of what the backend wrote: msoffcrypto decrypts, openpyxl (xlsx) and xlrd
(xls) read the workbook; /proc shows which office processes are left."""

import io
import os
import signal
import struct
import time

import msoffcrypto
from msoffcrypto.method.rc4_cryptoapi import DocumentRC4CryptoAPI
import olefile
import openpyxl
import xlrd


def decrypt(path, password):
    """The decrypted bytes of `path`; raises when `password` does not decrypt it."""
    with open(path, "rb") as handle:
        office_file = msoffcrypto.OfficeFile(handle)
        office_file.load_key(password=password)
        output = io.BytesIO()
        office_file.decrypt(output)
    return output.getvalue()


def is_encrypted(path):
    with open(path, "rb") as handle:
        try:
            return msoffcrypto.OfficeFile(handle).is_encrypted()
        except Exception:  # not an OLE file at all: a plain .xlsx
            return False


def refuses(path, password):
    try:
        decrypt(path, password)
    except Exception:
        return True
    return False


class Sheet:
    """What the checks need of one worksheet, whichever reader read it."""

    def __init__(self, name, hidden, protected, cells, white):
        self.name = name
        self.hidden = hidden
        self.protected = protected
        self.cells = cells  # address -> text value
        self.white = white  # addresses whose font is white


class Book:
    def __init__(self, sheets, active):
        self.sheets = sheets
        self.active = active

    def sheet(self, name):
        return next(s for s in self.sheets if s.name == name)

    @property
    def names(self):
        return [s.name for s in self.sheets]


def _text(value):
    if value is None:
        return ""
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def read_xlsx(data):
    book = openpyxl.load_workbook(io.BytesIO(data))
    sheets = []
    for sheet in book.worksheets:
        cells, white = {}, set()
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    cells[cell.coordinate] = _text(cell.value)
                color = cell.font.color if cell.font else None
                if color is not None and color.type == "rgb" and color.rgb.upper().endswith("FFFFFF"):
                    white.add(cell.coordinate)
        sheets.append(Sheet(sheet.title, sheet.sheet_state != "visible",
                            bool(sheet.protection.sheet), cells, white))
    return Book(sheets, book.active.title)


def read_xls(data):
    book = xlrd.open_workbook(file_contents=data, formatting_info=True)
    sheets = []
    active = None
    for sheet in book.sheets():
        cells, white = {}, set()
        for row in range(sheet.nrows):
            for column in range(sheet.ncols):
                cell = sheet.cell(row, column)
                address = xlrd.cellname(row, column)
                if cell.ctype != xlrd.XL_CELL_EMPTY:
                    cells[address] = _text(cell.value)
                font = book.font_list[book.xf_list[cell.xf_index].font_index]
                if book.colour_map.get(font.colour_index) == (255, 255, 255):
                    white.add(address)
        # xlrd's "sheet_visible" is the WINDOW2 flag of the sheet shown when the book opens.
        if sheet.sheet_visible:
            active = active or sheet.name
        sheets.append(Sheet(sheet.name, sheet.visibility != 0, False, cells, white))
    for sheet, protected in zip(sheets, _biff_sheet_protection(data)):
        sheet.protected = protected
    return Book(sheets, active)


def _biff_sheet_protection(data):
    """Per worksheet substream of the BIFF8 Workbook stream: whether it holds PROTECT = 1.  (xlrd
    does not read sheet protection.)"""
    with olefile.OleFileIO(io.BytesIO(data)) as ole:
        stream = ole.openstream("Workbook").read()
    result, position, in_sheet = [], 0, False
    while position + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, position)
        body = stream[position + 4:position + 4 + length]
        position += 4 + length
        if kind == 0x0809:  # BOF
            substream = struct.unpack_from("<H", body, 2)[0]
            in_sheet = substream == 0x0010
            if in_sheet:
                result.append(False)
        elif kind == 0x0012 and in_sheet and body[:2] == b"\x01\x00":  # PROTECT
            result[-1] = True
        elif kind == 0x000A:  # EOF
            in_sheet = False
    return result


def read_book(path, password):
    if is_encrypted(path):
        data = decrypt(path, password)
    else:
        with open(path, "rb") as handle:
            data = handle.read()
    return read_xlsx(data) if data[:2] == b"PK" else read_xls(data)


def office_processes(marker):
    """Pids of processes whose command line holds `marker` (a profile folder)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as handle:
                command = handle.read().replace(b"\0", b" ").decode("utf-8", "replace")
            with open(f"/proc/{entry}/stat") as handle:
                state = handle.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if marker in command and state != "Z":
            found.append(int(entry))
    return found


def wait_for_none(find, bound=15.0):
    """What `find()` still lists after `bound` seconds (empty as soon as it lists nothing)."""
    deadline = time.monotonic() + bound
    while True:
        left = find()
        if not left or time.monotonic() > deadline:
            return left
        time.sleep(0.1)


def wait_for_no_office(marker, bound=15.0):
    """The office pids still running after `bound` seconds (empty when all ended)."""
    return wait_for_none(lambda: office_processes(marker), bound)


def kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


# --- BIFF8 workbook streams and compound files, for the encryption suite ----------------------

BOF, FILEPASS, BOUNDSHEET8, INDEX, EXTSST = 0x0809, 0x002F, 0x0085, 0x020B, 0x00FF
WRITEPROTECT = 0x0086


def ole_streams(data):
    """Every stream of the compound file `data`, by its path ("Storage/Stream"); strict about the
    container's structure."""
    with olefile.OleFileIO(io.BytesIO(data), raise_defects=olefile.DEFECT_INCORRECT) as ole:
        return {"/".join(path): ole.openstream(path).read() for path in ole.listdir()}


def biff_records(stream):
    """(position, type, length) of every record of a workbook stream."""
    records, position = [], 0
    while position + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, position)
        records.append((position, kind, length))
        position += 4 + length
    return records


def without_inserted_record(stream, index):
    """The workbook stream without its `index`-th record, every stream position after it moved
    back: sheet positions (BOUNDSHEET8), INDEX's DEFCOLWIDTH and DBCELL positions, EXTSST's string
    positions."""
    position, _, length = biff_records(stream)[index]
    size = 4 + length
    out = bytearray(stream[:position] + stream[position + size:])

    def moved_back(at):
        # A value past the stream's end points at nothing (0xFFFFFFFF marks unused EXTSST
        # buckets) and stays.
        value = struct.unpack_from("<I", out, at)[0]
        if position + size <= value < len(stream):
            struct.pack_into("<I", out, at, value - size)

    for at, kind, length in biff_records(bytes(out)):
        data = at + 4
        if kind == BOUNDSHEET8:
            moved_back(data)
        elif kind == INDEX:
            for field in range(12, length - 3, 4):
                moved_back(data + field)
        elif kind == EXTSST:
            for field in range(2, length - 7, 8):
                moved_back(data + field)
    return bytes(out)


def substream_kinds(stream):
    """The substream kind of every BOF record in order (0x0005 globals, 0x0010 sheet, 0x0020
    chart...)."""
    return [struct.unpack_from("<H", stream, at + 6)[0]
            for at, kind, _ in biff_records(stream) if kind == BOF]


# Records whose data RC4 CryptoAPI leaves in the clear, in every stream it encrypts.
CLEAR_RECORDS = {BOF, FILEPASS, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}
# The streams Excel encrypts like the workbook stream, besides it: pivot caches, revision log.
def encrypted_beside_workbook(name):
    return name.startswith("_SX_DB_CUR/") or name in ("Revision Log", "User Names")


def decrypt_record_stream(stream, password, salt):
    """A pivot cache (or revision log) stream as Excel encrypts it, decrypted with msoffcrypto's
    RC4 CryptoAPI key stream from the stream's block 0: record headers and the clear records stay
    as they are."""
    plain = DocumentRC4CryptoAPI.decrypt(password, salt, 128, io.BytesIO(stream), 1024).read()
    out = bytearray(stream)
    for position, kind, length in biff_records(stream):
        if kind not in CLEAR_RECORDS:
            out[position + 4:position + 4 + length] = plain[position + 4:position + 4 + length]
    return bytes(out)


def rc4_salt(workbook_stream):
    """The salt of the FILEPASS record (RC4 CryptoAPI) of an encrypted workbook stream."""
    for position, kind, _ in biff_records(workbook_stream):
        if kind == FILEPASS:
            return workbook_stream[position + 4 + 144:position + 4 + 160]
    raise ValueError("no FILEPASS record")


def gives_back(path, original, password):
    """Whether msoffcrypto, decrypting `path` with `password`, gives back the workbook file
    `original` (bytes): a package byte for byte; a binary workbook stream for stream, its workbook
    stream with only the FILEPASS record added (after the first BOF, or after WRITEPROTECT when
    that follows it)."""
    data = decrypt(path, password)
    if original[:4] == b"PK\x03\x04":
        return data == original
    before, after = ole_streams(original), ole_streams(data)
    if sorted(before) != sorted(after):
        return False
    # msoffcrypto decrypts the workbook stream alone.
    salt = rc4_salt(ole_streams(open(path, "rb").read())["Workbook"])
    for name in after:
        if encrypted_beside_workbook(name):
            after[name] = decrypt_record_stream(after[name], password, salt)
    if any(after[name] != stream for name, stream in before.items() if name != "Workbook"):
        return False
    index = 2 if biff_records(before["Workbook"])[1][1] == WRITEPROTECT else 1
    # Bytes after the last record too few for a record header (padding) are no record and go.
    back, plain = without_inserted_record(after["Workbook"], index), before["Workbook"]
    return plain[:len(back)] == back and len(plain) - len(back) < 4


def pivot_tables(office, path, password=None):
    """Each pivot table LibreOffice shows in `path`: its name and the text of its output range."""
    document = office.load(path, password=password)
    try:
        shown = []
        for sheet in document.Sheets.ElementNames:
            tables = document.Sheets.getByName(sheet).DataPilotTables
            for name in tables.ElementNames:
                area = tables.getByName(name).OutputRange
                cells = document.Sheets.getByName(sheet).getCellRangeByPosition(
                    area.StartColumn, area.StartRow, area.EndColumn, area.EndRow)
                rows = ["\t".join(str(value) for value in row) for row in cells.DataArray]
                shown.append(f"{sheet}/{name}\n" + "\n".join(rows))
        return "\n\n".join(shown)
    finally:
        document.close(True)
