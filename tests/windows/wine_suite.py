#!/usr/bin/python3
"""The cross-built Windows program and its tests under wine, in a fresh wine prefix.

Headless: the core's unit tests and the Windows edge's unit tests, and the dump of what
MultiByteToWideChar(932, 0, ...) makes of every byte, every byte pair and random strings, which the
Linux conversion must match; the workbook encryption through CNG, which must write the same
bytes as the Linux build through OpenSSL for the same random values, and which msoffcrypto-tool
decrypts.  On Xvfb: kovrisk.exe itself, first without any "Excel.Application"
(message box for a wrong argument count, the not-installed end), then with the stand-in COM
server (out of process, as Excel is) registered in the prefix, through the lock road, the open
road, the hand-over of a workbook with macros under the user's macro settings, a refusal, a
cancel, a read-only workbook, a long Japanese path, failures that Excel reports through EXCEPINFO,
an Excel that turns calls away while it is busy, a workbook Excel would ask about and a path too
long for Excel; then the installer: a silent install, the installed program through its "Send to"
shortcut, a silent uninstall.
Message boxes are found and answered with xdotool; screenshots go to the artifacts folder.

Exit status 0 when every check passed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback
from pathlib import Path

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"

OPEN_ON_THE_WIRE = ("Workbooks.Open(#1:BSTR&, UpdateLinks:I4, Password:BSTR&, WriteResPassword:BSTR&, "
                    "IgnoreReadOnlyRecommended:BOOL(-1), Notify:BOOL(0), AddToMru:BOOL(0), "
                    "CorruptLoad:I4)")
LOG_LINE = re.compile(rb"^\d{4}/\d{2}/\d{2},\d{2}:\d{2}:\d{2}\.\d{3},\(Kovrisk\),(.*)$")


def integration_module(name):
    """A module of the Linux suites (tests/integration): the checks made with tools nobody here
    wrote, the test workbooks."""
    folder = str(Path(__file__).resolve().parent.parent / "integration")
    if folder not in sys.path:
        sys.path.insert(0, folder)
    return __import__(name)


texts = integration_module("expected_texts")


class Checks:
    """Collects the outcome of every check and prints it as it goes."""

    def __init__(self):
        self.failures = []

    def check(self, condition, what, detail=""):
        if condition:
            print(f"  ok   {what}")
        else:
            print(f"  FAIL {what}" + (f": {detail}" if detail else ""))
            self.failures.append(what)
        return condition

    def equal(self, actual, expected, what):
        return self.check(actual == expected, what, f"\n    got      {actual!r}\n    expected {expected!r}")


class Xvfb:
    """A private X display for the program's windows."""

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as display:
            while not number.endswith(b"\n"):
                chunk = display.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=10)


class Wine:
    """One wine prefix and the X display its programs show their windows on."""

    def __init__(self, prefix, display=None):
        self.prefix = prefix
        self.display = display

    def env(self, extra=None, headless=False):
        env = {k: v for k, v in os.environ.items() if not k.startswith("KOVRISK_STANDIN_")}
        env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8", LC_ALL="C.UTF-8")
        env.pop("DISPLAY", None)
        if not headless and self.display:
            env["DISPLAY"] = self.display
        env.update(extra or {})
        return env

    def run(self, args, timeout=300, headless=False, extra=None):
        return subprocess.run([WINE] + [str(a) for a in args], env=self.env(extra, headless),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)

    def start(self, args, extra=None):
        return subprocess.Popen([WINE] + [str(a) for a in args], env=self.env(extra),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def unix(self, windows_path):
        """C:\\a\\b as a path of this machine."""
        assert windows_path[:3].upper() == "C:\\"
        return self.prefix / "drive_c" / Path(*windows_path[3:].split("\\"))

    @staticmethod
    def windows(path):
        return "Z:" + str(path).replace("/", "\\")

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.env(headless=True),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class Screen:
    """The X side: finding windows, their properties, keys and pictures."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display, LANG="C.UTF-8", LC_ALL="C.UTF-8")

    def tool(self, *args):
        return subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=30).stdout.decode("utf-8", "replace")

    def find(self, name_pattern):
        out = self.tool("xdotool", "search", "--onlyvisible", "--name", name_pattern)
        return [int(w) for w in out.split()]

    def wait_for(self, name_pattern, process=None, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.find(name_pattern)
            if found:
                time.sleep(0.3)  # let it paint
                return found[0]
            if process is not None and process.poll() is not None:
                return None
            time.sleep(0.2)
        return None

    def wait_gone(self, window, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if window not in self.find("."):
                return True
            time.sleep(0.2)
        return False

    def geometry(self, window):
        out = self.tool("xwininfo", "-id", str(window))
        value = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                value("Height"))

    def property(self, window, name):
        return self.tool("xprop", "-id", str(window), name)

    def press(self, window, *keys):
        self.tool("xdotool", "windowfocus", "--sync", str(window))
        self.tool("xdotool", "key", "--clearmodifiers", *keys)

    def save(self, path, crop=None):
        args = ["import", "-window", "root"]
        if crop:
            x, y, w, h = crop
            args += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        subprocess.run(args + [str(path)], env=self.env, timeout=30, check=False)

    def pixels(self, crop):
        """The RGB pixels of a region, as rows of (r, g, b)."""
        x, y, w, h = crop
        data = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                               "-depth", "8", "ppm:-"], env=self.env, stdout=subprocess.PIPE,
                              timeout=30).stdout
        parts = data.split(maxsplit=4)
        width, height, body = int(parts[1]), int(parts[2]), parts[4]
        return [[tuple(body[(r * width + c) * 3:(r * width + c) * 3 + 3]) for c in range(width)]
                for r in range(height)]


def navy(pixel):
    r, g, b = pixel
    return b >= 90 and b > r + 50 and b > g + 50


def bmp_rows(path):
    """The pixels of a 24-bit bottom-up BMP file, as rows of (r, g, b) from the top."""
    data = Path(path).read_bytes()
    offset, width, height = (int.from_bytes(data[at:at + 4], "little", signed=True)
                             for at in (10, 18, 22))
    stride = (width * 3 + 3) & ~3
    return [[tuple(data[offset + r * stride + c * 3:offset + r * stride + c * 3 + 3][::-1])
             for c in range(width)] for r in reversed(range(height))]


# Image1 lies 4 pixels above and left of the client area; the icon in its picture covers this
# part of the client area, above the status text's line.
ICON_IN_CLIENT = (6, 2, 24, 24)


class Suite:
    def __init__(self, args):
        self.build = Path(args.build)
        self.compare = Path(args.compare)
        self.host_encrypt_tool = Path(args.encrypt_tool)
        self.artifacts = Path(args.artifacts)
        self.random_strings = args.random_strings
        self.only = set(args.only.split(",")) if args.only else set()
        self.checks = Checks()
        self.program = self.build / "src/app/win32/kovrisk.exe"
        self.picture = self.build / "src/app/win32/artwork/status_window.bmp"
        self.installers = self.build / "packaging/windows"
        self.tools = self.build / "tests/windows"
        self.standin_tool = self.tools / "kovrisk_standin_tool.exe"
        self.encrypt_tool = self.build / "tests/tools/kovrisk_encrypt_tool.exe"

    # --- set-up -----------------------------------------------------------------------------

    def make_prefix(self):
        self.wine.run(["wineboot", "--init"], headless=True)
        # Japanese glyphs for the screenshots: a CJK font behind the dialog font and the window's
        # named faces.  The program's text handling does not depend on it.
        reg = self.workdir / "fonts.reg"
        font = "NotoSansCJK-Regular.ttc,Noto Sans CJK JP"
        links = "".join(
            f'"{face}"=hex(7):{",".join(f"{b:02x}" for b in (font + chr(0) + chr(0)).encode("utf-16-le"))}\r\n'
            for face in ("Tahoma", "MS Shell Dlg", "Microsoft Sans Serif"))
        reg.write_text(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n"
            + links + "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"
            '"ＭＳ Ｐゴシック"="Noto Sans CJK JP"\r\n"HG丸ｺﾞｼｯｸM-PRO"="Noto Sans CJK JP"\r\n',
            encoding="utf-16")
        self.wine.run(["reg", "import", Wine.windows(reg)], headless=True)

    def tool(self, *args, headless=True):
        result = self.wine.run([self.standin_tool] + list(args), headless=headless)
        return result.returncode, result.stdout, result.stderr.decode("cp932", "replace").strip()

    # --- the activity log -------------------------------------------------------------------

    def log_folder(self):
        return self.wine.unix("C:\\ProgramData\\Kovrisk\\syslog")

    def clear_log(self):
        shutil.rmtree(self.log_folder(), ignore_errors=True)

    def fresh_workbook(self, workbook, kind="create", *args):
        """Makes the workbook `workbook` (its folder too) with the stand-in tool's `kind` and clears
        the log; returns the workbook's file as it is then."""
        self.wine.unix(workbook).parent.mkdir(parents=True, exist_ok=True)
        self.tool(kind, workbook, *args)
        self.clear_log()
        return self.wine.unix(workbook).read_bytes()

    def log(self):
        """The messages of every line logged since the last clear_log, checked for framing."""
        messages = []
        folder = self.log_folder()
        if not folder.exists():
            return messages
        for file in sorted(folder.iterdir()):
            data = file.read_bytes()
            bad = [] if data.endswith(b"\r\n") else [data[-40:]]
            for raw in data.split(b"\r\n")[:-1]:
                match = LOG_LINE.match(raw)
                try:
                    messages.append(match.group(1).decode("cp932"))
                except (AttributeError, UnicodeDecodeError):
                    bad.append(raw)
            if bad:
                self.checks.check(False, f"log {file.name}: dated Shift-JIS lines ending in CR LF",
                                  repr(bad[:3]))
        return messages

    # --- running the program ----------------------------------------------------------------

    def run_program(self, args, answers=(), extra=None, on_box=None, timeout=60):
        """Runs kovrisk.exe; answers each message box in turn with its keys.  Returns the exit code,
        or None when the program did not end."""
        process = self.wine.start([self.program] + list(args), extra)
        try:
            for index, keys in enumerate(answers):
                box = self.screen.wait_for(f"^{texts.BOX_TITLE}$", process, timeout)
                if not self.checks.check(box is not None, f"message box {index + 1} appears"):
                    break
                if on_box:
                    on_box(index, box)
                self.screen.press(box, *keys)
                self.checks.check(self.screen.wait_gone(box), f"message box {index + 1} is answered")
            try:
                return process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.screen.save(self.artifacts / "stuck.png")
                for box in self.screen.find(f"^{texts.BOX_TITLE}$"):
                    self.screen.press(box, "Escape")
                try:
                    return process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    return None
        finally:
            if process.poll() is None:
                process.kill()

    def standin_env(self, faults=None, pauses=None, busy=None):
        record = self.workdir / "record.txt"
        wire = self.workdir / "wire.txt"
        for file in (record, wire):
            file.unlink(missing_ok=True)
        env = {"KOVRISK_STANDIN_RECORD": Wine.windows(record),
               "KOVRISK_STANDIN_WIRE": Wine.windows(wire)}
        for name, lines in (("FAULTS", faults), ("PAUSES", pauses), ("BUSY", busy)):
            if lines:
                file = self.workdir / f"{name.lower()}.txt"
                file.write_bytes("".join(line + "\r\n" for line in lines).encode("cp932"))
                env[f"KOVRISK_STANDIN_{name}"] = Wine.windows(file)
        return env

    def standin_processes(self, known=None):
        """The stand-in servers running in this prefix, as pids: all of them now, or those not
        `known`, after a short grace for them to end."""
        deadline = time.monotonic() + (5 if known is not None else 0)
        known = known or []
        while True:
            found = []
            for proc in Path("/proc").iterdir():
                try:
                    if (b"standin_excel_server" in (proc / "cmdline").read_bytes()
                            and f"WINEPREFIX={self.wine.prefix}".encode() in
                            (proc / "environ").read_bytes().split(b"\0")
                            and (proc / "stat").read_text().split(") ")[1][0] != "Z"):
                        if int(proc.name) not in known:
                            found.append(int(proc.name))
                except (OSError, IndexError, ValueError):
                    continue
            if not found or time.monotonic() > deadline:
                return found
            time.sleep(0.2)

    def record(self):
        file = self.workdir / "record.txt"
        return file.read_bytes().decode("cp932").split("\r\n")[:-1] if file.exists() else []

    def wire(self):
        file = self.workdir / "wire.txt"
        return file.read_bytes().decode("cp932").split("\r\n")[:-1] if file.exists() else []

    # --- the parts of the run ---------------------------------------------------------------

    def unit_tests(self):
        print("unit tests under wine (headless)")
        for exe in (self.build / "tests/kovrisk_unit_tests.exe",
                    self.tools / "kovrisk_windows_tests.exe"):
            started = time.monotonic()
            result = self.wine.run([exe, "--gtest_brief=1"], headless=True, timeout=600)
            summary = [line for line in result.stdout.decode("cp932", "replace").splitlines()
                       if line.startswith("[  PASSED") or line.startswith("[  FAILED")
                       or line.startswith("[==========]")]
            self.checks.check(result.returncode == 0,
                              f"{exe.name}: {' / '.join(summary)} ({time.monotonic() - started:.1f} s)",
                              result.stdout.decode("cp932", "replace")[-4000:])

    def cp932(self):
        print("Shift-JIS to UTF-16: Linux conversion against MultiByteToWideChar(932, 0, ...)")
        dump = self.workdir / "cp932.bin"
        result = self.wine.run([self.tools / "kovrisk_cp932_dump.exe", Wine.windows(dump),
                                str(self.random_strings)], headless=True)
        if not self.checks.check(result.returncode == 0 and dump.exists(), "dump written under wine"):
            return
        compared = subprocess.run([str(self.compare), str(dump)], stdout=subprocess.PIPE, timeout=300)
        output = compared.stdout.decode("utf-8", "replace").strip()
        self.checks.check(compared.returncode == 0, output.splitlines()[-1] if output else "compare",
                          output[-3000:])

    def encryption(self):
        print("workbook encryption through CNG against the Linux build and msoffcrypto-tool")
        checks = integration_module("checks")
        workbooks = integration_module("workbooks")
        folder = self.workdir / "encryption"
        folder.mkdir()
        sources = {"xlsx": workbooks.make_xlsx(str(folder / "plain.xlsx")),
                   "xls": workbooks.make_xls(str(folder / "plain.xls"), str(self.workdir / "office"))}
        password_hex = "1b351f211b17bf8dbf1d15351b0d"  # the file password of "report 9 query.xls"
        password = "".join(chr(int(unit, 16)) for unit in subprocess.run(
            [str(self.host_encrypt_tool), "unicode", password_hex], capture_output=True, text=True,
            check=True).stdout.split())
        random_hex = os.urandom(160).hex()
        for kind, source in sources.items():
            on_windows, on_linux = folder / f"windows.{kind}", folder / f"linux.{kind}"
            started = time.monotonic()
            result = self.wine.run([self.encrypt_tool, kind, Wine.windows(source),
                                    Wine.windows(on_windows), password_hex, random_hex],
                                   headless=True)
            if not self.checks.check(result.returncode == 0 and on_windows.exists(),
                                     f"{kind}: encrypted under wine ({time.monotonic() - started:.1f} s)",
                                     (result.stdout + result.stderr).decode("cp932", "replace")):
                continue
            subprocess.run([str(self.host_encrypt_tool), kind, source, str(on_linux), password_hex,
                            random_hex], check=True, timeout=120)
            self.checks.check(on_windows.read_bytes() == on_linux.read_bytes(),
                              f"{kind}: CNG and OpenSSL give the same file for the same random values")
            with open(source, "rb") as handle:
                original = handle.read()
            decrypted = checks.decrypt(str(on_windows), password)
            if kind == "xlsx":
                self.checks.check(decrypted == original, "xlsx: msoffcrypto-tool gives back the package")
            else:
                before, after = checks.ole_streams(original), checks.ole_streams(decrypted)
                after["Workbook"] = checks.without_inserted_record(after["Workbook"], 1)
                self.checks.check(before == after, "xls: msoffcrypto-tool gives back every stream")
            self.checks.check(checks.refuses(str(on_windows), password[:-1] + "?"),
                              f"{kind}: msoffcrypto-tool refuses a wrong password")

    def without_excel(self):
        print("kovrisk.exe without Excel.Application")
        workbook = "C:\\work\\Book1.xlsx"
        self.fresh_workbook(workbook)
        for args, what in (([], "no argument"), ([workbook, "C:\\work\\Book2.xlsx"], "two arguments"),
                           ([""], "an empty argument (an empty pair of quotes)")):
            shots = []
            code = self.run_program(args, answers=[["Return"]],
                                    on_box=lambda i, box: shots.append(self.screen.geometry(box)))
            self.checks.equal(code, 0, f"{what}: the message box, then exit code 0")
            if shots and what == "no argument":
                self.screen.save(self.artifacts / "drop_one_file_box.png")
        self.checks.check(not self.wine.unix("C:\\ProgramData\\Kovrisk").exists(),
                          "a wrong argument count logs nothing")

        for path in (workbook, "C:\\work\\Book1.csv"):
            self.clear_log()
            code = self.run_program([path])
            self.checks.equal(code, 0, f"{path}: ends without a message box")
            lines = self.log()
            self.checks.check(len(lines) == 3 and lines[0] == texts.FIND_LINE
                              and lines[1].startswith(texts.error(texts.FIND))
                              and len(lines[1]) > len(texts.error(texts.FIND))
                              and lines[2] == texts.NOT_INSTALLED,
                              f"{path}: fucXlsFind, its error and the not-installed line, in Shift-JIS",
                              repr(lines))
            print(f"       ({lines[1] if len(lines) > 1 else ''})")

    def register(self):
        print("the stand-in Excel.Application, an out-of-process server registered in the prefix")
        server = self.tools / "standin_excel_server.exe"
        result = self.wine.run([server, "/regserver"], headless=True)
        self.checks.equal(result.returncode, 0, "standin_excel_server.exe /regserver")
        query = self.wine.run(["reg", "query", "HKCR\\Excel.Application\\CLSID"], headless=True)
        self.checks.check(b"{4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}" in query.stdout,
                          "Excel.Application names the stand-in's class")
        query = self.wine.run(["reg", "query", "HKCR\\CLSID\\{4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}"
                               "\\LocalServer32"], headless=True)
        self.checks.check(b"standin_excel_server.exe" in query.stdout,
                          "the class is served by a local server (LocalServer32)")

    def bounded_excel(self):
        print("a dialog in a hidden Excel that never closes: the operation ends within its bound")
        handed_over = self.standin_processes()
        started = time.monotonic()
        result = self.wine.run([self.tools / "kovrisk_windows_tests.exe", "--gtest_brief=1",
                                "--gtest_filter=OutOfProcessExcel.*"], timeout=180,
                               extra={"KOVRISK_OUT_OF_PROCESS_EXCEL": "1"})
        out = result.stdout.decode("cp932", "replace")
        self.checks.check(result.returncode == 0 and "[  PASSED  ] 2 tests" in out,
                          f"the Excel waiting on the dialog is ended, the workbook unchanged "
                          f"({time.monotonic() - started:.1f} s)", out[-3000:])
        self.checks.equal(self.standin_processes(handed_over), [], "no stand-in Excel is left running")

    def relative_path(self, name):
        print("a relative path: settled against the program's folder, not Excel's")
        workbook = "C:\\work\\Relative.xlsx"
        self.fresh_workbook(workbook)
        process = subprocess.Popen([WINE, self.program, "Relative.xlsx"], cwd=self.wine.unix("C:\\work"),
                                   env=self.wine.env(self.standin_env()), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            box = self.screen.wait_for(f"^{texts.BOX_TITLE}$", None, 60)
            if self.checks.check(box is not None, "the confirmation box appears"):
                self.screen.press(box, "Tab", "Return")
            process.wait(timeout=60)
        finally:
            if process.poll() is None:
                process.kill()
        self.checks.equal(self.log()[-1:], [texts.LOCKED], "locked")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked", err)
        opened = [line for line in self.record() if line.startswith("Workbooks.Open(")]
        self.checks.check(opened and all("C:\\work\\Relative.xlsx" in line for line in opened),
                          "Excel is given the full path", repr(opened[:1]))

    def lock_road(self, name):
        print("lock road: status window, confirmation, lock and backup through COM")
        workbook = "C:\\work\\Book1.xlsx"
        original = self.fresh_workbook(workbook)
        env = self.standin_env(pauses=["Workbooks.Open\t2\t2500"])
        seen = {}

        def at_confirmation(index, box):
            windows = self.screen.find(re.escape(texts.CAPTION))
            if not self.checks.check(len(windows) == 1, "the status window is on screen"):
                return
            window = windows[0]
            seen["window"] = window
            x, y, w, h = self.screen.geometry(window)
            self.checks.equal((w, h), (276, 72), "client area 276 x 72")
            self.checks.check(x < 16 and y < 48, "at the top-left corner", f"client at {x}, {y}")
            state = self.screen.property(window, "_NET_WM_STATE")
            self.checks.check("_NET_WM_STATE_ABOVE" in state, "topmost", state.strip())
            self.checks.check("_NET_WM_STATE_SKIP_TASKBAR" in state, "no taskbar button", state.strip())
            hints = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", self.screen.property(window, "_MOTIF_WM_HINTS"))]
            self.checks.check(len(hints) >= 3 and not hints[1] & 0x3A and not hints[2] & 0x70,
                              "no system menu and no close, minimise or maximise button", repr(hints))
            self.screen.save(self.artifacts / "status_window.png", (0, 0, x + w + 3, y + h + 3))
            self.screen.save(self.artifacts / "confirmation.png")
            seen["first"] = self.check_status_pixels((x, y, w, h), texts.STARTING)

        # While the stand-in keeps the second Open waiting, the GUI thread is blocked: only the
        # repaint forced after the status text can show the new text.
        def watch_busy():
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:
                if sum(1 for line in self.record() if line.startswith("Workbooks.Open")) >= 2:
                    time.sleep(0.8)
                    window = seen.get("window")
                    if window:
                        x, y, w, h = self.screen.geometry(window)
                        self.screen.save(self.artifacts / "status_window_busy.png", (0, 0, x + w + 3, y + h + 3))
                        busy = self.check_status_pixels((x, y, w, h), texts.LOCKING)
                        self.checks.check(busy is not None and busy != seen.get("first"),
                                          "the new status text shows while the GUI thread is busy")
                    return
                time.sleep(0.1)
            self.checks.check(False, "the lock operation reached its Open")

        watcher = threading.Thread(target=watch_busy)
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=env,
                                on_box=lambda i, box: (at_confirmation(i, box), watcher.start()))
        if watcher.ident is not None:
            watcher.join(timeout=40)
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log(), texts.startup(name) + texts.lock_lines(), "the lock road's log")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked with its file password and names this computer", err)
        self.check_backup("C:\\ProgramData\\Kovrisk\\BackUp\\Book1.xlsx", original)
        self.checks.check(not list(self.wine.unix("C:\\work").glob("*.pwd")), "no temporary copy left")
        # The probe, the lock and the open road's check: the backup copy needs no application.
        self.check_wire(self.wire(), instances=3)

    def check_status_pixels(self, client, text):
        """Checks the picture and the label in the status window's client area; returns the columns
        that hold navy text, to tell one status text from another."""
        x, y, w, h = client
        rows = self.screen.pixels((x, y, w, h))
        top, bottom = rows[1][w // 2], rows[h - 2][w // 2]
        self.checks.check(sum(top) > sum(bottom) + 20 and min(top) > 200,
                          f"{text}: the gradient picture fills the window, light at the top",
                          f"top {top}, bottom {bottom}")
        picture = bmp_rows(self.picture)
        ix, iy, iw, ih = ICON_IN_CLIENT
        differing = [(c, r) for r in range(iy, iy + ih) for c in range(ix, ix + iw)
                     if rows[r][c] != picture[r + 4][c + 4]]
        self.checks.check(not differing and len(set(picture[iy + 4 + ih // 2])) > 3,
                          f"{text}: the icon shows in the picture's corner as drawn",
                          f"{len(differing)} pixels differ, first at {differing[:3]}")
        columns = sorted({c for r in range(24, 52) for c in range(w) if navy(rows[r][c])})
        if not self.checks.check(len(columns) > 20, f"{text}: navy status text in the label"):
            return None
        middle = (columns[0] + columns[-1]) / 2
        self.checks.check(abs(middle - (5 + 268 / 2)) < 12, f"{text}: centred in the label",
                          f"text spans {columns[0]}..{columns[-1]}")
        outside = [c for r in list(range(0, 20)) + list(range(60, h)) for c in range(w) if navy(rows[r][c])]
        self.checks.check(not outside, f"{text}: nothing but the label is navy")
        return tuple(columns)

    def check_backup(self, backup, original):
        """The backup copy, decrypted by msoffcrypto-tool with the backup password, is the
        workbook's file as it was, byte for byte; no other password opens it."""
        checks = integration_module("checks")
        path = str(self.wine.unix(backup))
        try:
            same = checks.gives_back(path, original, "MIRTHOLAN")
        except Exception as failure:  # not encrypted, or not with that password
            same = failure
        self.checks.check(same is True, "the backup copy decrypts to the original file", repr(same))
        self.checks.check(checks.refuses(path, "MIRTHOLAM"), "no other password opens the backup copy")

    def check_wire(self, wire, instances):
        refused = [line for line in wire if "!" in line]
        self.checks.check(not refused, "the server accepted every call as sent", repr(refused[:5]))
        opens = [i for i, line in enumerate(wire) if line.startswith("Workbooks.Open")]
        self.checks.check(opens and all(wire[i] == OPEN_ON_THE_WIRE for i in opens),
                          "Open: file name, named Password by reference and the arguments that keep "
                          "Excel from asking", repr([wire[i] for i in opens[:1]]))
        before_open = [[line for line in wire[max(0, i - 5):i] if not line.startswith("(busy")]
                       for i in opens]
        self.checks.check(all("Application.AutomationSecurity=I4" in lines for lines in before_open),
                          "macros disabled before every Open")
        self.checks.check(all("Application.DisplayAlerts=BOOL(0)" in lines for lines in before_open),
                          "alerts off before every Open")
        self.checks.equal(sum(1 for line in wire if line == "Application.Quit()"), instances,
                          "every instance quit")

    def open_road(self, name):
        print("open road: a locked workbook is handed to the user")
        workbook = "C:\\work\\Book1.xlsx"
        before = self.wine.unix(workbook).read_bytes()
        self.clear_log()
        env = self.standin_env()
        code = self.run_program([workbook], extra=env)
        self.checks.equal(code, 0, "ends without a message box, exit code 0")
        self.checks.equal(self.log(), texts.startup(name) + texts.open_lines(
            probe_error="The password you supplied is not correct"), "the open road's log")
        record = self.record()
        last = max(i for i, line in enumerate(record) if line == "Application.Create")
        self.checks.check("Application.Visible=true" in record[last:]
                          and "Application.Quit" not in record[last:]
                          and not any(line.startswith("Workbook.Close") for line in record[last:]),
                          "the last instance is made visible and left open", repr(record[last:]))
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        macros = ("Workbooks.Open", "Application.DisableMacros", "Application.UsersMacro",
                  "Workbook.HasVBProject")
        self.checks.equal([line.split("(")[0] for line in record[last:] if line.startswith(macros)],
                          ["Application.DisableMacros", "Workbooks.Open", "Workbook.HasVBProject",
                           "Application.UsersMacroSettings"],
                          "a workbook without macros is opened once, macros off, and handed over as it "
                          "is, the user's macro settings back for what the user opens next")
        wire = self.wire()
        self.checks.check("Application.UserControl=BOOL(-1)" in wire, "handed over under the user's control")
        shown = wire.index("Application.Visible=BOOL(-1)") if "Application.Visible=BOOL(-1)" in wire \
            else len(wire)
        told = wire.index("Workbook.HasVBProject()") if "Workbook.HasVBProject()" in wire else len(wire)
        self.checks.check("Application.DisplayAlerts=BOOL(-1)" in wire[told:shown]
                          and "Application.AutomationSecurity=I4" in wire[told:shown],
                          "alerts back on and AutomationSecurity ByUI before Excel is shown",
                          repr(wire[told:shown + 1]))
        self.checks.check(not any(line.startswith("(released") for line in wire),
                          "Excel stays when the program lets go of it", repr(wire[-3:]))
        # Which window wine focuses without a window manager says nothing of Windows.
        self.checks.check(self.screen.wait_for("^Kovrisk stand-in Excel$", timeout=10) is not None,
                          "Excel's window stays on screen after the program ended")

    def macro_handover(self, name):
        print("open road: a locked workbook with macros is opened again under the user's macro settings")
        workbook = "C:\\work\\Macro.xlsx"
        before = self.fresh_workbook(workbook, "create-locked-macro", name)
        code = self.run_program([workbook], extra=self.standin_env())
        self.checks.equal(code, 0, "ends without a message box, exit code 0")
        self.checks.equal(self.log()[-5:], texts.open_lines()[-5:],
                          "the open road's log, as for any workbook")
        record = self.record()
        last = max(i for i, line in enumerate(record) if line == "Application.Create")
        opens = [i for i, line in enumerate(record) if i > last and line.startswith("Workbooks.Open")]
        self.checks.equal(len(opens), 2, "opened twice: for the machine check, and for the user")
        if len(opens) == 2:
            between = record[opens[0]:opens[1]]
            self.checks.check("Application.DisableMacros" in record[last:opens[0]],
                              "macros forced off before the machine check's Open")
            # The machine check's reads of the control sheet aside:
            self.checks.equal([line for line in between
                               if not line.startswith(("Worksheet", "Workbook.Worksheet"))],
                              [record[opens[0]], "Workbook.HasVBProject", "Workbook.Close(false)",
                               "Application.UsersMacroSettings", "Application.DisplayAlerts=true",
                               "Application.Visible=true", "Application.Visible", "Application.Workbooks"],
                              "closed unsaved, AutomationSecurity ByUI (2) and alerts on, shown, then "
                              "opened again")
        self.checks.check("Application.Quit" not in record[last:], "the application is left to the user")
        wire = self.wire()
        told = wire.index("Workbook.HasVBProject()") if "Workbook.HasVBProject()" in wire else len(wire)
        self.checks.check("Application.AutomationSecurity=I4" in wire[told:],
                          "AutomationSecurity put for the hand-over")
        self.checks.equal([line for line in wire if line.startswith(("Dialog!", "User!"))],
                          [f"User!Enable the macros of {workbook}?"],
                          "Excel's security question is the visible user's, none on a hidden Excel")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        self.checks.check(self.screen.wait_for("^Kovrisk stand-in Excel$", timeout=10) is not None,
                          "Excel's window stays on screen after the program ended")

    def refused(self, name):
        print("open road: another computer's workbook is refused")
        workbook = "C:\\work\\Other.xlsx"
        before = self.fresh_workbook(workbook, "create-locked", "OTHERPC")
        code = self.run_program([workbook], answers=[["Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, "exit code 0")
        lines = self.log()
        self.checks.equal(lines[-1:], [texts.refusal(name)], "the refusal is logged")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        self.checks.check("Application.Visible=true" not in self.record(), "nothing is handed over")

    def cancelled(self):
        print("lock road cancelled: Enter at the confirmation chooses Cancel")
        workbook = "C:\\work\\Book2.xlsx"
        before = self.fresh_workbook(workbook)
        code = self.run_program([workbook], answers=[["Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log()[-1:], [texts.CANCELLED], "the cancel is logged")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        self.checks.check(not self.wine.unix("C:\\ProgramData\\Kovrisk\\BackUp\\Book2.xlsx").exists(),
                          "no backup copy")

    def other_names(self):
        print("lock road: a workbook with a second name, and one replaced at the confirmation")
        workbook = "C:\\work\\Linked.xlsx"
        before = self.fresh_workbook(workbook)
        os.link(self.wine.unix(workbook), self.wine.unix("C:\\work\\Linked copy.xlsx"))
        code = self.run_program([workbook], answers=[["Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log()[-1:], [texts.MANY_NAMES], "the second name is refused")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook is unchanged")
        self.wine.unix("C:\\work\\Linked copy.xlsx").unlink()

        workbook = "C:\\work\\Swapped.xlsx"
        before = self.fresh_workbook(workbook)
        path = self.wine.unix(workbook)

        def swap(index, box):
            if index == 0:  # the confirmation: another file takes the workbook's name
                path.rename(path.with_name("Swapped away.xlsx"))
                path.write_bytes(before)

        code = self.run_program([workbook], answers=[["Tab", "Return"], ["Return"]],
                                extra=self.standin_env(), on_box=swap)
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log()[-1:], [texts.WORKBOOK_SWAPPED], "the swap is refused")
        self.checks.check(path.read_bytes() == before and
                          path.with_name("Swapped away.xlsx").read_bytes() == before,
                          "neither file is locked")
        self.checks.check(not self.wine.unix("C:\\ProgramData\\Kovrisk\\BackUp\\Swapped.xlsx")
                          .exists(), "no backup copy")

    def read_only(self, name):
        print("lock road on a read-only workbook")
        workbook = "C:\\work\\ReadOnly.xlsx"
        self.tool("create", workbook)
        self.tool("set-attributes", workbook, "21")
        _, word, _ = self.tool("attributes", workbook)
        self.clear_log()
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log()[-1:], [texts.LOCKED], "locked")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked", err)
        self.checks.equal(self.tool("attributes", workbook)[1], word, "the workbook keeps its attribute word")
        self.checks.equal(self.tool("attributes", "C:\\ProgramData\\Kovrisk\\BackUp\\ReadOnly.xlsx")[1],
                          word, "the backup copy gets the workbook's attribute word")

    def japanese_path(self, name):
        print("lock road on a long Japanese path with blanks")
        folder = "C:\\作業 フォルダ" + "\\長い名前のフォルダ" * 12
        workbook = folder + "\\売上 2024.xlsx"
        original = self.fresh_workbook(workbook)
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, f"exit code 0 ({len(workbook)} characters)")
        self.checks.equal(self.log()[-1:], [texts.LOCKED], "locked")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked with the password of its Japanese name", err)
        self.check_backup("C:\\ProgramData\\Kovrisk\\BackUp\\売上 2024.xlsx", original)

    def failures(self):
        print("failures reported by the application")
        workbook = "C:\\work\\Book3.xlsx"
        before = self.fresh_workbook(workbook)
        env = self.standin_env(faults=["Workbook.SaveAs\t1\tThe disk is full.  "])
        code = self.run_program([workbook], answers=[["Tab", "Return"], ["Return"]], extra=env)
        self.checks.equal(code, 0, "SaveAs refused: two boxes, exit code 0")
        failed = texts.failure_tail(texts.LOCK, "The disk is full", workbook_open=True)
        self.checks.equal(self.log()[-6:], [texts.LOCK_TRY] + failed + [texts.F4[0]],
                          "SaveAs refused: the failure path's log, with Excel's text")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        self.checks.check(not list(self.wine.unix("C:\\work").glob("*.pwd")), "no temporary copy left")

        self.clear_log()
        env = self.standin_env(faults=["Application.Quit\t1\tエクセルが応答しません。 .\t. "])
        handed_over = self.standin_processes()  # the Excels handed to the user so far stay
        self.checks.equal(self.run_program([workbook], extra=env), 0, "Quit refused at start-up: exit code 0")
        self.checks.equal(self.log(), [texts.FIND_LINE, texts.error(texts.FIND, "エクセルが応答しません。"),
                                       texts.NOT_INSTALLED],
                          "Excel's description, less trailing blanks, controls and full stops")
        self.checks.equal(self.standin_processes(handed_over), [],
                          "an Excel that refused to quit is ended, not left running invisible")

        self.clear_log()
        env = self.standin_env(faults=["Application.Create\t0\tnot there"])
        self.checks.equal(self.run_program([workbook], extra=env), 0, "the server cannot start: exit code 0")
        lines = self.log()
        self.checks.check(len(lines) == 3 and re.fullmatch(re.escape(texts.error(texts.FIND)) + ".+", lines[1])
                          and lines[2] == texts.NOT_INSTALLED, "the status code's text is logged", repr(lines))
        print(f"       ({lines[1] if len(lines) > 1 else ''})")

        self.clear_log()
        env = self.standin_env()
        self.checks.equal(self.run_program(["C:\\work\\Book1.csv"], extra=env), 0, "a wrong extension: exit code 0")
        self.checks.equal(self.log(), [texts.FIND_LINE, texts.BAD_EXTENSION], "only the extension line follows the probe")
        self.checks.equal(self.record(), ["Application.Create", "Application.Quit"],
                          "the probe starts and quits the application once")

    def installer(self, name):
        print("the installer: silent install, the Send to shortcut, silent uninstall")
        found = sorted(self.installers.glob("kovrisk-*-setup.exe"))
        if not self.checks.check(len(found) == 1, "the build made one installer", repr(found)):
            return
        data = self.wine.unix("C:\\ProgramData\\Kovrisk")
        shutil.rmtree(data, ignore_errors=True)
        folder = "C:\\Program Files\\Kovrisk"
        start_menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Kovrisk.lnk"
        send_to = self.wine.prefix / "drive_c/users"
        key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kovrisk"

        def present():
            return [what for what, there in (
                ("kovrisk.exe", self.wine.unix(folder + "\\kovrisk.exe").exists()),
                ("uninstall.exe", self.wine.unix(folder + "\\uninstall.exe").exists()),
                ("the program's folder", self.wine.unix(folder).exists()),
                ("the Start menu entry", self.wine.unix(start_menu).exists()),
                ("the Send to entry", bool(list(send_to.glob("*/AppData/Roaming/Microsoft/Windows/SendTo/Kovrisk.lnk")))),
                ("the uninstall entry", self.wine.run(["reg", "query", key], headless=True).returncode == 0),
            ) if there]

        result = self.wine.run([found[0], "/S"], headless=True, timeout=120)
        self.checks.equal(result.returncode, 0, f"{found[0].name} /S: exit code 0")
        installed = present()
        self.checks.equal(len(installed), 6, "installed: " + ", ".join(installed))
        program = self.wine.unix(folder + "\\kovrisk.exe")
        self.checks.check(program.exists() and program.read_bytes() == self.program.read_bytes(),
                          "the installed kovrisk.exe is the one built")
        links = list(send_to.glob("*/AppData/Roaming/Microsoft/Windows/SendTo/Kovrisk.lnk"))
        target = (folder + "\\kovrisk.exe").encode()
        self.checks.check(all(target in link.read_bytes()
                              for link in links + [self.wine.unix(start_menu)] if link.exists()),
                          "both shortcuts start the installed program")
        self.checks.check(data.is_dir(), "the data folder is made")
        entry = self.wine.run(["reg", "query", key], headless=True).stdout.decode("utf-8", "replace")
        self.checks.check('uninstall.exe" /S' in entry and "1.0" in entry,
                          "the uninstall entry: quiet uninstall and version", entry.strip())

        # A workbook sent to Kovrisk: the shell runs the Send to shortcut with the workbook's path,
        # and does not wait for the program.
        workbook = "C:\\work\\Sent.xlsx"
        self.fresh_workbook(workbook)
        link = "C:\\" + "\\".join(links[0].relative_to(self.wine.prefix / "drive_c").parts) \
            if links else "none"
        launcher = self.wine.start(["start", link, workbook], extra=self.standin_env())
        self.checks.equal(launcher.wait(timeout=60), 0, "start: the shortcut runs")
        box = self.screen.wait_for(f"^{texts.BOX_TITLE}$", None, 60)
        if self.checks.check(box is not None, "sent to Kovrisk: the confirmation box appears"):
            self.screen.press(box, "Tab", "Return")
        deadline = time.monotonic() + 60
        while self.screen.find(re.escape(texts.CAPTION)) and time.monotonic() < deadline:
            time.sleep(0.5)
        self.checks.check(not self.screen.find(re.escape(texts.CAPTION)), "the installed program ends")
        self.checks.equal(self.log()[-1:], [texts.LOCKED], "the installed program locks the workbook")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked with its file password", err)

        result = self.wine.run([self.wine.unix(folder + "\\uninstall.exe"), "/S"], headless=True,
                               timeout=120)
        self.checks.equal(result.returncode, 0, "uninstall.exe /S: exit code 0")
        # The uninstaller runs from a copy of itself that it starts and does not wait for.
        deadline = time.monotonic() + 60
        while present() and time.monotonic() < deadline:
            time.sleep(0.5)
        self.checks.equal(present(), [], "uninstalled: nothing of what was installed is left")
        self.checks.check(bool(list((data / "syslog").glob("*.txt"))) and
                          (data / "BackUp" / "Sent.xlsx").exists(),
                          "the data folder keeps the activity log and the backup copies")

    def busy_excel(self, name):
        print("lock road with an Excel that turns calls away while it starts and after every Open")
        workbook = "C:\\work\\Busy.xlsx"
        self.fresh_workbook(workbook)
        env = self.standin_env(busy=["Application.Create\t0\t2500", "Workbooks.Open\t0\t1500"])
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=env, timeout=120)
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log(), texts.startup(name) + texts.lock_lines(),
                          "installed, unprotected and locked all the same")
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked", err)
        wire = self.wire()
        rejected = sum(1 for line in wire if line == "(busy: call rejected)")
        self.checks.check(rejected >= 8, f"calls were turned away ({rejected}) and made again")
        self.check_wire(wire, instances=3)

    def questions(self, name):
        print("lock road on a workbook Excel would ask about: links, read-only recommended")
        workbook = "C:\\work\\Asking.xlsx"
        self.fresh_workbook(workbook, "create-asking")
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, "exit code 0")
        self.checks.equal(self.log()[-1:], [texts.LOCKED], "locked")
        wire = self.wire()
        self.checks.check(not [line for line in wire if line.startswith("Dialog!")],
                          "no question put on a hidden Excel", repr([l for l in wire if "!" in l][:3]))
        code, _, err = self.tool("check-locked", workbook, name)
        self.checks.check(code == 0, "the workbook is locked", err)

    def long_path(self):
        print("a workbook whose saved copy's path would be longer than Excel takes")
        folder = "C:\\work\\" + "p" * 198  # 216 characters: Excel opens it, but not with ".pwd"
        workbook = folder + "\\Long.xlsx"
        before = self.fresh_workbook(workbook)
        code = self.run_program([workbook], answers=[["Return"]], extra=self.standin_env())
        self.checks.equal(code, 0, f"the refusal's box, exit code 0 ({len(workbook)} characters)")
        lines = self.log()
        self.checks.check(lines and lines[-1].startswith(texts.PATH_TOO_LONG_START) and "218" in lines[-1]
                          and workbook in lines[-1], "the log names the cause", repr(lines[-1:]))
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")
        self.checks.check(not self.wine.unix("C:\\ProgramData\\Kovrisk\\BackUp\\Long.xlsx").exists(),
                          "no backup copy")
        self.checks.check(not [l for l in self.wire() if l.startswith("Workbook.SaveAs")], "nothing saved")

        print("a workbook whose path with \".pwd\" is just as long as Excel takes")
        workbook = "C:\\work\\" + "q" * (214 - len("C:\\work\\") - len("\\Fits.xlsx")) + "\\Fits.xlsx"
        self.fresh_workbook(workbook)
        code = self.run_program([workbook], answers=[["Tab", "Return"]], extra=self.standin_env())
        self.checks.equal(self.log()[-1:], [texts.LOCKED], f"locked ({len(workbook)} characters)")

        print("a workbook whose own path is longer than Excel takes: refused before the probe")
        workbook = "C:\\work\\" + "r" * (230 - len("C:\\work\\") - len("\\Over.xlsx")) + "\\Over.xlsx"
        before = self.fresh_workbook(workbook)
        env = self.standin_env()
        code = self.run_program([workbook], answers=[["Return"]], extra=env)
        self.checks.equal(code, 0, f"the refusal's box, exit code 0 ({len(workbook)} characters)")
        lines = self.log()
        self.checks.check(lines and lines[-1].startswith(texts.OPEN_PATH_TOO_LONG_START) and "218" in lines[-1]
                          and workbook in lines[-1], "the log names the cause", repr(lines[-1:]))
        self.checks.check(not [l for l in self.record() if l.startswith("Workbooks.Open")],
                          "Excel is not asked to open it")
        self.checks.check(self.wine.unix(workbook).read_bytes() == before, "the workbook file is unchanged")

    def scenario(self, part, *args):
        try:
            part(*args)
        except Exception:  # a broken scenario is a failed check; the others still run
            self.checks.check(False, f"{part.__name__} ran to its end", traceback.format_exc())

    # --- all of it --------------------------------------------------------------------------

    def run(self):
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.workdir = Path(tempfile.mkdtemp(prefix="kovrisk-wine-"))
        self.wine = Wine(self.workdir / "prefix")
        started = time.monotonic()
        try:
            print(f"fresh wine prefix {self.wine.prefix}")
            self.make_prefix()
            code_page = self.tool("ansi-code-page")[1].decode()
            self.checks.check(code_page != "932", f"the ANSI code page is {code_page}, not 932, so "
                              "every Shift-JIS conversion has to name code page 932")
            print(f"  prefix ready in {time.monotonic() - started:.1f} s")
            if not self.only:
                self.unit_tests()
                self.cp932()
                self.scenario(self.encryption)
            with Xvfb() as display:
                self.wine.display = display.display
                self.screen = Screen(display.display)
                self.wine.unix("C:\\work").mkdir(parents=True, exist_ok=True)
                name = self.tool("computer-name")[1].decode("cp932")
                print(f"computer name as the program logs it: {name}")
                parts = [(self.without_excel,), (self.register,), (self.lock_road, name),
                         (self.open_road, name), (self.macro_handover, name), (self.refused, name),
                         (self.cancelled,), (self.other_names,),
                         (self.read_only, name), (self.japanese_path, name), (self.failures,),
                         (self.busy_excel, name), (self.questions, name), (self.long_path,),
                         (self.bounded_excel,), (self.relative_path, name),
                         (self.installer, name)]
                for part, *part_args in parts:
                    if not self.only or part.__name__ in self.only or part == self.register:
                        self.scenario(part, *part_args)
                self.wine.stop()
        finally:
            self.wine.stop()
            shutil.rmtree(self.workdir, ignore_errors=True)
        print(f"wine run: {time.monotonic() - started:.0f} s, screenshots in {self.artifacts}")
        if self.checks.failures:
            print(f"{len(self.checks.failures)} check(s) failed:")
            for what in self.checks.failures:
                print(f"  {what}")
            return 1
        print("every check passed")
        return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the cross build folder")
    parser.add_argument("--compare", required=True, help="the Linux kovrisk_cp932_compare")
    parser.add_argument("--encrypt-tool", required=True, help="the Linux kovrisk_encrypt_tool")
    parser.add_argument("--artifacts", required=True, help="where screenshots go")
    parser.add_argument("--random-strings", type=int, default=20000)
    parser.add_argument("--only", help="only these scenarios on Xvfb, comma-separated (lock_road, ...)")
    return Suite(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
