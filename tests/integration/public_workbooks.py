"""Workbooks nobody here made: the sample and test workbooks that Debian packages ship, written
with Excel by the authors of Spreadsheet::ParseExcel, xlrd, readxl, openxlsx, xlsx2csv and
DBD::Excel, and the test workbooks of public spreadsheet libraries kept in tests/data/
public-workbooks (its README names each file's source).  The packages are downloaded with
`apt-get download` and unpacked with `dpkg-deb`, never installed; the workbooks are kept below the
suites' output folder between runs."""

import pathlib
import shutil
import subprocess
import tempfile

# Package -> the folder in it that holds its workbooks.
PACKAGES = {
    "libspreadsheet-parseexcel-perl":
        "usr/share/doc/libspreadsheet-parseexcel-perl/examples/sample/Excel",
    "python3-xlrd": "usr/share/doc/python3-xlrd/examples",
    "r-cran-readxl": "usr/lib/R/site-library/readxl/extdata",
    "r-cran-openxlsx": "usr/lib/R/site-library/openxlsx/extdata",
    "xlsx2csv": "usr/share/doc/xlsx2csv/examples/test",
    "libdbd-excel-perl": "usr/share/doc/libdbd-excel-perl/examples",
}

# Kept in the repository: workbooks from public repositories, which CI cannot fetch.
KEPT = pathlib.Path(__file__).resolve().parent.parent / "data" / "public-workbooks"

SUFFIXES = (".xls", ".xlsx", ".xlsm")

# Excel 95 and older: no lock keeps them (they cannot carry Excel 97's encryption).
EXCEL_95 = {"AuthorK95.xls", "Test1904_95.xls", "Test95.xls", "Test95J.xls", "newxl.xls",
            "testj.xls"}


def folder(output):
    """The folder (below `output`) holding every public workbook, fetched on first use."""
    target = pathlib.Path(output) / "public-workbooks"
    done = target / "done"
    # The marker names what was fetched: a changed list fetches again.
    stamp = "\n".join(sorted(PACKAGES) + sorted(p.name for p in KEPT.iterdir())) + "\n"
    if done.exists() and done.read_text() == stamp:
        return target
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    with tempfile.TemporaryDirectory(dir=target) as scratch:
        subprocess.run(["apt-get", "download", *PACKAGES], cwd=scratch, check=True,
                       capture_output=True)
        for package, inside in PACKAGES.items():
            (deb,) = pathlib.Path(scratch).glob(f"{package}_*.deb")
            unpacked = pathlib.Path(scratch) / package
            subprocess.run(["dpkg-deb", "-x", str(deb), str(unpacked)], check=True)
            for book in sorted((unpacked / inside).iterdir()):
                if book.suffix in SUFFIXES:
                    shutil.copyfile(book, target / book.name)
    for book in sorted(KEPT.iterdir()):
        if book.suffix in SUFFIXES:
            if (target / book.name).exists():
                raise RuntimeError(f"two public workbooks named {book.name}")
            shutil.copyfile(book, target / book.name)
    done.write_text(stamp)
    return target


def workbooks(output, suffix=None):
    """Every public workbook (of `suffix`, when given), by name."""
    books = sorted(p for p in folder(output).iterdir() if p.suffix in SUFFIXES)
    return [p for p in books if suffix is None or p.suffix == suffix]
