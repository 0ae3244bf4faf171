"""What the program tests share: where the programs are, a clean environment per run, the
activity log, and the stand-in application's workbooks.  The texts the program shows and logs are
expected_texts' (tests/integration, put on the path here)."""

import os
import pathlib
import select
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "integration"))

STANDIN = os.environ.get("KOVRISK_STANDIN", "")
WORKBOOK_TOOL = os.environ.get("KOVRISK_WORKBOOK_TOOL", "")
PROGRAM = os.environ.get("KOVRISK_PROGRAM", "")
OUTPUT = pathlib.Path(os.environ.get("KOVRISK_TEST_OUTPUT", tempfile.gettempdir()))


class Home:
    """A home of its own for one run: data, cache and runtime folders, and a workbook."""

    def __init__(self):
        self._folder = tempfile.TemporaryDirectory(prefix="kovrisk-test-")
        self.root = pathlib.Path(self._folder.name)
        self.data = self.root / "data"
        self.runtime = self.root / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.workbooks = self.root / "workbooks"
        self.workbooks.mkdir()

    def cleanup(self):
        self._folder.cleanup()

    def environment(self, display=None, **extra):
        """The run's environment: no display unless one is given, UTF-8 text."""
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")
               and not key.startswith("KOVRISK_STANDIN_")}
        env.update(HOME=str(self.root), XDG_DATA_HOME=str(self.data),
                   XDG_CACHE_HOME=str(self.root / "cache"),
                   XDG_RUNTIME_DIR=str(self.runtime), LANG="C.UTF-8", LC_ALL="C.UTF-8")
        if display is not None:
            env["DISPLAY"] = display
        env.update(extra)
        return env

    def log_messages(self):
        """The activity log's messages, oldest first, decoded from Shift-JIS."""
        folder = self.data / "Kovrisk" / "syslog"
        messages = []
        for day in sorted(folder.glob("*.txt")) if folder.is_dir() else []:
            text = day.read_bytes().decode("cp932")
            for line in text.split("\r\n"):
                if line:
                    messages.append(line.split(",(Kovrisk),", 1)[1])
        return messages

    def make_workbook(self, name="Book1.xlsx", password=None):
        path = self.workbooks / name
        command = [WORKBOOK_TOOL, "make", str(path)] + ([password] if password else [])
        subprocess.run(command, check=True)
        return path

    def backup(self, name="Book1.xlsx"):
        return self.data / "Kovrisk" / "BackUp" / name


def backup_gives_back(backup, original):
    """Whether msoffcrypto-tool, with the backup password, decrypts `backup` to the bytes
    `original`: the program encrypts the stand-in's files (real containers) as Excel's."""
    import checks
    return checks.gives_back(str(backup), original, "MIRTHOLAN")


def describe_workbook(path):
    """("protected yes|no", sheet names) of a stand-in workbook."""
    lines = subprocess.run([WORKBOOK_TOOL, "describe", str(path)], check=True,
                           capture_output=True, text=True).stdout.splitlines()
    return lines[0], [line.split(" ", 1)[1] for line in lines[1:]]


def wait_for_line(stream, expected, timeout):
    """Reads `stream` (a pipe) until a line equal to `expected` arrives."""
    deadline = time.monotonic() + timeout
    pending = b""
    while True:
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([stream], [], [], remaining)[0]:
            raise AssertionError(f"no line {expected!r} within {timeout} s")
        chunk = os.read(stream.fileno(), 4096)
        if not chunk:
            raise AssertionError(f"the output ended before {expected!r}")
        pending += chunk
        if expected.encode() + b"\n" in pending:
            return

