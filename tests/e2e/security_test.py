"""What the program must not give away or let happen: the file password on a command line, in an
environment, on the terminal, in the log or in the office profile; a workbook's auto-run macro
running on the probe, the lock, the backup lock or the open; a path passing through a shell; a
temporary copy readable by other users when the workbook was not; a planted link followed, a
workbook's owner, group, access control list or attributes lost; a log line forged by a path; an
office profile folder that another user could have filled."""

import os
import pathlib
import pwd
import shutil
import stat
import subprocess
import tempfile
import threading
import time
import unittest

import e2e
import expected_texts as texts
from expected_texts import box
import macro_workbook
import office_tool
from xserver import XServer


class ProcSampler(threading.Thread):
    """Reads every process's command line and environment, over and over, until stopped; keeps
    what holds any of the needles, and counts the samples that saw the program and an office."""

    def __init__(self, needles):
        super().__init__(daemon=True)
        self.needles = [needle for needle in needles if needle]
        self.found = []
        self.samples = 0
        self.saw_program = 0
        self.saw_office = 0
        self.stopping = threading.Event()

    def run(self):
        own = str(os.getpid())
        while not self.stopping.is_set():
            self.samples += 1
            program = office = False
            for entry in os.listdir("/proc"):
                if not entry.isdigit() or entry == own:
                    continue
                for part in ("cmdline", "environ"):
                    try:
                        with open(f"/proc/{entry}/{part}", "rb") as handle:
                            data = handle.read()
                    except OSError:
                        continue
                    if part == "cmdline":
                        program |= e2e.PROGRAM.encode() in data
                        office |= b"soffice.bin" in data and str(e2e.CACHE).encode() in data
                    for needle in self.needles:
                        if needle in data:
                            self.found.append((entry, part, data))
            self.saw_program += program
            self.saw_office += office
            time.sleep(0.002)

    def stop(self):
        self.stopping.set()
        self.join()


class Sampler(threading.Thread):
    """Calls `sample` every half millisecond until stopped; a path that vanished meanwhile is no
    finding."""

    def __init__(self):
        super().__init__(daemon=True)
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.is_set():
            try:
                self.sample()
            except OSError:
                pass
            time.sleep(0.0005)

    def stop(self):
        self.stopping.set()
        self.join()


class ModeWatcher(Sampler):
    """The permission bits some paths had."""

    def __init__(self, paths):
        super().__init__()
        self.paths = [pathlib.Path(path) for path in paths]
        self.seen = {path: set() for path in self.paths}

    def sample(self):
        for path in self.paths:
            try:
                self.seen[path].add(stat.S_IMODE(os.stat(path).st_mode))
            except OSError:
                pass


def password_forms(file_name):
    """The file password as bytes in every form it could leak in: Shift-JIS as derived, and the
    office's Unicode text as UTF-8 and UTF-16."""
    raw = e2e.file_password(file_name)
    text = e2e.office_password(file_name)
    return [raw, text.encode("utf-8"), text.encode("utf-16-le")]


class Security(e2e.TestCase):
    suite = "security"

    def test_the_file_password_never_shows(self):
        for name, kind in (("QUARTERLY-SECRET.xlsx", "plain.xlsx"), ("機密 資料 2024.xls",
                                                                        "plain.xls")):
            with self.subTest(name=name):
                forms = password_forms(name)
                self.assertNotEqual(forms[0], forms[1], "the test wants bytes above 0x7F")
                path = e2e.place(self.library / kind, self.case.books / name)
                sampler = ProcSampler(forms)
                sampler.start()
                try:
                    lock = self.case.start(path, answer="y\n")
                    lock_lines = e2e.finish(lock)
                    opened = self.case.start(path)
                    open_lines = e2e.finish(opened)
                finally:
                    sampler.stop()
                self.assertEqual(self.case.log_messages()[-1], texts.OPENED)
                self.assertGreater(sampler.saw_program, 0, "the sampler never saw the program")
                self.assertGreater(sampler.saw_office, 0, "the sampler never saw the office")
                self.assertEqual([(pid, part) for pid, part, _ in sampler.found], [])

                terminal = "\n".join(lock_lines + open_lines).encode("utf-8")
                logs = b"".join(day.read_bytes() for day in self.case.log_files())
                for form in forms:
                    self.assertNotIn(form, terminal)
                    self.assertNotIn(form, logs)
                for folder, _, files in os.walk(e2e.CACHE):
                    for file_name in files:
                        try:
                            data = pathlib.Path(folder, file_name).read_bytes()
                        except OSError:
                            continue
                        for form in forms:
                            self.assertNotIn(form, data, f"in {folder}/{file_name}")

    def test_auto_run_macros_never_run(self):
        marker = self.library / "macro-marker.txt"
        marker.unlink(missing_ok=True)
        x = XServer()
        self.addCleanup(x.stop)
        path = e2e.place(self.library / "macro.xls", self.case.books / "Macro book.xls")

        # An ordinary open with macros enabled runs both of the workbook's auto-run routes.
        with office_tool.Office(e2e.TOOL_PROFILES / "security", display=x.display) as office:
            document = office.load(path, hidden=False, macros=True)
            deadline = time.monotonic() + 30
            while not marker.exists() and time.monotonic() < deadline:
                time.sleep(0.1)
            document.close(True)
        self.assertEqual(marker.read_text().split(), ["Workbook_Open", "Auto_Open"])
        marker.unlink()

        # The probe, the lock and the backup lock.
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED)
        self.assertFalse(marker.exists(), "a macro ran on the lock road")
        self.assert_no_processes()
        # The macros are still in the locked workbook and in the backup copy.
        password = e2e.office_password(path.name)
        self.assertTrue(macro_workbook.has_vba_project(e2e.checks.decrypt(str(path), password)))
        backup = self.case.backup(path.name)
        self.assertTrue(macro_workbook.has_vba_project(
            e2e.checks.decrypt(str(backup), e2e.BACKUP_PASSWORD)))

        # ...and they are live: an ordinary open of the locked workbook runs them.
        with office_tool.Office(e2e.TOOL_PROFILES / "security", display=x.display) as office:
            document = office.load(path, hidden=False, macros=True, password=password)
            deadline = time.monotonic() + 30
            while not marker.exists() and time.monotonic() < deadline:
                time.sleep(0.1)
            document.close(True)
        self.assertTrue(marker.exists(), "the locked workbook's macros do not run at all")
        marker.unlink()

        # The open road, to the hand-over in a visible window, under the office's default macro
        # security (the user has no LibreOffice settings of their own): the office says that it
        # disabled the macros, and the user answers.
        e2e.finish_answering_notices(x, self.case.start(path, display=x.display))
        self.assertEqual(self.case.log_messages()[-1], texts.OPENED)
        x.wait_for_window(f"{path.name} - LibreOffice Calc", timeout=60)
        time.sleep(3)
        self.assertFalse(marker.exists(), "a macro ran when the workbook was handed over")
        e2e.kill(e2e.office_pids())
        self.assert_no_processes()

    def test_paths_never_pass_through_a_shell(self):
        cwd = self.case.root / "cwd"
        cwd.mkdir()
        names = [
            "a $(touch pwned1) `touch pwned2`; touch pwned3 & 'q' \"d\".xlsx",
            "| touch pwned4 && touch pwned5 > x < y.xls",
            "--help.xlsx",
            "-e.xls",
        ]
        for name in names:
            with self.subTest(name=name):
                kind = "plain." + name.rsplit(".", 1)[1]
                path = e2e.place(self.library / kind, self.case.books / name)
                lines, log = self.case.run(path, answer="y\n", cwd=cwd)
                self.assertEqual(log[-1], texts.LOCKED, log)
                self.assert_locked(path, self.library / kind)
                lines, log = self.case.run(path, cwd=cwd)
                self.assertEqual(log[-1], texts.OPENED, log)
                self.assertEqual(os.listdir(cwd), [])
                for folder, _, files in os.walk(self.case.root):
                    self.assertEqual([f for f in files if f.startswith("pwned")], [], folder)
        self.assertEqual(sorted(os.listdir(self.case.books)), sorted(names))
        self.assertEqual(sorted(os.listdir(self.case.backup_folder)), sorted(names))

    def test_temporary_copies_are_private_when_the_workbook_is(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                path = e2e.place(self.library / f"plain.{extension}",
                                 self.case.books / f"Private.{extension}", 0o600)
                backup = self.case.backup(path.name)
                watcher = FolderWatcher([self.case.books, self.case.backup_folder])
                modes = ModeWatcher([path, backup])
                watcher.start()
                modes.start()
                try:
                    # A user whose new files are readable by everyone.
                    env = self.case.environment()
                    process = self.case.start(path, answer="y\n", env=env, umask=0o022)
                    e2e.finish(process)
                finally:
                    watcher.stop()
                    modes.stop()
                self.assertEqual(self.case.log_messages()[-1], texts.LOCKED)
                # The new versions are written in folders beside the files that only the
                # program's user may enter, whatever the modes of the files in them.
                seen = {folder.parent for folder in watcher.folders}
                self.assertEqual(seen, {self.case.books, self.case.backup_folder})
                self.assertEqual({oct(m) for m in watcher.folders.values()}, {oct(0o700)})
                for watched_path, seen_modes in modes.seen.items():
                    self.assertEqual([oct(m) for m in seen_modes if m & 0o077], [],
                                     f"{watched_path.name} was readable by others")
                self.assertEqual(e2e.mode(path), 0o600)
                self.assertEqual(e2e.mode(backup), 0o600)
                self.assert_no_temporary_copies()

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_names_planted_by_another_user_are_neither_followed_nor_touched(self):
        # A shared folder everybody may write; another user plants links at the names a new
        # version could have, beforehand and all through the run.
        os.chmod(self.case.books, 0o1777)
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Shared.xlsx")
        victim = self.case.root / "victim.txt"
        victim.write_text("nobody may change this\n")
        os.chmod(self.case.root, 0o755)
        planter = subprocess.Popen(
            e2e.as_nobody() + ["/usr/bin/python3", "-c", PLANTER, str(self.case.books),
                               str(victim)], stdout=subprocess.PIPE, text=True)
        try:
            time.sleep(0.5)
            lines, log = self.case.run(path, answer="y\n")
        finally:
            planter.terminate()
            report = planter.communicate(timeout=30)[0]
        folders, planted = (int(n) for n in report.split())
        self.assertEqual(log[-1], texts.LOCKED)
        self.assert_locked(path, self.library / "plain.xlsx")
        self.assertEqual(victim.read_text(), "nobody may change this\n")
        self.assertGreater(folders, 0, "the planter never saw a private folder")
        self.assertEqual(planted, 0, "a link was planted in a private folder")
        planted_link = pathlib.Path(f"{path}.pwd")
        self.assertTrue(planted_link.is_symlink())
        self.assertEqual(os.readlink(planted_link), str(victim))

    def test_a_workbook_linked_from_another_file_system_is_locked_where_it_is(self):
        elsewhere = pathlib.Path("/dev/shm")
        if not elsewhere.is_dir() or \
                os.stat(elsewhere).st_dev == os.stat(self.case.books).st_dev:
            self.skipTest("no second file system at hand")
        folder = pathlib.Path(tempfile.mkdtemp(prefix="kovrisk-e2e-", dir=elsewhere))
        try:
            real = e2e.place(self.library / "plain.xlsx", folder / "Real.xlsx")
            link = self.case.books / "Linked.xlsx"
            link.symlink_to(real)
            lines, log = self.case.run(link, answer="y\n")
            self.assertEqual(log[-1], texts.LOCKED, log)
            self.assertTrue(link.is_symlink())
            self.assert_locked(real, self.library / "plain.xlsx", file_name="Linked.xlsx")
            self.assert_backup_of(self.case.backup("Linked.xlsx"), self.library / "plain.xlsx")
            self.assert_no_temporary_copies(folder, self.case.books, self.case.backup_folder)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    @unittest.skipUnless(os.geteuid() == 0, "giving files to other owners needs root")
    def test_a_group_shared_workbook_keeps_its_owner_group_mode_acl_and_attributes(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Team.xlsx")
        earlier = e2e.place(self.library / "other.xlsx", self.case.backup("Team.xlsx"))
        for file in (path, earlier):
            os.chown(file, e2e.NOBODY, TEAM_GROUP)
            os.chmod(file, 0o660)
            subprocess.run(["setfacl", "-m", "u:1:r,g:0:r", str(file)], check=True)
            os.setxattr(file, "user.team", b"ledger")
        acl_before = facl(path)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED, log)
        self.assert_locked(path, self.library / "plain.xlsx")
        for file in (path, self.case.backup("Team.xlsx")):
            info = os.stat(file)
            self.assertEqual((info.st_uid, info.st_gid), (e2e.NOBODY, TEAM_GROUP), file)
            self.assertEqual(os.getxattr(file, "user.team"), b"ledger", file)
        self.assertEqual(e2e.mode(path), 0o660)
        self.assertEqual(facl(path), acl_before)
        # The backup copy is in the user's own data folder: nobody else's bits.
        self.assertEqual(e2e.mode(self.case.backup("Team.xlsx")), 0o600)

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_a_workbook_whose_owner_could_not_read_the_locked_file_is_left_alone(self):
        # Root's workbook shared with the other user's group: a locked file of that user's could
        # not be given back to root, who is no member of the group.
        os.chmod(self.case.books, 0o1777)
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Roots.xlsx")
        os.chown(path, 0, e2e.NOBODY)
        os.chmod(path, 0o660)
        original = e2e.digest(path)
        cache = e2e.OUTPUT / "cache-nobody"
        cache.mkdir(exist_ok=True)
        os.chown(cache, e2e.NOBODY, e2e.NOBODY)
        os.chown(self.case.root, e2e.NOBODY, e2e.NOBODY)
        for folder in (self.case.runtime,):
            os.chown(folder, e2e.NOBODY, e2e.NOBODY)
        lines, log = self.case.run(path, answer="y\n", prefix=e2e.as_nobody(),
                                   env=self.case.environment(XDG_CACHE_HOME=str(cache)))
        self.assertEqual(log[-2], texts.OWNER_COULD_NOT_READ.format(path))
        self.assertEqual(log[-1], texts.F4[0])
        self.assert_untouched(path, original)
        self.assertEqual(os.stat(path).st_uid, 0)
        self.assertFalse(self.case.backup_folder.exists() and
                         any(self.case.backup_folder.iterdir()))
        self.assert_no_temporary_copies()

    # Shared folders: another user who may rename what they cannot delete, or plant names.

    def shared(self, mode):
        """The workbooks' folder shared with the other user (`mode`), and a workbook in it."""
        os.chmod(self.case.root, 0o755)
        os.chmod(self.case.books, mode)
        return e2e.place(self.library / "plain.xlsx", self.case.books / "Shared.xlsx")

    def private_folder(self, name, files):
        """A folder of the user's own in the shared folder, with `files` ({name: text})."""
        folder = self.case.books / name
        folder.mkdir(mode=0o700)
        for file_name, text in files.items():
            (folder / file_name).write_text(text)
        return folder

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_a_run_removes_only_the_work_folders_it_made(self):
        # A folder every user may write, without the sticky bit: the other user renames the
        # user's folders into names of work folders, beforehand and during the lock.
        path = self.shared(0o777)
        self.private_folder("reports", {"q1.txt": "reports\n"})
        self.private_folder(".kovrisk-notes", {"n.txt": "notes\n"})
        self.private_folder("spare", {"s.txt": "spare\n"})
        subprocess.run(e2e.as_nobody() + ["mv", str(self.case.books / "reports"),
                                          str(self.case.books / ".kovrisk-reports")], check=True)
        swapper = subprocess.Popen(
            e2e.as_nobody() + ["/usr/bin/python3", "-c", SWAPPER, str(self.case.books)],
            stdout=subprocess.PIPE, text=True)
        try:
            time.sleep(0.5)
            lines, log = self.case.run(path, answer="y\n")
        finally:
            swapper.terminate()
            swapped = int(swapper.communicate(timeout=30)[0])
        self.assertGreater(swapped, 0, "the swapper never met a work folder")
        texts_found = {file.name: file.read_text() for file in self.case.books.rglob("*.txt")}
        self.assertEqual(texts_found, {"q1.txt": "reports\n", "n.txt": "notes\n",
                                       "s.txt": "spare\n"})
        for name in (".kovrisk-reports", ".kovrisk-notes"):
            self.assertIn(texts.FOLDER_LEFT_ALONE.format(self.case.books / name), log)
        # The new version went where the path led, not where the run holds it: not locked.
        self.assertEqual(log[-1], texts.F4[0], log)
        self.assertEqual(e2e.digest(path), e2e.digest(self.library / "plain.xlsx"))

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_a_workbook_swapped_while_the_user_confirms_is_refused(self):
        path = self.shared(0o777)
        secret = e2e.place(self.library / "other.xlsx",
                           self.private_folder("private", {}) / "Secret.xlsx")
        before = e2e.digest(secret)
        process = self.case.start(path, keep_input=True)
        self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.PROBE_CLOSE)))
        # The other user puts a link to the user's private workbook in the workbook's place.
        subprocess.run(e2e.as_nobody() + ["sh", "-c", 'mv "$1" "$1.away" && ln -s "$2" "$1"',
                                          "sh", str(path), str(secret)], check=True)
        process.stdin.write(b"y\n")
        process.stdin.close()
        process.stdin = None
        lines = e2e.finish(process, expected_code=texts.EXIT_CODES["lock refused"])
        self.assertEqual(lines[-1:], box([texts.WORKBOOK_SWAPPED]))
        self.assertEqual(self.case.log_messages()[-1], texts.WORKBOOK_SWAPPED)
        self.assertEqual(e2e.digest(secret), before)
        self.assertFalse(checks_encrypted(secret))
        self.assertFalse(self.case.backup_folder.exists() and
                         any(self.case.backup_folder.iterdir()))
        self.assert_no_temporary_copies()

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_a_lock_the_shared_folder_refuses_keeps_the_earlier_backup(self):
        # Root's workbook that the user may write, in root's sticky folder: the user's run cannot
        # rename its locked version over it.  The user's earlier backup copy of that name stays.
        path = self.shared(0o777)
        earlier = e2e.digest(e2e.place(self.library / "other.xlsx",
                                       self.case.backup(path.name)))
        user = self.as_user()
        os.chown(self.case.books, 0, 0)
        os.chmod(self.case.books, 0o1777)
        os.chown(path, 0, e2e.NOBODY)
        os.chmod(path, 0o666)
        original = e2e.digest(path)
        lines, log = self.case.run(path, answer="y\n", **user)
        self.assertEqual(log[-2:], [texts.DELETE_ERROR, texts.F4[0]])
        self.assert_untouched(path, original)
        self.assertEqual(os.listdir(self.case.backup_folder), [path.name])
        self.assert_untouched(self.case.backup(path.name), earlier)
        self.assert_no_temporary_copies(office_locks=False)

    def as_user(self):
        """The case's folders handed to the other user; the run options that run the program as
        that user, with an office profile folder of its own."""
        cache = e2e.OUTPUT / "cache-nobody"
        cache.mkdir(exist_ok=True)
        os.chown(cache, e2e.NOBODY, e2e.NOBODY)
        self.case.hand_to(e2e.NOBODY)
        return dict(env=self.case.environment(XDG_CACHE_HOME=str(cache)), prefix=e2e.as_nobody())

    def test_a_claim_that_cannot_be_taken_ends_the_run_before_anything_changes(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Book.xlsx")
        before = e2e.digest(path)
        claims = self.case.data / "Kovrisk" / "claims"
        claims.parent.mkdir(parents=True)
        elsewhere = self.case.root / "elsewhere"
        elsewhere.mkdir(mode=0o700)
        claims.symlink_to(elsewhere)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.CLAIM_UNAVAILABLE.format(claims))
        self.assertEqual(lines, box([texts.CLAIM_UNAVAILABLE.format(claims)]))
        self.assert_untouched(path, before)
        self.assertEqual(os.listdir(elsewhere), [])
        self.assertFalse(self.case.backup_folder.exists())

    def test_two_names_of_one_file_are_one_workbook_and_are_not_locked(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Book.xlsx")
        before = e2e.digest(path)
        first = self.case.start(path, keep_input=True)
        self.assertTrue(e2e.wait_for(first, e2e.logged(self.case, texts.PROBE_CLOSE)))
        second_name = self.case.books / "Second name.xlsx"
        os.link(path, second_name)
        # A second run on the other name finds the workbook claimed.
        lines, log = self.case.run(second_name, answer="y\n")
        self.assertEqual(lines, box([texts.WORKBOOK_BUSY]))
        first.stdin.write(b"n\n")
        first.stdin.close()
        first.stdin = None
        e2e.finish(first, expected_code=texts.EXIT_CODES["C"])
        # Alone, the run refuses it: the lock would leave the other name plain.
        lines, log = self.case.run(second_name, answer="y\n")
        self.assertEqual(log[-1], texts.MANY_NAMES)
        self.assertEqual(lines[-1:], box([texts.MANY_NAMES]))
        self.assert_untouched(path, before)
        self.assertEqual(os.stat(path).st_nlink, 2)
        self.assertFalse(self.case.backup_folder.exists() and
                         any(self.case.backup_folder.iterdir()))

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_an_office_lock_file_planted_as_a_pipe_ends_the_run_at_once(self):
        path = self.shared(0o1777)
        before = e2e.digest(path)
        subprocess.run(e2e.as_nobody() + ["mkfifo", str(self.case.books / ".~lock.Shared.xlsx#")],
                       check=True)
        started = time.monotonic()
        lines, log = self.case.run(path, answer="y\n", timeout=60)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(log[-1], texts.OFFICE_LOCK_NOT_A_FILE)
        self.assertEqual(lines, box([texts.OFFICE_LOCK_NOT_A_FILE]))
        self.assert_untouched(path, before)

    @unittest.skipUnless(e2e.can_change_user(), "needs root and another user")
    def test_an_office_lock_file_planted_as_a_pipe_after_the_start_check_ends_the_run_at_once(self):
        path = self.shared(0o1777)
        before = e2e.digest(path)
        started = time.monotonic()
        process = self.case.start(path, answer="y\n")
        # Planted while the office starts for the probe, after the run's own check of the name.
        self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.PROBE_TRY)))
        subprocess.run(e2e.as_nobody() + ["mkfifo", str(self.case.books / ".~lock.Shared.xlsx#")],
                       check=True)
        lines = e2e.finish(process, 60, expected_code=texts.EXIT_CODES["lock refused"])
        self.assertLess(time.monotonic() - started, 30)
        log = self.case.log_messages(failure_texts=True)
        self.assertIn(texts.error("fncXlsOpenChk", texts.PLANTED_FILE.format(path)), log)
        self.assertEqual(log[-1], texts.OFFICE_LOCK_NOT_A_FILE)
        self.assertEqual(lines[-1:], box([texts.OFFICE_LOCK_NOT_A_FILE]))
        self.assert_untouched(path, before)
        self.assertFalse(self.case.backup_folder.exists())

    def test_the_data_folder_is_the_users_alone(self):
        # An existing data folder of an earlier version, open to everybody, is tightened.
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Book.xlsx")
        data = self.case.data / "Kovrisk"
        e2e.place(self.library / "other.xlsx", self.case.backup(path.name))
        (data / "syslog").mkdir(parents=True)
        (data / "syslog" / "20000101.txt").write_bytes(b"")
        for folder, folders, files in os.walk(data):
            os.chmod(folder, 0o755)
            for name in files:
                os.chmod(os.path.join(folder, name), 0o644)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED)
        self.assertIn(texts.DATA_FOLDER_TIGHTENED.format(f"{data}/"), log)
        self.assert_only_the_users(data)
        # A new one is made so.
        other = self.case.root / "fresh-data"
        self.case.run(path, env=self.case.environment(XDG_DATA_HOME=str(other)))
        self.assert_only_the_users(other / "Kovrisk")

    def assert_only_the_users(self, folder):
        modes = {}
        for parent, folders, files in os.walk(folder):
            for name in [""] + files:
                entry = os.path.join(parent, name) if name else parent
                modes[entry] = e2e.mode(entry)
        self.assertGreater(len(modes), 2)
        self.assertEqual({entry: oct(m) for entry, m in modes.items() if m & 0o077}, {})

    def test_a_path_cannot_forge_log_lines(self):
        forged = f"x\n2026/01/01,00:00:00.000,(Kovrisk),{texts.LOCKED}\r\ny"
        folder = self.case.books / forged
        path = e2e.place(self.library / "plain.xlsx", folder / "Book.xlsx", 0o444)
        lines, log = self.case.run(path, answer="y\n")
        # Every line of the day's file is framed whole (case.log_messages checks the frame).
        self.assertEqual(log.count(texts.LOCKED), 1, log)
        self.assertEqual(log[-1], texts.LOCKED)
        logged = str(path).replace("\n", "?").replace("\r", "?")
        self.assertIn(logged, log)

    def assert_profile_refused(self, folder, path, original, lines, log):
        """The run ended at its start, refusing the profile folder `folder` by name; the workbook
        is untouched (`original` its digest); the terminal says why, naming the folder."""
        self.assertEqual(len(lines), 2, lines)
        self.assertEqual(lines[0], texts.box([texts.NOT_INSTALLED])[0])
        self.assertIn(str(folder), lines[1])
        self.assertEqual(len(log), 3, log)
        self.assertEqual(log[0], texts.FIND_LINE)
        self.assertTrue(log[1].startswith(texts.error(texts.FIND)), log[1])
        self.assertIn(str(folder), log[1])
        self.assertEqual(log[2], texts.NOT_INSTALLED)
        self.assert_untouched(path, original)
        self.assertFalse(self.case.backup_folder.exists())

    def test_a_profile_folder_another_user_could_change_is_refused(self):
        def writable_by_all(folder):
            folder.mkdir(mode=0o755)
            os.chmod(folder, 0o777)
            return folder

        def writable_by_the_group(folder):
            folder.mkdir(mode=0o755)
            os.chmod(folder, 0o775)
            return folder

        def a_link_to_a_private_folder(folder):
            target = folder.parent / "target"
            target.mkdir(mode=0o700)
            folder.symlink_to(target)
            return target

        def another_users(folder):
            folder.mkdir(mode=0o755)
            os.chown(folder, e2e.NOBODY, e2e.NOBODY)
            return folder

        plantings = [writable_by_all, writable_by_the_group, a_link_to_a_private_folder]
        if os.geteuid() == 0:
            plantings.append(another_users)
        source = self.library / "plain.xlsx"
        for plant in plantings:
            with self.subTest(plant.__name__):
                cache = self.case.root / plant.__name__
                cache.mkdir()
                inside = plant(cache / "kovrisk")
                path = e2e.place(source, self.case.books / "plain.xlsx")
                lines, log = self.case.run(path, answer="y\n",
                                           env=self.case.environment(XDG_CACHE_HOME=str(cache)))
                self.assert_profile_refused(cache / "kovrisk", path, e2e.digest(source), lines,
                                            log)
                # No office ran on it: it would have made its profile there.
                self.assertEqual(os.listdir(inside), [])

    @unittest.skipUnless(e2e.can_change_user(), "cannot run the program as another user here")
    def test_without_home_the_profile_folder_is_below_the_users_own_home(self):
        # Neither $HOME nor $XDG_CACHE_HOME: the home folder comes from the password database, never
        # the temporary folder, where another user may have made "kovrisk" first.
        home = pwd.getpwuid(e2e.NOBODY).pw_dir
        if os.path.exists(home):
            self.skipTest(f"{e2e.NOBODY}'s home {home} exists: the run would go on in it")
        temporary = self.case.root / "tmp"
        source = self.library / "plain.xlsx"
        path = e2e.place(source, self.case.books / "plain.xlsx")
        planted = temporary / "kovrisk"
        planted.mkdir(parents=True)
        self.case.hand_to(e2e.NOBODY)
        os.chown(planted, 0, 0)
        os.chmod(planted, 0o777)
        env = self.case.environment(TMPDIR=str(temporary))
        del env["HOME"], env["XDG_CACHE_HOME"]
        lines, log = self.case.run(path, answer="y\n", env=env, prefix=e2e.as_nobody())
        self.assert_profile_refused(os.path.join(home, ".cache", "kovrisk"), path,
                                    e2e.digest(source), lines, log)
        self.assertEqual(os.listdir(planted), [])


TEAM_GROUP = 100  # "users" on Debian


def facl(path):
    return subprocess.run(["getfacl", "--omit-header", "--numeric", str(path)],
                          capture_output=True, text=True, check=True).stdout


class FolderWatcher(Sampler):
    """The private folders that appeared in some folders, with their permission bits."""

    def __init__(self, parents):
        super().__init__()
        self.parents = [pathlib.Path(parent) for parent in parents]
        self.folders = {}

    def sample(self):
        for parent in self.parents:
            for folder in e2e.private_folders(parent):
                self.folders[folder] = stat.S_IMODE(os.lstat(folder).st_mode)


# Run as the other user: plants links at "<file>.pwd" and inside every private folder it sees,
# until it is ended; then prints how many private folders it saw and how many links it planted
# in them.
PLANTER = r"""
import os, signal, sys
folder, victim = sys.argv[1], sys.argv[2]
seen, planted = set(), 0
signal.signal(signal.SIGTERM, lambda *_: (print(len(seen), planted), sys.exit(0)))
while True:
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if name.startswith(".kovrisk-"):
            seen.add(name)
            for inner in ("Shared.xlsx.pwd", "Shared.xlsx", "x"):
                try:
                    os.symlink(victim, os.path.join(path, inner))
                    planted += 1
                except OSError:
                    pass
        elif name.endswith(".xlsx") and not os.path.lexists(path + ".pwd"):
            try:
                os.symlink(victim, path + ".pwd")
            except OSError:
                pass
"""


# Run as the other user: renames every work folder of the program that appears in a folder to
# "moved-<n>" and puts the user's folder "spare" (and then each moved one) under its name, until
# it is ended; then prints how many it swapped.
SWAPPER = r"""
import os, signal, sys
folder = sys.argv[1]
known = {".kovrisk-reports", ".kovrisk-notes"}
swapped = 0
signal.signal(signal.SIGTERM, lambda *_: (print(swapped), sys.exit(0)))
spare = "spare"
while True:
    for name in os.listdir(folder):
        if name.startswith(".kovrisk-") and name not in known:
            try:
                os.rename(os.path.join(folder, name), os.path.join(folder, f"moved-{swapped}"))
                os.rename(os.path.join(folder, spare), os.path.join(folder, name))
            except OSError:
                continue
            known.add(name)
            spare = f"moved-{swapped}"
            swapped += 1
"""


def checks_encrypted(path):
    return e2e.checks.is_encrypted(str(path))

if __name__ == "__main__":
    unittest.main(verbosity=2)
