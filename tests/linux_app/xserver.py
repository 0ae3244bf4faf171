"""An X server of the tests' own (Xvfb, on a display number it picks itself) and the X tools
that look at the program's windows from outside: xwininfo, xprop, xdotool and ImageMagick."""

import os
import re
import select
import subprocess
import time


class Image:
    """Pixels of a grabbed window, RGB."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])


class XServer:
    def __init__(self, width=1024, height=768, ends_with_last_client=False):
        """With `ends_with_last_client`, the server ends once the first client to come has left
        and no other is there (-terminate), as a display of one user's session may."""
        read_end, write_end = os.pipe()
        # Without -noreset the server resets whenever its last client leaves, and refuses the
        # next program's connection for that moment.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-terminate" if ends_with_last_client else "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            self.display = ":" + self._read_display_number(read_end)
        except Exception:
            self.stop()
            raise
        finally:
            os.close(read_end)

    @staticmethod
    def _read_display_number(pipe):
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([pipe], [], [], remaining)[0]:
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(pipe, 16)
            if not chunk:
                raise RuntimeError("Xvfb ended at its start")
            number += chunk
        return number.decode().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)

    def tool(self, *command, check=True):
        env = dict(os.environ, DISPLAY=self.display, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        return subprocess.run(command, env=env, capture_output=True, text=True,
                              check=check).stdout

    def visible_windows(self):
        out = self.tool("xdotool", "search", "--onlyvisible", "--name", "", check=False)
        return [int(line) for line in out.split()]

    def title(self, window):
        """The window's title: _NET_WM_NAME, or WM_NAME for programs that set only that."""
        out = self.tool("xprop", "-id", str(window), "_NET_WM_NAME", "WM_NAME", check=False)
        found = re.search(r'= "(.*)"$', out, re.M)
        return found.group(1) if found else None

    def wait_for_window(self, title, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in self.visible_windows():
                if self.title(window) == title:
                    return window
            time.sleep(0.1)
        raise AssertionError(f"no window {title!r} within {timeout} s")

    def windows_titled(self, title):
        return [window for window in self.visible_windows() if self.title(window) == title]

    def geometry(self, window):
        """(x, y, width, height) of the window's client area on the screen."""
        out = self.tool("xwininfo", "-id", str(window))
        value = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"),
                value("Width"), value("Height"))

    def properties(self, window):
        return self.tool("xprop", "-id", str(window))

    def atoms(self, window, name):
        found = re.search(rf"^{name}\(ATOM\) = (.*)$", self.properties(window), re.M)
        return [atom.strip() for atom in found.group(1).split(",")] if found else []

    def cardinals(self, window, name):
        found = re.search(rf"^{name}\(\w+\) = (.*)$", self.properties(window), re.M)
        return [int(value, 0) for value in found.group(1).split(",")] if found else []

    def grab(self, path, window=None, area=None):
        """Saves what the screen shows of `window` (or of `area` = (x, y, w, h) of the whole
        screen) to `path` as PNG and returns its pixels."""
        path.parent.mkdir(parents=True, exist_ok=True)
        if window is not None:
            self.tool("import", "-window", str(window), str(path))
        else:
            x, y, width, height = area
            self.tool("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                      "+repage", str(path))
        size = self.tool("identify", "-format", "%w %h", str(path)).split()
        env = dict(os.environ, DISPLAY=self.display)
        data = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], env=env,
                              capture_output=True, check=True).stdout
        return Image(int(size[0]), int(size[1]), data)

    def key(self, *keys):
        self.tool("xdotool", "key", *keys)
