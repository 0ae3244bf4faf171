"""What every integration suite shares: its folders, the driver, and the office profile."""

import os
import shutil
import subprocess

OUTPUT = os.environ.get("KOVRISK_TEST_OUTPUT", "/tmp/kovrisk-integration")
# Offices keep their temporary files below $TMPDIR (and a killed office leaves them): the suites'
# own folder, not the machine's /tmp.
os.makedirs(os.path.join(OUTPUT, "tmp"), exist_ok=True)
os.environ["TMPDIR"] = os.path.join(OUTPUT, "tmp")
DRIVER = os.environ.get("KOVRISK_CALC_DRIVER", "")
ENCRYPT_TOOL = os.environ.get("KOVRISK_ENCRYPT_TOOL", "")
NODE_MODULES = os.environ.get("KOVRISK_TEST_NODE_MODULES",
                              "/usr/local/lib/kovrisk-test-tools/node_modules")
# Kept between runs, so that only the first run pays for making the office's user profile.
PROFILE = os.path.join(OUTPUT, "office-profiles")
CONVERT_PROFILE = os.path.join(OUTPUT, "convert-profile")
# What marks an office of these suites on its command line.
OFFICE_MARKER = "UserInstallation=file://" + PROFILE


def fresh_folder(name):
    folder = os.path.join(OUTPUT, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def driver(*arguments, data_home, display=None, timeout=300):
    """Runs the driver; returns (exit code, event lines)."""
    environment = dict(os.environ, XDG_DATA_HOME=data_home)
    environment.pop("DISPLAY", None)
    command = [DRIVER, "--profile", PROFILE]
    if display:
        environment["DISPLAY"] = display
        command.append("--display")
    result = subprocess.run(command + list(arguments), capture_output=True, text=True,
                            env=environment, timeout=timeout)
    return result.returncode, result.stdout.splitlines()


def log_messages(data_home):
    """The messages of every activity log below `data_home`, oldest day first."""
    folder = os.path.join(data_home, "Kovrisk", "syslog")
    text = "".join(open(os.path.join(folder, name), encoding="cp932").read()
                   for name in sorted(os.listdir(folder)))
    return [line.split(",", 3)[3] for line in text.splitlines()]


def password_of(file_name):
    """The file password of `file_name` as the office receives it (Unicode)."""
    result = subprocess.run([DRIVER, "password", file_name], capture_output=True, text=True,
                            check=True)
    return "".join(chr(int(unit, 16)) for unit in result.stdout.split())


def decode_tag(tag):
    result = subprocess.run([DRIVER, "decode", tag], capture_output=True, text=True, check=True)
    return result.stdout.split(" ", 1)[1].rstrip("\n")


def encode_name(name):
    result = subprocess.run([DRIVER, "encode", name], capture_output=True, text=True, check=True)
    return result.stdout.split(" ", 1)[1].rstrip("\n")
