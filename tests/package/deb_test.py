"""The Debian package on this machine: installed with apt-get as a user installs it, `kovrisk` from
PATH locks a workbook, the desktop entry (as a file manager starts it) opens it, file managers'
MIME look-ups offer the program for both workbook types without making it their default, and
`apt-get remove` takes every file of it away.  The machine is left as it was found: the package is
removed whatever failed, and nothing else is installed or removed on the way.

Needs root (apt-get); skipped (exit 77) without it, or when a kovrisk package is installed already
(it is not this suite's to remove)."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "e2e"))
import e2e  # noqa: E402  (tests/e2e)
import expected_texts as texts  # noqa: E402  (tests/integration, on the path with e2e)

SKIPPED = 77
PACKAGE = "kovrisk"
DEB_FOLDER = pathlib.Path(os.environ.get("KOVRISK_DEB_FOLDER", ""))
DESKTOP_ID = "org.kovrisk.Kovrisk.desktop"
DESKTOP_FILE = pathlib.Path("/usr/share/applications") / DESKTOP_ID
TYPES = {".xls": "application/vnd.ms-excel",
         ".xlsx": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"}
APT = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y", "--no-install-recommends"]


def run(*command, **options):
    return subprocess.run(list(command), capture_output=True, text=True, timeout=600, **options)


def installed_packages():
    """Every package dpkg knows, with its version and state."""
    return run("dpkg-query", "-W", "-f", "${Package} ${Version} ${db:Status-Abbrev}\n").stdout


def package_state():
    listed = run("dpkg-query", "-W", "-f", "${db:Status-Abbrev}", PACKAGE)
    return listed.stdout.strip() if listed.returncode == 0 else ""


def mime_environment(home):
    """A session of a user with no MIME settings of their own."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("XDG_", "DISPLAY", "WAYLAND"))}
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), LANG="C.UTF-8")
    return env


def mime_view(env):
    """For each workbook type: (default application, registered applications) as GIO sees them,
    and xdg-mime's default."""
    view = {}
    for mime_type in TYPES.values():
        lines = run("gio", "mime", mime_type, env=env).stdout.splitlines()
        default = lines[0].rsplit(":", 1)[1].strip() if lines and "Default" in lines[0] else ""
        registered, section = [], None
        for line in lines[1:]:
            if not line.startswith("\t"):
                section = line.strip()
            elif section == "Registered applications:":
                registered.append(line.strip())
        xdg_default = run("xdg-mime", "query", "default", mime_type, env=env).stdout.strip()
        view[mime_type] = (default, registered, xdg_default)
    return view


class Machine:
    """What the suite found before it installed the package."""
    packages = ""
    mime = {}
    deb = None
    files = []
    home = None


def setUpModule():
    debs = sorted(DEB_FOLDER.glob(f"{PACKAGE}_*.deb"))
    if len(debs) != 1:
        raise AssertionError(f"one {PACKAGE}_*.deb expected in {DEB_FOLDER}: {debs}")
    # apt reads a local package as its own unprivileged user: a copy in a folder it may enter.
    Machine.home = pathlib.Path(tempfile.mkdtemp(prefix="kovrisk-deb-"))
    Machine.home.chmod(0o755)
    Machine.deb = Machine.home / debs[0].name
    shutil.copyfile(debs[0], Machine.deb)
    Machine.deb.chmod(0o644)
    Machine.files = [line.split(None, 5)[5].lstrip(".")
                     for line in run("dpkg-deb", "-c", str(Machine.deb)).stdout.splitlines()
                     if not line.startswith("d")]
    Machine.packages = installed_packages()
    Machine.mime = mime_view(mime_environment(Machine.home))

    # Nothing but the package itself may come in with it.
    plan = run(*APT, "-s", "install", str(Machine.deb))
    coming = sorted(line.split()[1] for line in plan.stdout.splitlines() if line.startswith("Inst "))
    if plan.returncode != 0 or coming != [PACKAGE]:
        raise AssertionError("the package would bring in more than itself (scripts/install-deps.sh "
                             f"installs its dependencies): {coming}\n{plan.stdout}{plan.stderr}")
    installing = run(*APT, "install", str(Machine.deb), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    if installing.returncode != 0:
        remove_package()
        raise AssertionError(f"apt-get install failed:\n{installing.stdout}{installing.stderr}")


def remove_package():
    removing = run(*APT, "remove", PACKAGE, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    return removing.returncode, removing.stdout + removing.stderr


def tearDownModule():
    if Machine.deb is None:
        return
    code, output = remove_package()
    try:
        assert code == 0, f"apt-get remove failed:\n{output}"
        assert package_state() == "", f"{PACKAGE} is still known to dpkg: {package_state()}"
        left = [path for path in Machine.files if os.path.lexists(path)]
        assert not left, f"files of the package left behind: {left}"
        cache = pathlib.Path("/usr/share/applications/mimeinfo.cache")
        assert not cache.exists() or DESKTOP_ID not in cache.read_text(), \
            "the desktop entry is still in the MIME cache"
        assert installed_packages() == Machine.packages, "other packages changed"
        assert mime_view(mime_environment(Machine.home)) == Machine.mime, \
            "the MIME associations differ from before"
        print("removed: no file of the package is left, and no other package changed")
    finally:
        shutil.rmtree(Machine.home, ignore_errors=True)


class Installed(e2e.TestCase):
    suite = "package"

    def test_kovrisk_from_path_locks_and_the_desktop_entry_opens(self):
        self.assertEqual(shutil.which("kovrisk"), "/usr/bin/kovrisk")
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Quarterly Report.xlsx")
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING])
        self.assertEqual(log, texts.startup(e2e.this_computer()) + texts.lock_lines())
        self.assert_locked(path, self.library / "plain.xlsx")
        self.assert_backup_of(self.case.backup(path.name), self.library / "plain.xlsx")

        # Opened the way a file manager opens a file with the program: the desktop entry's
        # command, the file in place of its %f.
        before = len(self.case.log_messages())
        launched = run("gio", "launch", str(DESKTOP_FILE), str(path), env=self.case.environment())
        self.assertEqual(launched.returncode, 0, launched.stderr)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and e2e.end_of(self.case.log_messages()[before:]) != "S":
            time.sleep(0.2)
        self.assertEqual(self.case.log_messages()[before:],
                         texts.startup(e2e.this_computer()) + texts.open_lines())
        self.assert_locked(path, self.library / "plain.xlsx")

    def test_man_reads_its_manual_page(self):
        env = dict(os.environ, LANG="C.UTF-8", MANWIDTH="80")
        self.assertEqual(run("man", "-w", "kovrisk", env=env).stdout.strip(),
                         "/usr/share/man/man1/kovrisk.1.gz")
        shown = run("man", "-P", "cat", "1", "kovrisk", env=env)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        words = " ".join(shown.stdout.split())  # man justifies its lines
        self.assertIn("NAME kovrisk - lock a workbook to the computer that locked it", words)
        self.assertIn("EXIT STATUS", words)

    def test_file_managers_offer_it_for_both_workbook_types_and_keep_their_default(self):
        env = mime_environment(Machine.home)
        locked = e2e.place(self.library / "plain.xlsx", self.case.books / "Locked.xlsx")
        self.case.run(locked, answer="y\n")
        self.assertTrue(e2e.checks.is_encrypted(str(locked)))
        for extension, mime_type in TYPES.items():
            plain = e2e.place(self.library / f"plain{extension}", self.case.books / f"Plain{extension}")
            # xdg-mime as a session without a desktop of its own asks; GIO as GTK's file managers do.
            found = run("xdg-mime", "query", "filetype", str(plain), env=env).stdout.strip()
            self.assertEqual(found, mime_type, plain)
            for path in (plain, locked) if extension == ".xlsx" else (plain,):
                info = run("gio", "info", "-a", "standard::content-type", str(path), env=env).stdout
                self.assertIn(f"standard::content-type: {mime_type}", info, path)

            default, registered, xdg_default = mime_view(env)[mime_type]
            self.assertIn(DESKTOP_ID, registered, mime_type)
            before_default, before_registered, before_xdg_default = Machine.mime[mime_type]
            self.assertNotIn(DESKTOP_ID, before_registered)
            self.assertEqual((default, xdg_default), (before_default, before_xdg_default),
                             f"{mime_type}: the default application changed")
            self.assertNotEqual(default, DESKTOP_ID)


def skip_reason():
    if os.geteuid() != 0:
        return "installing a package needs root"
    if package_state():
        return f"a {PACKAGE} package is installed on this machine already"
    return None


if __name__ == "__main__":
    reason = skip_reason()
    if reason:
        print(f"deb suite skipped: {reason}")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
