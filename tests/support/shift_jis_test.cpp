#include "support/shift_jis.h"

#include <gtest/gtest.h>

namespace kovrisk {
namespace {

// 表 is 0x95 0x5C in Shift-JIS: its second byte is a backslash.
const std::string kHyou = "\x95\x5C";

TEST(ShiftJisCaseFolding, ChangesOnlyAsciiLetterBytes) {
    // Byte by byte: a trail byte that looks like a letter (ア is 0x83 0x41) changes too, the
    // same way on every side of a comparison.
    const std::string mixed = "abz" + kHyou + "\x83\x41" + "AZ@[`{\xE0";
    EXPECT_EQ(asciiUpper(mixed), "ABZ" + kHyou + "\x83\x41" + "AZ@[`{\xE0");
    EXPECT_EQ(asciiLower(mixed), "abz" + kHyou + "\x83\x61" + "az@[`{\xE0");
}

TEST(ShiftJisTrim, RemovesControlBytesAndSpacesAtBothEnds) {
    EXPECT_EQ(trimControl(std::string("\t \r\n host \x01\x00", 12)), "host");
    EXPECT_EQ(trimControl(" a b "), "a b");
    EXPECT_EQ(trimControl("   "), "");
}

TEST(ShiftJisFileName, TrailBackslashIsNoSeparator) {
    // Folder name ending in 表, and a file name holding 表.
    const std::string folder = "C:\\data\\" + std::string("\x83\x66") + kHyou;
    const std::string file = "a" + kHyou + "b.xls";
    EXPECT_EQ(fileNamePart(folder + "\\" + file, PathStyle::Windows), file);
    EXPECT_EQ(fileNamePart(folder + "\\" + kHyou + ".xlsx", PathStyle::Windows), kHyou + ".xlsx");
    EXPECT_EQ(fileNamePart("C:book.xls", PathStyle::Windows), "book.xls");
    EXPECT_EQ(fileNamePart("C:/dir/book.xls", PathStyle::Windows), "book.xls");
    EXPECT_EQ(fileNamePart("/home/u/a\\b.xls", PathStyle::Posix), "a\\b.xls");
    EXPECT_EQ(fileNamePart("book.xls", PathStyle::Posix), "book.xls");
}

TEST(ShiftJisFileName, LeadByteAtTheEndDoesNotSwallowAnything) {
    EXPECT_EQ(fileNamePart("dir\\x\x95", PathStyle::Windows), "x\x95");
}

TEST(ShiftJisExtension, RunsFromTheLastDotOfTheFileName) {
    EXPECT_EQ(extensionOf("book1.xls"), ".xls");
    EXPECT_EQ(extensionOf("book1.xls.bak"), ".bak");
    EXPECT_EQ(extensionOf("book1"), "");
    EXPECT_EQ(extensionOf(".xls"), ".xls");
    EXPECT_EQ(extensionOf(fileNamePart("C:\\a.xls\\book1", PathStyle::Windows)), "");
}

}  // namespace
}  // namespace kovrisk
