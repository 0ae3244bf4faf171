// Structure of encrypted binary workbooks.  Whether others can decrypt them is shown by the
// integration suite (msoffcrypto-tool, LibreOffice); here RC4 being its own inverse lets the test
// look at the decrypted records.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fakes/hex_bytes.h"
#include "fakes/scripted_random_crypto.h"
#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "workbook/encryption/rc4_cryptoapi.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk::encryption {
namespace {

using testing::hex;
using testing::unhex;

void record(std::string& stream, std::uint16_t type, const std::string& data) {
    append16(stream, type);
    append16(stream, static_cast<std::uint16_t>(data.size()));
    stream += data;
}

std::string bof(std::uint16_t version, std::uint16_t substream) {
    std::string data;
    append16(data, version);
    append16(data, substream);
    data += unhex("c1200000 06080000 0600 0000");  // build, year, history, lowest version
    return data;
}

std::string u32(std::uint32_t value) {
    std::string out;
    append32(out, value);
    return out;
}

// A small BIFF8 workbook stream: globals with two sheets, the first holding an embedded chart,
// INDEX and DBCELL, the second empty; enough filler to span several 1024-byte blocks.  The
// positions it records are where those records are.
struct Workbook {
    std::string stream;
    std::vector<std::size_t> sheetPositions;
    std::size_t defColWidthAt = 0;
    std::size_t dbCellAt = 0;
    std::size_t sstAt = 0;
};

Workbook makeWorkbook(std::uint16_t version = biff::kBiff8Version, bool writeProtected = false) {
    Workbook w;
    std::string& s = w.stream;
    record(s, biff::kBof, bof(version, biff::kGlobalsSubstream));
    if (writeProtected)
        record(s, biff::kWriteProtect, "");
    record(s, biff::kInterfaceHdr, unhex("b004"));
    record(s, 0x005C, std::string(112, ' '));  // WRITEACCESS
    const std::size_t sheet1At = s.size();
    record(s, biff::kBoundSheet8, u32(0) + unhex("0000 0600") + "Sheet1");
    const std::size_t sheet2At = s.size();
    record(s, biff::kBoundSheet8, u32(0) + unhex("0000 0600") + "Sheet2");
    for (int n = 0; n < 30; ++n)
        record(s, 0x0031, std::string(60, static_cast<char>('a' + n % 26)));  // FONT-like filler
    w.sstAt = s.size();
    record(s, 0x00FC, unhex("01000000 01000000 0300 00") + "abc");  // SST
    const std::size_t extSstAt = s.size();
    // Two buckets, the second unused: its position is no position.
    record(s, biff::kExtSst,
           unhex("0800") + u32(0) + unhex("0c00 0000") + u32(0xFFFFFFFF) + unhex("ffff ffff"));
    record(s, biff::kEof, "");

    w.sheetPositions.push_back(s.size());
    record(s, biff::kBof, bof(version, 0x0010));
    const std::size_t indexAt = s.size();
    record(s, biff::kIndex, u32(0) + u32(0) + u32(1) + u32(0) + u32(0));
    w.defColWidthAt = s.size();
    record(s, 0x0055, unhex("0800"));  // DEFCOLWIDTH
    for (int n = 0; n < 20; ++n)
        record(s, 0x0208, std::string(16, static_cast<char>(n)));  // ROW
    w.dbCellAt = s.size();
    record(s, 0x00D7, u32(336) + unhex("0000"));  // DBCELL: relative offsets
    record(s, biff::kBof, bof(version, 0x0020));  // the embedded chart
    record(s, 0x1002, std::string(16, 'c'));      // CHART
    record(s, biff::kEof, "");
    record(s, biff::kEof, "");
    w.sheetPositions.push_back(s.size());
    record(s, biff::kBof, bof(version, 0x0010));
    record(s, biff::kEof, "");

    store32(s, sheet1At + 4, static_cast<std::uint32_t>(w.sheetPositions[0]));
    store32(s, sheet2At + 4, static_cast<std::uint32_t>(w.sheetPositions[1]));
    store32(s, extSstAt + 6, static_cast<std::uint32_t>(w.sstAt));
    store32(s, indexAt + 4 + 12, static_cast<std::uint32_t>(w.defColWidthAt));
    store32(s, indexAt + 4 + 16, static_cast<std::uint32_t>(w.dbCellAt));
    return w;
}

const std::string kSummary = "\xFE\xFF document properties";

std::string compoundFileOf(const std::string& workbookStream,
                           const std::u16string& streamName = u"Workbook") {
    CompoundEntry root = CompoundEntry::storage(u"Root Entry", {});
    root.children.push_back(CompoundEntry::stream(streamName, workbookStream));
    root.children.push_back(CompoundEntry::stream(u"\x05SummaryInformation", kSummary));
    return writeCompoundFile(root);
}

const std::string kSalt = "0123456789abcdef";
const std::string kVerifier = "verifier16bytes!";

struct Encrypted {
    CompoundEntry root;
    std::string stream;
};

Encrypted encrypt(const std::string& workbookStream, std::u16string_view password = u"pw") {
    testing::ScriptedRandomCrypto crypto(kSalt + kVerifier);
    Encrypted out{readCompoundFile(encryptBiff8(compoundFileOf(workbookStream), password, crypto)),
                  {}};
    out.stream = out.root.child(u"Workbook")->data;
    return out;
}

// The stream with every record's data passed through the key stream, as a decryptor does it.
std::string decrypted(std::string stream, std::u16string_view password) {
    testing::ScriptedRandomCrypto crypto;
    Rc4CryptoApiStream cipher(crypto, rc4CryptoApiPasswordHash(crypto, password, kSalt));
    for (const biff::Record& r : biff::readRecords(stream)) {
        if (r.type != biff::kBof && r.type != biff::kFilePass && r.type != biff::kInterfaceHdr)
            cipher.apply(stream, r.dataAt() + (r.type == biff::kBoundSheet8 ? 4 : 0), r.end());
    }
    return stream;
}

constexpr std::size_t kFilePassRecordSize = 4 + 200;

EncryptionRefusal refusalOf(const std::string& file, std::u16string_view password = u"pw") {
    testing::ScriptedRandomCrypto crypto;
    try {
        encryptBiff8(file, password, crypto);
    } catch (const EncryptionRefused& refused) {
        return refused.reason();
    }
    ADD_FAILURE() << "encrypted without refusal";
    return EncryptionRefusal::NotAWorkbookFile;
}

TEST(Biff8EncryptionTest, FilePassFollowsTheFirstBofWithExcelsHeader) {
    const Workbook plain = makeWorkbook();
    const Encrypted encrypted = encrypt(plain.stream);
    const std::vector<biff::Record> records = biff::readRecords(encrypted.stream);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0].type, biff::kBof);
    ASSERT_EQ(records[1].type, biff::kFilePass);
    ASSERT_EQ(records[1].length, 200);
    // As in a workbook Excel encrypted: RC4, header 4.2, CryptoAPI with document properties in
    // the clear, RC4 (0x6801) with SHA-1 (0x8004), 128 bits, the enhanced provider, 16-byte salt.
    const std::string_view data = std::string_view(encrypted.stream).substr(records[1].dataAt());
    EXPECT_EQ(hex(data.substr(0, 46)),
              "0100040002000c0000007e0000000c000000000000000168000004800000"
              "80000000010000000000000000000000");
    EXPECT_EQ(data.substr(46, 94),
              utf16LittleEndian(u"Microsoft Enhanced Cryptographic Provider v1.0") +
                  std::string(2, '\0'));
    EXPECT_EQ(hex(data.substr(140, 4)), "10000000");
    EXPECT_EQ(data.substr(144, 16), kSalt);
    EXPECT_EQ(hex(data.substr(176, 4)), "14000000");
}

TEST(Biff8EncryptionTest, RecordHeadersAndBofRecordsStayAsTheyWere) {
    const Workbook plain = makeWorkbook();
    const Encrypted encrypted = encrypt(plain.stream);
    std::vector<biff::Record> before = biff::readRecords(plain.stream);
    std::vector<biff::Record> after = biff::readRecords(encrypted.stream);
    after.erase(after.begin() + 1);
    ASSERT_EQ(before.size(), after.size());
    int bofs = 0;
    for (std::size_t n = 0; n < before.size(); ++n) {
        EXPECT_EQ(before[n].type, after[n].type);
        EXPECT_EQ(before[n].length, after[n].length);
        const std::string_view was =
            std::string_view(plain.stream).substr(before[n].dataAt(), before[n].length);
        const std::string_view is =
            std::string_view(encrypted.stream).substr(after[n].dataAt(), after[n].length);
        if (before[n].type == biff::kBof || before[n].type == biff::kInterfaceHdr) {
            EXPECT_EQ(hex(was), hex(is)) << "record " << n;
            bofs += before[n].type == biff::kBof;
        } else if (before[n].length >= 8 && before[n].type != biff::kBoundSheet8) {
            EXPECT_NE(was, is) << "record " << n << " left unencrypted";
        }
    }
    EXPECT_EQ(bofs, 4);  // globals, two sheets and the chart
}

TEST(Biff8EncryptionTest, DecryptedStreamIsTheOriginalWithFilePassAndPositionsMoved) {
    const Workbook plain = makeWorkbook();
    const std::string stream =
        decrypted(encrypt(plain.stream, u"\u30d1\u0010x").stream, u"\u30d1\u0010x");
    const std::size_t shift = kFilePassRecordSize;
    // Sheet positions, readable even before decryption, now point at the sheets' BOFs.
    std::vector<std::uint32_t> sheets;
    for (const biff::Record& r : biff::readRecords(stream)) {
        if (r.type == biff::kBoundSheet8)
            sheets.push_back(load32(stream, r.dataAt()));
        if (r.type == biff::kIndex) {
            EXPECT_EQ(load32(stream, r.dataAt() + 12), plain.defColWidthAt + shift);
            EXPECT_EQ(load32(stream, r.dataAt() + 16), plain.dbCellAt + shift);
        }
        if (r.type == biff::kExtSst) {
            EXPECT_EQ(load32(stream, r.dataAt() + 2), plain.sstAt + shift);
            EXPECT_EQ(load32(stream, r.dataAt() + 10), 0xFFFFFFFFu);
        }
    }
    ASSERT_EQ(sheets.size(), 2u);
    for (std::size_t n = 0; n < 2; ++n) {
        EXPECT_EQ(sheets[n], plain.sheetPositions[n] + shift);
        EXPECT_EQ(load16(stream, sheets[n]), biff::kBof);
    }
    // Take FILEPASS out and the positions back: the original stream, byte for byte.
    std::string restored = stream.substr(0, 20) + stream.substr(20 + shift);
    for (const biff::Record& r : biff::readRecords(restored)) {
        const auto unshift = [&](std::size_t at) {
            store32(restored, at, load32(restored, at) - shift);
        };
        if (r.type == biff::kBoundSheet8)
            unshift(r.dataAt());
        if (r.type == biff::kIndex) {
            unshift(r.dataAt() + 12);
            unshift(r.dataAt() + 16);
        }
        if (r.type == biff::kExtSst)
            unshift(r.dataAt() + 2);
    }
    EXPECT_EQ(hex(restored), hex(plain.stream));
}

TEST(Biff8EncryptionTest, FilePassFollowsWriteProtectWhereThatFollowsTheBof) {
    const Workbook plain = makeWorkbook(biff::kBiff8Version, true);
    const std::string stream = decrypted(encrypt(plain.stream).stream, u"pw");
    const std::vector<biff::Record> records = biff::readRecords(stream);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[1].type, biff::kWriteProtect);
    EXPECT_EQ(records[2].type, biff::kFilePass);
    for (const biff::Record& r : records) {
        if (r.type == biff::kBoundSheet8) {
            EXPECT_EQ(load16(stream, load32(stream, r.dataAt())), biff::kBof);
        }
    }
}

TEST(Biff8EncryptionTest, BytesTooFewForARecordAfterTheLastOneAreLeftOut) {
    const Workbook plain = makeWorkbook();
    const std::string stream = encrypt(plain.stream + std::string(4 + 3, '\0')).stream;
    EXPECT_EQ(stream.size(), plain.stream.size() + kFilePassRecordSize + 4);
    EXPECT_EQ(biff::readRecords(stream).back().end(), stream.size());
}

TEST(Biff8EncryptionTest, OtherStreamsStayAsTheyWere) {
    const Encrypted encrypted = encrypt(makeWorkbook().stream);
    ASSERT_NE(encrypted.root.child(u"\x05SummaryInformation"), nullptr);
    EXPECT_EQ(encrypted.root.child(u"\x05SummaryInformation")->data, kSummary);
}

std::string testData(const char* name) {
    std::ifstream file(std::string(KOVRISK_TEST_SOURCE_DIR) + "/workbook/encryption/data/" + name,
                       std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Workbooks with a pivot table, one as Excel wrote it, one as LibreOffice saved it.
TEST(Biff8EncryptionTest, PivotCachesAreEncryptedWithTheWorkbooksKey) {
    for (const char* name : {"pivot-table.xls", "pivot-table-calc-saved.xls"}) {
        const std::string file = testData(name);
        const CompoundEntry plain = readCompoundFile(file);
        const CompoundEntry* caches = plain.child(u"_SX_DB_CUR");
        ASSERT_NE(caches, nullptr) << name;
        ASSERT_FALSE(caches->children.empty());
        testing::ScriptedRandomCrypto crypto(kSalt + kVerifier);
        const std::string locked = encryptBiff8(file, u"MIRTHOLAN", crypto);
        // The cache's items are no longer readable anywhere in the file.
        EXPECT_NE(file.find("Nitro"), std::string::npos) << name;
        EXPECT_EQ(locked.find("Nitro"), std::string::npos) << name;
        const CompoundEntry root = readCompoundFile(locked);
        for (const CompoundEntry& cache : caches->children) {
            const CompoundEntry* encrypted = root.child(u"_SX_DB_CUR")->child(cache.name);
            ASSERT_NE(encrypted, nullptr);
            EXPECT_NE(encrypted->data, cache.data);
            // Decrypted from block 0 of its own, the stream is the cache as it was.
            EXPECT_EQ(hex(decrypted(encrypted->data, u"MIRTHOLAN")), hex(cache.data));
        }
    }
}

TEST(Biff8EncryptionTest, RefusesOlderFormatsAndEncryptedWorkbooks) {
    EXPECT_EQ(refusalOf(compoundFileOf(makeWorkbook(0x0500).stream)),
              EncryptionRefusal::OlderBinaryFormat);
    EXPECT_EQ(refusalOf(compoundFileOf(makeWorkbook(0x0500).stream, u"Book")),
              EncryptionRefusal::OlderBinaryFormat);
    testing::ScriptedRandomCrypto crypto;
    const std::string once = encryptBiff8(compoundFileOf(makeWorkbook().stream), u"pw", crypto);
    EXPECT_EQ(refusalOf(once), EncryptionRefusal::AlreadyEncrypted);
    // An encrypted package is a compound file too.
    const std::string package = encryptOoxml("PK\x03\x04 a package", u"pw", crypto);
    EXPECT_EQ(refusalOf(package), EncryptionRefusal::AlreadyEncrypted);
}

TEST(Biff8EncryptionTest, RefusesDamagedAndForeignInput) {
    // A last record whose length runs past the end of the stream.
    const std::string cut = makeWorkbook().stream + unhex("3c006400") + "ab";
    EXPECT_EQ(refusalOf(compoundFileOf(cut)), EncryptionRefusal::DamagedWorkbookStream);
    EXPECT_EQ(refusalOf(compoundFileOf(makeWorkbook().stream, u"Other")),
              EncryptionRefusal::NotAWorkbookFile);
    EXPECT_EQ(refusalOf("PK\x03\x04"), EncryptionRefusal::NotAWorkbookFile);
}

TEST(Biff8EncryptionTest, RefusesEmptyAndOverlongPasswords) {
    const std::string file = compoundFileOf(makeWorkbook().stream);
    EXPECT_EQ(refusalOf(file, u""), EncryptionRefusal::UnsuitablePassword);
    EXPECT_EQ(refusalOf(file, std::u16string(256, u'p')), EncryptionRefusal::UnsuitablePassword);
    testing::ScriptedRandomCrypto crypto;
    EXPECT_NO_THROW(encryptBiff8(file, std::u16string(255, u'p'), crypto));
}

}  // namespace
}  // namespace kovrisk::encryption
