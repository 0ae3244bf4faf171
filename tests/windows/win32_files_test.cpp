// Files on Windows through the wide Win32 functions, on real files in a temporary folder.
#include "platform/native_files.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "fakes/temp_folder.h"
#include "platform/clock.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_file_replacement.h"
#include "support/activity_log.h"
#include "support/texts.h"
#include "workbook/replacement_refusal.h"

namespace kovrisk {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

class Win32FilesTest : public ::testing::Test {
protected:
    TempFolder folder;
    NativeFiles files;
};

TEST_F(Win32FilesTest, AttributesAreTheWindowsAttributeWord) {
    const NativePath book = folder / "book.xls";
    EXPECT_FALSE(files.attributes(book));
    writeFile(book, "x");
    const std::optional<FileAttributes> plain = files.attributes(book);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->word, ::GetFileAttributesW(book.c_str()));
    EXPECT_FALSE(files.isReadOnly(*plain));

    ASSERT_TRUE(files.setAttributes(book, FileAttributes{plain->word | FILE_ATTRIBUTE_READONLY}));
    const std::optional<FileAttributes> readOnly = files.attributes(book);
    ASSERT_TRUE(readOnly);
    EXPECT_TRUE(files.isReadOnly(*readOnly));
    EXPECT_EQ(readOnly->word & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(files.withoutReadOnly(*readOnly).word, readOnly->word & ~FILE_ATTRIBUTE_READONLY);

    // The saved word is put back whole.
    ASSERT_TRUE(files.setAttributes(book, *plain));
    EXPECT_EQ(files.attributes(book)->word, plain->word);
    // An empty word clears every attribute.
    ASSERT_TRUE(files.setAttributes(book, FileAttributes{0}));
    EXPECT_FALSE(files.isReadOnly(*files.attributes(book)));
}

TEST_F(Win32FilesTest, TellsFilesFromFolders) {
    writeFile(folder / "a.xls", "x");
    EXPECT_TRUE(files.fileExists(folder / "a.xls"));
    EXPECT_FALSE(files.isDirectory(folder / "a.xls"));
    EXPECT_TRUE(files.isDirectory(folder.path()));
    EXPECT_FALSE(files.fileExists(folder.path()));
    EXPECT_FALSE(files.fileExists(folder / "missing.xls"));
    EXPECT_FALSE(files.isDirectory(folder / "missing"));
}

TEST_F(Win32FilesTest, CreatesEveryMissingFolder) {
    const NativePath deep = folder.path() / L"データ" / "Kovrisk" / "BackUp" / "";
    EXPECT_TRUE(files.createDirectories(deep));
    EXPECT_TRUE(files.isDirectory(folder.path() / L"データ" / "Kovrisk" / "BackUp"));
    EXPECT_TRUE(files.createDirectories(deep));  // already there
    writeFile(folder / "file", "x");
    EXPECT_FALSE(files.createDirectories(folder / "file" / "below"));
}

// The access control list of `path` in SDDL.
std::wstring accessOf(const NativePath& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    wchar_t* text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    ::LocalFree(descriptor);
    std::wstring sddl = text != nullptr ? text : L"(none)";
    ::LocalFree(text);
    return sddl;
}

// The program's folders are shared by the computer's users: one may append to the log another
// began, or replace the backup copy another made.  A backup copy made in a private folder takes
// the permissions of the folder it ends up in.
TEST_F(Win32FilesTest, MadeFoldersAndTheFilesPutInThemAreSharedByEveryLocalUser) {
    // Wine keeps no access control lists: it answers with one made from the Unix mode.
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
        GTEST_SKIP() << "wine keeps no access control lists; this holds on Windows only";
    const NativePath data = folder / "Kovrisk" / "BackUp";
    ASSERT_TRUE(files.createDirectories(data));
    const std::wstring everyUser = L"(A;OICI;0x1301bf;;;BU)";
    for (const NativePath& made : {folder / "Kovrisk", data})
        EXPECT_NE(accessOf(made).find(everyUser), std::wstring::npos) << accessOf(made);

    ReplacementRefusal refusal = ReplacementRefusal::None;
    const NativePath backup = data / "Book1.xlsx";
    {
        auto replacement = files.beginReplacement(backup, ".copy", refusal);
        ASSERT_TRUE(replacement);
        writeFile(replacement->newVersion(), "copy");
        ASSERT_TRUE(replacement->commit());
    }
    const std::wstring copied = accessOf(backup);
    EXPECT_NE(copied.find(L"(A;ID;0x1301bf;;;BU)"), std::wstring::npos) << copied;
}

TEST_F(Win32FilesTest, CopiesIntoANewFileOnly) {
    writeFile(folder.path() / L"売上.xls", "new");
    EXPECT_TRUE(files.copy(folder.path() / L"売上.xls", folder / "copy.xls"));
    EXPECT_EQ(readFile(folder / "copy.xls"), "new");
    writeFile(folder / "older.xls", "older");
    EXPECT_FALSE(files.copy(folder.path() / L"売上.xls", folder / "older.xls"));
    EXPECT_EQ(readFile(folder / "older.xls"), "older");
    EXPECT_FALSE(files.copy(folder / "missing.xls", folder / "other.xls"));
    EXPECT_FALSE(files.fileExists(folder / "other.xls"));
}

TEST_F(Win32FilesTest, ReplacesAFileInOneStepThroughAPrivateFolderBesideIt) {
    const NativePath book = folder.path() / L"売上.xls";
    writeFile(book, "plain");
    ASSERT_TRUE(files.setAttributes(book, FileAttributes{FILE_ATTRIBUTE_HIDDEN}));
    ReplacementRefusal refusal = ReplacementRefusal::NotARegularFile;
    NativePath privateFolder;
    {
        auto replacement = files.beginReplacement(book, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        EXPECT_EQ(refusal, ReplacementRefusal::None);
        privateFolder = replacement->newVersion().parent_path();
        EXPECT_EQ(privateFolder.parent_path(), book.parent_path());
        EXPECT_TRUE(files.isDirectory(privateFolder));
        // Never a longer path than the file's own with the suffix: Excel takes both or neither.
        EXPECT_EQ(replacement->newVersion().native().size(), book.native().size() + 4);
        // Nothing written yet: nothing to put in place.
        EXPECT_FALSE(replacement->commit());
        writeFile(replacement->newVersion(), "locked");
        EXPECT_TRUE(replacement->commit());
    }
    EXPECT_EQ(readFile(book), "locked");
    // The replaced file's attributes stay with its name.
    EXPECT_TRUE((files.attributes(book)->word & FILE_ATTRIBUTE_HIDDEN) != 0);
    EXPECT_FALSE(files.isDirectory(privateFolder));
    // A path where nothing was gets the new version as it is; a folder is never replaced.
    {
        auto replacement = files.beginReplacement(folder / "fresh.xls", ".copy", refusal);
        ASSERT_TRUE(replacement);
        writeFile(replacement->newVersion(), "first");
        EXPECT_TRUE(replacement->commit());
    }
    EXPECT_EQ(readFile(folder / "fresh.xls"), "first");
    ASSERT_TRUE(files.createDirectories(folder / "folder.xls"));
    EXPECT_FALSE(files.beginReplacement(folder / "folder.xls", ".pwd", refusal));
    EXPECT_EQ(refusal, ReplacementRefusal::NotARegularFile);
    EXPECT_FALSE(files.beginReplacement(folder / "no" / "such.xls", ".pwd", refusal));
    EXPECT_EQ(refusal, ReplacementRefusal::NoPrivateFolder);
}

// ReplaceFileW failing as it documents: ERROR_UNABLE_TO_REMOVE_REPLACED and
// ERROR_UNABLE_TO_MOVE_REPLACEMENT leave both files under their names; with
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 the replaced file is left at the backup name.
BOOL WINAPI replacedFileStays(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}
BOOL WINAPI replacedFileMovedAside(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD flags, LPVOID,
                                   LPVOID) {
    EXPECT_EQ(flags & REPLACEFILE_IGNORE_MERGE_ERRORS, 0u) << "the access control list is kept";
    if (backup == nullptr || ::MoveFileExW(replaced, backup, 0) == 0)
        ADD_FAILURE() << "no backup name inside the private folder";
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}
// The same, and something else came to the file's place meanwhile.
BOOL WINAPI replacedFileMovedAsideAndPathTaken(LPCWSTR replaced, LPCWSTR replacement,
                                               LPCWSTR backup, DWORD flags, LPVOID, LPVOID) {
    replacedFileMovedAside(replaced, replacement, backup, flags, nullptr, nullptr);
    writeFile(replaced, "planted");
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}

TEST_F(Win32FilesTest, AFailedReplacementNeverLosesTheFile) {
    const NativePath book = folder / "book.xls";
    std::string said;
    const auto attempt = [&](win32::ReplaceFileCall replace, NativePath& privateFolder) {
        writeFile(book, "original");
        ReplacementRefusal refusal = ReplacementRefusal::None;
        auto replacement = win32::beginFileReplacement(book, ".pwd", refusal, replace);
        EXPECT_TRUE(replacement);
        privateFolder = replacement->newVersion().parent_path();
        writeFile(replacement->newVersion(), "locked");
        EXPECT_FALSE(replacement->commit());
        said = describeFailedCommit(*replacement);
        return std::pair(replacement->originalPutBack(), replacement->strandedOriginal());
    };
    NativePath privateFolder;
    EXPECT_EQ(attempt(replacedFileStays, privateFolder), std::pair(false, NativePath()));
    EXPECT_EQ(readFile(book), "original");
    EXPECT_FALSE(files.isDirectory(privateFolder));

    EXPECT_TRUE(said.empty());
    EXPECT_EQ(attempt(replacedFileMovedAside, privateFolder), std::pair(true, NativePath()));
    EXPECT_EQ(readFile(book), "original");
    EXPECT_TRUE(said.starts_with(texts::kOriginalPutBack)) << said;
    EXPECT_FALSE(files.isDirectory(privateFolder));

    // The file cannot go back: the private folder keeps it, and says where.
    const auto [putBack, stranded] = attempt(replacedFileMovedAsideAndPathTaken, privateFolder);
    EXPECT_FALSE(putBack);
    EXPECT_EQ(stranded.parent_path(), privateFolder);
    EXPECT_EQ(readFile(stranded), "original");
    EXPECT_TRUE(said.starts_with(texts::kOriginalStranded)) << said;
}

// A network share that takes folders, but not one with a protected access list.
BOOL WINAPI refusesProtectedFolders(LPCWSTR folder, LPSECURITY_ATTRIBUTES security) {
    if (security != nullptr) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::CreateDirectoryW(folder, nullptr);
}

TEST_F(Win32FilesTest, AShareThatRefusesThePrivateFolderGetsTheNewVersionUnderAnUnforeseeableName) {
    const NativePath book = folder / "book.xls";
    writeFile(book, "original");
    NativePath newVersion;
    {
        ReplacementRefusal refusal = ReplacementRefusal::NoPrivateFolder;
        auto replacement = win32::beginFileReplacement(book, ".pwd", refusal, &::ReplaceFileW,
                                                       refusesProtectedFolders);
        ASSERT_TRUE(replacement);
        EXPECT_EQ(refusal, ReplacementRefusal::None);
        newVersion = replacement->newVersion();
        EXPECT_EQ(newVersion.parent_path(), folder.path());
        EXPECT_GE(newVersion.filename().native().size(), 16u + 5u);
        EXPECT_FALSE(files.fileExists(newVersion));
        ASSERT_TRUE(files.writeNew(newVersion, "locked"));
        EXPECT_TRUE(replacement->commit());
    }
    EXPECT_EQ(readFile(book), "locked");
    // Nothing is left beside it: neither the new version nor the file it replaced.
    std::vector<NativePath> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<NativePath>{book});
}

TEST_F(Win32FilesTest, TheIdentityTellsAFileUnderEveryNameAndCountsItsNames) {
    writeFile(folder / "Book.xlsx", "book");
    writeFile(folder / "Other.xlsx", "other");
    const std::optional<FileIdentity> book = files.identity(folder / "Book.xlsx");
    ASSERT_TRUE(book);
    EXPECT_EQ(book->links, 1u);
    EXPECT_FALSE(book->sameFile(*files.identity(folder / "Other.xlsx")));
    ASSERT_NE(::CreateHardLinkW((folder / "Second.xlsx").c_str(), (folder / "Book.xlsx").c_str(),
                                nullptr),
              0);
    const std::optional<FileIdentity> second = files.identity(folder / "Second.xlsx");
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->sameFile(*book));
    EXPECT_EQ(second->links, 2u);
    EXPECT_EQ(files.identity(folder / "Book.xlsx")->links, 2u);
    // Another file moved into the name is another file, though the name and the bytes are the same.
    ASSERT_NE(::DeleteFileW((folder / "Second.xlsx").c_str()), 0);
    ASSERT_NE(::MoveFileExW((folder / "Book.xlsx").c_str(), (folder / "Away.xlsx").c_str(), 0), 0);
    writeFile(folder / "Book.xlsx", "book");
    EXPECT_FALSE(files.identity(folder / "Book.xlsx")->sameFile(*book));
    EXPECT_TRUE(files.identity(folder / "Away.xlsx")->sameFile(*book));
    EXPECT_FALSE(files.identity(folder / "Missing.xlsx"));
}

TEST_F(Win32FilesTest, RemovesFiles) {
    writeFile(folder / "a.xls", "x");
    EXPECT_TRUE(files.remove(folder / "a.xls"));
    EXPECT_FALSE(files.fileExists(folder / "a.xls"));
    EXPECT_FALSE(files.remove(folder / "a.xls"));
}

TEST_F(Win32FilesTest, AppendsAtTheEndAndCreatesTheFile) {
    const NativePath log = folder / "20261207.txt";
    EXPECT_EQ(files.appendExclusive(log, "one\r\n"), AppendResult::Written);
    EXPECT_EQ(files.appendExclusive(log, "two\r\n"), AppendResult::Written);
    EXPECT_EQ(readFile(log), "one\r\ntwo\r\n");
    EXPECT_EQ(files.appendExclusive(folder / "missing" / "x.txt", "x"), AppendResult::Failed);
}

TEST_F(Win32FilesTest, IsBusyWhileAnotherHolderHasTheFileOpen) {
    const NativePath log = folder / "20261207.txt";
    writeFile(log, "first\r\n");
    {
        // Another program reading the log, sharing it freely: still no exclusive open.
        UniqueHandle reader(::CreateFileW(log.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_EQ(files.appendExclusive(log, "second\r\n"), AppendResult::Busy);
    }
    EXPECT_EQ(files.appendExclusive(log, "second\r\n"), AppendResult::Written);
    EXPECT_EQ(readFile(log), "first\r\nsecond\r\n");
}

// A clock whose first pause lets the other holder of the log go.
class ReleasingClock : public Clock {
public:
    explicit ReleasingClock(UniqueHandle& holder) : holder_(holder) {}
    LocalTime now() override { return LocalTime{2026, 12, 7, 9, 5, 3, 21}; }
    std::uint32_t tickCount() override { return 0; }
    void sleep(std::chrono::milliseconds) override {
        ++sleeps;
        holder_.reset();
    }
    int sleeps = 0;

private:
    UniqueHandle& holder_;
};

TEST_F(Win32FilesTest, TheActivityLogWaitsForAnotherWriterAndWritesShiftJis) {
    const NativePath dataFolder = folder / "Kovrisk" / "";
    const NativePath logFile = dataFolder / "syslog" / "20261207.txt";
    ASSERT_TRUE(files.createDirectories(logFile.parent_path()));
    writeFile(logFile, "");
    UniqueHandle holder(::CreateFileW(logFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    ReleasingClock clock(holder);
    ActivityLog log(dataFolder, clock, files);
    log.LogWrite("\x8B\x4E\x93\xAE\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42");  // 起動しました。
    EXPECT_EQ(clock.sleeps, 1);
    EXPECT_EQ(
        readFile(logFile),
        "2026/12/"
        "07,09:05:03.021,(Kovrisk),\x8B\x4E\x93\xAE\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n");
}

}  // namespace
}  // namespace kovrisk
