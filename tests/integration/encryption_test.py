"""The workbook encryption (driven through encrypt_tool) checked with decryptors nobody here
wrote: msoffcrypto-tool, officecrypto-tool (Node) and LibreOffice; olefile reads the container
strictly; xlrd and openpyxl read what comes out."""

import os
import subprocess
import sys
import unittest

import checks
import public_workbooks
import suite
import workbooks

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import office_tool  # noqa: E402  (the e2e suites' own office, reused)

REFUSED = 3


def read(path):
    with open(path, "rb") as handle:
        return handle.read()


def tool(*arguments):
    return subprocess.run([suite.ENCRYPT_TOOL] + list(arguments), capture_output=True, text=True,
                          timeout=120)


def file_password(name):
    """The Shift-JIS bytes (hex) of the file password of `name`."""
    return tool("file-password", name).stdout.strip()


def unicode_of(password_hex):
    """The password as the encryption receives it, converted as Windows converts code page 932."""
    return "".join(chr(int(unit, 16)) for unit in tool("unicode", password_hex).stdout.split())


# Passwords of 9 to 15 bytes as file names give them: lower-case letters and digits make control
# bytes and lone lead bytes; and whole double-byte characters.
PASSWORD_SOURCES = ["report 9 query", "sales 2024 q3", "p9q8r7s6t5", "xyz123"]
DOUBLE_BYTE = "パスワード表示".encode("cp932").hex()


def passwords(extension):
    found = [file_password(f"{stem}.{extension}") for stem in PASSWORD_SOURCES] + [DOUBLE_BYTE]
    for password in found:
        assert 9 <= len(password) // 2 <= 15, password
    return found


DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workbook", "encryption",
                    "data")


def wrong(password):
    """`password` with its last character changed."""
    return password[:-1] + chr(ord(password[-1]) ^ 1)


class Encryption(unittest.TestCase):
    extension = None  # set by the subclasses

    @classmethod
    def setUpClass(cls):
        cls.folder = suite.fresh_folder(f"encryption/{cls.extension}")
        cls.office = office_tool.Office(os.path.join(suite.OUTPUT, "encryption-office"))

    @classmethod
    def tearDownClass(cls):
        cls.office.end()

    def encrypt(self, source, password_hex, name=None):
        target = os.path.join(self.folder, name or f"encrypted-{password_hex[:30]}.{self.extension}")
        result = tool(self.extension, source, target, password_hex)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return target

    def assert_libreoffice_opens_only_with(self, path, password, sheets):
        document = self.office.load(path, password=password)
        try:
            self.assertEqual(list(document.Sheets.ElementNames), sheets)
        finally:
            document.close(True)
        for other in (wrong(password), ""):
            with self.assertRaises(Exception, msg=f"opened with {other!r}"):
                self.office.load(path, password=other).close(True)
        with self.assertRaises(Exception, msg="opened without a password"):
            self.office.load(path).close(True)


class XlsxEncryption(Encryption):
    extension = "xlsx"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.plain = workbooks.make_xlsx(os.path.join(cls.folder, "plain.xlsx"))
        cls.package = read(cls.plain)

    def test_msoffcrypto_gives_back_the_package_byte_for_byte(self):
        for password_hex in passwords("xlsx") + ["61" * 255]:
            with self.subTest(password=password_hex):
                path = self.encrypt(self.plain, password_hex)
                self.assertEqual(checks.decrypt(path, unicode_of(password_hex)), self.package)

    def test_msoffcrypto_refuses_wrong_and_empty_passwords(self):
        password_hex = passwords("xlsx")[0]
        path = self.encrypt(self.plain, password_hex)
        self.assertTrue(checks.refuses(path, wrong(unicode_of(password_hex))))
        self.assertTrue(checks.refuses(path, ""))

    def test_officecrypto_tool_gives_back_the_package(self):
        for password_hex in passwords("xlsx")[:2]:
            path = self.encrypt(self.plain, password_hex)
            self.assertEqual(workbooks.decrypt_with_officecrypto_tool(
                path, unicode_of(password_hex), suite.NODE_MODULES), self.package)

    def test_the_container_holds_the_encryption_streams(self):
        path = self.encrypt(self.plain, passwords("xlsx")[0])
        streams = checks.ole_streams(read(path))
        self.assertEqual(sorted(streams), sorted([
            "EncryptionInfo", "EncryptedPackage", "\x06DataSpaces/Version",
            "\x06DataSpaces/DataSpaceMap",
            "\x06DataSpaces/DataSpaceInfo/StrongEncryptionDataSpace",
            "\x06DataSpaces/TransformInfo/StrongEncryptionTransform/\x06Primary"]))
        self.assertIn(b'spinCount="100000"', streams["EncryptionInfo"])

    def test_libreoffice_opens_it_with_the_password_only(self):
        password_hex = passwords("xlsx")[2]
        path = self.encrypt(self.plain, password_hex)
        self.assert_libreoffice_opens_only_with(path, unicode_of(password_hex),
                                                ["Data", "第二", "Third"])

    def test_encrypted_packages_are_refused(self):
        password_hex = passwords("xlsx")[0]
        ours = self.encrypt(self.plain, password_hex)
        theirs = workbooks.encrypt_with_officecrypto_tool(
            self.plain, os.path.join(self.folder, "theirs.xlsx"), "secret", suite.NODE_MODULES)
        for source in (ours, theirs):
            result = tool("xlsx", source, os.path.join(self.folder, "refused.xlsx"), password_hex)
            self.assertEqual(result.returncode, REFUSED, result.stderr)
            self.assertTrue(result.stdout.startswith("refused already-encrypted:"), result.stdout)

    def test_a_large_package_comes_back_whole(self):
        large = workbooks.make_large_xlsx(os.path.join(self.folder, "large.xlsx"), 3_000_000)
        path = self.encrypt(large, DOUBLE_BYTE, "large-encrypted.xlsx")
        self.assertEqual(checks.decrypt(path, unicode_of(DOUBLE_BYTE)), read(large))


class XlsEncryption(Encryption):
    extension = "xls"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.plain = workbooks.make_xls(os.path.join(cls.folder, "plain.xls"), suite.CONVERT_PROFILE)
        cls.charts = workbooks.make_chart_xls(os.path.join(cls.folder, "charts.xls"),
                                              suite.CONVERT_PROFILE)

    def assert_streams_come_back(self, original, path, password):
        """msoffcrypto's output holds every stream as it was; in the workbook stream, FILEPASS
        (zeroed by the decryptor) follows the first BOF and every stream position moved along."""
        before = checks.ole_streams(read(original))
        after = checks.ole_streams(checks.decrypt(path, password))
        self.assertEqual(sorted(before), sorted(after))
        salt = checks.rc4_salt(checks.ole_streams(read(path))["Workbook"])
        for name, data in before.items():
            if checks.encrypted_beside_workbook(name):
                self.assertNotEqual(after[name], data, name)
                self.assertEqual(checks.decrypt_record_stream(after[name], password, salt), data)
            elif name != "Workbook":
                self.assertEqual(after[name], data, name)
        stream = after["Workbook"]
        first, inserted = checks.biff_records(stream)[:2]
        self.assertEqual(first[1], checks.BOF)
        self.assertEqual((inserted[0], inserted[2]), (first[0] + 4 + first[2], 200))
        self.assertEqual(checks.without_inserted_record(stream, 1), before["Workbook"])
        return stream

    def test_msoffcrypto_gives_back_every_stream(self):
        for password_hex in passwords("xls"):
            with self.subTest(password=password_hex):
                path = self.encrypt(self.plain, password_hex)
                self.assert_streams_come_back(self.plain, path, unicode_of(password_hex))

    def test_the_encrypted_stream_carries_filepass_after_the_first_bof(self):
        path = self.encrypt(self.plain, passwords("xls")[0])
        stream = checks.ole_streams(read(path))["Workbook"]
        self.assertEqual([kind for _, kind, _ in checks.biff_records(stream)[:2]],
                         [checks.BOF, checks.FILEPASS])

    def test_msoffcrypto_refuses_wrong_and_empty_passwords(self):
        password_hex = passwords("xls")[1]
        path = self.encrypt(self.plain, password_hex)
        self.assertTrue(checks.refuses(path, wrong(unicode_of(password_hex))))
        self.assertTrue(checks.refuses(path, ""))

    def test_xlrd_reads_the_decrypted_cells(self):
        password_hex = passwords("xls")[3]
        path = self.encrypt(self.plain, password_hex)
        before = checks.read_book(self.plain, None)
        after = checks.read_book(path, unicode_of(password_hex))
        self.assertEqual(after.names, before.names)
        for sheet in before.sheets:
            self.assertEqual(after.sheet(sheet.name).cells, sheet.cells)

    def test_libreoffice_opens_it_with_the_password_only(self):
        password_hex = passwords("xls")[2]
        path = self.encrypt(self.plain, password_hex)
        self.assert_libreoffice_opens_only_with(path, unicode_of(password_hex),
                                                ["Data", "第二", "Third"])

    def test_embedded_charts_survive_decryption(self):
        password_hex = DOUBLE_BYTE
        path = self.encrypt(self.charts, password_hex, "charts-encrypted.xls")
        original = checks.ole_streams(read(self.charts))["Workbook"]
        self.assertEqual(checks.substream_kinds(original).count(0x0020), 2)
        stream = self.assert_streams_come_back(self.charts, path, unicode_of(password_hex))
        self.assertEqual(checks.substream_kinds(stream), checks.substream_kinds(original))
        document = self.office.load(path, password=unicode_of(password_hex))
        try:
            self.assertEqual(document.Sheets.getByIndex(0).Charts.Count, 2)
        finally:
            document.close(True)

    def test_pivot_tables_survive_and_their_caches_are_encrypted(self):
        # As Excel wrote it, and as LibreOffice saves it on the lock road.
        password_hex = passwords("xls")[1]
        password = unicode_of(password_hex)
        for name in ("pivot-table.xls", "pivot-table-calc-saved.xls"):
            with self.subTest(workbook=name):
                source = os.path.join(DATA, name)
                path = self.encrypt(source, password_hex, "encrypted-" + name)
                self.assertIn(b"Nitro", read(source))
                self.assertNotIn(b"Nitro", read(path))
                self.assert_streams_come_back(source, path, password)
                pivot = checks.pivot_tables(self.office, source)
                self.assertIn("Nitro", pivot)
                self.assertEqual(checks.pivot_tables(self.office, path, password), pivot)

    def test_older_encrypted_and_foreign_workbooks_are_refused(self):
        password_hex = passwords("xls")[0]
        biff5 = workbooks.make_biff5_xls(os.path.join(self.folder, "biff5.xls"),
                                         suite.CONVERT_PROFILE)
        encrypted = self.encrypt(self.plain, password_hex)
        by_office = self.office.convert(self.plain, os.path.join(self.folder, "office.xls"),
                                        password="secret")
        package = workbooks.make_xlsx(os.path.join(self.folder, "package.xlsx"))
        locked_package = tool("xlsx", package, os.path.join(self.folder, "locked.xlsx"),
                              password_hex)
        self.assertEqual(locked_package.returncode, 0)
        for source, reason in ((biff5, "older-binary-format"), (encrypted, "already-encrypted"),
                               (by_office, "already-encrypted"), (package, "not-a-workbook-file"),
                               (os.path.join(self.folder, "locked.xlsx"), "already-encrypted")):
            with self.subTest(source=os.path.basename(source)):
                result = tool("xls", source, os.path.join(self.folder, "refused.xls"), password_hex)
                self.assertEqual(result.returncode, REFUSED, result.stderr)
                self.assertTrue(result.stdout.startswith(f"refused {reason}:"), result.stdout)
        result = tool("xlsx", encrypted, os.path.join(self.folder, "refused.xlsx"), password_hex)
        self.assertEqual(result.returncode, REFUSED)
        self.assertTrue(result.stdout.startswith("refused not-a-workbook-file:"), result.stdout)


class PublicWorkbooks(unittest.TestCase):
    """Workbooks Excel wrote, encrypted as the backup copy is: msoffcrypto gives each back, and
    the older binary ones are refused."""

    def test_every_public_workbook_comes_back(self):
        folder = suite.fresh_folder("encryption/public")
        books = public_workbooks.workbooks(suite.OUTPUT)
        self.assertGreater(len(books), 30)
        password_hex = passwords("xls")[2]
        for book in books:
            with self.subTest(book=book.name):
                kind = "xls" if book.suffix == ".xls" else "xlsx"
                target = os.path.join(folder, book.name)
                result = tool(kind, str(book), target, password_hex)
                if book.name in public_workbooks.EXCEL_95:
                    self.assertEqual(result.returncode, REFUSED, result.stdout + result.stderr)
                    self.assertTrue(result.stdout.startswith("refused older-binary-format:"))
                    continue
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertTrue(checks.gives_back(target, book.read_bytes(),
                                                  unicode_of(password_hex)))
                self.assertTrue(checks.refuses(target, wrong(unicode_of(password_hex))))


del Encryption

if __name__ == "__main__":
    unittest.main(verbosity=2)
