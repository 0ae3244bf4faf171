#!/usr/bin/python3
"""Times the workbook encryption through encrypt_tool (built with the tests: build/tests/tools) on
a small (~100 KB) and a large (~10 MB) .xlsx made with openpyxl, and on the .xls LibreOffice
makes of each, and prints the median of N runs of each.  A package of a few bytes shows
what the password hash alone costs (100,000 rounds of SHA-512); the rest of a large package's
time is AES and the compound file.

    /usr/bin/python3 bench/encryption.py [--tool PATH] [--runs N] [--work DIR]

Workbooks are kept in the work folder, so only the first run pays for making them.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import workbooks  # noqa: E402

PASSWORD_HEX = "1b351f211b17bf8dbf1d15351b0d"  # the file password of "report 9 query.xls"


def made(path, make):
    if not os.path.exists(path):
        make(path)
    return path


def timed(tool, kind, source, target):
    started = time.monotonic()
    subprocess.run([tool, kind, source, target, PASSWORD_HEX], check=True)
    return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=os.path.join(HERE, "..", "build", "tests", "tools",
                                                      "kovrisk_encrypt_tool"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", default="/tmp/kovrisk-bench-encryption")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    profile = os.path.join(args.work, "office-profile")

    def tiny(path):
        with open(path, "wb") as handle:
            handle.write(b"PK\x03\x04")

    small = made(os.path.join(args.work, "small.xlsx"),
                 lambda path: workbooks.make_large_xlsx(path, 100_000))
    large = made(os.path.join(args.work, "large.xlsx"),
                 lambda path: workbooks.make_large_xlsx(path, 10_000_000))
    cases = [
        ("xlsx", made(os.path.join(args.work, "tiny.xlsx"), tiny)),
        ("xlsx", small),
        ("xlsx", large),
        ("xls", made(os.path.join(args.work, "small.xls"), lambda p: _as_xls(small, p, profile))),
        ("xls", made(os.path.join(args.work, "large.xls"), lambda p: _as_xls(large, p, profile))),
    ]
    print(f"{'workbook':<12} {'bytes':>12} {'median s':>9} {'min s':>7}  ({args.runs} runs)")
    for kind, source in cases:
        target = os.path.join(args.work, "encrypted." + kind)
        times = [timed(args.tool, kind, source, target) for _ in range(args.runs)]
        print(f"{os.path.basename(source):<12} {os.path.getsize(source):>12,} "
              f"{statistics.median(times):>9.3f} {min(times):>7.3f}")


def _as_xls(xlsx, path, profile):
    """`xlsx` converted to Excel 97 by LibreOffice, saved as `path`."""
    os.replace(workbooks.convert(xlsx, "xls", os.path.dirname(path), profile), path)


if __name__ == "__main__":
    main()
