#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace kovrisk {
namespace {

// This file's narrow literals are Shift-JIS; UTF-8 text is written as u8 literals.
std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

TEST(TextCodec, Utf8AndShiftJisRoundTrip) {
    const std::string text = utf8(u8"表示/コヴリスク（フリー版）ｺﾞ-abc");
    const std::string sjis = toShiftJis(NativeString(text));
    EXPECT_EQ(sjis.substr(0, 5), "\x95\x5C\x8E\xA6/");
    EXPECT_EQ(fromShiftJis(sjis), text);
}

TEST(TextCodec, WhatShiftJisCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(toShiftJis(NativeString(utf8(u8"a\U0001F600b\u00E9c"))), "a?b?c");
    EXPECT_EQ(toShiftJis(NativeString("a\xFF"
                                      "b")),
              "a?b");
    EXPECT_EQ(fromShiftJis("a\x85\x40"
                           "b"),
              "a?b");
}

TEST(TextCodec, PasswordBytesReachUnicodeAsWindowsConvertsThem) {
    // Whole characters, a half-width katakana, the bytes Windows maps to private use, a lone
    // lead byte at the end, and a lead byte that swallows the control byte after it.
    EXPECT_EQ(shiftJisToUtf16("A\x95\x5C\xB1"), u"A\u8868\uFF71");
    EXPECT_EQ(shiftJisToUtf16("\x80\xA0\xFD\xFE\xFF"), u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3");
    EXPECT_EQ(shiftJisToUtf16("a\x9B"), u"a\u30FB");
    EXPECT_EQ(shiftJisToUtf16("\x9B\x1F"
                              "b"),
              u"\u30FB"
              "b");
    EXPECT_EQ(shiftJisToUtf16(std::string("\x01\x00", 2)), std::u16string(u"\u0001\u0000", 2));
    EXPECT_EQ(shiftJisToUtf16(std::string("\x9B\x00"
                                          "b",
                                          3)),
              std::u16string(u"\u30FB\u0000b", 3));
}

}  // namespace
}  // namespace kovrisk
