"""Test workbooks, made at test time: .xlsx with openpyxl, .xls converted from it by LibreOffice's
own command line (soffice --convert-to), and encrypted copies made by other tools."""

import datetime
import json
import os
import random
import shutil
import subprocess
import tempfile
import zipfile

import openpyxl

SOFFICE = "/usr/lib/libreoffice/program/soffice"


def make_xlsx(path, sheets=None, rows=3, active=0):
    """A workbook with a few sheets of user data; `sheets` lists (name, hidden) pairs; `active`
    is the index of the sheet it opens on."""
    sheets = sheets or [("Data", False), ("第二", False), ("Third", False)]
    book = openpyxl.Workbook()
    book.remove(book.active)
    for index, (name, hidden) in enumerate(sheets):
        sheet = book.create_sheet(name)
        if hidden:
            sheet.sheet_state = "hidden"
        sheet["A1"] = f"{name} の見出し"
        sheet["B2"] = 42 + index
        sheet["C3"] = "0123"
        sheet["D4"] = "=B2*2"
        for row in range(5, 5 + rows):
            sheet.cell(row=row, column=1, value=f"行 {row}")
            sheet.cell(row=row, column=2, value=row * 1.5)
    book.active = active
    for index, sheet in enumerate(book.worksheets):
        sheet.sheet_view.tabSelected = index == active
    book.save(path)
    return path


JAPANESE_WORDS = ["東京支店", "大阪営業所", "見積書", "請求書", "在庫管理", "売上集計", "担当者",
                  "カタログ", "サンプル", "ミーティング", "承認済み", "保留中"]


def make_large_xlsx(path, target_bytes, mixed_scripts=False):
    """A workbook of office-like data grown until its file is about `target_bytes`: per row a
    Japanese word, an ASCII code, numbers and a date.  With `mixed_scripts`, text cells mix Latin
    and Japanese characters at random instead (LibreOffice writes such cells back as rich text,
    one run per script change, which makes its own files much slower to load)."""
    generator = random.Random(7)
    rows = 1000
    while True:
        book = openpyxl.Workbook()
        sheet = book.active
        sheet.title = "Data"
        for row in range(1, rows + 1):
            for column in range(1, 9):
                if mixed_scripts and column % 2:
                    value = "".join(generator.choice("abcdefghijklmnopqrstuvwxyzアイウエオ")
                                    for _ in range(12))
                elif column in (1, 5):
                    value = generator.choice(JAPANESE_WORDS) + generator.choice(JAPANESE_WORDS)
                elif column in (3, 7):
                    value = "".join(generator.choice("ABCDEFGHJKLMNPQRSTUVWXYZ0123456789")
                                    for _ in range(10))
                elif column == 8:
                    value = datetime.date(2020, 1, 1) + datetime.timedelta(days=generator.randrange(2000))
                else:
                    value = round(generator.random() * 1e6, 2)
                sheet.cell(row=row, column=column, value=value)
        book.save(path)
        size = os.path.getsize(path)
        if size >= target_bytes * 0.9:
            return path
        rows = int(rows * target_bytes / size * 1.02) + 1


def convert(source, extension, out_dir, profile):
    """`source` converted by a bare `soffice --headless --convert-to` into `out_dir`."""
    subprocess.run(
        [SOFFICE, f"-env:UserInstallation=file://{profile}", "--headless", "--norestore",
         "--convert-to", extension, "--outdir", out_dir, source],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    base = os.path.splitext(os.path.basename(source))[0]
    return os.path.join(out_dir, base + "." + extension)


def make_xls(path, profile, **kwargs):
    """The .xlsx of make_xlsx converted to Excel 97 by LibreOffice."""
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, os.path.splitext(os.path.basename(path))[0] + ".xlsx")
        make_xlsx(source, **kwargs)
        shutil.move(convert(source, "xls", scratch, profile), path)
    return path


def encrypt_with_officecrypto_tool(source, target, password, node_modules):
    """`source` encrypted (ECMA-376 agile, as Excel does it) by the Node package officecrypto-tool."""
    script = (
        "const crypto = require('officecrypto-tool');"
        "const fs = require('fs');"
        "const [source, target, password] = JSON.parse(process.argv[1]);"
        "fs.writeFileSync(target, crypto.encrypt(fs.readFileSync(source), {password}));"
    )
    environment = dict(os.environ, NODE_PATH=node_modules)
    subprocess.run(["node", "-e", script, json.dumps([source, target, password])],
                   check=True, env=environment, timeout=120)
    return target


def decrypt_with_officecrypto_tool(source, password, node_modules):
    """The bytes of `source` as the Node package officecrypto-tool decrypts them."""
    script = (
        "const crypto = require('officecrypto-tool');"
        "const fs = require('fs');"
        "const [source, password] = JSON.parse(process.argv[1]);"
        "crypto.decrypt(fs.readFileSync(source), {password})"
        "  .then(data => process.stdout.write(data))"
        "  .catch(error => { console.error(String(error)); process.exit(1); });"
    )
    environment = dict(os.environ, NODE_PATH=node_modules)
    return subprocess.run(["node", "-e", script, json.dumps([source, password])],
                          check=True, env=environment, timeout=120, capture_output=True).stdout


def make_chart_xls(path, profile):
    """A workbook with two embedded charts on its first sheet (an openpyxl bar and line chart),
    converted to Excel 97 by LibreOffice."""
    from openpyxl.chart import BarChart, LineChart, Reference
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, os.path.splitext(os.path.basename(path))[0] + ".xlsx")
        book = openpyxl.Workbook()
        sheet = book.active
        sheet.title = "Figures"
        for row in range(1, 11):
            sheet.append([f"月 {row}", row * 3, row * row])
        for chart, anchor in ((BarChart(), "E2"), (LineChart(), "E20")):
            chart.add_data(Reference(sheet, min_col=2, max_col=3, min_row=1, max_row=10))
            chart.set_categories(Reference(sheet, min_col=1, min_row=1, max_row=10))
            sheet.add_chart(chart, anchor)
        book.create_sheet("Notes")["A1"] = "メモ"
        book.save(source)
        shutil.move(convert(source, "xls", scratch, profile), path)
    return path


def make_biff5_xls(path, profile):
    """A stand-in for an Excel 95 workbook (LibreOffice writes BIFF5 no more): the .xls of
    make_xls with every BOF saying BIFF5 (0x0500) and its stream called "Book", as Excel 95 calls
    it."""
    import olefile
    import struct
    make_xls(path, profile)
    with olefile.OleFileIO(path, write_mode=True) as ole:
        stream = bytearray(ole.openstream("Workbook").read())
        position = 0
        while position + 4 <= len(stream):
            kind, length = struct.unpack_from("<HH", stream, position)
            if kind == 0x0809:
                struct.pack_into("<H", stream, position + 4, 0x0500)
            position += 4 + length
        ole.write_stream("Workbook", bytes(stream))
    with open(path, "r+b") as handle:
        data = bytearray(handle.read())
        name = "Workbook".encode("utf-16-le") + b"\0\0"
        at = data.index(name)
        data[at:at + 64] = ("Book".encode("utf-16-le") + b"\0\0").ljust(64, b"\0")
        struct.pack_into("<H", data, at + 64, 10)
        handle.seek(0)
        handle.write(data)
    return path


def make_hidden_rows_table_xlsx(path):
    """A workbook as Excel writes it: a table "Sales" whose rows but the North ones are hidden by
    hand, and SUBTOTAL(9, ...), SUBTOTAL(109, ...) and SUM over its Amount column with the results
    Excel stores (210, 60, 210): SUBTOTAL(9) counts rows hidden by hand, 109 leaves them out.
    LibreOffice, recalculating, leaves them out of both (60)."""
    main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    relationship = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    package = "http://schemas.openxmlformats.org/package/2006/relationships"
    content = "application/vnd.openxmlformats-officedocument.spreadsheetml."
    header = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
    words = ["Region", "Amount", "North", "South", "East", "West"]
    data = [("North", 10), ("South", 20), ("East", 30), ("West", 40), ("North", 50),
            ("South", 60)]
    rows = ['<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>']
    for number, (region, amount) in enumerate(data, start=2):
        hidden = "" if region == "North" else ' hidden="1"'
        rows.append(f'<row r="{number}"{hidden}><c r="A{number}" t="s"><v>'
                    f'{words.index(region)}</v></c><c r="B{number}"><v>{amount}</v></c></row>')
    rows.append('<row r="9"><c r="B9"><f>SUBTOTAL(9,Sales[Amount])</f><v>210</v></c></row>'
                '<row r="10"><c r="B10"><f>SUBTOTAL(109,Sales[Amount])</f><v>60</v></c></row>'
                '<row r="11"><c r="B11"><f>SUM(Sales[Amount])</f><v>210</v></c></row>')
    parts = {
        "[Content_Types].xml":
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
            'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
            f'<Override PartName="/xl/workbook.xml" ContentType="{content}sheet.main+xml"/>'
            '<Override PartName="/xl/worksheets/sheet1.xml" '
            f'ContentType="{content}worksheet+xml"/>'
            f'<Override PartName="/xl/tables/table1.xml" ContentType="{content}table+xml"/>'
            f'<Override PartName="/xl/styles.xml" ContentType="{content}styles+xml"/>'
            f'<Override PartName="/xl/sharedStrings.xml" '
            f'ContentType="{content}sharedStrings+xml"/></Types>',
        "_rels/.rels":
            f'<Relationships xmlns="{package}"><Relationship Id="rId1" '
            f'Type="{relationship}/officeDocument" Target="xl/workbook.xml"/></Relationships>',
        "xl/workbook.xml":
            f'<workbook xmlns="{main}" xmlns:r="{relationship}"><bookViews><workbookView/>'
            '</bookViews><sheets><sheet name="Sales" sheetId="1" r:id="rId1"/></sheets>'
            '<calcPr calcId="191029"/></workbook>',
        "xl/_rels/workbook.xml.rels":
            f'<Relationships xmlns="{package}">'
            f'<Relationship Id="rId1" Type="{relationship}/worksheet" '
            'Target="worksheets/sheet1.xml"/>'
            f'<Relationship Id="rId2" Type="{relationship}/styles" Target="styles.xml"/>'
            f'<Relationship Id="rId3" Type="{relationship}/sharedStrings" '
            'Target="sharedStrings.xml"/></Relationships>',
        "xl/worksheets/sheet1.xml":
            f'<worksheet xmlns="{main}" xmlns:r="{relationship}">'
            '<dimension ref="A1:B11"/><sheetViews><sheetView tabSelected="1" '
            'workbookViewId="0"/></sheetViews><sheetFormatPr defaultRowHeight="15"/>'
            f'<sheetData>{"".join(rows)}</sheetData><tableParts count="1">'
            '<tablePart r:id="rId1"/></tableParts></worksheet>',
        "xl/worksheets/_rels/sheet1.xml.rels":
            f'<Relationships xmlns="{package}"><Relationship Id="rId1" '
            f'Type="{relationship}/table" Target="../tables/table1.xml"/></Relationships>',
        "xl/tables/table1.xml":
            f'<table xmlns="{main}" id="1" name="Sales" displayName="Sales" ref="A1:B7">'
            '<autoFilter ref="A1:B7"/>'
            '<tableColumns count="2"><tableColumn id="1" name="Region"/>'
            '<tableColumn id="2" name="Amount"/></tableColumns>'
            '<tableStyleInfo name="TableStyleMedium2" showFirstColumn="0" showLastColumn="0" '
            'showRowStripes="1" showColumnStripes="0"/></table>',
        "xl/styles.xml":
            f'<styleSheet xmlns="{main}"><fonts count="1"><font><sz val="11"/>'
            '<name val="Calibri"/></font></fonts><fills count="2"><fill><patternFill '
            'patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill>'
            '</fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/>'
            '</border></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" '
            'fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="1"><xf numFmtId="0" '
            'fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs></styleSheet>',
        "xl/sharedStrings.xml":
            f'<sst xmlns="{main}" count="{len(words) + len(data)}" uniqueCount="{len(words)}">'
            + "".join(f"<si><t>{word}</t></si>" for word in words) + "</sst>",
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts.items():
            archive.writestr(name, header + text)
