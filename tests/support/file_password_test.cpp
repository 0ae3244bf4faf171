#include "support/file_password.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kovrisk {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string passwordOf(const std::string& fileName) {
    PasswordBuffer buffer;
    EXPECT_TRUE(fncPwdMake(fileName, buffer));
    return buffer.text();
}

struct Vector {
    std::string fileName;
    std::string password;  // hex
};

class FilePasswordVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(FilePasswordVectors, DerivesExactBytes) {
    EXPECT_EQ(hex(passwordOf(GetParam().fileName)), GetParam().password);
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, FilePasswordVectors,
                         ::testing::Values(
                             // Short stem: pad, then the stem.
                             Vector{"Report.xls", "656d5b576f61677d635b351f211b17"},
                             // Letter case matters.
                             Vector{"report.xls", "656d5b576f61677d631b351f211b17"},
                             Vector{"REPORT.xls", "656d5b576f61677d635b755f615b57"},
                             // A stem of 10 bytes is used unchanged.
                             Vector{"ABCDEFGHIJ.xls", "7d7b79777573716f6d6b"},
                             // A stem of 9 bytes keeps its first 6 behind the pad.
                             Vector{"ABCDEFGHI.xls", "656d5b576f61677d637d7b79777573"},
                             // An empty stem gives the pad alone.
                             Vector{".xls", "656d5b576f61677d63"},
                             // Only the part from the last dot is the extension.
                             Vector{"a.b.xls", "656d5b576f61677d633da33b"},
                             // No dot: the name is its own stem.
                             Vector{"Book1", "656d5b576f61677d637b2121299d"},
                             // Long stems are cut to 15 bytes.
                             Vector{"ABCDEFGHIJKLMNOPQ.xlsx", "7d7b79777573716f6d6b6967656361"},
                             // 表示テスト帳票.xls: a double-byte character cut by the 15-byte limit
                             // gives its first byte only.
                             Vector{"\x95\x5C\x8E\xA6\x83\x65\x83\x58\x83\x67\x92\xA0\x95\x5B.xls",
                                    "d547e3b3f935f94ff931dbbfd549"},
                             // The top bit is lost: 0x80 and 0x00 would give the same byte.
                             Vector{"\x80"
                                    "A.xls",
                                    "656d5b576f61677d63ff7d"}));

TEST(FilePassword, SameStemSharesThePasswordWhateverItsExtensionOrFolder) {
    EXPECT_EQ(passwordOf("Report.xls"), passwordOf("Report.xlsx"));
    EXPECT_EQ(passwordOf("ABCDEFGHI.xls"), passwordOf("ABCDEFXYZ.xlsx"));
    EXPECT_EQ(passwordOf("ABCDEFGHIJKLMNO1.xls"), passwordOf("ABCDEFGHIJKLMNO2.xls"));
}

TEST(FilePassword, BufferIsZeroFilledBehindThePasswordAfterEveryDerivation) {
    PasswordBuffer buffer;
    buffer.bytes.fill(0x55);
    ASSERT_TRUE(fncPwdMake("ABCDEFGHIJKLMNOPQRSTUVWXYZ.xls", buffer));
    ASSERT_TRUE(fncPwdMake(".xls", buffer));
    EXPECT_EQ(buffer.text().size(), 9u);
    EXPECT_TRUE(std::all_of(buffer.bytes.begin() + 9, buffer.bytes.end(),
                            [](unsigned char b) { return b == 0; }));
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(buffer.bytes[i] & 1, 1) << i;
}

}  // namespace
}  // namespace kovrisk
