// Structure of encrypted packages.  Whether others can decrypt them is shown by the integration
// suite (msoffcrypto-tool, officecrypto-tool, LibreOffice).
#include <gtest/gtest.h>

#include "fakes/hex_bytes.h"
#include "fakes/scripted_random_crypto.h"
#include "formats/compound_file_reader.h"
#include "formats/little_endian.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk::encryption {
namespace {

using testing::hex;

std::string packageOf(std::size_t size) {
    std::string out = "PK\x03\x04";
    for (std::size_t n = 4; n < size; ++n)
        out += static_cast<char>(n * 31 + n / 97);
    return out;
}

// Every random value: key data salt, password salt, verifier, secret key, HMAC key.
const std::string kRandom = std::string(16, 'k') + std::string(16, 's') + std::string(16, 'v') +
                            std::string(32, 'K') + std::string(64, 'H');

CompoundEntry encrypted(const std::string& package, std::u16string_view password = u"pw") {
    testing::ScriptedRandomCrypto crypto(kRandom);
    return readCompoundFile(encryptOoxml(package, password, crypto));
}

const std::string& streamAt(const CompoundEntry& root,
                            std::initializer_list<std::u16string_view> path) {
    const CompoundEntry* entry = &root;
    for (const std::u16string_view name : path) {
        entry = entry->child(name);
        if (entry == nullptr)
            throw std::runtime_error("missing entry");
    }
    return entry->data;
}

EncryptionRefusal refusalOf(std::string_view package, std::u16string_view password) {
    testing::ScriptedRandomCrypto crypto;
    try {
        encryptOoxml(package, password, crypto);
    } catch (const EncryptionRefused& refused) {
        return refused.reason();
    }
    ADD_FAILURE() << "encrypted without refusal";
    return EncryptionRefusal::NotAWorkbookFile;
}

// The data space streams byte for byte as Excel writes them.
TEST(OoxmlEncryptionTest, DataSpacesAreThoseExcelWrites) {
    const CompoundEntry root = encrypted(packageOf(100));
    const std::u16string dataSpaces =
        u"\x06"
        u"DataSpaces";
    EXPECT_EQ(hex(streamAt(root, {dataSpaces, u"Version"})),
              "3c0000004d006900630072006f0073006f00660074002e0043006f006e007400610069006e00650072"
              "002e004400610074006100530070006100630065007300010000000100000001000000");
    EXPECT_EQ(hex(streamAt(root, {dataSpaces, u"DataSpaceMap"})),
              "08000000010000006800000001000000000000002000000045006e0063007200790070007400650064"
              "005000610063006b00610067006500320000005300740072006f006e00670045006e00630072007900"
              "7000740069006f006e004400610074006100530070006100630065000000");
    EXPECT_EQ(hex(streamAt(root, {dataSpaces, u"DataSpaceInfo", u"StrongEncryptionDataSpace"})),
              "0800000001000000320000005300740072006f006e00670045006e006300720079007000740069006f"
              "006e005400720061006e00730066006f0072006d000000");
    EXPECT_EQ(hex(streamAt(root, {dataSpaces, u"TransformInfo", u"StrongEncryptionTransform",
                                  u"\x06Primary"})),
              "58000000010000004c0000007b00460046003900410033004600300033002d0035003600450046002d"
              "0034003600310033002d0042004400440035002d003500410034003100430031004400300037003200"
              "340036007d004e0000004d006900630072006f0073006f00660074002e0043006f006e007400610069"
              "006e00650072002e0045006e006300720079007000740069006f006e005400720061006e0073006600"
              "6f0072006d00000001000000010000000100000000000000000000000000000004000000");
}

TEST(OoxmlEncryptionTest, EncryptionInfoIsAgileVersion44WithExcelsParameters) {
    const std::string info = streamAt(encrypted(packageOf(100)), {u"EncryptionInfo"});
    EXPECT_EQ(hex(info.substr(0, 8)), "0400040040000000");
    const std::string xml = info.substr(8);
    EXPECT_EQ(
        xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<encryption ",
                  0),
        0u);
    for (const char* expected :
         {"<keyData saltSize=\"16\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" "
          "cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" "
          "saltValue=\"a2tra2tra2tra2tra2traw==\"",  // base64 of sixteen 'k'
          "<p:encryptedKey spinCount=\"100000\" saltSize=\"16\"",
          "saltValue=\"c3Nzc3Nzc3Nzc3Nzc3Nzcw==\"", "encryptedHmacKey=\"", "encryptedHmacValue=\"",
          "encryptedVerifierHashInput=\"", "encryptedKeyValue=\"", "</encryption>"}) {
        EXPECT_NE(xml.find(expected), std::string::npos) << expected;
    }
}

TEST(OoxmlEncryptionTest, EncryptedPackageHoldsTheSizeAndWholeBlocks) {
    for (const std::size_t size : {4u, 4096u, 4097u, 10000u}) {
        const std::string package = packageOf(size);
        const std::string stream = streamAt(encrypted(package), {u"EncryptedPackage"});
        EXPECT_EQ(load64(stream, 0), size);
        EXPECT_EQ(stream.size(), 8 + (size + 15) / 16 * 16);
        EXPECT_EQ(stream.find(package.substr(0, 16)), std::string::npos);
    }
}

TEST(OoxmlEncryptionTest, SegmentsAreEncryptedEachUnderItsOwnIv) {
    // Two equal segments encrypt differently.
    const std::string package = "PK\x03\x04" + std::string(8192 - 4, 'z');
    std::string twice = package.substr(4096) + package.substr(4096);
    twice.replace(0, 4, "PK\x03\x04");
    const std::string stream = streamAt(encrypted(twice), {u"EncryptedPackage"});
    EXPECT_NE(stream.substr(8 + 16, 4080), stream.substr(8 + 4096 + 16, 4080));
}

TEST(OoxmlEncryptionTest, SameRandomValuesGiveTheSameFileAndPasswordsMatter) {
    testing::ScriptedRandomCrypto first(kRandom);
    testing::ScriptedRandomCrypto second(kRandom);
    testing::ScriptedRandomCrypto third(kRandom);
    const std::string package = packageOf(5000);
    const std::string a = encryptOoxml(package, u"\u30d1\u0010", first);
    EXPECT_EQ(a, encryptOoxml(package, u"\u30d1\u0010", second));
    EXPECT_NE(a, encryptOoxml(package, u"\u30d1\u0011", third));
    EXPECT_EQ(first.randomRequests, 5);
}

TEST(OoxmlEncryptionTest, RefusesAnEncryptedPackage) {
    testing::ScriptedRandomCrypto crypto;
    EXPECT_EQ(refusalOf(encryptOoxml(packageOf(100), u"pw", crypto), u"pw"),
              EncryptionRefusal::AlreadyEncrypted);
}

TEST(OoxmlEncryptionTest, RefusesWhatIsNoPackageAndUnsuitablePasswords) {
    EXPECT_EQ(refusalOf("\xD0\xCF\x11\xE0 not a package", u"pw"),
              EncryptionRefusal::NotAWorkbookFile);
    EXPECT_EQ(refusalOf(packageOf(10), u""), EncryptionRefusal::UnsuitablePassword);
    EXPECT_EQ(refusalOf(packageOf(10), std::u16string(256, u'p')),
              EncryptionRefusal::UnsuitablePassword);
}

}  // namespace
}  // namespace kovrisk::encryption
