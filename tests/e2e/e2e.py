"""What the end-to-end suites share: the built program run as a user runs it (terminal mode, or a
display of the tests' own), a folder per case, the activity log read line by line, the file
password and machine tag computed here from their published rules, and /proc checks for processes
left behind.

The checks of what the program wrote come from tools nobody here wrote (tests/integration/checks.py:
msoffcrypto, openpyxl, xlrd); test workbooks come from tests/integration/workbooks.py and from the
tests' own office (office_tool.py); the texts and log lines expected of the program from
tests/integration/expected_texts.py."""

import atexit
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent / "integration"), str(HERE.parent / "linux_app")]

import checks  # noqa: E402  (tests/integration)
import expected_texts as texts  # noqa: E402  (tests/integration)
import workbooks  # noqa: E402  (tests/integration)

PROGRAM = os.environ.get("KOVRISK_PROGRAM", "")


# The other user some cases run the program as (permission bits bind where root's runs pass).
NOBODY = 65534


def as_nobody():
    """The command prefix that runs a program as NOBODY."""
    return ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"]


def reachable_by_nobody(folder):
    return subprocess.run(as_nobody() + ["/usr/bin/test", "-x", str(folder)],
                          capture_output=True).returncode == 0


def output_folder():
    """KOVRISK_TEST_OUTPUT; but when root runs the suites from a folder another user cannot
    enter (a clone below /root), the cases that run the program as that user need one they can:
    a fresh folder in /tmp that every user may enter, removed when the suite ends."""
    output = pathlib.Path(os.environ.get("KOVRISK_TEST_OUTPUT", "/tmp/kovrisk-e2e"))
    output.mkdir(parents=True, exist_ok=True)
    if os.geteuid() != 0 or shutil.which("setpriv") is None or reachable_by_nobody(output):
        return output
    own = pathlib.Path(tempfile.mkdtemp(prefix="kovrisk-e2e-", dir="/tmp"))
    os.chmod(own, 0o755)
    atexit.register(shutil.rmtree, own, True)
    return own


OUTPUT = output_folder()
# Offices keep their temporary files below $TMPDIR, and a killed office leaves them: every process
# of the suites gets a folder of their own for it, not the machine's /tmp.
(OUTPUT / "tmp").mkdir(parents=True, exist_ok=True)
os.environ["TMPDIR"] = str(OUTPUT / "tmp")
NODE_MODULES = os.environ.get("KOVRISK_TEST_NODE_MODULES",
                              "/usr/local/lib/kovrisk-test-tools/node_modules")
# One office profile folder for every e2e run: only the first start pays for making profiles.
CACHE = OUTPUT / "cache"
# The tests' own office (conversions, other users' offices) has profiles of its own.
TOOL_PROFILES = OUTPUT / "tool-profiles"

BACKUP_PASSWORD = "MIRTHOLAN"


# The file password and the machine tag, from their rules.

def file_password(file_name):
    """The file password's bytes for a file name (text, or Shift-JIS bytes)."""
    name = file_name.encode("cp932") if isinstance(file_name, str) else file_name
    dot = name.rfind(b".")
    stem = (name[:dot] if dot >= 0 else name)[:15]
    key = stem if len(stem) >= 10 else (BACKUP_PASSWORD.encode() + stem)[:15]
    return bytes(((c * 2) & 0xFF) ^ 0xFF for c in key)


def windows_932_to_unicode(data):
    """Shift-JIS bytes as Windows' MultiByteToWideChar(932, 0, ...) turns them into Unicode."""
    out, i = [], 0
    while i < len(data):
        byte = data[i]
        if byte < 0x80:
            out.append(chr(byte))
            i += 1
        elif byte == 0x80:
            out.append("\u0080")
            i += 1
        elif byte == 0xA0:
            out.append("\uF8F0")
            i += 1
        elif 0xA1 <= byte <= 0xDF:
            out.append(chr(0xFF61 + byte - 0xA1))
            i += 1
        elif byte >= 0xFD:
            out.append(chr(0xF8F1 + byte - 0xFD))
            i += 1
        elif i + 1 >= len(data):
            out.append("\u30FB")
            i += 1
        else:
            try:
                out.append(data[i:i + 2].decode("cp932"))
            except UnicodeDecodeError:
                out.append("\u30FB")
            i += 2
    return "".join(out)


def office_password(file_name):
    """The file password as the office receives it."""
    return windows_932_to_unicode(file_password(file_name))


def encode_tag(name, fillers="kovriskab"):
    """The machine tag of a computer name (text), with the given nine filler letters."""
    data = name.encode("cp932")
    plain = bytearray(b"X" + fillers.encode())
    for position in range(len(data), 0, -1):
        byte = data[position - 1:position]
        plain += byte.lower() if position % 2 else byte.upper()
    return "".join(f"{b ^ 0xFF:02X}" for b in plain)


def decode_tag(tag):
    area = bytearray(128)
    for i, character in enumerate(tag.upper(), start=1):
        if character in "0123456789ABCDEF" and (i - 1) // 2 < len(area):
            value = int(character, 16)
            if i % 2:
                area[(i - 1) // 2] |= value << 4
            else:
                area[i // 2 - 1] |= value
    used = area.split(b"\0", 1)[0]
    plain = bytes(q for q in (b ^ 0xFF for b in used) if q)
    return plain[10:][::-1].upper().decode("cp932", "replace")


def this_computer():
    return os.uname().nodename.strip().upper()


# Another user.

def can_change_user():
    """Root may run the program as another user, who can reach the output folder."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        return False
    return reachable_by_nobody(OUTPUT)


# Files.

def digest(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def mode(path):
    return os.stat(path).st_mode & 0o7777


# Private folders.

def new_version(path, suffix=".pwd"):
    """A condition: a new version of `path` (its name followed by `suffix`) is in a private folder
    beside it."""
    path = pathlib.Path(path)

    def condition():
        try:
            return any((folder / (path.name + suffix)).exists()
                       for folder in private_folders(path.parent))
        except OSError:
            return False
    return condition


def private_folders(folder):
    """The folders new versions of files are written in, beside the files."""
    folder = pathlib.Path(folder)
    return sorted(p for p in folder.iterdir() if p.name.startswith(".kovrisk-")) \
        if folder.is_dir() else []


class Case:
    """A folder of one case: its own data home (log, backups), workbooks and runtime folder."""

    def __init__(self, suite, name):
        self.root = OUTPUT / suite / name
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        self.data = self.root / "data"
        self.books = self.root / "books"
        self.books.mkdir()
        self.runtime = self.root / "runtime"
        self.runtime.mkdir(mode=0o700)
        CACHE.mkdir(parents=True, exist_ok=True)

    def hand_to(self, uid):
        """Everything in the case's folder given to the user `uid` (and its group of that id)."""
        for folder, _, files in os.walk(self.root):
            os.chown(folder, uid, uid)
            for name in files:
                os.chown(os.path.join(folder, name), uid, uid)

    @property
    def backup_folder(self):
        return self.data / "Kovrisk" / "BackUp"

    def backup(self, name):
        return self.backup_folder / name

    def environment(self, display=None, **extra):
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KOVRISK_SOFFICE")}
        # The user's own settings (LibreOffice's macro security among them) are the case's.
        env.update(HOME=str(self.root), XDG_DATA_HOME=str(self.data), XDG_CACHE_HOME=str(CACHE),
                   XDG_CONFIG_HOME=str(self.root / ".config"), XDG_RUNTIME_DIR=str(self.runtime),
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        if display:
            env["DISPLAY"] = display
        env.update(extra)
        return env

    # The activity log.

    def log_files(self):
        folder = self.data / "Kovrisk" / "syslog"
        return sorted(folder.glob("*.txt")) if folder.is_dir() else []

    def log_messages(self, failure_texts=False):
        """Every line of every day's file, checked for its frame, as its message text.  Each
        operation's "Catch Exception" line is checked to come with the failure's text
        ("<operation>()ERROR=<text>"); those lines are left out unless `failure_texts`."""
        messages = []
        for day in self.log_files():
            messages += [message for _, _, message in parse_log(day.read_bytes())]
        check_failure_texts(messages)
        return messages if failure_texts else [m for m in messages if not FAILURE_TEXT.match(m)]

    def start(self, workbook, answer=None, display=None, prefix=(), cwd=None, env=None,
              keep_input=False, umask=-1):
        """Starts the program on `workbook`; `answer` is written to its standard input, which
        then ends (unless `keep_input`: then the caller writes and closes it)."""
        command = list(prefix) + [PROGRAM] + ([] if workbook is None else [str(workbook)])
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE,
                                   env=env or self.environment(display), cwd=cwd or self.root,
                                   umask=umask)
        if answer is not None:
            process.stdin.write(answer.encode())
            process.stdin.flush()
        if not keep_input:
            process.stdin.close()
            process.stdin = None  # ended: communicate() has nothing more to send
        return process

    def run(self, workbook, answer=None, timeout=180, **options):
        """Runs the program to its end; returns (terminal lines, new log messages).  The exit code
        must be the one of the end the log shows (0 on a display)."""
        before = len(self.log_messages())
        process = self.start(workbook, answer, **options)
        lines = finish(process, timeout, expected_code=None)
        log = self.log_messages()[before:]
        expected = 0 if options.get("display") else exit_code_of(log)
        if expected is not None and process.returncode != expected:
            raise AssertionError(f"exit code {process.returncode}, not {expected}, after {log}")
        return lines, log


FAILURE_TEXT = re.compile(r"(fnc\w+)" + re.escape(texts.error("")) + "(.*)", re.S)


def check_failure_texts(messages):
    """Every failure of an operation is logged with a text of its own, after its "Catch
    Exception" line (other runs' lines may come between)."""
    caught, logged_texts = {}, {}
    catch = texts.catch("")
    for message in messages:
        if message.endswith(catch):
            operation = message[:-len(catch)]
            caught[operation] = caught.get(operation, 0) + 1
        found = FAILURE_TEXT.fullmatch(message)
        if found:
            if not found.group(2).strip():
                raise AssertionError(f"a failure logged without its text: {message!r}")
            logged_texts[found.group(1)] = logged_texts.get(found.group(1), 0) + 1
    if caught != logged_texts:
        raise AssertionError(f"failures {caught} logged with texts {logged_texts}")


def finish(process, timeout=180, expected_code=0):
    """Waits for a started program; returns its terminal lines (standard error).  The exit code
    must be `expected_code`, unless that is None."""
    try:
        out, err = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
        raise AssertionError(f"the program did not end within {timeout} s: {err!r}")
    if expected_code is not None and process.returncode != expected_code:
        raise AssertionError(f"exit code {process.returncode}: {err!r}")
    if out:
        raise AssertionError(f"the program wrote to standard output: {out!r}")
    return err.decode("utf-8").split("\n")[:-1] if err else []


LOG_LINE = re.compile(rb"(\d{4}/\d\d/\d\d),(\d\d:\d\d:\d\d\.\d{3}),\(Kovrisk\),(.*)", re.S)


def finish_answering_notices(x, process, timeout=120):
    """Waits for the program to end as finish() does, answering with Enter every notice the
    office puts up meanwhile (a window titled "Warning", such as its word that a workbook's
    macros are disabled), as a user would; returns (terminal lines, how many were answered)."""
    answered = 0
    deadline = time.monotonic() + timeout
    while process.poll() is None and time.monotonic() < deadline:
        for notice in x.windows_titled("Warning"):
            answered += 1
            x.tool("xdotool", "windowfocus", "--sync", str(notice))
            x.key("Return")
        time.sleep(0.2)
    return finish(process, 10), answered


def parse_log(data):
    """[(date, time, message)] of a day's file; raises on any line that is not framed whole."""
    if not data:
        return []
    if not data.endswith(b"\r\n"):
        raise AssertionError(f"the log does not end with CR LF: {data[-60:]!r}")
    lines = []
    for raw in data[:-2].split(b"\r\n"):
        found = LOG_LINE.fullmatch(raw)
        if not found or b"\n" in raw or b"\r" in raw:
            raise AssertionError(f"a log line out of frame: {raw!r}")
        lines.append((found.group(1).decode(), found.group(2).decode(),
                      found.group(3).decode("cp932")))
    return lines


# Watching a run from outside.

def wait_for(process, condition, bound=120.0):
    """Polls `condition` every millisecond while `process` runs; whether it came true."""
    deadline = time.monotonic() + bound
    while True:
        if condition():
            return True
        if process.poll() is not None or time.monotonic() > deadline:
            return condition()
        time.sleep(0.001)


def logged(case, message):
    """A condition: the case's log holds a line with `message`."""
    needle = b",(Kovrisk)," + message.encode("cp932") + b"\r\n"

    def condition():
        return any(needle in day.read_bytes() for day in case.log_files())
    return condition


def end_of(log):
    """The end a run's log shows: S, C, F1 to F5, or the open road's refusal."""
    last = log[-1] if log else ""
    for name, (line, _) in texts.FAILURES.items():
        if last == line:
            return name
    if last in (texts.LOCKED, texts.OPENED):
        return "S"
    if last == texts.CANCELLED:
        return "C"
    if last in (texts.NO_COMPUTER_NAME, texts.IN_USE, texts.MANY_NAMES, texts.WORKBOOK_SWAPPED):
        return "refused"
    if last in (texts.NO_CONTROL_SHEET, texts.ALREADY_OPEN) or texts.is_refusal(last):
        return "refused"
    return "unknown: " + last


def exit_code_of(log):
    """The exit code a run in the terminal ends with, by the lines it logged; None when they do not
    tell (a run killed from outside, or one that logged nothing)."""
    last = log[-1] if log else ""
    end = end_of(log)
    if end == "refused":
        end = "lock refused" if last in (texts.NO_COMPUTER_NAME, texts.IN_USE, texts.MANY_NAMES,
                                         texts.WORKBOOK_SWAPPED) else "open refused"
    elif last.startswith(texts.LOCK_REFUSALS):
        end = "lock refused"
    elif last == texts.NOT_INSTALLED:
        end = "not installed"
    elif last == texts.BAD_EXTENSION:
        end = "bad extension"
    elif last == texts.WORKBOOK_BUSY:
        end = "busy"
    elif last == texts.TOO_LARGE:
        end = "too large"
    elif last in texts.NOT_A_WORKBOOK_FILE:
        end = "not a workbook file"
    elif last.startswith(texts.CLAIM_UNAVAILABLE.split("{}")[0]):
        end = "no claim"
    return texts.EXIT_CODES.get(end)


# Processes.

def own_processes():
    """Pids of the processes these suites started the program in: the program, its office's
    keeper and the office all carry the suites' profile folder in their environment (the office on
    its command line too).  Zombies excluded; other suites' copies of the program do not count."""
    marker = str(CACHE).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as handle:
                if handle.read().rsplit(b")", 1)[1].split()[0] == b"Z":
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as handle:
                command = handle.read()
            with open(f"/proc/{entry}/environ", "rb") as handle:
                environment = handle.read()
        except OSError:
            continue
        if marker in command or b"XDG_CACHE_HOME=" + marker in environment:
            found.append(int(entry))
    return sorted(found)


def program_processes():
    """The program's own processes (itself and its office's keeper) among them."""
    found = []
    for pid in own_processes():
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as handle:
                if handle.read().split(b"\0")[0] == PROGRAM.encode():
                    found.append(pid)
        except OSError:
            pass
    return found


def wait_for_no_processes(bound=15.0):
    """The pids still running after `bound` seconds; the office's keeper gives an office whose
    program vanished five seconds to end."""
    return checks.wait_for_none(own_processes, bound)


kill = checks.kill_all


def office_pids():
    """soffice.bin processes on the suites' profile folder."""
    pids = []
    for pid in checks.office_processes(str(CACHE)):
        try:
            with open(f"/proc/{pid}/comm") as handle:
                if handle.read().strip() == "soffice.bin":
                    pids.append(pid)
        except OSError:
            pass
    return pids


# Reading what was written.

def read_locked(path, file_name=None):
    """The locked workbook as the checks read it, decrypted with the file password of its name."""
    return checks.read_book(str(path), office_password(file_name or pathlib.Path(path).name))


def user_sheets(book):
    return {sheet.name: (sheet.cells, sheet.hidden) for sheet in book.sheets
            if sheet.name.upper() != texts.CONTROL_SHEET.upper()}


# The suites' workbooks, made once for as long as their makers do not change.

USER_SHEETS = [("Data", False), ("第二", False), ("Third", False)]
OTHER_SHEETS = [("Other", False), ("別のデータ", False)]
HIDDEN_SHEETS = [("Hidden one", True), ("Hidden two", True), ("Shown", False)]


def library():
    """A folder with plain.xlsx/.xls (user data), other.xlsx/.xls (different data),
    hidden.xlsx/.xls (all sheets hidden but one), large.xlsx/.xls (about 300 kB) and macro.xls (an
    auto-run macro that appends to macro-marker.txt in this folder)."""
    makers = [HERE / "e2e.py", HERE / "macro_workbook.py", HERE / "office_tool.py",
              HERE.parent / "integration" / "workbooks.py"]
    stamp = hashlib.sha256(b"".join(path.read_bytes() for path in makers)).hexdigest()[:12]
    folder = OUTPUT / f"library-{stamp}"
    done = folder / "done"
    if done.exists():
        return folder
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    workbooks.make_xlsx(str(folder / "plain.xlsx"), sheets=USER_SHEETS)
    workbooks.make_xlsx(str(folder / "other.xlsx"), sheets=OTHER_SHEETS, rows=6)
    workbooks.make_xlsx(str(folder / "hidden.xlsx"), sheets=HIDDEN_SHEETS)
    workbooks.make_large_xlsx(str(folder / "large.xlsx"), 300_000)
    import macro_workbook
    import office_tool

    with office_tool.Office(TOOL_PROFILES / "library") as office:
        for name in ("plain", "other", "hidden", "large"):
            office.convert(folder / f"{name}.xlsx", folder / f"{name}.xls")
    macro_workbook.add_macro(str(folder / "plain.xls"), str(folder / "macro.xls"),
                             str(folder / "macro-marker.txt"), NODE_MODULES)
    done.write_text("made\n")
    return folder


def place(source, target, mode_bits=None):
    """A copy of a library workbook at `target` (folders made); returns the target path.  In a
    data folder ("Kovrisk"), folders and file are the user's alone, as the program makes them."""
    target = pathlib.Path(os.fsdecode(target))
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, target)
    if mode_bits is not None:
        os.chmod(target, mode_bits)
    if "Kovrisk" in target.parts[:-1]:
        data = pathlib.Path(*target.parts[:target.parts.index("Kovrisk") + 1])
        for folder in [data] + [p for p in target.parents if data in p.parents]:
            os.chmod(folder, 0o700)
        os.chmod(target, mode(target) & 0o700)
    return target


class TestCase(unittest.TestCase):
    """A case folder per test; after each test no process of the program or of its offices may be
    left (any found is ended, and the test fails)."""

    suite = "e2e"

    def setUp(self):
        if not PROGRAM:
            self.fail("KOVRISK_PROGRAM names no program")
        # checks.read_book leaves a file to the collector; that is no finding of these suites.
        warnings.simplefilter("ignore", ResourceWarning)
        self.case = Case(self.suite, f"{type(self).__name__}.{self._testMethodName}")
        self.library = library()

    def tearDown(self):
        left = wait_for_no_processes()
        kill(left)
        self.assertEqual(left, [], "processes left behind")

    def assert_no_processes(self):
        left = wait_for_no_processes()
        kill(left)
        self.assertEqual(left, [], "processes left behind")

    def assert_no_temporary_copies(self, *folders, office_locks=True):
        """No temporary copy of the program's (".pwd", ".copy", a private ".kovrisk-" folder) in
        the folders; with `office_locks`, no lock file of an office either (an office that was
        killed leaves its own behind)."""
        for folder in folders or (self.case.books, self.case.backup_folder):
            folder = pathlib.Path(folder)
            if folder.is_dir():
                left = [p.name for p in folder.iterdir()
                        if p.name.endswith((".pwd", ".copy")) or p.name.startswith(".kovrisk-")
                        or (office_locks and p.name.startswith(".~lock."))]
                self.assertEqual(left, [], f"temporary files left in {folder}")

    def assert_locked(self, path, original, file_name=None, computer=None):
        """`path` is fully locked: it decrypts only with the file password of its name, holds the
        user's sheets of `original` (a library workbook) unchanged, and the control sheet last."""
        path = pathlib.Path(path)
        password = office_password(file_name or path.name)
        self.assertTrue(checks.is_encrypted(str(path)), f"{path} is not encrypted")
        self.assertTrue(checks.refuses(str(path), BACKUP_PASSWORD))
        self.assertTrue(checks.refuses(str(path), password + "x"))
        book = checks.read_book(str(path), password)
        expected = checks.read_book(str(original), None)
        self.assertEqual(book.names, expected.names + [texts.CONTROL_SHEET])
        self.assertEqual(user_sheets(book), user_sheets(expected))
        control = book.sheet(texts.CONTROL_SHEET)
        self.assertTrue(control.hidden)
        self.assertTrue(control.protected)
        self.assertEqual(set(control.cells), {"A1", "Z2"})
        self.assertEqual(control.cells["A1"], texts.WARNING)
        self.assertEqual(decode_tag(control.cells["Z2"]),
                         this_computer() if computer is None else computer)
        self.assertIn("Z2", control.white)
        return book

    def assert_backup_of(self, backup, original):
        """`backup` is the backup copy of `original`: protected with the backup password only,
        and decrypted, the original file (for a binary workbook, its streams with FILEPASS
        added), which the readers read as the user's sheets without a control sheet."""
        self.assertTrue(checks.is_encrypted(str(backup)), f"{backup} is not encrypted")
        self.assertTrue(checks.gives_back(str(backup), pathlib.Path(original).read_bytes(),
                                          BACKUP_PASSWORD),
                        f"{backup} does not decrypt to {original}")
        book = checks.read_book(str(backup), BACKUP_PASSWORD)
        expected = checks.read_book(str(original), None)
        self.assertEqual(book.names, expected.names)
        self.assertEqual(user_sheets(book), user_sheets(expected))

    def assert_untouched(self, path, before):
        self.assertTrue(pathlib.Path(path).is_file(), f"{path} is missing")
        self.assertEqual(digest(path), before, f"{path} changed")
