"""Runs the object-model tests on the real office (the program given as argument), then checks
every encrypted file they made with msoffcrypto: the listed password decrypts it, a different one
does not, and the content is in the format its extension names.  No office may be left."""

import io
import os
import subprocess
import sys

import olefile

import checks
import suite
import workbooks


def main():
    program = sys.argv[1]
    folder = suite.fresh_folder("object_model")
    samples = os.path.join(folder, "workbooks")
    scratch = os.path.join(folder, "scratch")
    os.makedirs(samples)
    os.makedirs(scratch)
    workbooks.make_xlsx(os.path.join(samples, "plain.xlsx"))
    workbooks.make_xls(os.path.join(samples, "plain.xls"), suite.CONVERT_PROFILE)
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
    import macro_workbook

    macro_workbook.add_macro(os.path.join(samples, "plain.xls"), os.path.join(samples, "macro.xls"),
                             os.path.join(scratch, "macro-marker.txt"), suite.NODE_MODULES)

    environment = dict(os.environ, KOVRISK_TEST_WORKBOOKS=samples,
                       KOVRISK_TEST_PROFILE=suite.PROFILE, KOVRISK_TEST_SCRATCH=scratch)
    environment.pop("DISPLAY", None)
    failures = []
    if subprocess.run([program], env=environment).returncode != 0:
        failures.append("object-model tests failed")

    manifest = os.path.join(scratch, "encrypted.txt")
    listed = open(manifest).read().splitlines() if os.path.exists(manifest) else []
    if len(listed) < 18:  # nine passwords in each of two formats
        failures.append(f"only {len(listed)} encrypted files listed")
    for line in listed:
        path, units = line.split("\t")
        password = "".join(chr(int(unit)) for unit in units.split())
        other = "Z" + password
        try:
            data = checks.decrypt(path, password)
        except Exception as error:  # noqa: BLE001 - any failure is the finding
            failures.append(f"{path}: msoffcrypto cannot decrypt it with its password: {error}")
            continue
        if not checks.refuses(path, other):
            failures.append(f"{path}: decrypts with a different password")
        if path.endswith(".xlsx") and data[:2] != b"PK":
            failures.append(f"{path}: decrypted content is no OOXML package")
        if path.endswith(".xls"):
            with olefile.OleFileIO(io.BytesIO(data)) as ole:
                if not ole.exists("Workbook"):
                    failures.append(f"{path}: decrypted content is no Excel 97 workbook")

    left = checks.wait_for_no_office(suite.OFFICE_MARKER)
    if left:
        checks.kill_all(left)
        failures.append(f"office processes left: {left}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(listed)} encrypted files checked with msoffcrypto")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
