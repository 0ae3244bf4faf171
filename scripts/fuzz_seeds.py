"""Seeds for the fuzz targets, from real workbooks: each target's folder gets what its function
reads.  compound_file and file_kind: whole files; biff8_encryption: the record streams of the
binary workbooks (workbook streams, pivot caches); biff8_control_sheet: workbook streams;
package_parts: the XML parts of the packages;
shift_jis_text: file names as users give them.

    fuzz_seeds.py OUTPUT-FOLDER WORKBOOK-FOLDER..."""

import io
import pathlib
import sys
import zipfile

import olefile

RECORD_STREAMS = ("Workbook", "_SX_DB_CUR/", "Revision Log", "User Names")
NAMES = ["report 9 query.xlsx", "Book1.xls", "C:\\Users\\sato\\Desktop\\売上.xls",
         "/home/sato/表計算/見積書.xlsx", "ﾊﾝｶｸ.xls", "name.without.dots.XLSX.xls"]


# The user layer of LibreOffice's settings, in the forms the macro settings take there.
SETTINGS_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>\n<oor:items '
                 'xmlns:oor="http://openoffice.org/2001/registry" '
                 'xmlns:xs="http://www.w3.org/2001/XMLSchema" '
                 'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n')
SCRIPTING = '<item oor:path="/org.openoffice.Office.Common/Security/Scripting">'
SETTINGS = [
    SCRIPTING + '<prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>2</value></prop></item>',
    '<item oor:path="/org.openoffice.Office.Common/Security"><node oor:name="Scripting" '
    'oor:op="fuse"><prop oor:name="DisableMacrosExecution" oor:finalized="true"><value>true'
    '</value></prop></node></item>',
    SCRIPTING + '<prop oor:name="SecureURL"><value><it>$(home)/a</it><it>file:///b</it></value>'
    '</prop></item><!-- a comment -->',
    SCRIPTING + '<prop oor:name="SecureURL"><value oor:separator=";">file:///a;file:///b</value>'
    '</prop><prop oor:name="MacroSecurityLevel" oor:op="remove"/></item>',
]


def main(output, sources):
    folders = {name: pathlib.Path(output) / name for name in
               ("compound_file", "file_kind", "biff8_encryption", "package_parts",
                "shift_jis_text", "ooxml_control_sheet", "biff8_control_sheet",
                "users_macro_settings", "first_start_marker")}
    for folder in folders.values():
        folder.mkdir(parents=True, exist_ok=True)
    count = 0
    for source in sources:
        for path in sorted(pathlib.Path(source).rglob("*")):
            if not path.is_file() or path.stat().st_size > 4 << 20:
                continue
            data = path.read_bytes()
            count += 1
            seed = f"{count:04d}-{path.name}"
            if data[:8] == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" or data[:4] == b"PK\x03\x04":
                (folders["file_kind"] / seed).write_bytes(data)
            if data[:8] == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
                (folders["compound_file"] / seed).write_bytes(data)
                try:
                    with olefile.OleFileIO(io.BytesIO(data)) as ole:
                        for entry in ole.listdir():
                            name = "/".join(entry)
                            if name.startswith(RECORD_STREAMS):
                                stream = ole.openstream(entry).read()
                                label = name.replace("/", "_")
                                (folders["biff8_encryption"] / f"{seed}-{label}").write_bytes(stream)
                                if name == "Workbook":
                                    (folders["biff8_control_sheet"] / seed).write_bytes(stream)
                except OSError:
                    pass  # a damaged file: a seed for the reader only
            elif data[:4] == b"PK\x03\x04":
                (folders["ooxml_control_sheet"] / seed).write_bytes(data)
                try:
                    with zipfile.ZipFile(io.BytesIO(data)) as package:
                        for item in package.infolist():
                            if item.filename.endswith((".xml", ".rels")) and item.file_size < 1 << 20:
                                label = item.filename.replace("/", "_")
                                (folders["package_parts"] / f"{seed}-{label}").write_bytes(
                                    package.read(item))
                except (zipfile.BadZipFile, OSError):
                    pass
            elif path.suffix == ".xml":
                (folders["package_parts"] / seed).write_bytes(data)
    for n, settings in enumerate(SETTINGS):
        (folders["users_macro_settings"] / f"settings-{n}").write_text(SETTINGS_HEAD + settings +
                                                                        "</oor:items>\n")
        (folders["first_start_marker"] / f"settings-{n}").write_text(SETTINGS_HEAD + settings +
                                                                      "</oor:items>\n")
    (folders["first_start_marker"] / "product").write_text(
        '<prop oor:name="ooSetupVersion" oor:type="xs:string"><value/></prop>\n'
        '<prop oor:name="ooSetupVersion">\n  <value>7.4</value>\n</prop>\n')
    for n, name in enumerate(NAMES):
        (folders["shift_jis_text"] / f"name-{n}").write_bytes(name.encode("cp932"))
    print(f"seeds from {count} files: " + ", ".join(
        f"{name} {sum(1 for _ in folder.iterdir())}" for name, folder in folders.items()))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
