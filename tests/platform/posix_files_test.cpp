#include "platform/native_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/temp_folder.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

TEST(PosixFiles, ReadOnlyMeansTheOwnerMayNotWrite) {
    TempFolder temp;
    NativeFiles files;
    const NativePath file = temp / "book.xls";
    writeFile(file, "x");
    ::chmod(file.c_str(), 0464);
    const FileAttributes attributes = *files.attributes(file);
    EXPECT_EQ(attributes.word, 0464u);
    EXPECT_TRUE(files.isReadOnly(attributes));
    EXPECT_EQ(files.withoutReadOnly(attributes).word, 0664u);
    EXPECT_FALSE(files.isReadOnly(files.withoutReadOnly(attributes)));
    EXPECT_TRUE(files.setAttributes(file, FileAttributes{0640}));
    EXPECT_EQ(files.attributes(file)->word, 0640u);
    EXPECT_FALSE(files.attributes(temp / "missing").has_value());
}

TEST(PosixFiles, CopyOverwritesAndCarriesThePermissions) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "from", std::string(200000, 'a'));
    writeFile(temp / "to", "older and longer than nothing");
    ::chmod((temp / "from").c_str(), 0600);
    EXPECT_TRUE(files.copy(temp / "from", temp / "to"));
    EXPECT_EQ(readFile(temp / "to"), std::string(200000, 'a'));
    EXPECT_EQ(files.attributes(temp / "to")->word, 0600u);
    EXPECT_FALSE(files.copy(temp / "missing", temp / "to2"));
    EXPECT_FALSE(files.copy(temp.path(), temp / "to3"));
    EXPECT_FALSE(files.fileExists(temp / "to3"));
}

TEST(PosixFiles, ReplaceTakesThePlaceOfTheFileInOneStep) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "book.xls", "old");
    ::chmod((temp / "book.xls").c_str(), 0444);
    writeFile(temp / "book.xls.pwd", "new");
    EXPECT_TRUE(files.replace(temp / "book.xls.pwd", temp / "book.xls"));
    EXPECT_EQ(readFile(temp / "book.xls"), "new");
    EXPECT_FALSE(files.fileExists(temp / "book.xls.pwd"));
    EXPECT_FALSE(files.replace(temp / "gone", temp / "book.xls"));
    EXPECT_EQ(readFile(temp / "book.xls"), "new");
}

TEST(PosixFiles, ReplaceThroughASymbolicLinkReplacesTheFileItLeadsTo) {
    TempFolder temp;
    NativeFiles files;
    std::filesystem::create_directories(temp / "real");
    writeFile(temp / "real" / "book.xls", "old");
    std::filesystem::create_symlink(temp / "real" / "book.xls", temp / "link.xls");
    writeFile(temp / "link.xls.pwd", "new");
    EXPECT_TRUE(files.replace(temp / "link.xls.pwd", temp / "link.xls"));
    EXPECT_TRUE(std::filesystem::is_symlink(temp / "link.xls"));
    EXPECT_EQ(readFile(temp / "real" / "book.xls"), "new");
    std::filesystem::create_symlink(temp / "nowhere", temp / "dangling.xls");
    writeFile(temp / "dangling.xls.pwd", "x");
    EXPECT_FALSE(files.replace(temp / "dangling.xls.pwd", temp / "dangling.xls"));
}

TEST(PosixFiles, DirectoriesAndExistence) {
    TempFolder temp;
    NativeFiles files;
    EXPECT_TRUE(files.createDirectories(temp / "a" / "b" / "c"));
    EXPECT_TRUE(files.isDirectory(temp / "a" / "b"));
    EXPECT_FALSE(files.fileExists(temp / "a"));
    writeFile(temp / "f", "");
    EXPECT_TRUE(files.fileExists(temp / "f"));
    EXPECT_FALSE(files.createDirectories(temp / "f" / "sub"));
    EXPECT_TRUE(files.remove(temp / "f"));
    EXPECT_FALSE(files.remove(temp / "f"));
}

TEST(PosixFiles, AppendExclusiveIsBusyWhileAnotherHolderHasTheFile) {
    TempFolder temp;
    NativeFiles files;
    const NativePath log = temp / "day.txt";
    EXPECT_EQ(files.appendExclusive(log, "one\r\n"), AppendResult::Written);
    {
        UniqueFd holder(::open(log.c_str(), O_RDWR));
        ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);
        EXPECT_EQ(files.appendExclusive(log, "lost\r\n"), AppendResult::Busy);
    }
    EXPECT_EQ(files.appendExclusive(log, "two\r\n"), AppendResult::Written);
    EXPECT_EQ(readFile(log), "one\r\ntwo\r\n");
    EXPECT_EQ(files.appendExclusive(temp / "no" / "day.txt", "x"), AppendResult::Failed);
}

}  // namespace
}  // namespace kovrisk
