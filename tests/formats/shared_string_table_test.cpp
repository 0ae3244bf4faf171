#include "formats/shared_string_table.h"

#include <gtest/gtest.h>

#include "formats/little_endian.h"
#include "formats/xf_checksum.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption::biff {
namespace {

std::string record(std::uint16_t type, const std::string& data) {
    std::string out;
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(data.size()));
    return out + data;
}

TEST(SharedStringTableTest, StringsGoOnInContinueRecordsWithTheirOwnWidth) {
    // "abcd" in 8-bit characters, cut after "ab": the CONTINUE says its characters are 16-bit.
    std::string table;
    append32(table, 3);
    append32(table, 2);
    table += std::string(
        "\x04\x00\x00"
        "ab",
        5);
    const std::string rest = std::string("\x01", 1) + utf16LittleEndian(u"cd") +
                             std::string("\x02\x00\x08\x01\x00", 5) + "xy" + std::string(4, '\0');
    const std::string stream = record(kSst, table) + record(kContinue, rest) + record(kExtSst, "");
    const std::vector<Record> records = readRecords(stream);
    const SharedStrings read = readSharedStrings(stream, records, 0, {u"abcd", u"xy"});
    EXPECT_EQ(read.records, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(read.found, (std::vector<std::int64_t>{0, -1}));  // "xy" has formatting runs
    ASSERT_EQ(read.starts.size(), 2u);
    EXPECT_EQ(read.starts[1], records[1].dataAt() + 5);
    EXPECT_FALSE(read.trailingData);
    const std::string index = extSstData(read, 8);
    EXPECT_EQ(index.size(), extSstDataSize(2, 8));
    EXPECT_EQ(load32(index, 2), 12u);
    EXPECT_EQ(load16(index, 6), 12u);

    std::string cut = stream.substr(0, records[1].dataAt() + 3);
    cut.replace(records[1].at + 2, 2, std::string("\x03\x00", 2));
    EXPECT_THROW(readSharedStrings(cut, readRecords(cut), 0, {}), EncryptionRefused);
}

TEST(SharedStringTableTest, BucketsStayWhileTheyKeepTo128) {
    EXPECT_EQ(extSstBucketSize(100, 8), 8);
    EXPECT_EQ(extSstBucketSize(2000, 8), 16);
    EXPECT_EQ(extSstBucketSize(10, 0), 8);
}

TEST(XfChecksumTest, KnownAnswer) {
    std::string bytes;
    for (char c = 0; c < 20; ++c)
        bytes += c;
    EXPECT_EQ(formats::xfChecksum(0, bytes), 0x55B2B9BAu);
}

}  // namespace
}  // namespace kovrisk::encryption::biff
