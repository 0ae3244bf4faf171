"""The whole program on a display of the tests' own (Xvfb): the confirmation answered in its
message box, and the hand-over, where the granted workbook stays in a visible LibreOffice window
after the program has ended; the test then plays the user who closes that office."""

import fcntl
import os
import time
import unittest
import urllib.parse
from xml.sax.saxutils import escape

import e2e
import expected_texts as texts
from xserver import XServer

def registry_modifications(scripting):
    """A LibreOffice user layer (registrymodifications.xcu) that sets `scripting` under
    Office.Common/Security/Scripting, as the office writes it: values, and lists as <it> items."""
    items = []
    for name, value in scripting.items():
        if isinstance(value, list):
            value = "".join(f"<it>{escape(item)}</it>" for item in value)
        else:
            value = escape(value)
        items.append('<item oor:path="/org.openoffice.Office.Common/Security/Scripting">'
                     f'<prop oor:name="{name}" oor:op="fuse"><value>{value}</value></prop></item>')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
            'xmlns:xs="http://www.w3.org/2001/XMLSchema" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
            '<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" '
            'oor:op="fuse"><value>false</value></prop></item>\n'
            + "\n".join(items) + "\n</oor:items>\n")


class Handover(e2e.TestCase):
    suite = "handover"

    def setUp(self):
        super().setUp()
        self.x = XServer()
        self.addCleanup(self.x.stop)

    def run_on_display(self, path, keys=None, timeout=120):
        process = self.case.start(path, display=self.x.display)
        if keys:
            self.x.wait_for_window(texts.BOX_TITLE, timeout=60)
            self.x.key(*keys)
        return e2e.finish(process, timeout)

    def end_users_office(self):
        offices = e2e.office_pids()
        e2e.kill(offices)
        return offices

    def test_the_granted_workbook_stays_visible_after_the_program_ends(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                source = self.library / f"plain.{extension}"
                path = e2e.place(source, self.case.books / f"予算 review 3.{extension}")
                # OK at the confirmation: from the default Cancel back to OK.
                self.assertEqual(self.run_on_display(path, keys=["shift+Tab", "space"]), [])
                self.assertEqual(self.case.log_messages()[-1], texts.LOCKED)
                self.assert_locked(path, source)
                self.assertEqual(self.x.windows_titled(texts.CAPTION), [])
                self.assert_no_processes()
                locked = e2e.digest(path)

                self.assertEqual(self.run_on_display(path), [])
                self.assertEqual(self.case.log_messages()[-1], texts.OPENED)
                window = self.x.wait_for_window(f"{path.name} - LibreOffice Calc", timeout=60)
                self.assertIn("IsViewable", self.x.tool("xwininfo", "-id", str(window)))
                # The program and its status window are gone; the office is the user's now.
                self.assertEqual(self.x.windows_titled(texts.CAPTION), [])
                self.assertEqual(e2e.program_processes(), [])
                offices = e2e.office_pids()
                self.assertEqual(len(offices), 1, offices)
                time.sleep(1)
                self.assertEqual(e2e.office_pids(), offices, "the user's office ended by itself")
                self.assert_untouched(path, locked)

                self.assertTrue(self.end_users_office())
                self.assert_no_processes()
                self.assertEqual(self.x.windows_titled(f"{path.name} - LibreOffice Calc"), [])

    def test_the_handed_over_workbook_runs_its_macros_as_the_users_own_office_would(self):
        marker = self.library / "macro-marker.txt"
        marker.unlink(missing_ok=True)
        path = e2e.place(self.library / "macro.xls", self.case.books / "Macro book.xls")
        self.assertEqual(self.run_on_display(path, keys=["shift+Tab", "space"]), [])
        self.assertEqual(self.case.log_messages()[-1], texts.LOCKED)
        self.assertFalse(marker.exists(), "a macro ran on the lock road")
        locked = e2e.digest(path)

        # The user's own LibreOffice profile, below the case's $XDG_CONFIG_HOME (the program's
        # office runs on a profile of its own).
        settings = self.case.root / ".config/libreoffice/4/user/registrymodifications.xcu"
        # "$(home)" is the home folder the program is given: the case's folder.
        settings.parent.mkdir(parents=True)
        folder_url = "file://" + urllib.parse.quote(str(path.parent))
        cases = [
            # (what the user's profile sets, whether the macros run, whether the office may say
            # that it has disabled them: in a notice that waits for the user)
            (None, False, True),  # nothing: the installation's "high", unsigned macros stay off
            ({"MacroSecurityLevel": "0"}, True, False),  # low
            ({"MacroSecurityLevel": "0", "DisableMacrosExecution": "true"}, False, False),
            ({"MacroSecurityLevel": "3"}, False, False),  # very high: trusted locations only
            ({"MacroSecurityLevel": "3", "SecureURL": ["$(home)/books"]}, True, False),
            ({"SecureURL": ["file:///elsewhere", folder_url + "/"]}, True, False),
        ]
        for user_settings, runs, warns in cases:
            with self.subTest(settings=user_settings):
                marker.unlink(missing_ok=True)
                settings.unlink(missing_ok=True)
                if user_settings is not None:
                    settings.write_text(registry_modifications(user_settings))
                process = self.case.start(path, display=self.x.display)
                # The office's own notice, as the user's office gives it, waits for the user.
                lines, warned = e2e.finish_answering_notices(self.x, process)
                self.assertEqual(lines, [])
                if not warns:
                    self.assertFalse(warned, "the office put a question the settings do not ask")
                self.assertEqual(self.case.log_messages()[-5:], texts.open_lines()[-5:])
                window = self.x.wait_for_window(f"{path.name} - LibreOffice Calc", timeout=60)
                self.assertIn("IsViewable", self.x.tool("xwininfo", "-id", str(window)))
                # Both auto-run routes append to the marker, one after the other.
                deadline = time.monotonic() + (30 if runs else 4)
                while (len(marker.read_text().split()) if marker.exists() else 0) < 2 and \
                        time.monotonic() < deadline:
                    time.sleep(0.1)
                ran = marker.read_text().split() if marker.exists() else []
                self.assertTrue(self.end_users_office())
                self.assertEqual(ran, ["Workbook_Open", "Auto_Open"] if runs else [])
                self.assert_no_processes()
                self.assert_untouched(path, locked)

    def test_a_second_run_while_the_granted_workbook_is_on_screen(self):
        source = self.library / "plain.xlsx"
        path = e2e.place(source, self.case.books / "Open twice.xlsx")
        lines, log = self.case.run(path, answer="y\n")
        self.assertEqual(log[-1], texts.LOCKED)
        self.assertEqual(self.run_on_display(path), [])
        self.x.wait_for_window(f"{path.name} - LibreOffice Calc", timeout=60)
        offices = e2e.office_pids()
        # The second run says the workbook is open, and hands over no second, read-only copy.
        self.assertEqual(self.run_on_display(path, keys=["Return"]), [])
        self.assertEqual(self.case.log_messages()[-1], texts.ALREADY_OPEN)
        self.assertEqual(self.x.windows_titled(f"{path.name} (read-only) - LibreOffice Calc"),
                         [])
        self.assertEqual(e2e.program_processes(), [])
        self.assertEqual(e2e.office_pids(), offices)
        self.assertTrue(self.end_users_office())
        self.assert_no_processes()

    def test_offices_handed_over_earlier_leave_profiles_for_later_runs(self):
        # Every office handed to the user keeps its profile for as long as it runs: with many of
        # them still open (their profiles held here, as their offices hold them), a run still
        # gets a profile of its own.
        profiles = e2e.CACHE / "kovrisk"
        profiles.mkdir(mode=0o700, exist_ok=True)
        held = []
        for slot in range(12):
            handle = open(profiles / f"office-profile-{slot}.lock", "a")
            self.addCleanup(handle.close)
            try:
                fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
                held.append(slot)
            except BlockingIOError:
                pass  # taken by an office still running: all the better
        source = self.library / "plain.xlsx"
        path = e2e.place(source, self.case.books / "Many offices.xlsx")
        lines, log = self.case.run(path, answer="y\n", timeout=300)
        self.assertEqual(log[-1], texts.LOCKED, log)
        self.assert_locked(path, source)
        print(f"PROFILES held: {len(held)}; the run locked its workbook", flush=True)

    def test_enter_at_the_confirmation_cancels(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Budget.xlsx")
        before = e2e.digest(path)
        self.assertEqual(self.run_on_display(path, keys=["Return"]), [])
        self.assertEqual(self.case.log_messages()[-1], texts.CANCELLED)
        self.assert_untouched(path, before)
        self.assertFalse(self.case.backup_folder.exists())

    def test_a_refusal_on_the_display_leaves_no_window(self):
        path = e2e.place(self.library / "plain.xlsx", self.case.books / "Budget.xlsx")
        self.assertEqual(self.run_on_display(path, keys=["shift+Tab", "space"]), [])
        renamed = path.with_name("Costs.xlsx")
        os.rename(path, renamed)
        self.assertEqual(self.run_on_display(renamed, keys=["Return"]), [])
        self.assertEqual(self.case.log_messages()[-1], texts.F2[0])
        self.assertEqual(self.x.windows_titled(texts.CAPTION), [])
        self.assertEqual([w for w in self.x.visible_windows()
                          if "LibreOffice" in (self.x.title(w) or "")], [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
