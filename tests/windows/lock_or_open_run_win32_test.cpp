// The lock road on Windows file attributes: the attribute word is read before anything changes
// and put back whole on the workbook and on its backup copy; the read-only bit is what stands in
// the way of the replacement.
#include <windows.h>

#include <gtest/gtest.h>

#include "fakes/run_fixture.h"
#include "platform/text_codec.h"
#include "support/texts.h"

namespace kovrisk::testing {
namespace {

using Lines = std::vector<std::string>;

DWORD attributesOf(const NativePath& path) {
    return ::GetFileAttributesW(path.c_str());
}

// Sets `word` and returns what the file system kept of it.
DWORD give(const NativePath& path, DWORD word) {
    EXPECT_TRUE(::SetFileAttributesW(path.c_str(), word));
    return attributesOf(path);
}

std::string str(std::string_view text) {
    return std::string(text);
}

class LockOrOpenRunWin32Test : public RunFixture {
protected:
    void TearDown() override {
        // Let the temporary folder go.
        for (const NativePath& path : {temp / "work" / "Book1.xlsx", backupOf("Book1.xlsx")}) {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }

    void expectLocked(const NativePath& path, const std::string& password) {
        const StandinWorkbook book = readStandinWorkbook(path, password);
        EXPECT_EQ(book.sheets.back().name, "Kovrisk");
    }
};

TEST_F(LockOrOpenRunWin32Test, ReadOnlyWorkbookIsLockedAndStaysReadOnlyAsDoesItsBackup) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const DWORD word = give(target, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(word & FILE_ATTRIBUTE_READONLY);
    run(target);

    const Lines lines = log();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(
        Lines(lines.begin() + 4, lines.begin() + 7),
        (Lines{"fncXlsPwdChg():TRY OPEN", toShiftJis(target), str(texts::kRemovingReadOnly)}));
    EXPECT_EQ(lines.back(), str(texts::kLocked));
    expectLocked(target, passwordFor("Book1.xlsx"));
    readStandinWorkbook(backupOf("Book1.xlsx"), "MIRTHOLAN");
    EXPECT_EQ(attributesOf(target), word);
    EXPECT_EQ(attributesOf(backupOf("Book1.xlsx")), word);
}

TEST_F(LockOrOpenRunWin32Test, BackupCopyTakesTheWorkbooksAttributeWordNotItsOwn) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const DWORD word = give(target, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    std::filesystem::create_directories(backupOf("Book1.xlsx").parent_path());
    writeStandinWorkbook(backupOf("Book1.xlsx"), plainBook());
    give(backupOf("Book1.xlsx"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    run(target);

    const Lines lines = log();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[4], toShiftJis(backupOf("Book1.xlsx")));
    EXPECT_EQ(lines[5], str(texts::kRemovingReadOnly));
    EXPECT_EQ(lines.back(), str(texts::kLocked));
    EXPECT_EQ(attributesOf(target), word);
    EXPECT_EQ(attributesOf(backupOf("Book1.xlsx")), word);
    readStandinWorkbook(backupOf("Book1.xlsx"), "MIRTHOLAN");
}

TEST_F(LockOrOpenRunWin32Test, FailedReplacementKeepsTheReadOnlyWorkbookAsItWas) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const DWORD word = give(target, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const std::string before = readFile(target);
    files.failReplace = [&target](const NativePath&, const NativePath& to) { return to == target; };
    run(target);

    const Lines lines = log();
    EXPECT_EQ(
        Lines(lines.end() - 3, lines.end()),
        (Lines{str(texts::kRemovingReadOnly), str(texts::kDeleteError), str(texts::kLockFailed)}));
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(attributesOf(target), word);
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace
}  // namespace kovrisk::testing
