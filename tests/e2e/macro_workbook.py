"""An Excel 97 workbook that carries a VBA project with an auto-run macro, made without Excel:
the VBA storage (MS-OVBA: PROJECT, dir, one standard module) is written here, packed into the
compound file of a LibreOffice-made .xls by the Node package cfb, and the Workbook stream gets the
OBJPROJ record that tells a reader the project is there."""

import json
import os
import struct
import subprocess

# Two auto-run routes, each appending its name to `marker` when it runs: Workbook_Open in the
# workbook's document module and Auto_Open in a standard module.  Both run when the workbook is
# opened with macros enabled.
def _writer(route):
    return (f"Sub {route}()\r\n"
            '    Open "{marker}" For Append As #1\r\n'
            f'    Print #1, "{route}"\r\n'
            "    Close #1\r\n"
            "End Sub\r\n")


MODULES = [
    # (name, document module, source)
    ("ThisWorkbook", True,
     'Attribute VB_Name = "ThisWorkbook"\r\n'
     'Attribute VB_Base = "0{{00020819-0000-0000-C000-000000000046}}"\r\n'
     "Attribute VB_GlobalNameSpace = False\r\n"
     "Attribute VB_Creatable = False\r\n"
     "Attribute VB_PredeclaredId = True\r\n"
     "Attribute VB_Exposed = True\r\n"
     "Attribute VB_TemplateDerived = False\r\n"
     "Attribute VB_Customizable = True\r\n" + _writer("Workbook_Open")),
    ("Module1", False, 'Attribute VB_Name = "Module1"\r\n' + _writer("Auto_Open")),
]

CODE_PAGE = 1252


def compress(data):
    """The MS-OVBA compressed container of `data`, in literal tokens only (a valid container that
    any reader decompresses; it just does not get smaller)."""
    out = bytearray(b"\x01")
    # A chunk's decompressed part must fit in 4096 bytes and its compressed part as well.
    step = 3640
    for start in range(0, max(len(data), 1), step):
        piece = data[start:start + step]
        body = bytearray()
        for group in range(0, len(piece), 8):
            body.append(0)  # eight literal tokens follow
            body += piece[group:group + 8]
        header = (len(body) - 1) | 0x3000 | 0x8000
        out += struct.pack("<H", header) + body
    return bytes(out)


def _record(kind, data):
    return struct.pack("<HI", kind, len(data)) + data


def dir_stream():
    records = [
        _record(0x01, struct.pack("<I", 1)),          # PROJECTSYSKIND: 32-bit Windows
        _record(0x02, struct.pack("<I", 0x409)),      # PROJECTLCID
        _record(0x14, struct.pack("<I", 0x409)),      # PROJECTLCIDINVOKE
        _record(0x03, struct.pack("<H", CODE_PAGE)),  # PROJECTCODEPAGE
        _record(0x04, b"VBAProject"),                 # PROJECTNAME
        _record(0x05, b""), _record(0x40, b""),       # PROJECTDOCSTRING and its Unicode form
        _record(0x06, b""), _record(0x3D, b""),       # PROJECTHELPFILEPATH, second path
        _record(0x07, struct.pack("<I", 0)),          # PROJECTHELPCONTEXT
        _record(0x08, struct.pack("<I", 0)),          # PROJECTLIBFLAGS
        # PROJECTVERSION: its size field says 4, six bytes follow.
        struct.pack("<HIIH", 0x09, 4, 1, 0),
        _record(0x0C, b""), _record(0x3C, b""),       # PROJECTCONSTANTS and its Unicode form
        _record(0x0F, struct.pack("<H", len(MODULES))),  # PROJECTMODULES
        _record(0x13, struct.pack("<H", 0xFFFF)),     # PROJECTCOOKIE
    ]
    for name, document, _ in MODULES:
        ascii_name, unicode_name = name.encode("ascii"), name.encode("utf-16-le")
        records += [
            _record(0x19, ascii_name), _record(0x47, unicode_name),  # MODULENAME, its Unicode form
            _record(0x1A, ascii_name), _record(0x32, unicode_name),  # MODULESTREAMNAME, Unicode
            _record(0x1C, b""), _record(0x48, b""),   # MODULEDOCSTRING and its Unicode form
            _record(0x31, struct.pack("<I", 0)),      # MODULEOFFSET: the source starts at once
            _record(0x1E, struct.pack("<I", 0)),      # MODULEHELPCONTEXT
            _record(0x2C, struct.pack("<H", 0xFFFF)),  # MODULECOOKIE
            _record(0x22 if document else 0x21, b""),  # MODULETYPE: document or standard
            _record(0x2B, b""),                       # MODULEEND
        ]
    records.append(_record(0x10, b""))                # PROJECTEND
    return compress(b"".join(records))


def project_stream():
    lines = [
        'ID="{00000000-0000-0000-0000-000000000000}"',
        *(f"Document={name}/&H00000000" if document else f"Module={name}"
          for name, document, _ in MODULES),
        'Name="VBAProject"',
        'HelpContextID="0"',
        'VersionCompatible32="393222000"',
        "",
        "[Host Extender Info]",
        "&H00000001={3832D640-CF90-11CF-8E43-00A0C911005A};VBE;&H00000000",
        "",
    ]
    return "\r\n".join(lines).encode("ascii")


def project_wm_stream():
    return b"".join(name.encode("ascii") + b"\0" + name.encode("utf-16-le") + b"\0\0"
                    for name, _, _ in MODULES) + b"\0\0"


def vba_streams(marker):
    """Stream paths below _VBA_PROJECT_CUR and their bytes."""
    streams = {
        "PROJECT": project_stream(),
        "PROJECTwm": project_wm_stream(),
        # No performance cache: version 0xFFFF says so.
        "VBA/_VBA_PROJECT": struct.pack("<HHBH", 0x61CC, 0xFFFF, 0, 0),
        "VBA/dir": dir_stream(),
    }
    for name, _, source in MODULES:
        streams["VBA/" + name] = compress(source.format(marker=marker).encode("ascii"))
    return streams


def with_objproj(workbook_stream):
    """The BIFF8 Workbook stream with OBJPROJ and CODENAME records before the end of its globals,
    and the stream offsets that point behind them (BOUNDSHEET, INDEX) moved along.  The workbook's
    code name matters: without it a reader's open event finds no workbook module and gives up
    before it gets to Auto_Open."""
    records = []
    position = 0
    while position + 4 <= len(workbook_stream):
        kind, length = struct.unpack_from("<HH", workbook_stream, position)
        records.append([kind, bytearray(workbook_stream[position + 4:position + 4 + length])])
        position += 4 + length
    globals_end = next(i for i, (kind, _) in enumerate(records) if kind == 0x000A)
    if any(kind == 0x00D3 for kind, _ in records[:globals_end]):
        return workbook_stream
    code_name = b"ThisWorkbook"
    added = [[0x00D3, bytearray()],
             [0x01BA, bytearray(struct.pack("<HB", len(code_name), 0) + code_name)]]
    records[globals_end:globals_end] = added
    shift = sum(4 + len(body) for _, body in added)
    for kind, body in records:
        if kind == 0x0085:  # BOUNDSHEET: stream position of the sheet's BOF
            struct.pack_into("<I", body, 0, struct.unpack_from("<I", body, 0)[0] + shift)
        elif kind == 0x020B:  # INDEX: stream positions of the DBCELL records from byte 16 on
            for offset in range(16, len(body) - 3, 4):
                dbcell = struct.unpack_from("<I", body, offset)[0]
                struct.pack_into("<I", body, offset, dbcell + shift)
    return b"".join(struct.pack("<HH", kind, len(body)) + bytes(body) for kind, body in records)


_PACK_SCRIPT = """
const CFB = require('cfb');
const fs = require('fs');
const [source, target, streams] = JSON.parse(process.argv[1]);
const file = CFB.read(fs.readFileSync(source), {type: 'buffer'});
for (const [path, hex] of Object.entries(streams)) {
  const name = '/' + path;
  if (CFB.find(file, name)) CFB.utils.cfb_del(file, name);
  CFB.utils.cfb_add(file, name, Buffer.from(hex, 'hex'));
}
fs.writeFileSync(target, CFB.write(file, {type: 'buffer', fileType: 'cfb'}));
"""


def add_macro(source, target, marker, node_modules):
    """`source` (an .xls) with a VBA project whose Auto_Open writes `marker`, saved as `target`."""
    import olefile

    with olefile.OleFileIO(source) as ole:
        workbook_stream = ole.openstream("Workbook").read()
    streams = {"Workbook": with_objproj(workbook_stream).hex()}
    for path, data in vba_streams(marker).items():
        streams["_VBA_PROJECT_CUR/" + path] = data.hex()
    environment = dict(os.environ, NODE_PATH=node_modules)
    subprocess.run(["node", "-e", _PACK_SCRIPT, json.dumps([source, target, streams])],
                   check=True, env=environment, timeout=120)
    return target


def has_vba_project(data):
    """Whether compound-file bytes hold a VBA storage."""
    import io

    import olefile

    with olefile.OleFileIO(io.BytesIO(data)) as ole:
        return ole.exists("_VBA_PROJECT_CUR/VBA/dir")
