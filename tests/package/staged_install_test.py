"""The install as packagers make it: `DESTDIR=<staging root> cmake --install <build> --prefix /usr`
puts every file below the staging root and nowhere else.  The install runs in a sandbox (bwrap)
where the whole file system is read-only but the staging root and the build folder (which gets
the install manifest), so a file written anywhere else fails the install.  Skipped (exit 77)
where the sandbox cannot be made."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

SKIPPED = 77
BUILD = pathlib.Path(os.environ.get("KOVRISK_BUILD_DIR", "")).resolve()
PREFIX = "/usr"


def sandboxed(writable, *command):
    """`command` with the file system read-only except the folders in `writable`."""
    binds = [argument for folder in writable for argument in ("--bind", str(folder), str(folder))]
    return ["bwrap", "--ro-bind", "/", "/", *binds, "--dev", "/dev", "--proc", "/proc", *command]


def files_below(root):
    return sorted("/" + str(path.relative_to(root)) for path in root.rglob("*")
                  if path.is_symlink() or not path.is_dir())


class StagedInstall(unittest.TestCase):
    def setUp(self):
        self.stage = pathlib.Path(tempfile.mkdtemp(prefix="kovrisk-stage-"))
        self.addCleanup(shutil.rmtree, self.stage, ignore_errors=True)

    def test_every_file_lands_below_the_staging_root_and_nowhere_else(self):
        installing = subprocess.run(
            sandboxed([self.stage, BUILD], "cmake", "--install", str(BUILD), "--prefix", PREFIX),
            env=dict(os.environ, DESTDIR=str(self.stage)), capture_output=True, text=True,
            timeout=300)
        self.assertEqual(installing.returncode, 0, installing.stdout + installing.stderr)

        # The manifest names each file as installed, without the staging root.
        manifest = sorted((BUILD / "install_manifest.txt").read_text().split())
        self.assertTrue(manifest)
        outside = [path for path in manifest if not path.startswith(PREFIX + "/")]
        self.assertEqual(outside, [], "installed outside the prefix")
        self.assertEqual(files_below(self.stage), manifest,
                         "the staging root holds exactly what the install reports")

        staged = self.stage / PREFIX.lstrip("/")
        program = staged / "bin" / "kovrisk"
        self.assertTrue(program.is_file() and os.access(program, os.X_OK), program)
        for path in ("share/applications/org.kovrisk.Kovrisk.desktop",
                     "share/metainfo/org.kovrisk.Kovrisk.metainfo.xml",
                     "share/icons/hicolor/scalable/apps/org.kovrisk.Kovrisk.svg",
                     "share/doc/kovrisk/copyright", "share/doc/kovrisk/changelog.Debian.gz"):
            self.assertTrue((staged / path).is_file(), path)

        # The manual page as man formats it: its sections there, and not one complaint of groff.
        page = staged / "share/man/man1/kovrisk.1.gz"
        formatted = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-P", "cat", str(page)],
                                   env=dict(os.environ, LANG="C.UTF-8", MANWIDTH="80"),
                                   capture_output=True, text=True, timeout=60)
        self.assertEqual((formatted.returncode, formatted.stderr), (0, ""))
        for heading in ("NAME", "SYNOPSIS", "EXIT STATUS", "ENVIRONMENT", "FILES", "SECURITY"):
            self.assertIn(f"\n{heading}\n", formatted.stdout)


def skip_reason():
    if not (BUILD / "cmake_install.cmake").is_file():
        return f"no build folder at {BUILD}"
    if shutil.which("bwrap") is None:
        return "bwrap is not installed"
    probe = subprocess.run(sandboxed([], "true"), capture_output=True, text=True)
    if probe.returncode != 0:
        return f"bwrap cannot make a sandbox here: {probe.stderr.strip()}"
    return None


if __name__ == "__main__":
    reason = skip_reason()
    if reason:
        print(f"staged install skipped: {reason}")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
