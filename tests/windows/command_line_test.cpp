#include "app/win32/command_line.h"

#include <gtest/gtest.h>

namespace kovrisk {
namespace {

using Arguments = std::vector<std::wstring>;

TEST(ProgramArguments, AreSeparatedByBlanksAndControlCharacters) {
    EXPECT_EQ(programArguments(L"kovrisk.exe a.xls"), Arguments({L"a.xls"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe   a.xls \t b.xlsx\r\n"),
              Arguments({L"a.xls", L"b.xlsx"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe a\x01"
                               L"b\x1f"
                               L"c"),
              Arguments({L"a", L"b", L"c"}));
}

TEST(ProgramArguments, DoubleQuotesGroupBlanksAndVanish) {
    EXPECT_EQ(programArguments(L"kovrisk.exe \"C:\\My Books\\Book 1.xls\""),
              Arguments({L"C:\\My Books\\Book 1.xls"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe C:\\\"My Books\"\\x.xls"),
              Arguments({L"C:\\My Books\\x.xls"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe \"a\"\"b\" c"), Arguments({L"ab", L"c"}));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(programArguments(L"kovrisk.exe \"a b"), Arguments({L"a b"}));
}

TEST(ProgramArguments, BackslashesAreOrdinaryCharacters) {
    // Unlike CommandLineToArgvW, a backslash before a quote escapes nothing.
    EXPECT_EQ(programArguments(L"kovrisk.exe \"C:\\Books\\\" x"),
              Arguments({L"C:\\Books\\", L"x"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe \\\\server\\share\\a.xls"),
              Arguments({L"\\\\server\\share\\a.xls"}));
}

TEST(ProgramArguments, AnEmptyPairOfQuotesIsNoArgument) {
    EXPECT_EQ(programArguments(L"kovrisk.exe \"\""), Arguments());
    EXPECT_EQ(programArguments(L"kovrisk.exe \"\" a.xls \"\""), Arguments({L"a.xls"}));
    EXPECT_EQ(programArguments(L"kovrisk.exe"), Arguments());
    EXPECT_EQ(programArguments(L""), Arguments());
}

TEST(ProgramArguments, SkipTheProgramsOwnNameHoweverItIsWritten) {
    EXPECT_EQ(programArguments(L"\"C:\\Program Files\\Kovrisk\\kovrisk.exe\" a.xls"),
              Arguments({L"a.xls"}));
    EXPECT_EQ(programArguments(L"  C:\\k\"ov ri\"sk.exe a.xls"), Arguments({L"a.xls"}));
    // An empty name still takes the program's place.
    EXPECT_EQ(programArguments(L"\"\" a.xls"), Arguments({L"a.xls"}));
}

TEST(ProgramArguments, KeepJapaneseAndOtherWideCharacters) {
    EXPECT_EQ(programArguments(L"k.exe \"C:\\資料\\売上　2024.xlsx\""),
              Arguments({L"C:\\資料\\売上　2024.xlsx"}));
    // The ideographic space is no separator: only characters up to the blank are.
    EXPECT_EQ(programArguments(L"k.exe 売上　表.xls"), Arguments({L"売上　表.xls"}));
}

TEST(SplitCommandLine, KeepsTheFirstToken) {
    EXPECT_EQ(splitCommandLine(L"a \"\" b"), Arguments({L"a", L"b"}));
}

}  // namespace
}  // namespace kovrisk
