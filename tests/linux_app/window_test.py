"""The status window and the message boxes on a display of the test's own (Xvfb), with the
program built around the stand-in spreadsheet application."""

import codecs
import os
import re
import subprocess
import unittest

import kovrisk_testing as kt
import expected_texts as texts
from xserver import Image, XServer

CLIENT = (276, 72)
LABEL = (5, 28, 268, 16)  # lblMessage: left, top, width, height
# Image1 lies 4 pixels above and left of the client area; the icon in its picture covers this part
# of the client area, above the status text's line.
ICON_IN_CLIENT = (6, 2, 24, 24)

# _MOTIF_WM_HINTS: which fields count, and the window functions a window manager offers.
MWM_HINTS_FUNCTIONS = 1
MWM_FUNC_ALL, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 1, 8, 16, 32


def picture_pixels(path):
    """The pixels of a picture file."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                          check=True).stdout.split()
    data = subprocess.run(["convert", path, "-background", "white", "-alpha", "remove", "-depth",
                           "8", "rgb:-"], capture_output=True, check=True).stdout
    return Image(int(size[0]), int(size[1]), data)


def navy_pixels(image):
    """The pixels of navy text on the grey picture: clearly more blue than red or green."""
    found = []
    for y in range(image.height):
        for x in range(image.width):
            r, g, b = image.pixel(x, y)
            if b - r > 40 and b - g > 40:
                found.append((x, y))
    return found


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.x = XServer()

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()

    def setUp(self):
        self.home = kt.Home()
        self.addCleanup(self.home.cleanup)
        self.process = None

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def start(self, *arguments, **environment):
        self.process = subprocess.Popen(
            [kt.STANDIN, *map(str, arguments)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            stdin=subprocess.DEVNULL, env=self.home.environment(self.x.display, **environment))
        return self.process

    def ended(self, timeout=30):
        self.process.wait(timeout=timeout)
        self.process.stdout.close()
        self.process.stderr.close()
        return self.process.returncode

    def test_the_status_window_while_the_run_keeps_the_thread_busy(self):
        workbook = self.home.make_workbook()
        before = workbook.read_bytes()
        # The probe's start of the application lasts until the test lets it go, with the status
        # text set just before.
        release = self.home.root / "release"
        self.start(workbook, KOVRISK_STANDIN_HOLD=str(release))
        kt.wait_for_line(self.process.stdout, "pause", timeout=30)
        window = self.x.wait_for_window(texts.CAPTION)

        self.assertEqual(self.x.geometry(window), (0, 0) + CLIENT)
        # The application title names the window's class.
        wm_class = re.search(r'^WM_CLASS\(STRING\) = ".*", "(.*)"$', self.x.properties(window), re.M)
        self.assertEqual(codecs.escape_decode(wm_class.group(1))[0].decode("utf-8"),
                         texts.APPLICATION_TITLE)
        # Fixed size.
        hints = self.x.properties(window)
        self.assertIn("program specified minimum size: 276 by 72", hints)
        self.assertIn("program specified maximum size: 276 by 72", hints)
        # Always on top, off the taskbar, a tool window.
        states = self.x.atoms(window, "_NET_WM_STATE")
        self.assertIn("_NET_WM_STATE_ABOVE", states)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", states)
        self.assertEqual(self.x.atoms(window, "_NET_WM_WINDOW_TYPE")[0],
                         "_NET_WM_WINDOW_TYPE_UTILITY")
        # No close, minimise or maximise button, no system menu: the window manager is offered
        # none of these functions.
        flags, functions = self.x.cardinals(window, "_MOTIF_WM_HINTS")[:2]
        self.assertTrue(flags & MWM_HINTS_FUNCTIONS)
        self.assertEqual(functions & (MWM_FUNC_ALL | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE
                                      | MWM_FUNC_CLOSE), 0)

        # The status text was painted before the run went on: the thread is still busy now.
        shot = kt.OUTPUT / "status_window.png"
        image = self.x.grab(shot, window=window)
        print(f"\nscreenshot of the status window: {shot}")
        self.assertEqual((image.width, image.height), CLIENT)
        text = navy_pixels(image)
        self.assertGreater(len(text), 100, "no navy status text on the window")
        xs = [x for x, _ in text]
        ys = [y for _, y in text]
        left, top, width, height = LABEL
        self.assertGreaterEqual(min(xs), left)
        self.assertLess(max(xs), left + width)
        self.assertGreaterEqual(min(ys), top)
        self.assertLess(max(ys), top + height)
        # Centred in the label; "Excel起動中・・・" is far narrower than the label.  The ink of the
        # closing dots ends short of their advance, which puts the ink's middle a few pixels left.
        self.assertLess(max(xs) - min(xs), width - 60)
        self.assertLessEqual(abs((min(xs) + max(xs)) / 2 - (left + width / 2)), 5)
        # The picture shows through: a light gradient, lighter at the top than at the bottom.
        top_grey, bottom_grey = image.pixel(2, 2), image.pixel(2, CLIENT[1] - 3)
        self.assertEqual(len(set(top_grey)), 1)
        self.assertGreater(top_grey[0], 240)
        self.assertGreater(top_grey[0], bottom_grey[0])
        self.assertGreater(bottom_grey[0], 180)
        # Image1's picture is shown at the size it is drawn: the icon in its corner as rendered.
        picture = picture_pixels(os.environ["KOVRISK_STATUS_PICTURE"])
        ix, iy, iw, ih = ICON_IN_CLIENT
        differing = [(x, y) for y in range(iy, iy + ih) for x in range(ix, ix + iw)
                     if image.pixel(x, y) != picture.pixel(x + 4, y + 4)]
        self.assertEqual(differing, [], "the icon in the picture's corner")
        self.assertGreater(len({picture.pixel(x, iy + 4 + ih // 2) for x in range(ix + 4, ix + 4 + iw)}),
                           3, "the picture holds the icon")

        # While the thread is busy another window comes over the status window.
        cover = subprocess.Popen(["xmessage", "-geometry", "+0+0", "x" * 60],
                                 env=dict(self.home.environment(self.x.display)),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (cover.kill(), cover.wait()))
        self.x.wait_for_window("xmessage")
        release.touch()

        # Then the confirmation box: Cancel is the default button.
        box = self.x.wait_for_window(texts.BOX_TITLE)
        shot = kt.OUTPUT / "confirmation_box.png"
        self.x.grab(shot, window=box)
        print(f"screenshot of the confirmation box: {shot}")
        box_x, box_y, box_width, box_height = self.x.geometry(box)
        self.assertGreaterEqual(box_x, CLIENT[0], "the box hides the status window")

        # Losing the focus to the box put the status window back on top, above the cover.
        on_screen = self.x.grab(kt.OUTPUT / "status_window_on_top.png", area=(0, 0) + CLIENT)
        self.assertEqual(navy_pixels(on_screen), text)

        self.x.key("Return")
        self.assertEqual(self.ended(), 0)
        self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)
        self.assertEqual(workbook.read_bytes(), before)
        self.assertFalse(self.home.backup().exists())

    def confirm_with(self, *keys):
        workbook = self.home.make_workbook()
        self.start(workbook)
        self.x.wait_for_window(texts.BOX_TITLE)
        self.x.key(*keys)
        self.assertEqual(self.ended(), 0)
        return workbook

    def test_space_and_escape_at_the_confirmation_cancel(self):
        for keys in (["space"], ["Escape"]):
            with self.subTest(keys=keys):
                self.home = kt.Home()
                self.addCleanup(self.home.cleanup)
                workbook = self.confirm_with(*keys)
                self.assertEqual(self.home.log_messages()[-1], texts.CANCELLED)
                self.assertEqual(kt.describe_workbook(workbook), ("protected no", ["Sheet1"]))

    def test_ok_at_the_confirmation_locks_the_workbook(self):
        # Focus from the default Cancel back to OK, then press it.
        workbook = self.confirm_with("shift+Tab", "space")
        self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)
        self.assertEqual(kt.describe_workbook(workbook), ("protected yes", ["Sheet1", texts.CONTROL_SHEET]))
        # The backup copy: the workbook as it was, encrypted with the backup password.
        original = self.home.make_workbook("original.xlsx").read_bytes()
        self.assertTrue(kt.backup_gives_back(self.home.backup(), original))
        # The window closed at the end: nothing of the program is left on the screen.
        self.assertEqual(self.x.windows_titled(texts.CAPTION), [])

    def test_a_file_name_that_is_not_text_reaches_the_files_byte_for_byte(self):
        # "帳簿" in Shift-JIS: not UTF-8, so no text in this locale.
        workbook = self.home.make_workbook(os.fsdecode(b"\x92\xa0\x95\xeb.xlsx"))
        self.start(workbook)
        self.x.wait_for_window(texts.BOX_TITLE)
        self.x.key("shift+Tab", "space")
        self.assertEqual(self.ended(), 0)
        self.assertEqual(self.home.log_messages()[-1], texts.LOCKED)
        self.assertEqual(kt.describe_workbook(workbook), ("protected yes", ["Sheet1", texts.CONTROL_SHEET]))

    def test_the_program_is_a_display_s_only_client_without_harm(self):
        # A server that ends once its last client leaves: a connection made only to test the
        # display would end it under the program.  The toolkit's own connection is the only one,
        # and a run that ends before its window has said why in the log.
        alone = XServer(ends_with_last_client=True)
        self.addCleanup(alone.stop)
        done = subprocess.run([kt.STANDIN, str(self.home.make_workbook())],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60,
                              env=self.home.environment(alone.display,
                                                        KOVRISK_STANDIN_MISSING="no application"))
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        self.assertEqual(done.stderr, b"")
        self.assertEqual(self.home.log_messages(), [
            texts.FIND_LINE, texts.error(texts.FIND, "no application"), texts.NOT_INSTALLED])

    def test_no_argument_shows_the_one_file_box_and_no_window(self):
        self.start()
        box = self.x.wait_for_window(texts.BOX_TITLE)
        shot = kt.OUTPUT / "one_file_box.png"
        self.x.grab(shot, window=box)
        self.assertEqual(self.x.windows_titled(texts.CAPTION), [])
        self.x.key("Return")
        self.assertEqual(self.ended(), 0)
        self.assertEqual(self.home.log_messages(), [])

    def test_a_failed_open_shows_its_five_lines_and_ends(self):
        # Protected with a password that is not the one the program derives.
        workbook = self.home.make_workbook(password="someone else's")
        self.start(workbook)
        box = self.x.wait_for_window(texts.BOX_TITLE)
        self.x.grab(kt.OUTPUT / "open_failed_box.png", window=box)
        self.x.key("Return")
        self.assertEqual(self.ended(), 0)
        self.assertEqual(self.home.log_messages()[-1], texts.F2[0])


if __name__ == "__main__":
    unittest.main(verbosity=2)
