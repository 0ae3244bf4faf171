#!/usr/bin/python3
"""Times what every run pays for LibreOffice's start: the program's start-up checks and the
protection probe of a small plain workbook, up to the confirmation (answered no), on an office
profile that exists already (made by the first, unmeasured run).

    /usr/bin/python3 bench/office_start.py PROGRAM [PROGRAM ...] [--runs N]

Each program gets a home and a profile folder of its own; their runs alternate, so that both
see the same load of a shared machine.  Prints, per program, the median and the spread of N
runs, and whether its profile records the office's version as the last one run (without it,
the office runs its start-up graphics tests on every start).
"""

import argparse
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "integration"))
import workbooks  # noqa: E402


def run(program, home, workbook):
    env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    env.update(HOME=str(home), XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
               LANG="C.UTF-8", LC_ALL="C.UTF-8")
    started = time.monotonic()
    subprocess.run([program, str(workbook)], input=b"n\n", env=env, capture_output=True,
                   timeout=300)
    return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("programs", nargs="+")
    parser.add_argument("--runs", type=int, default=10)
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="kovrisk-office-start-") as work:
        work = pathlib.Path(work)
        workbook = work / "Plain.xlsx"
        workbooks.make_xlsx(str(workbook))
        homes = [work / f"home-{i}" for i in range(len(arguments.programs))]
        times = [[] for _ in arguments.programs]
        for program, home in zip(arguments.programs, homes):
            home.mkdir()
            run(program, home, workbook)  # makes the profile
        for _ in range(arguments.runs):
            for i, (program, home) in enumerate(zip(arguments.programs, homes)):
                times[i].append(run(program, home, workbook))
        for program, home, seconds in zip(arguments.programs, homes, times):
            settings = home / "cache" / "kovrisk" / "office-profile-0" / "user" / \
                "registrymodifications.xcu"
            marked = bool(re.search("ooSetupLastVersion", settings.read_text()))
            print(f"{program}: median {statistics.median(seconds):.2f} s "
                  f"(min {min(seconds):.2f}, max {max(seconds):.2f}, {len(seconds)} runs), "
                  f"version recorded: {'yes' if marked else 'no'}")


if __name__ == "__main__":
    main()
