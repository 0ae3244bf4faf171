"""Faults during the lock road, made from outside while the real program runs: its office killed
at several points (watched through the activity log and the files), the program itself killed, a
full disk, and a backup folder that cannot be written.  Whatever the point, the workbook is either
untouched or fully locked, an earlier backup copy is the earlier one or the new one, no temporary
copy is left and no process is left running."""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import e2e
import expected_texts as texts
from expected_texts import box, startup

# The office's cache of extensions shared by every user of the machine (on Debian, the office's
# link leads to /var/spool/libreoffice/uno_packages/cache); an office run as root makes the
# uno_packages folder in it when it is missing.
SHARED_EXTENSIONS = pathlib.Path(
    os.path.realpath("/usr/lib/libreoffice/share/uno_packages/cache")) / "uno_packages"


# A workbook the lock has the office save: a package is written by Kovrisk in one short write, too
# quickly for a fault to be timed between its writing and its replacement.
SAVED_BY_THE_OFFICE = "Ledger 2024.xls"


def can_mount():
    with tempfile.TemporaryDirectory() as folder:
        try:
            done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder],
                                  capture_output=True, timeout=30)
        except OSError:
            return False
        if done.returncode != 0:
            return False
        subprocess.run(["umount", folder], check=True)
        return True


def report(name, end, workbook_state):
    # For the suite's figures: which end each fault led to.
    print(f"FAULT {name}: end {end}, workbook {workbook_state}", file=sys.stderr, flush=True)


class Faults(e2e.TestCase):
    suite = "faults"

    def prepare(self, kind="plain", name="Ledger 2024.xlsx", earlier=True):
        """The workbook, and an earlier backup copy of another workbook of its name."""
        suffix = pathlib.PurePath(name).suffix
        source = self.library / f"{kind}{suffix}"
        path = e2e.place(source, self.case.books / name)
        earlier_digest = None
        if earlier:
            earlier_digest = e2e.digest(e2e.place(self.library / f"other{suffix}",
                                                  self.case.backup(name)))
        return source, path, e2e.digest(path), earlier_digest

    def assert_nothing_lost(self, name, log, source, path, original, earlier,
                            temporary_allowed=False, rerun=False, end=None):
        """The workbook untouched or fully locked as the end says; the backup copy the earlier one,
        the new unprotected one or the new protected one, as the end says; with `rerun`, the next
        run finishes the job."""
        end = end or e2e.end_of(log)
        self.assertTrue(path.is_file(), "the workbook is missing")
        untouched = e2e.digest(path) == original
        if not untouched:
            self.assert_locked(path, source)
        report(name, end, "untouched" if untouched else "locked")

        backup = self.case.backup(path.name)
        if end in ("F2", "F3", "F4", "C", "refused"):
            self.assertTrue(untouched, f"end {end} but the workbook changed")
        if end in ("S", "F5"):
            self.assertFalse(untouched, f"end {end} but the workbook is not locked")
        # The backup folder never holds the plain workbook: the earlier copy stays until its
        # encrypted successor takes its place, after the lock.
        if end == "S":
            self.assert_backup_of(backup, source)
        elif earlier is not None:
            self.assert_untouched(backup, earlier)
        elif untouched:
            self.assertFalse(os.path.lexists(backup), "a backup copy of a workbook not locked")
        if backup.is_file():
            self.assertNotEqual(e2e.digest(backup), original, "a plain backup copy")
        if not temporary_allowed:
            self.assert_no_temporary_copies(office_locks=False)
        self.assert_no_processes()
        if rerun:
            self.rerun(path, source, untouched)
        return end, untouched

    def rerun(self, path, source, untouched):
        if untouched:
            lines, log = self.case.run(path, answer="y\n")
            self.assertEqual(log[-1], texts.LOCKED, log)
            self.assert_locked(path, source)
            self.assert_backup_of(self.case.backup(path.name), source)
        else:
            lines, log = self.case.run(path)
            self.assertEqual(log[-1], texts.OPENED, log)
        # A killed office's own lock files may stay beside files this run did not open.
        self.assert_no_temporary_copies(path.parent, self.case.backup_folder, office_locks=False)
        self.assert_no_processes()

    def kill_office_when(self, path, condition, stop_program=False, office_required=True):
        """Runs the lock road and kills the office when `condition` comes true; returns the run's
        terminal lines and new log lines."""
        before = len(self.case.log_messages())
        process = self.case.start(path, answer="y\n")
        self.assertTrue(e2e.wait_for(process, condition), "the fault point never came")
        if stop_program:
            # Hold the program where it is and give the office time to finish what it writes.
            os.kill(process.pid, signal.SIGSTOP)
            saved = [folder / (path.name + ".pwd") for folder in e2e.private_folders(path.parent)]
            if saved:
                self.wait_until_stable(saved[0])
        offices = e2e.office_pids()
        e2e.kill(offices)
        if stop_program:
            os.kill(process.pid, signal.SIGCONT)
        if office_required:
            self.assertTrue(offices, "no office to kill")
        lines = e2e.finish(process, expected_code=None)
        log = self.case.log_messages()[before:]
        self.assertEqual(process.returncode, e2e.exit_code_of(log), log)
        return lines, log

    @staticmethod
    def wait_until_stable(path, quiet=0.5, bound=30):
        deadline = time.monotonic() + bound
        size, since = -1, time.monotonic()
        while time.monotonic() < deadline:
            now = path.stat().st_size if path.exists() else -1
            if now != size:
                size, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return
            time.sleep(0.01)

    # The office killed.

    # A large workbook keeps the office busy opening it for a while: the kill lands there.

    def test_office_killed_while_the_probe_opens(self):
        source, path, original, earlier = self.prepare(kind="large")
        lines, log = self.kill_office_when(path, e2e.logged(self.case, texts.PROBE_TRY))
        end, untouched = self.assert_nothing_lost("probe opening", log, source, path, original,
                                                  earlier)
        # The probe cannot tell a dead office from a protected workbook: the open road follows.
        self.assertEqual(log[:len(texts.PROBE_FAILS) + 3],
                         startup(e2e.this_computer()) + [texts.STARTED] + texts.PROBE_FAILS)
        self.assertTrue(untouched)
        self.assertEqual(e2e.digest(self.case.backup(path.name)), earlier)
        self.rerun(path, source, untouched)

    def test_the_lock_of_a_package_needs_no_office(self):
        # Kovrisk writes the control sheet into the package itself, and the office only probes:
        # an office killed as the lock begins takes nothing from it.
        source, path, original, earlier = self.prepare(kind="large")
        lines, log = self.kill_office_when(path, e2e.logged(self.case, texts.LOCK_TRY))
        end, untouched = self.assert_nothing_lost("lock without an office", log, source, path,
                                                  original, earlier)
        self.assertEqual(end, "S")
        self.assertFalse(untouched)
        self.assertNotIn(texts.catch(texts.LOCK), log)

    # The office saves only what Kovrisk does not edit itself (a binary workbook here): the new
    # version it writes lives long enough to be seen.

    def test_office_killed_while_it_saves_the_locked_workbook(self):
        source, path, original, earlier = self.prepare(kind="large", name=SAVED_BY_THE_OFFICE)
        lines, log = self.kill_office_when(path, e2e.new_version(path))
        end, untouched = self.assert_nothing_lost("lock saving", log, source, path, original,
                                                  earlier, rerun=True)
        self.assertIn(end, ("F4", "S"))

    def test_office_killed_after_the_save_before_the_replacement(self):
        source, path, original, earlier = self.prepare(name=SAVED_BY_THE_OFFICE)
        lines, log = self.kill_office_when(path, e2e.new_version(path), stop_program=True)
        end, untouched = self.assert_nothing_lost("after save", log, source, path, original,
                                                  earlier, rerun=True)
        self.assertIn(end, ("F4", "S"))

    def test_the_backup_lock_needs_no_office(self):
        # Whatever office is left is killed as the backup lock begins: the backup copy is
        # encrypted from its own bytes all the same.
        source, path, original, earlier = self.prepare(kind="large")
        lines, log = self.kill_office_when(path, e2e.logged(self.case, texts.BACKUP_LOCK_TRY),
                                           stop_program=True, office_required=False)
        end, untouched = self.assert_nothing_lost("backup lock without an office", log, source,
                                                  path, original, earlier)
        self.assertEqual(end, "S")
        self.assertEqual(log[-3:], [texts.BACKUP_LOCK_TRY, texts.BACKUP_LOCK_CLOSE, texts.LOCKED])

    # The program itself ended from outside.

    def test_program_killed_while_the_office_saves(self):
        source, path, original, earlier = self.prepare(kind="large", name=SAVED_BY_THE_OFFICE)
        process = self.case.start(path, answer="y\n")
        self.assertTrue(e2e.wait_for(process, e2e.new_version(path)))
        process.kill()
        e2e.finish(process, expected_code=-signal.SIGKILL)
        # The office's keeper sees its program gone and ends the office.
        left = e2e.wait_for_no_processes(bound=20)
        self.assertEqual(left, [], "the office outlived its program")
        log = self.case.log_messages()
        end, untouched = self.assert_nothing_lost("program killed", log, source, path, original,
                                                  earlier, temporary_allowed=True, end="killed")
        # A stale private folder is no obstacle to the next run, which finishes the job and
        # removes it.
        if untouched:
            lines, log = self.case.run(path, answer="y\n")
            self.assertEqual(log[-1], texts.LOCKED)
            self.assert_locked(path, source)
        else:
            lines, log = self.case.run(path)
            self.assertEqual(log[-1], texts.OPENED)
        self.assert_no_temporary_copies()

    def test_ctrl_c_at_the_confirmation(self):
        source, path, original, earlier = self.prepare()
        process = self.case.start(path, keep_input=True)
        self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.PROBE_CLOSE)))
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        process.stdin.close()
        process.stdin = None
        e2e.finish(process, expected_code=-signal.SIGINT)
        self.assertEqual(e2e.wait_for_no_processes(bound=20), [])
        self.assert_untouched(path, original)
        self.assert_untouched(self.case.backup(path.name), earlier)
        report("ctrl-c at the question", "interrupted", "untouched")

    def test_program_terminated_while_the_lock_opens(self):
        source, path, original, earlier = self.prepare()
        process = self.case.start(path, answer="y\n")
        self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.LOCK_TRY)))
        process.terminate()
        process.communicate(timeout=60)
        self.assertEqual(e2e.wait_for_no_processes(bound=20), [])
        self.assert_nothing_lost("program terminated", self.case.log_messages(), source, path,
                                 original, earlier, temporary_allowed=True, rerun=True,
                                 end="terminated")

    def test_every_program_process_signalled_by_name(self):
        # What `killall kovrisk` does: the signal reaches the program and its office's keeper
        # alike.  The office goes with the program, whatever the signal.
        source, path, original, earlier = self.prepare(kind="large")
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                process = self.case.start(path)
                self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.PROBE_TRY)))
                self.assertTrue(e2e.wait_for(process, lambda: e2e.office_pids()))
                signalled = e2e.program_processes()
                self.assertEqual(len(signalled), 2, signalled)
                for pid in signalled:
                    os.kill(pid, sig)
                process.communicate(timeout=60)
                self.assertEqual(process.returncode, -sig)
                started = time.monotonic()
                left = e2e.wait_for_no_processes(bound=20)
                e2e.kill(left)
                self.assertEqual(left, [], f"left running after {sig.name}")
                print(f"SIGNAL {sig.name} to the program and its keeper: all gone "
                      f"{time.monotonic() - started:.1f} s later", file=sys.stderr, flush=True)
                self.assert_untouched(path, original)

    # Names beside the workbook and the backup copy taken by folders: the run does not need them.

    def test_names_beside_the_files_taken_by_folders(self):
        source, path, original, earlier = self.prepare()
        backup = self.case.backup(path.name)
        in_the_way = [pathlib.Path(str(path) + ".pwd"), pathlib.Path(str(backup) + ".copy"),
                      pathlib.Path(str(backup) + ".pwd")]
        for folder in in_the_way:
            folder.mkdir()
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED)
        self.assert_locked(path, source)
        self.assert_backup_of(backup, source)
        for folder in in_the_way:
            self.assertTrue(folder.is_dir(), folder)
            folder.rmdir()
        self.assert_no_temporary_copies()

    # A replacement that fails: a file that is a mount point cannot be renamed over.

    def pinned(self, path):
        """`path` bind-mounted onto itself until the test ends: readable and writable as before,
        but no rename can replace it."""
        subprocess.run(["mount", "--bind", str(path), str(path)], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", str(path)], check=False)

    @unittest.skipUnless(can_mount(), "no mount here")
    def test_the_workbook_cannot_be_replaced(self):
        source, path, original, earlier = self.prepare()
        os.chmod(path, 0o444)
        self.pinned(path)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines[-1:], box(texts.F4[1]))
        self.assertEqual(log[-5:], [texts.LOCK_TRY, str(path), texts.REMOVING_READ_ONLY,
                                    texts.DELETE_ERROR, texts.F4[0]])
        end, untouched = self.assert_nothing_lost("workbook replacement refused", log, source,
                                                  path, original, earlier)
        self.assertEqual(end, "F4")
        # Its read-only bit is back, the saved copy is gone, the earlier backup copy stays.
        self.assertEqual(e2e.mode(path), 0o444)
        self.assertEqual(e2e.digest(self.case.backup(path.name)), earlier)

    @unittest.skipUnless(can_mount(), "no mount here")
    def test_the_earlier_backup_copy_cannot_be_replaced(self):
        source, path, original, earlier = self.prepare()
        self.pinned(self.case.backup(path.name))
        lines, log = self.case.run(path, answer="y\n")
        # Replaced only by its encrypted successor, after the lock: the backup lock fails.
        self.assertEqual(lines[-1:], box(texts.F5[1]))
        end, untouched = self.assert_nothing_lost("earlier backup replacement refused", log,
                                                  source, path, original, earlier)
        self.assertEqual(end, "F5")
        self.assert_untouched(self.case.backup(path.name), earlier)

    @unittest.skipUnless(can_mount(), "no mount here")
    def test_the_backup_copy_cannot_be_replaced_by_its_locked_copy(self):
        source, path, original, earlier = self.prepare()
        process = self.case.start(path, answer="y\n")
        backup = self.case.backup(path.name)
        self.assertTrue(e2e.wait_for(process, e2e.logged(self.case, texts.BACKUP_LOCK_TRY)))
        os.kill(process.pid, signal.SIGSTOP)
        try:
            self.pinned(backup)
        finally:
            os.kill(process.pid, signal.SIGCONT)
        lines = e2e.finish(process, expected_code=texts.EXIT_CODES["F5"])
        log = self.case.log_messages()
        self.assertEqual(lines[-1:], box(texts.F5[1]))
        self.assertEqual(log[-3:], [texts.BACKUP_LOCK_TRY, texts.DELETE_ERROR, texts.F5[0]])
        end, untouched = self.assert_nothing_lost("backup replacement refused", log, source, path,
                                                  original, earlier)
        self.assertEqual(end, "F5")
        self.assertEqual(e2e.digest(backup), earlier)

    # A full disk.

    @unittest.skipUnless(can_mount(), "no mount here: the file-size limit case covers a full disk")
    def test_the_workbooks_disk_full(self):
        folder = self.small_file_system(self.case.root / "small", 1024)
        source = self.library / "plain.xlsx"
        path = e2e.place(source, folder / "Ledger.xlsx")
        original = e2e.digest(path)
        earlier = e2e.digest(e2e.place(self.library / "other.xlsx", self.case.backup(path.name)))
        self.fill(folder, leave=8192)
        lines, log = self.case.run(path, answer="y\n")
        end, untouched = self.assert_nothing_lost("workbook disk full", log, source, path,
                                                  original, earlier)
        self.assertEqual(end, "F4")
        self.assertEqual(lines[-1:], box(texts.F4[1]))
        self.assert_no_temporary_copies(folder)

    @unittest.skipUnless(can_mount(), "no mount here: the file-size limit case covers a full disk")
    def test_the_backup_disk_too_full_for_the_copy(self):
        data = self.small_file_system(self.case.data, 2048)
        source = self.library / "large.xlsx"
        path = e2e.place(source, self.case.books / "Ledger.xlsx")
        original = e2e.digest(path)
        earlier = e2e.digest(e2e.place(self.library / "other.xlsx", self.case.backup(path.name)))
        self.fill(data, leave=65536)
        lines, log = self.case.run(path, answer="y\n")
        end, untouched = self.assert_nothing_lost("backup disk full", log, source, path,
                                                  original, earlier)
        self.assertEqual(end, "F3")
        self.assertEqual(lines[-1:], box(texts.F3[1]))
        self.assert_untouched(self.case.backup(path.name), earlier)

    @unittest.skipUnless(can_mount(), "no mount here: the file-size limit case covers a full disk")
    def test_the_backup_disk_too_full_for_the_locked_copy(self):
        data = self.small_file_system(self.case.data, 2048)
        source = self.library / "large.xlsx"
        path = e2e.place(source, self.case.books / "Ledger.xlsx")
        original = e2e.digest(path)
        self.fill(data, leave=os.path.getsize(path) + 16384)
        lines, log = self.case.run(path, answer="y\n")
        end, untouched = self.assert_nothing_lost("backup lock disk full", log, source, path,
                                                  original, None)
        self.assertEqual(end, "F5")
        self.assertEqual(lines[-1:], box(texts.F5[1]))
        self.assertFalse(os.path.lexists(self.case.backup(path.name)))

    def test_a_file_size_limit(self):
        # Every process of the run may write at most 9000 bytes to a file: the office cannot
        # work at all, and the run ends without touching anything.
        source, path, original, earlier = self.prepare()
        lines, log = self.case.run(path, answer="y\n", prefix=["prlimit", "--fsize=9000", "--"])
        end, untouched = self.assert_nothing_lost("file-size limit", log, source, path, original,
                                                  earlier)
        self.assertTrue(untouched)
        self.assertNotEqual(end, "S")
        self.rerun(path, source, untouched)

    def small_file_system(self, folder, kilobytes):
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={kilobytes}k,mode=0755", "tmpfs",
                        str(folder)], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", str(folder)], check=False)
        return folder

    @staticmethod
    def fill(folder, leave):
        info = os.statvfs(folder)
        free = info.f_bavail * info.f_frsize
        with open(folder / "filler", "wb") as filler:
            filler.write(b"\0" * max(0, free - leave))

    # A backup folder that cannot be written.

    def test_a_backup_folder_that_is_a_file(self):
        source, path, original, _ = self.prepare(earlier=False)
        self.case.backup_folder.parent.mkdir(mode=0o700, parents=True)
        self.case.backup_folder.write_text("not a folder\n")
        os.chmod(self.case.backup_folder, 0o600)
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(lines, [texts.STARTING] + texts.CONFIRM_ON_TERMINAL + [texts.LOCKING] +
                         box(texts.F3[1]))
        self.assertEqual(log, startup(e2e.this_computer()) + [texts.STARTED] + texts.PROBE_OPENS +
                         [texts.NO_WORK_FOLDER.format(self.case.backup_folder), texts.F3[0]])
        self.assert_untouched(path, original)
        self.assertEqual(self.case.backup_folder.read_text(), "not a folder\n")
        self.assert_no_processes()
        report("backup folder is a file", "F3", "untouched")

    # As a user the permission bits bind (not root).

    def as_user(self):
        """The case's folders handed to the unprivileged user; returns the run options that run
        the program as that user (with an office profile folder of its own)."""
        cache = e2e.OUTPUT / "cache-nobody"
        cache.mkdir(exist_ok=True)
        os.chown(cache, e2e.NOBODY, e2e.NOBODY)
        self.case.hand_to(e2e.NOBODY)
        # An office run as root under a private umask leaves the shared extension cache closed to
        # everyone else; every other user's office then aborts at its start.
        if SHARED_EXTENSIONS.is_dir():
            entered = subprocess.run(e2e.as_nobody() +
                                     ["/usr/bin/test", "-x", str(SHARED_EXTENSIONS)])
            self.assertEqual(entered.returncode, 0,
                             f"other users cannot enter {SHARED_EXTENSIONS} (mode "
                             f"{oct(e2e.mode(SHARED_EXTENSIONS))}): their offices cannot start")
        return dict(env=self.case.environment(XDG_CACHE_HOME=str(cache)), prefix=e2e.as_nobody())

    @unittest.skipUnless(e2e.can_change_user(), "cannot run the program as another user here")
    def test_a_backup_folder_the_user_may_not_write(self):
        source, path, original, earlier = self.prepare()
        user = self.as_user()
        os.chmod(self.case.backup_folder, 0o555)
        lines, log = self.case.run(path, answer="y\n", **user)
        self.assertEqual(log[-1], texts.F3[0])
        self.assertEqual(lines[-1:], box(texts.F3[1]))
        self.assert_nothing_lost("backup folder not writable", log, source, path, original,
                                 earlier)
        self.assert_untouched(self.case.backup(path.name), earlier)

    @unittest.skipUnless(e2e.can_change_user(), "cannot run the program as another user here")
    def test_a_workbooks_folder_the_user_may_not_write(self):
        # The office cannot keep its lock file beside the workbook and opens it read-only: the lock
        # is refused, naming the cause, before anything changes.
        source, path, original, earlier = self.prepare()
        user = self.as_user()
        os.chmod(self.case.books, 0o555)
        lines, log = self.case.run(path, answer="y\n", **user)
        self.assertEqual(log[-1], texts.IN_USE)
        self.assertEqual(lines, [texts.STARTING] + box([texts.IN_USE]))
        self.assert_nothing_lost("workbook folder not writable", log, source, path, original,
                                 earlier)

    @unittest.skipUnless(e2e.can_change_user(), "cannot run the program as another user here")
    def test_a_locked_workbook_in_a_folder_the_user_may_not_write_opens_read_only(self):
        # As from a read-only share: the office cannot keep its lock file beside the workbook, and
        # opens it read-only, as any office does.  (The suites' own $TMPDIR is one this user may
        # not write either: the office keeps its temporary files in its profile.)
        source, path, original, earlier = self.prepare(earlier=False)
        user = self.as_user()
        lines, log = self.case.run(path, answer="y\n", **user)
        self.assertEqual(log[-1], texts.LOCKED, log)
        locked = e2e.digest(path)
        os.chmod(self.case.books, 0o555)
        listing = sorted(os.listdir(self.case.books))
        lines, log = self.case.run(path, **user)
        self.assertEqual(lines, [texts.STARTING, texts.PREPARING_OPEN, texts.NO_DISPLAY_HANDOVER])
        self.assertEqual(log[-1], texts.OPENED, log)
        self.assert_untouched(path, locked)
        self.assertEqual(sorted(os.listdir(self.case.books)), listing)

    @unittest.skipUnless(e2e.can_change_user(), "cannot run the program as another user here")
    def test_a_read_only_workbook_of_the_users_own(self):
        # The office would open a file its user may not write as a read-only document, where
        # renaming a sheet is refused: the lock makes the file writable while it works on it.
        source, path, original, earlier = self.prepare()
        user = self.as_user()
        os.chmod(path, 0o400)
        lines, log = self.case.run(path, answer="y\n", **user)
        self.assert_nothing_lost("read-only workbook as a user", log, source, path, original,
                                 earlier)
        self.assertEqual(log[-1], texts.LOCKED)
        self.assert_locked(path, source)
        self.assertEqual(e2e.mode(path), 0o400)
        self.assertEqual(e2e.mode(self.case.backup(path.name)), 0o400)
        self.assertEqual(os.stat(path).st_uid, e2e.NOBODY)

    def move_aside(self, folder):
        """`folder` out of the way until the test ends, then back exactly as it was (whatever the
        test left in its place goes)."""
        aside = folder.with_name(f"{folder.name}.kovrisk-test-{os.getpid()}")
        present = os.path.lexists(folder)
        if present:
            os.rename(folder, aside)

        def restore():
            if folder.is_dir() and not folder.is_symlink():
                shutil.rmtree(folder)
            elif os.path.lexists(folder):
                folder.unlink()
            if present:
                os.rename(aside, folder)
        self.addCleanup(restore)

    @unittest.skipUnless(e2e.can_change_user() and SHARED_EXTENSIONS.parent.is_dir(),
                         "cannot run the program as root and as another user here")
    def test_an_office_run_as_root_leaves_the_shared_folders_open_to_other_users(self):
        # As on a machine where LibreOffice was just installed: root's office makes the shared
        # extension cache, which every other user's office then has to enter.
        self.move_aside(SHARED_EXTENSIONS)
        source, path, original, earlier = self.prepare(earlier=False)
        lines, log = self.case.run(path, answer="y\n", umask=0o022)
        self.assertEqual(log[-1], texts.LOCKED, log)
        self.assertTrue(SHARED_EXTENSIONS.is_dir(), "the office did not make the shared cache")
        self.assertEqual(oct(e2e.mode(SHARED_EXTENSIONS)), oct(0o755))

        other = e2e.place(self.library / "other.xlsx", self.case.books / "Another user's.xlsx")
        lines, log = self.case.run(other, answer="y\n", **self.as_user())
        self.assertEqual(log[-1], texts.LOCKED, log)
        self.assert_locked(other, self.library / "other.xlsx")
        self.assertEqual(os.stat(other).st_uid, e2e.NOBODY)


if __name__ == "__main__":
    unittest.main(verbosity=2)
