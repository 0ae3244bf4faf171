#!/usr/bin/python3
"""Times the lock road and the open road through LibreOffice against one bare
`soffice --headless --convert-to` of the same workbook, on a small (~100 KB) and a large (~10 MB)
workbook, and prints the ratios.

    /usr/bin/python3 bench/calc_roads.py [--driver PATH] [--before PATH] [--runs N] [--work DIR]

The roads run through kovrisk_calc_driver (built with the tests: build/tests/integration), which
runs the program's start-up checks and the lock-or-open run on the real backend, as the program
does, without a window and without a display.  Times are wall-clock, from process start:
  lock road  start-up probe, protection probe, confirmation, backup copy, lock, backup lock, and
             the office's end (the whole process);
  open road  start-up probe, protection probe and the open up to the machine check (the moment the
             workbook would be made visible; the hand-over itself is excluded);
  bare       one `soffice --headless --convert-to xlsx` of the workbook, start to exit.
A third workbook, small with Latin and Japanese mixed inside its text cells, is measured without a
goal: LibreOffice writes such cells back as rich text, and its own files then load much slower.
Every office runs on a profile that exists already (as it does for the program after its first
run); each figure is the median of N runs, all measured in this one run of the script.  With
--before, a second driver (an earlier build) runs the same roads, interleaved with the first, so
that both are measured against the same bare conversions.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import workbooks  # noqa: E402

SOFFICE = "/usr/lib/libreoffice/program/soffice"
GOALS = {("small", "lock"): 0.5, ("small", "open"): 1.2, ("large", "lock"): 0.4,
         ("large", "open"): 1.2}


def bare_convert(path, out_dir, profile):
    started = time.monotonic()
    subprocess.run([SOFFICE, f"-env:UserInstallation=file://{profile}", "--headless",
                    "--norestore", "--convert-to", "xlsx", "--outdir", out_dir, path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - started


def run_driver(driver, profile, path, data_home):
    """Runs the driver on `path` without a display: its start (time.monotonic), its seconds and
    the events it printed."""
    environment = dict(os.environ, XDG_DATA_HOME=data_home)
    environment.pop("DISPLAY", None)
    started = time.monotonic()
    result = subprocess.run([driver, "--profile", profile, "run", path], capture_output=True,
                            text=True, env=environment, check=True)
    return started, time.monotonic() - started, result.stdout.splitlines()


def lock_road(driver, profile, source, work, run):
    folder = os.path.join(work, f"lock-{run}")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    path = os.path.join(folder, os.path.basename(source))
    shutil.copy(source, path)
    _, elapsed, events = run_driver(driver, profile, path, os.path.join(folder, "data"))
    if "close-window " not in events:
        raise RuntimeError(f"lock road failed: {events}")
    return elapsed, path, os.path.join(folder, "data")


def open_road(driver, profile, locked, data_home):
    """Seconds from the process start to the moment the workbook would be made visible."""
    started, _, events = run_driver(driver, profile, locked, data_home)
    visible = [e for e in events if e.startswith("visible-at ")]
    if not visible or "handover-no-display " not in events:
        raise RuntimeError(f"open road failed: {events}")
    # The driver reports the monotonic clock (CLOCK_MONOTONIC, as time.monotonic) in microseconds.
    return int(visible[0].split()[2]) / 1e6 - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", default=os.environ.get(
        "KOVRISK_CALC_DRIVER",
        os.path.join(HERE, "..", "build", "tests", "integration", "kovrisk_calc_driver")))
    parser.add_argument("--before", help="an earlier build's driver, measured alongside")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default="/tmp/kovrisk-bench")
    arguments = parser.parse_args()
    drivers = {"now": os.path.abspath(arguments.driver)}
    if arguments.before:
        drivers["before"] = os.path.abspath(arguments.before)
    work = arguments.work
    os.makedirs(work, exist_ok=True)
    convert_profile = os.path.join(work, "convert-profile")
    profiles = {name: os.path.join(work, f"office-profiles-{name}") for name in drivers}

    # (label, size, mixed scripts); the last has no goal: see make_large_xlsx.
    kinds = [("small", 100_000, False), ("large", 10_000_000, False), ("small-mixed", 100_000, True)]
    sources = {}
    for label, size, mixed in kinds:
        path = os.path.join(work, f"bench {label} 42.xlsx")
        if not os.path.exists(path):
            print(f"making the {label} workbook ...", flush=True)
            workbooks.make_large_xlsx(path, size, mixed_scripts=mixed)
        sources[label] = path

    # Warm every profile: only a program's very first start makes one.
    out = os.path.join(work, "converted")
    os.makedirs(out, exist_ok=True)
    bare_convert(sources["small"], out, convert_profile)
    for name, driver in drivers.items():
        lock_road(driver, profiles[name], sources["small"], os.path.join(work, name), "warm")

    rows = []
    for label, source in sources.items():
        bare = []
        lock = {name: [] for name in drivers}
        opened = {name: [] for name in drivers}
        for run in range(arguments.runs):
            bare.append(bare_convert(source, out, convert_profile))
            for name, driver in drivers.items():
                elapsed, locked, data_home = lock_road(driver, profiles[name], source,
                                                       os.path.join(work, name), run)
                lock[name].append(elapsed)
                opened[name].append(open_road(driver, profiles[name], locked, data_home))
        for name in drivers:
            rows.append((label, name, os.path.getsize(source), statistics.median(bare),
                         statistics.median(lock[name]), statistics.median(opened[name])))

    print()
    print(f"{'workbook':<12} {'build':<7} {'size':>10} {'bare s':>8} {'lock s':>8} {'open s':>8} "
          f"{'lock/bare':>10} {'open/bare':>10}")
    for label, name, size, bare, lock, opened in rows:
        print(f"{label:<12} {name:<7} {size:>10} {bare:>8.2f} {lock:>8.2f} {opened:>8.2f} "
              f"{lock / bare:>10.2f} {opened / bare:>10.2f}")
    print()
    for (label, road), goal in GOALS.items():
        for name in drivers:
            row = next(r for r in rows if r[0] == label and r[1] == name)
            ratio = (row[4] if road == "lock" else row[5]) / row[3]
            verdict = "met" if ratio <= goal else "MISSED"
            print(f"goal {road} road on the {label} workbook <= {goal:.1f} x bare ({name}): "
                  f"{ratio:.2f} {verdict}")


if __name__ == "__main__":
    main()
