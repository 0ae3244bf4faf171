#include "formats/sheet_password_hash.h"

#include <gtest/gtest.h>

namespace kovrisk::formats {
namespace {

TEST(SheetPasswordHashTest, MatchesTheVerifiersExcelWrites) {
    EXPECT_EQ(sheetPasswordHash(u"abc"), 0xCC1A);
    EXPECT_EQ(sheetPasswordHashText(u"KorvenatePlume!"), "C23D");
    EXPECT_EQ(sheetPasswordHash(u""), 0xCE4B);
}

}  // namespace
}  // namespace kovrisk::formats
