"""LibreOffice driven by the tests themselves through Python-UNO, on a profile of their own: to
convert and encrypt workbooks the way another user's office would, to hold a workbook open as
another office process does, and to show that a workbook's macro runs when macros are enabled."""

import os
import subprocess
import time
import uuid

import uno
from com.sun.star.beans import PropertyValue

SOFFICE = "/usr/lib/libreoffice/program/soffice"

# com.sun.star.document.MacroExecMode
ALWAYS_EXECUTE_NO_WARN = 4

FILTERS = {".xls": "MS Excel 97", ".xlsx": "Calc MS Excel 2007 XML"}


def _property(name, value):
    result = PropertyValue()
    result.Name = name
    result.Value = value
    return result


def _url(path):
    return uno.systemPathToFileUrl(os.path.abspath(str(path)))


class Office:
    """One office process on `profile`, ended when the `with` block ends."""

    def __init__(self, profile, display=None, start_bound=120):
        self.profile = str(profile)
        self.pipe = "kovrisk_e2e_" + uuid.uuid4().hex
        environment = {key: value for key, value in os.environ.items()
                       if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        arguments = ["--norestore", "--nologo", "--nodefault", "--nolockcheck",
                     f"--accept=pipe,name={self.pipe};urp;"]
        if display:
            environment["DISPLAY"] = display
            arguments.append("--invisible")
        else:
            arguments.append("--headless")
        self.process = subprocess.Popen(
            [SOFFICE, f"-env:UserInstallation={_url(self.profile)}"] + arguments,
            env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + start_bound
        while True:
            try:
                context = resolver.resolve(
                    f"uno:pipe,name={self.pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.end()
                    raise RuntimeError("the test's own office did not start")
                time.sleep(0.1)
        self.desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.end()

    def end(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            pass
        # oosplash and soffice.bin share the session the office was started in.
        try:
            os.killpg(self.process.pid, 9)
        except OSError:
            pass
        self.process.wait()

    def load(self, path, hidden=True, macros=False, password=None):
        arguments = [_property("Hidden", hidden)]
        if macros:
            arguments.append(_property("MacroExecutionMode", ALWAYS_EXECUTE_NO_WARN))
        if password is not None:
            arguments.append(_property("Password", password))
        document = self.desktop.loadComponentFromURL(_url(path), "_blank", 0, tuple(arguments))
        if document is None:
            raise RuntimeError(f"the office did not load {path}")
        return document

    def save_as(self, document, target, password=None):
        target = str(target)
        arguments = [_property("FilterName", FILTERS[os.path.splitext(target)[1].lower()]),
                     _property("Overwrite", True)]
        if password is not None:
            if target.lower().endswith(".xlsx"):
                encryption = uno.Any("[]com.sun.star.beans.NamedValue", (
                    uno.createUnoStruct("com.sun.star.beans.NamedValue", "OOXPassword", password),
                    uno.createUnoStruct("com.sun.star.beans.NamedValue", "CryptoType",
                                        "StrongEncryptionDataSpace")))
                arguments.append(PropertyValue("EncryptionData", 0, encryption, 0))
            else:
                arguments.append(_property("Password", password))
        document.storeToURL(_url(target), tuple(arguments))

    def convert(self, source, target, password=None):
        """`source` saved as `target` (format from its extension), with an open password if
        given."""
        document = self.load(source)
        try:
            self.save_as(document, target, password)
        finally:
            document.close(True)
        return target
