#!/usr/bin/python3
"""Soaks the built program with locks and opens of plain workbooks, to catch the failures that
come once in a hundred runs or so, and prints the failure rate with every failure's log.

    KOVRISK_PROGRAM=build/src/app/linux/kovrisk \
        /usr/bin/python3 bench/soak.py [--runs N] [--modes sequential,pairs,display,display-pairs]

Each round takes a fresh copy of a plain workbook (.xlsx and .xls in turn) through a lock and an
open: two runs of the program.  Modes:
  sequential     one round at a time, in the terminal (no display);
  pairs          two rounds at once on two workbooks, in the terminal;
  display        one round at a time on a display of its own (Xvfb); the office the open hands
                 over is ended after each round, as a user closing it would;
  display-pairs  two at once on that display (each run's start and confirmation box take turns,
                 the rest of the two runs overlaps).
N (default 500) is the number of program runs in each mode.  A run fails when its end is not the
one of a plain workbook: the lock must end "locked", the open "opened" (the log's last line),
and no run may end on a signal.
For every failure the run's last log lines (with the operations' error texts) and its terminal
lines are printed; at the end, the failure rate of each mode.  The figures go to standard output.
"""

import argparse
import collections
import contextlib
import os
import pathlib
import sys
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent / "tests" / "e2e")]
os.environ.setdefault("KOVRISK_TEST_OUTPUT", "/tmp/kovrisk-soak")
import e2e  # noqa: E402
import expected_texts as texts  # noqa: E402
from xserver import XServer  # noqa: E402


class Soak:
    def __init__(self, x=None):
        self.x = x
        self.display = x.display if x else None
        self.library = e2e.library()
        self.failures = []
        self.runs = 0
        self.lock = threading.Lock()
        self.turn = threading.Lock()

    def one_run(self, case, path, answer, expected):
        """One program run on `path`; returns whether it ended as `expected` (a log line)."""
        before = len(case.log_messages(failure_texts=True))
        started = time.monotonic()
        # One run at a time from its start to its answered box: a box coming up takes the
        # focus (the pair's second run starts once the first one's box is answered).  An open
        # keeps the turn to its end: the office it hands over shows its window, which takes the
        # focus too, and a box between the Tab and the space that answer it gets only one of them.
        with self.turn if self.display else contextlib.nullcontext():
            process = case.start(path, answer=None if self.display else answer,
                                 display=self.display)
            if self.display and answer:
                self.confirm(process)
            elif self.display:
                lines = self.finish(process)
                with contextlib.suppress(Exception):  # shown, or not shown at all
                    self.x.wait_for_window(f"{path.name} - LibreOffice Calc", timeout=10)
        if not self.display or answer:
            lines = self.finish(process)
        log = case.log_messages(failure_texts=True)[before:]
        ended = [m for m in log if not e2e.FAILURE_TEXT.match(m)]
        # A run that ends on a signal failed, whatever it logged before.
        ok = bool(ended) and ended[-1] == expected and process.returncode >= 0
        with self.lock:
            self.runs += 1
            if not ok:
                self.failures.append({"path": str(path), "expected": expected,
                                      "code": process.returncode,
                                      "seconds": round(time.monotonic() - started, 1),
                                      "log": log[-12:], "terminal": lines[-6:]})
        return ok

    @staticmethod
    def finish(process):
        try:
            return e2e.finish(process, timeout=600, expected_code=None)
        except AssertionError as error:
            return [str(error)]

    def confirm(self, process):
        """OK in this run's own confirmation box, found by the process that shows it
        (_NET_WM_PID), not by its title alone: with two runs at once the first box up may be the
        other run's.  The keys move the focus from the default Cancel to OK; the caller holds
        the turn, so no other box comes up and takes the focus between the two keys (a Tab in
        one box and a space in the other answered Cancel)."""
        deadline = time.monotonic() + 120
        while process.poll() is None and time.monotonic() < deadline:
            boxes = self.boxes_of(process)
            if boxes:
                self.x.tool("xdotool", "windowfocus", "--sync", str(boxes[0]), check=False)
                self.x.key("shift+Tab", "space")
                # The other run's office, handed over, may show its window meanwhile and take
                # the focus: then the keys went there and the box still waits.
                if self.gone(boxes[0], process):
                    return
            time.sleep(0.1)

    def gone(self, box, process, bound=3.0):
        deadline = time.monotonic() + bound
        while time.monotonic() < deadline and process.poll() is None:
            if box not in self.boxes_of(process):
                return True
            time.sleep(0.05)
        return process.poll() is not None

    def boxes_of(self, process):
        out = self.x.tool("xdotool", "search", "--all", "--onlyvisible", "--pid",
                          str(process.pid), "--name", f"^{texts.BOX_TITLE}$", check=False)
        return [int(line) for line in out.split()]

    def round(self, name, number):
        case = e2e.Case("soak", f"{name}-{number}")
        extension = "xlsx" if number % 2 == 0 else "xls"
        path = e2e.place(self.library / f"plain.{extension}",
                         case.books / f"Soak {number}.{extension}")
        if self.one_run(case, path, "y\n", texts.LOCKED):
            self.one_run(case, path, None, texts.OPENED)

    def settle(self):
        """After a batch of rounds: the handed-over offices are the user's, closed here as the
        user would close them; nothing else may be left."""
        if self.display:
            e2e.kill(e2e.office_pids())
        e2e.kill(e2e.wait_for_no_processes(bound=30))


def run_mode(mode, runs, x):
    soak = Soak(x)
    rounds = max(1, runs // 2)
    pairs = mode.endswith("pairs")
    started = time.monotonic()
    number = 0
    while number < rounds:
        if pairs:
            threads = [threading.Thread(target=soak.round, args=(mode, number + i))
                       for i in range(2)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            number += 2
        else:
            soak.round(mode, number)
            number += 1
        soak.settle()
        if number % 20 == 0:
            print(f"  {mode}: {soak.runs} runs, {len(soak.failures)} failed", flush=True)
    return soak, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=500)
    parser.add_argument("--modes", default="sequential,pairs,display,display-pairs")
    arguments = parser.parse_args()
    if not e2e.PROGRAM:
        sys.exit("KOVRISK_PROGRAM names no program")
    results = collections.OrderedDict()
    x = None
    try:
        for mode in arguments.modes.split(","):
            if mode.startswith("display"):
                x = x or XServer()
            soak, seconds = run_mode(mode, arguments.runs,
                                     x if mode.startswith("display") else None)
            results[mode] = (soak, seconds)
            for failure in soak.failures:
                print(f"FAILURE in {mode}: {failure['path']} ended with exit code "
                      f"{failure['code']} after {failure['seconds']} s, not {failure['expected']}")
                for line in failure["log"]:
                    print(f"    log: {line}")
                for line in failure["terminal"]:
                    print(f"    terminal: {line}")
    finally:
        if x:
            x.stop()
    print("mode            runs  failed  rate      seconds")
    for mode, (soak, seconds) in results.items():
        rate = len(soak.failures) / soak.runs if soak.runs else 0.0
        print(f"{mode:<15} {soak.runs:>4}  {len(soak.failures):>6}  {rate:>7.2%}  {seconds:>8.0f}")


if __name__ == "__main__":
    main()
