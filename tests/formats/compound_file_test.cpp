#include "formats/compound_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "formats/compound_file_format.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption {
namespace {

using Entry = CompoundEntry;

std::string bytesOf(std::size_t size, char seed) {
    std::string out(size, '\0');
    for (std::size_t n = 0; n < size; ++n)
        out[n] = static_cast<char>(seed + n * 7 + n / 251);
    return out;
}

void expectSameTree(const Entry& expected, const Entry& actual) {
    ASSERT_EQ(expected.kind, actual.kind);
    EXPECT_EQ(compareEntryNames(expected.name, actual.name), 0);
    EXPECT_EQ(expected.data, actual.data) << "stream of " << expected.data.size() << " bytes";
    EXPECT_EQ(expected.classId, actual.classId);
    ASSERT_EQ(expected.children.size(), actual.children.size());
    for (const Entry& child : expected.children) {
        const Entry* found = actual.child(child.name);
        ASSERT_NE(found, nullptr);
        expectSameTree(child, *found);
    }
}

EncryptionRefusal refusalOf(std::string_view file) {
    try {
        readCompoundFile(file);
    } catch (const EncryptionRefused& refused) {
        return refused.reason();
    }
    ADD_FAILURE() << "read without refusal";
    return EncryptionRefusal::UnsuitablePassword;
}

TEST(CompoundFileTest, StreamsOfEverySizeAroundTheLimitsComeBackWhole) {
    Entry root = Entry::storage(std::u16string(kRootEntryName), {});
    root.classId = bytesOf(16, 'c');
    char16_t letter = u'A';
    for (const std::size_t size : {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 70000}) {
        root.children.push_back(Entry::stream(std::u16string(u"Stream") + letter++,
                                              bytesOf(size, static_cast<char>(size))));
    }
    Entry inner = Entry::storage(
        u"\x06"
        u"DataSpaces",
        {Entry::stream(u"Version", bytesOf(76, 'v'))});
    inner.children.push_back(
        Entry::storage(u"Nested", {Entry::stream(u"Deep", bytesOf(9000, 'd'))}));
    root.children.push_back(inner);
    const std::string file = writeCompoundFile(root);
    EXPECT_EQ((file.size() - cfb::kHeaderSize) % 512, 0u);
    expectSameTree(root, readCompoundFile(file));
}

TEST(CompoundFileTest, LargeStreamsNeedingMoreThan109TableSectorsComeBackWhole) {
    const Entry root = Entry::storage(u"Root Entry", {Entry::stream(u"Big", bytesOf(8 << 20, 'b')),
                                                      Entry::stream(u"Small", "tiny")});
    const std::string file = writeCompoundFile(root);
    EXPECT_GT(load32(file, cfb::kDifatSectorCountAt), 0u);
    EXPECT_GT(load32(file, cfb::kFatSectorCountAt), cfb::kHeaderDifatCount);
    expectSameTree(root, readCompoundFile(file));
}

TEST(CompoundFileTest, NamesOrderByLengthThenByUpperCase) {
    EXPECT_LT(compareEntryNames(u"Zz", u"aaa"), 0);
    EXPECT_EQ(compareEntryNames(u"Workbook", u"WORKBOOK"), 0);
    EXPECT_LT(compareEntryNames(u"abc", u"ABD"), 0);
    EXPECT_GT(compareEntryNames(u"\u00e9t\u00e9", u"\u00c9TA"), 0);
    // Beyond Latin-1, Greek and Cyrillic: Latin Extended, Armenian, Georgian, full-width Latin.
    EXPECT_EQ(
        compareEntryNames(u"\u0101\u00ff\u0561\u2d00\uff41", u"\u0100\u0178\u0531\u10a0\uff21"), 0);
    EXPECT_EQ(compareEntryNames(u"\u30d1", u"\u30d1"), 0);
}

// Every storage's children form a binary search tree in name order that is a valid red-black
// tree: no red node with a red child, the same number of black nodes on every path.
class SiblingTreeTest : public ::testing::TestWithParam<int> {};

TEST_P(SiblingTreeTest, IsAValidRedBlackTreeInNameOrder) {
    Entry root = Entry::storage(u"Root Entry", {});
    for (int n = 0; n < GetParam(); ++n)
        root.children.push_back(
            Entry::stream(u"Stream" + std::u16string(n % 5, u'_') + char16_t(u'a' + n), "x"));
    const std::string file = writeCompoundFile(root);
    const std::size_t directory =
        cfb::kHeaderSize + 512 * std::size_t{load32(file, cfb::kFirstDirectorySectorAt)};
    const auto entry = [&](std::uint32_t id) {
        return std::string_view(file).substr(directory + id * cfb::kDirectoryEntrySize,
                                             cfb::kDirectoryEntrySize);
    };
    const auto name = [&](std::uint32_t id) {
        std::u16string out;
        for (std::size_t at = 0; at + 2 < load16(entry(id), cfb::kNameLengthAt); at += 2)
            out += static_cast<char16_t>(load16(entry(id), at));
        return out;
    };
    std::vector<std::u16string> inOrder;
    // Returns the black height; checks colours on the way.
    std::function<int(std::uint32_t, bool)> walk = [&](std::uint32_t id, bool parentRed) {
        if (id == cfb::kNoStream)
            return 1;
        const bool red = entry(id)[cfb::kColorAt] == cfb::kRed;
        EXPECT_FALSE(red && parentRed) << "red node under a red node";
        const int left = walk(load32(entry(id), cfb::kLeftSiblingAt), red);
        inOrder.push_back(name(id));
        const int right = walk(load32(entry(id), cfb::kRightSiblingAt), red);
        EXPECT_EQ(left, right) << "black heights differ";
        return left + (red ? 0 : 1);
    };
    const std::uint32_t top = load32(entry(0), cfb::kChildAt);
    if (GetParam() > 0) {
        EXPECT_EQ(entry(top)[cfb::kColorAt], cfb::kBlack);
    }
    walk(top, false);
    ASSERT_EQ(inOrder.size(), static_cast<std::size_t>(GetParam()));
    for (std::size_t n = 1; n < inOrder.size(); ++n)
        EXPECT_LT(compareEntryNames(inOrder[n - 1], inOrder[n]), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SiblingTreeTest,
                         ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 15, 16, 23));

TEST(CompoundFileTest, WriterRefusesDuplicateAndOverlongNames) {
    EXPECT_THROW(writeCompoundFile(Entry::storage(
                     u"Root Entry", {Entry::stream(u"Book", "a"), Entry::stream(u"BOOK", "b")})),
                 std::invalid_argument);
    EXPECT_THROW(writeCompoundFile(
                     Entry::storage(u"Root Entry", {Entry::stream(std::u16string(32, u'n'), "")})),
                 std::invalid_argument);
}

TEST(CompoundFileTest, ReaderRefusesWhatIsNoCompoundFile) {
    EXPECT_EQ(refusalOf("PK\x03\x04 a zip package"), EncryptionRefusal::NotAWorkbookFile);
    EXPECT_EQ(refusalOf(""), EncryptionRefusal::NotAWorkbookFile);
}

TEST(CompoundFileTest, ReaderRefusesCutAndLoopingFiles) {
    const std::string file = writeCompoundFile(
        Entry::storage(u"Root Entry", {Entry::stream(u"Workbook", bytesOf(10000, 'w'))}));
    EXPECT_EQ(refusalOf(std::string_view(file).substr(0, 300)),
              EncryptionRefusal::DamagedCompoundFile);
    EXPECT_EQ(refusalOf(std::string_view(file).substr(0, 5000)),
              EncryptionRefusal::DamagedCompoundFile);

    // The workbook stream's first sector leads back to itself.
    std::string looping = file;
    const std::size_t fat = cfb::kHeaderSize + 512 * std::size_t{load32(file, cfb::kDifatAt)};
    store32(looping, fat, 0);
    EXPECT_EQ(refusalOf(looping), EncryptionRefusal::DamagedCompoundFile);

    // The root's child points past the directory.
    std::string pointing = file;
    const std::size_t directory =
        cfb::kHeaderSize + 512 * std::size_t{load32(file, cfb::kFirstDirectorySectorAt)};
    store32(pointing, directory + cfb::kChildAt, 4000);
    EXPECT_EQ(refusalOf(pointing), EncryptionRefusal::DamagedCompoundFile);
}

TEST(CompoundFileTest, ReaderRefusesAMiniStreamCutoffOtherThan4096) {
    std::string file = writeCompoundFile(
        Entry::storage(u"Root Entry", {Entry::stream(u"Workbook", bytesOf(5000, 'w'))}));
    store32(file, cfb::kMiniStreamCutoffAt, 8192);
    EXPECT_EQ(refusalOf(file), EncryptionRefusal::DamagedCompoundFile);
}

// Directory entries pointing at one chain: a few kilobytes would fill memory with copies.
TEST(CompoundFileTest, ReaderRefusesStreamsSharingSectors) {
    std::string file =
        writeCompoundFile(Entry::storage(u"Root Entry", {Entry::stream(u"A", bytesOf(5000, 'a')),
                                                         Entry::stream(u"B", bytesOf(5000, 'b'))}));
    const std::size_t directory =
        cfb::kHeaderSize + 512 * std::size_t{load32(file, cfb::kFirstDirectorySectorAt)};
    // Entries 1 and 2 are the streams, in name order.
    store32(file, directory + 2 * cfb::kDirectoryEntrySize + cfb::kStartSectorAt,
            load32(file, directory + cfb::kDirectoryEntrySize + cfb::kStartSectorAt));
    EXPECT_EQ(refusalOf(file), EncryptionRefusal::DamagedCompoundFile);
}

// Files that once made the reader read past its buffer or throw what it does not promise.
TEST(CompoundFileTest, ReaderRefusesFilesThatBrokeIt) {
    for (const char* name : {"cfb-difat-overread-min.xls", "cfb-difat-overread-fuzzer.bin",
                             "cfb-v4-size-wrap-length-error.xls"}) {
        std::ifstream in(std::string(KOVRISK_TEST_SOURCE_DIR) + "/fuzz/regressions/" + name,
                         std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        ASSERT_FALSE(bytes.str().empty()) << name;
        EXPECT_EQ(refusalOf(bytes.str()), EncryptionRefusal::DamagedCompoundFile) << name;
    }
}

}  // namespace
}  // namespace kovrisk::encryption
