#!/usr/bin/python3
"""Runs the program's lock road and open road over a folder of real workbooks and reports, per
workbook, how each run ended and what the locked workbook (and its backup copy) lost compared with
a bare LibreOffice round trip of the original.

    /usr/bin/python3 bench/corpus_roads.py --program PATH --driver PATH FOLDER [--out DIR]
                                           [--timeout SECONDS]

Per workbook of FOLDER (every regular file whose name has an extension, except *.py, *.md and
*.tsv):
  1. a copy in a scratch folder under the same name (the files of FOLDER are never changed);
  2. the lock run: the program in terminal mode (no DISPLAY, no WAYLAND_DISPLAY; HOME and
     XDG_DATA_HOME of this workbook's own, XDG_CACHE_HOME shared by all runs), answered "y"; its
     end is read from the last lines of the activity log;
  3. when it locked: the locked workbook decrypted with its file password (from the driver's
     "password" command) and the backup copy decrypted with the backup password, each read as the
     integration checks read workbooks (openpyxl for OOXML, xlrd for BIFF8) and from the package
     or the BIFF records, and compared with one bare `soffice --convert-to` of the original read
     the same way;
  4. the open run on the locked workbook; its end from the activity log.
The control sheet in the locked workbook and its active sheet being the first visible worksheet
are what locking is meant to change: they are listed as expected, not as losses.  Each run is
bounded (default 300 s): a run still going then is killed and reported as "timeout".

Everything is written below --out (default /tmp/kovrisk-corpus-roads): a folder per workbook with
the copies, the program's terminal output and its activity log, results.json and table.txt.
Runs one program or one office at a time.
"""

import argparse
import hashlib
import io
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import warnings
import zipfile
import xml.etree.ElementTree as ET

import msoffcrypto
import olefile
from msoffcrypto.method.rc4 import DocumentRC4
from msoffcrypto.method.rc4_cryptoapi import DocumentRC4CryptoAPI

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import checks  # noqa: E402

# openpyxl warns about parts it drops while reading (headers, extensions): nothing compared here.
warnings.filterwarnings("ignore", category=UserWarning, module="openpyxl")

SOFFICE = "/usr/lib/libreoffice/program/soffice"
BACKUP_PASSWORD = "MIRTHOLAN"
CONTROL_SHEET = "Kovrisk"
SKIPPED_EXTENSIONS = {".py", ".md", ".tsv"}
# Passwords an office opens a file with without asking (what Excel and Calc encrypt a workbook
# with when only its structure is protected).
SILENT_PASSWORDS = ["VelvetSweatshop"]

# How a run ends, by the log line it ends with.
LOCKED = "パスワード施工完了。"
OPEN_OK = "fncXlsOpenExec():OPEN OK"
FAILURES = {
    "パスワード施工に失敗しました。": "F4",
    "元ファイルのバックアップに失敗しました。": "F3",
    "バックアップファイルのパスワード施工に失敗しました。": "F5",
    "エクセルファイルオープンに失敗しました。": "F2",
}
REFUSALS = [
    ("ファイルの実際の形式（", "refused: format"),
    ("ファイルの一部を読み込めなかった", "refused: read in part"),
    ("ブックの構成が保護されている", "refused: structure protected"),
    ("PC名を取得できない", "refused: no computer name"),
    ("拡張子がXLSもしくはXLSXではありません", "refused: extension"),
]

OOXML_NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
REL_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
DOC_REL_ID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"


# ---------------------------------------------------------------------------------------------
# Real formats

def _biff_records(stream, with_positions=False):
    position = 0
    while position + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, position)
        body = stream[position + 4:position + 4 + length]
        yield (position, kind, body) if with_positions else (kind, body)
        position += 4 + length


def real_format(data):
    """What the bytes are, whatever the file's name says."""
    if data[:2] == b"PK":
        try:
            with zipfile.ZipFile(io.BytesIO(data)) as package:
                names = set(package.namelist())
                if "mimetype" in names:
                    mime = package.read("mimetype").decode("ascii", "replace")
                    return "ODS" if "spreadsheet" in mime else f"ZIP ({mime})"
                return "OOXML" if "[Content_Types].xml" in names else "ZIP"
        except zipfile.BadZipFile:
            return "ZIP (damaged)"
    if data[:8] == bytes.fromhex("d0cf11e0a1b11ae1"):
        try:
            with olefile.OleFileIO(io.BytesIO(data)) as ole:
                if ole.exists("EncryptionInfo"):
                    return "OOXML-encrypted"
                for stream_name, label in (("Workbook", None), ("Book", "BIFF5")):
                    if ole.exists(stream_name):
                        stream = ole.openstream(stream_name).read()
                        return label or _biff_label(stream)
                return "OLE2"
        except Exception:  # noqa: BLE001 - a damaged compound file
            return "OLE2 (damaged)"
    if len(data) >= 4 and struct.unpack_from("<H", data, 0)[0] in (0x0009, 0x0209, 0x0409):
        return {0x0009: "BIFF2", 0x0209: "BIFF3", 0x0409: "BIFF4"}[
            struct.unpack_from("<H", data, 0)[0]]
    head = data[:4096].lower()
    if b"urn:schemas-microsoft-com:office:spreadsheet" in head:
        return "XMLSS"
    if b"<html" in head:
        return "HTML"
    return "other"


def _biff_label(stream):
    label = "BIFF?"
    for kind, body in _biff_records(stream):
        if kind == 0x0809 and label == "BIFF?" and len(body) >= 2:
            version = struct.unpack_from("<H", body, 0)[0]
            label = {0x0600: "BIFF8", 0x0500: "BIFF5"}.get(version, f"BIFF?{version:04x}")
        elif kind == 0x002F:  # FILEPASS
            return label + "-encrypted"
        elif kind == 0x0085:  # BOUNDSHEET: past the records that could name an encryption
            break
    return label


def is_already_encrypted(fmt):
    return fmt.endswith("-encrypted")


def conversion_extension(data):
    """The extension of the real format for the office's --convert-to; None when neither."""
    if data[:2] == b"PK":
        return "xlsx"
    if data[:8] == bytes.fromhex("d0cf11e0a1b11ae1"):
        return "xls"
    return None


# ---------------------------------------------------------------------------------------------
# Reading a workbook: the checks' readers for cells and the active sheet, the package or the BIFF
# records for the rest.

class Shape:
    """What is compared of one workbook."""

    def __init__(self, kind):
        self.kind = kind          # "xlsx" or "xls"
        self.sheets = []          # [(name, state, type)] with state visible/hidden/veryHidden
        self.cells = {}           # worksheet name -> {address: text}
        self.active = None
        self.counts = {}          # feature -> count

    def state(self, name):
        return next((s for n, s, _ in self.sheets if n == name), None)

    def first_visible_worksheet(self):
        return next((n for n, s, t in self.sheets if s == "visible" and t == "worksheet"), None)


def plain_bytes(path, password):
    """(bytes, encrypted BOFs): the file's bytes, decrypted with `password` when it is encrypted
    (or with a password an office opens without asking, when `password` is None), and how many BOF
    records of a BIFF8 workbook were stored encrypted (see repair_encrypted_bofs)."""
    if not checks.is_encrypted(path):
        with open(path, "rb") as handle:
            return handle.read(), 0
    candidates = [password] if password is not None else SILENT_PASSWORDS
    for candidate in candidates:
        try:
            data = checks.decrypt(path, candidate)
        except Exception:  # noqa: BLE001
            if password is not None:
                raise
            continue
        return repair_encrypted_bofs(path, candidate, data)
    raise ValueError("encrypted, with no password known")


def repair_encrypted_bofs(path, password, data):
    """A BIFF8 writer must leave BOF records unencrypted, and msoffcrypto-tool decrypts them as
    such; a BOF written encrypted then reads as garbage and its substream is lost to a reader.
    Those BOFs are deciphered here with the stream's key (RC4 and RC4 CryptoAPI), put into the
    decrypted workbook, and counted: (bytes, count)."""
    with open(path, "rb") as handle:
        office = msoffcrypto.OfficeFile(handle)
        office.load_key(password=password)
        kind = getattr(office, "type", None)
        if getattr(office, "format", None) != "xls97" or kind not in ("rc4", "rc4_cryptoapi"):
            return data, 0
        with olefile.OleFileIO(path) as ole:
            raw = ole.openstream("Workbook").read()
        stream = io.BytesIO(raw)
        if kind == "rc4":
            deciphered = DocumentRC4.decrypt(office.key, office.salt, stream, blocksize=1024)
        else:
            deciphered = DocumentRC4CryptoAPI.decrypt(office.key, office.salt, office.keySize,
                                                      stream, blocksize=1024)
    deciphered = deciphered.read()
    with olefile.OleFileIO(io.BytesIO(data)) as ole:
        plain = bytearray(ole.openstream("Workbook").read())
    repaired = 0
    for position, kind, body in _biff_records(raw, with_positions=True):
        if kind != 0x0809 or len(body) < 4:
            continue
        clear = deciphered[position + 4:position + 4 + len(body)]
        if (struct.unpack_from("<H", body, 0)[0] not in (0x0500, 0x0600)
                and struct.unpack_from("<H", clear, 0)[0] in (0x0500, 0x0600)):
            plain[position + 4:position + 4 + len(body)] = clear
            repaired += 1
    if not repaired:
        return data, 0
    with tempfile.NamedTemporaryFile(suffix=".xls") as copy:
        copy.write(data)
        copy.flush()
        with olefile.OleFileIO(copy.name, write_mode=True) as ole:
            ole.write_stream("Workbook", bytes(plain))
        with open(copy.name, "rb") as handle:
            return handle.read(), repaired


def read_shape(plain):
    """The shape of a workbook from plain_bytes' answer."""
    data, encrypted_bofs = plain
    if data[:2] == b"PK":
        return _read_xlsx_shape(data)
    shape = _read_xls_shape(data)
    shape.counts["BOFs stored encrypted"] = encrypted_bofs
    return shape


def _part_path(base, target):
    if target.startswith("/"):
        return target[1:]
    parts = (os.path.dirname(base) + "/" + target).split("/")
    result = []
    for part in parts:
        if part == "..":
            if result:
                result.pop()
        elif part and part != ".":
            result.append(part)
    return "/".join(result)


def _rels_of(package, part):
    rels = f"{os.path.dirname(part)}/_rels/{os.path.basename(part)}.rels".lstrip("/")
    if rels not in package.namelist():
        return {}
    root = ET.fromstring(package.read(rels))
    return {r.get("Id"): (r.get("Type", ""), r.get("Target", ""))
            for r in root.iter(f"{REL_NS}Relationship")}


def _read_xlsx_shape(data):
    shape = Shape("xlsx")
    book = checks.read_xlsx(data)
    shape.cells = {sheet.name: sheet.cells for sheet in book.sheets}
    shape.active = book.active
    with zipfile.ZipFile(io.BytesIO(data)) as package:
        names = package.namelist()
        workbook_part = next((_part_path("", target) for kind, target
                              in _rels_of(package, "").values()
                              if kind.endswith("/officeDocument")), "xl/workbook.xml")
        workbook_rels = _rels_of(package, workbook_part)
        root = ET.fromstring(package.read(workbook_part))
        worksheet_parts = []
        for sheet in root.iter(f"{OOXML_NS}sheet"):
            kind, target = workbook_rels.get(sheet.get(DOC_REL_ID), ("", ""))
            sheet_type = kind.rsplit("/", 1)[-1]
            shape.sheets.append((sheet.get("name"), sheet.get("state", "visible"), sheet_type))
            if sheet_type == "worksheet":
                worksheet_parts.append(_part_path(workbook_part, target))
        merged = validations = 0
        for part in worksheet_parts:
            if part in names:
                sheet_root = ET.fromstring(package.read(part))
                merged += sum(1 for _ in sheet_root.iter(f"{OOXML_NS}mergeCell"))
                validations += sum(1 for _ in sheet_root.iter(f"{OOXML_NS}dataValidation"))
        comments = 0
        for part in names:
            if re.fullmatch(r"xl/comments[^/]*\.xml", part):
                comments += sum(1 for _ in ET.fromstring(package.read(part))
                                .iter(f"{OOXML_NS}comment"))
        shape.counts = {
            "merged": merged,
            "charts": sum(1 for n in names if re.fullmatch(r"xl/charts/[^/]+\.xml", n)),
            "drawings": sum(1 for n in names if re.fullmatch(r"xl/drawings/[^/]+\.xml", n)),
            "media": sum(1 for n in names if n.startswith("xl/media/") and not n.endswith("/")),
            "names": sum(1 for _ in root.iter(f"{OOXML_NS}definedName")),
            "comments": comments,
            "validations": validations,
        }
    return shape


def _read_xls_shape(data):
    shape = Shape("xls")
    book = checks.read_xls(data)
    shape.cells = {sheet.name: sheet.cells for sheet in book.sheets}
    with olefile.OleFileIO(io.BytesIO(data)) as ole:
        stream = ole.openstream("Workbook").read()
    counts = dict.fromkeys(("chart substreams", "merged", "names", "comments", "validations"), 0)
    active_index = 0
    for kind, body in _biff_records(stream):
        if kind == 0x0809 and len(body) >= 4 and struct.unpack_from("<H", body, 2)[0] == 0x0020:
            counts["chart substreams"] += 1
        elif kind == 0x0085 and len(body) >= 8:  # BOUNDSHEET
            state = ("visible", "hidden", "veryHidden", "?")[body[4] & 0x03]
            sheet_type = {0x00: "worksheet", 0x01: "macrosheet", 0x02: "chartsheet",
                          0x06: "vbmodule"}.get(body[5], f"type{body[5]}")
            length, high = body[6], body[7] & 0x01
            raw = body[8:8 + length * (2 if high else 1)]
            name = raw.decode("utf-16-le" if high else "latin-1")
            shape.sheets.append((name, state, sheet_type))
        elif kind == 0x003D and len(body) >= 12:  # WINDOW1: the active tab
            active_index = struct.unpack_from("<H", body, 10)[0]
        elif kind == 0x00E5 and len(body) >= 2:  # MERGECELLS
            counts["merged"] += struct.unpack_from("<H", body, 0)[0]
        elif kind == 0x0018:  # NAME
            counts["names"] += 1
        elif kind == 0x001C:  # NOTE
            counts["comments"] += 1
        elif kind == 0x01BE:  # DV
            counts["validations"] += 1
    shape.counts = counts
    if 0 <= active_index < len(shape.sheets):
        shape.active = shape.sheets[active_index][0]
    else:
        shape.active = book.active
    return shape


def compare(bare, other, locked):
    """(losses, expected): what `other` differs in from `bare`.  With `locked`, the control sheet
    and the active sheet moved to the first visible worksheet are expected."""
    losses, expected = [], []
    if bare.kind != other.kind:
        losses.append(f"format {bare.kind}->{other.kind}")
    bare_names = [n for n, _, _ in bare.sheets]
    other_names = [n for n, _, _ in other.sheets]
    if locked:
        if CONTROL_SHEET in other_names and CONTROL_SHEET not in bare_names:
            state = other.state(CONTROL_SHEET)
            if state == "visible":
                losses.append(f"control sheet {CONTROL_SHEET} visible")
            else:
                expected.append(f"+{CONTROL_SHEET}({state})")
            other_names = [n for n in other_names if n != CONTROL_SHEET]
        else:
            losses.append("no control sheet")
    missing = [n for n in bare_names if n not in other_names]
    extra = [n for n in other_names if n not in bare_names]
    if missing:
        losses.append("sheets missing: " + ",".join(missing))
    if extra:
        losses.append("sheets extra: " + ",".join(extra))
    if not missing and not extra and bare_names != other_names:
        losses.append("sheet order")
    for name in bare_names:
        if name not in other_names:
            continue
        if bare.state(name) != other.state(name):
            losses.append(f"state {name}: {bare.state(name)}->{other.state(name)}")
        if name in bare.cells:
            theirs = other.cells.get(name, {})
            mine = bare.cells[name]
            differ = sum(1 for a, v in mine.items() if a in theirs and theirs[a] != v)
            gone = sum(1 for a in mine if a not in theirs)
            added = sum(1 for a in theirs if a not in mine)
            if differ or gone or added:
                parts = [f"{count} {word}" for count, word in
                         ((differ, "differ"), (gone, "missing"), (added, "extra")) if count]
                losses.append(f"cells {name}: " + ", ".join(parts))
    if bare.active != other.active:
        if locked and other.active == bare.first_visible_worksheet():
            expected.append(f"active {bare.active}->{other.active}")
        else:
            losses.append(f"active {bare.active}->{other.active}")
    for feature, count in bare.counts.items():
        theirs = other.counts.get(feature)
        if theirs != count:
            losses.append(f"{feature} {count}->{theirs}")
    return losses, expected


# ---------------------------------------------------------------------------------------------
# Runs

def log_lines(data_home):
    folder = os.path.join(data_home, "Kovrisk", "syslog")
    if not os.path.isdir(folder):
        return []
    lines = []
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as handle:
            text = handle.read().decode("cp932", "replace")
        for line in text.split("\r\n"):
            if line:
                fields = line.split(",", 3)
                lines.append(fields[3] if len(fields) == 4 else line)
    return lines


def end_of(lines, returncode, timed_out):
    """A short label for how a run ended, from the log lines it wrote."""
    if timed_out:
        return "timeout"
    if returncode is not None and returncode < 0:
        return f"crash (signal {-returncode})"
    if not lines:
        return f"no log (exit {returncode})"
    last = lines[-1]
    if last == LOCKED:
        return "locked"
    if last == OPEN_OK:
        return "OPEN OK"
    if last in FAILURES:
        return FAILURES[last]
    for start, label in REFUSALS:
        if last.startswith(start):
            if label == "refused: format":
                return f"{label} ({last[len(start):].split('）', 1)[0]})"
            return label
    return "other: " + last[:60]


def office_marker(cache_home):
    return "UserInstallation=file://" + cache_home


def run_bounded(command, environment, stdin_text, timeout, stderr_path, marker):
    """Runs `command` in its own process group; returns (exit code, seconds, timed out, offices
    left).  On timeout the group and every office of `marker` are killed."""
    started = time.monotonic()
    with open(stderr_path, "wb") as output:
        process = subprocess.Popen(command, env=environment, stdin=subprocess.PIPE,
                                   stdout=output, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        timed_out = False
        try:
            process.communicate(stdin_text.encode(), timeout=timeout)
        except subprocess.TimeoutExpired:
            timed_out = True
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except OSError:
                pass
            process.wait()
    elapsed = time.monotonic() - started
    left = checks.wait_for_no_office(marker, 5.0 if timed_out else 15.0)
    checks.kill_all(left)
    return process.returncode, elapsed, timed_out, len(left)


def program_environment(home, data_home, cache_home):
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_MESSAGES",
                                  "LC_CTYPE", "LANGUAGE")}
    environment.update(HOME=home, XDG_DATA_HOME=data_home, XDG_CACHE_HOME=cache_home,
                       LANG="C.UTF-8")
    return environment


def password_of(driver, file_name):
    result = subprocess.run([driver, "password", file_name], capture_output=True, text=True,
                            check=True)
    return "".join(chr(int(unit, 16)) for unit in result.stdout.split())


def bare_round_trip(source, extension, folder, profile, timeout):
    """Path of one `soffice --convert-to` of a copy of `source`, or raises."""
    shutil.rmtree(folder, ignore_errors=True)
    inside, outside = os.path.join(folder, "in"), os.path.join(folder, "out")
    os.makedirs(inside)
    os.makedirs(outside)
    copy = os.path.join(inside, os.path.basename(source))
    shutil.copyfile(source, copy)
    started = time.monotonic()
    process = subprocess.Popen([SOFFICE, f"-env:UserInstallation=file://{profile}", "--headless",
                                "--norestore", "--convert-to", extension, "--outdir", outside,
                                copy], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise RuntimeError("bare round trip: timeout")
    finally:
        checks.kill_all(checks.wait_for_no_office(office_marker(profile), 15.0))
    made = os.listdir(outside)
    if len(made) != 1:
        raise RuntimeError(f"bare round trip: exit {process.returncode}, no output")
    return os.path.join(outside, made[0]), time.monotonic() - started


def digest(path):
    with open(path, "rb") as handle:
        return hashlib.sha256(handle.read()).hexdigest()


def one_workbook(source, arguments, out, cache_home, bare_profile):
    name = os.path.basename(source)
    folder = os.path.join(out, "runs", name)
    shutil.rmtree(folder, ignore_errors=True)
    work, home, data_home = (os.path.join(folder, part) for part in ("work", "home", "data"))
    for part in (work, home, data_home):
        os.makedirs(part, mode=0o700)
    path = os.path.join(work, name)
    shutil.copyfile(source, path)
    with open(source, "rb") as handle:
        original = handle.read()
    fmt = real_format(original)
    result = {"file": name, "format": fmt, "notes": []}
    environment = program_environment(home, data_home, cache_home)
    marker = office_marker(cache_home)

    before = digest(path)
    code, seconds, timed_out, left = run_bounded(
        [arguments.program, path], environment, "y\n", arguments.timeout,
        os.path.join(folder, "lock.terminal.txt"), marker)
    lock_lines = log_lines(data_home)
    lock_end = end_of(lock_lines, code, timed_out)
    if lock_end == "F2" and is_already_encrypted(fmt):
        lock_end = "F2 (encrypted: expected)"
    elif lock_end == "F2":
        reason = ("told the password does not match"
                  if "fncXlsOpenExec():パスワードが一致しません。" in lock_lines else "")
        result["notes"].append("F2 on a workbook that is not encrypted: the probe could not open "
                               "it, so it took the open road" + (f" and was {reason}" if reason
                                                                  else ""))
    result.update(lock_end=lock_end, lock_exit=code, lock_seconds=round(seconds, 1),
                  lock_log=lock_lines)
    if left:
        result["notes"].append(f"lock run left {left} office process(es)")
    backup = os.path.join(data_home, "Kovrisk", "BackUp", name)
    if lock_end != "locked":
        if os.path.exists(path) and digest(path) != before:
            result["notes"].append("workbook changed although not locked")
        if not os.path.exists(path):
            result["notes"].append("workbook gone although not locked")
        if os.path.exists(backup):
            result["notes"].append("backup copy written although not locked")
        result["open_end"] = "-"
        return result

    # What the lock did, against a bare round trip of the original.
    try:
        password = password_of(arguments.driver, name)
        if not checks.is_encrypted(path):
            result["notes"].append("locked workbook is not encrypted")
        locked_plain = plain_bytes(path, password)
    except Exception as error:  # noqa: BLE001
        locked_plain = None
        result["locked_diff"] = [f"cannot decrypt: {error}"]
    extension = conversion_extension(original)
    if extension is None and locked_plain is not None:
        extension = conversion_extension(locked_plain[0])
    bare = None
    try:
        bare_path, bare_seconds = bare_round_trip(source, extension or "xlsx",
                                                  os.path.join(folder, "bare"),
                                                  bare_profile, arguments.timeout)
        result["bare_seconds"] = round(bare_seconds, 1)
        bare = read_shape(plain_bytes(bare_path, None))
    except Exception as error:  # noqa: BLE001
        result["notes"].append(f"bare round trip unreadable: {error}")
    if locked_plain is not None:
        try:
            locked_shape = read_shape(locked_plain)
            result["locked_sheets"] = locked_shape.sheets
            result["locked_counts"] = locked_shape.counts
            if bare is not None:
                result["locked_diff"], result["expected"] = compare(bare, locked_shape, True)
            else:
                result["locked_diff"] = ["no bare round trip to compare with"]
        except Exception as error:  # noqa: BLE001
            result["locked_diff"] = [f"unreadable: {type(error).__name__}: {error}"]
    if bare is not None:
        result["bare_sheets"] = bare.sheets
        result["bare_counts"] = bare.counts
    if not os.path.exists(backup):
        result["backup_diff"] = ["no backup copy"]
    else:
        try:
            if checks.is_encrypted(backup) and not checks.refuses(backup, password):
                result["notes"].append("backup copy opens with the file password")
            backup_shape = read_shape(plain_bytes(backup, BACKUP_PASSWORD))
            if bare is not None:
                result["backup_diff"], backup_expected = compare(bare, backup_shape, False)
                result["backup_diff"] += backup_expected
            else:
                result["backup_diff"] = ["no bare round trip to compare with"]
        except Exception as error:  # noqa: BLE001
            result["backup_diff"] = [f"unreadable: {type(error).__name__}: {error}"]

    # The open road on the locked workbook.
    locked_digest = digest(path)
    code, seconds, timed_out, left = run_bounded(
        [arguments.program, path], environment, "", arguments.timeout,
        os.path.join(folder, "open.terminal.txt"), marker)
    open_lines = log_lines(data_home)[len(lock_lines):]
    result.update(open_end=end_of(open_lines, code, timed_out), open_exit=code,
                  open_seconds=round(seconds, 1), open_log=open_lines)
    if left:
        result["notes"].append(f"open run left {left} office process(es)")
    if digest(path) != locked_digest:
        result["notes"].append("open run changed the locked workbook")
    return result


# ---------------------------------------------------------------------------------------------
# Report

def table(results):
    header = ("file", "real format", "lock end", "open end", "lock s",
              "differences vs bare round trip (locked)", "differences (backup)", "expected (locked)")
    rows = []
    for r in results:
        locked = r["lock_end"] == "locked"
        rows.append((r["file"], r["format"], r["lock_end"], r.get("open_end", "-"),
                     f"{r['lock_seconds']:.1f}",
                     ("; ".join(r.get("locked_diff", [])) or "none") if locked else "-",
                     ("; ".join(r.get("backup_diff", [])) or "none") if locked else "-",
                     ("; ".join(r.get("expected", [])) or "none") if locked else "-"))
    widths = [max(len(str(row[i])) for row in rows + [header]) for i in range(len(header) - 3)]
    lines = []
    for row in [header] + rows:
        fixed = "  ".join(str(cell).ljust(width) for cell, width in zip(row, widths))
        lines.append(f"{fixed}  | {row[-3]} | {row[-2]} | {row[-1]}")
    lines.append("")
    lines.extend(totals(results))
    notes = [(r["file"], note) for r in results for note in r["notes"]]
    if notes:
        lines.append("")
        lines.append("notes:")
        lines.extend(f"  {file}: {note}" for file, note in notes)
    return "\n".join(lines)


def totals(results):
    lines = [f"workbooks: {len(results)}"]
    for key, title in (("lock_end", "lock ends"), ("open_end", "open ends")):
        tally = {}
        for r in results:
            tally[r.get(key, "-")] = tally.get(r.get(key, "-"), 0) + 1
        lines.append(f"{title}: " + ", ".join(f"{label} {count}" for label, count
                                              in sorted(tally.items(), key=lambda i: -i[1])))
    locked = [r for r in results if r["lock_end"] == "locked"]
    lines.append(f"locked: {len(locked)}; with losses beyond the bare round trip: "
                 f"{sum(1 for r in locked if r.get('locked_diff'))} (locked workbook), "
                 f"{sum(1 for r in locked if r.get('backup_diff'))} (backup copy)")
    lines.append(f"lock seconds: total {sum(r['lock_seconds'] for r in results):.1f}, "
                 f"locked runs median "
                 f"{_median([r['lock_seconds'] for r in locked]):.1f}")
    return lines


def _median(values):
    if not values:
        return 0.0
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("folder")
    parser.add_argument("--out", default="/tmp/kovrisk-corpus-roads")
    parser.add_argument("--timeout", type=float, default=300.0)
    parser.add_argument("--only", action="append", help="run only these file names")
    arguments = parser.parse_args()
    arguments.program = os.path.abspath(arguments.program)
    arguments.driver = os.path.abspath(arguments.driver)
    out = os.path.abspath(arguments.out)
    os.makedirs(out, exist_ok=True)
    cache_home = os.path.join(out, "cache")
    bare_profile = os.path.join(out, "bare-profile")
    os.makedirs(cache_home, mode=0o700, exist_ok=True)
    os.chmod(cache_home, 0o700)

    sources = sorted(
        os.path.join(arguments.folder, n) for n in os.listdir(arguments.folder)
        if os.path.isfile(os.path.join(arguments.folder, n)) and not n.startswith(".")
        and os.path.splitext(n)[1] and os.path.splitext(n)[1].lower() not in SKIPPED_EXTENSIONS)
    if arguments.only:
        sources = [s for s in sources if os.path.basename(s) in arguments.only]
    results = []
    for source in sources:
        print(f"{os.path.basename(source)} ...", end=" ", flush=True)
        result = one_workbook(source, arguments, out, cache_home, bare_profile)
        print(f"{result['lock_end']} / {result.get('open_end', '-')} "
              f"({result['lock_seconds']:.1f} s)", flush=True)
        results.append(result)
        with open(os.path.join(out, "results.json"), "w", encoding="utf-8") as handle:
            json.dump(results, handle, ensure_ascii=False, indent=1)
    report = table(results)
    with open(os.path.join(out, "table.txt"), "w", encoding="utf-8") as handle:
        handle.write(report + "\n")
    print()
    print(report)


if __name__ == "__main__":
    main()
