// Shift-JIS conversion on Windows: code page 932 named explicitly, "?" for what it cannot hold.
#include <gtest/gtest.h>

#include "platform/text_codec.h"

namespace kovrisk {
namespace {

TEST(Win32TextCodec, ConvertsJapaneseBothWays) {
    const std::string katakana = "\x83\x52\x83\x94\x83\x8A\x83\x58\x83\x4E";  // コヴリスク
    EXPECT_EQ(toShiftJis(std::wstring(L"コヴリスク")), katakana);
    EXPECT_EQ(fromShiftJis(katakana), L"コヴリスク");
    // A trail byte 0x5C ("表" is 0x95 0x5C) stays part of its character.
    EXPECT_EQ(toShiftJis(std::wstring(L"C:\\表\\a.xls")), "C:\\\x95\x5C\\a.xls");
    EXPECT_EQ(fromShiftJis("C:\\\x95\x5C\\a.xls"), L"C:\\表\\a.xls");
    EXPECT_EQ(toShiftJis(NativePath(L"C:\\売上\\b.xlsx")), "C:\\\x94\x84\x8F\xE3\\b.xlsx");
}

TEST(Win32TextCodec, UsesCodePage932WhateverTheAnsiCodePageIs) {
    // Under wine the ANSI code page is 1252, where these bytes are "ƒR".
    EXPECT_EQ(fromShiftJis("\x83\x52"), L"コ");
    EXPECT_EQ(toShiftJis(std::wstring(L"ƒ")), "?");
}

TEST(Win32TextCodec, CharactersShiftJisCannotHoldBecomeQuestionMarksNeverLookAlikes) {
    // Windows' best fit would make "e" of "é" and a backslash of "¥", which would split a path.
    EXPECT_EQ(toShiftJis(std::wstring(L"caf\u00e9.xls")), "caf?.xls");
    EXPECT_EQ(toShiftJis(std::wstring(L"a\u00a5b")), "a?b");
    EXPECT_EQ(toShiftJis(std::wstring(L"a\u2215b")), "a?b");
    EXPECT_EQ(toShiftJis(std::wstring(L"x\xd800y")), "x?y");  // a lone surrogate
    const std::string emoji = toShiftJis(std::wstring(L"a\U0001F600b"));
    EXPECT_EQ(emoji.front(), 'a');
    EXPECT_EQ(emoji.back(), 'b');
    EXPECT_EQ(emoji.find_first_not_of('?', 1), emoji.size() - 1);
}

TEST(Win32TextCodec, EmptyAndEmbeddedZeros) {
    EXPECT_EQ(toShiftJis(std::wstring()), "");
    EXPECT_EQ(fromShiftJis(""), L"");
    EXPECT_EQ(shiftJisToUtf16(""), u"");
    EXPECT_EQ(toShiftJis(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Win32TextCodec, PasswordsGoToUtf16AsWindowsConvertsCodePage932) {
    // A derived password may hold bytes that are no whole character: each lead byte takes the byte
    // after it.
    const std::string password = "\x8D\x41Q\x9F";
    const std::wstring wide = fromShiftJis(password);
    EXPECT_EQ(shiftJisToUtf16(password), std::u16string(wide.begin(), wide.end()));
    EXPECT_EQ(shiftJisToUtf16("MIRTHOLAN"), u"MIRTHOLAN");
}

}  // namespace
}  // namespace kovrisk
