#include "platform/native_files.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <algorithm>

#include "fakes/temp_folder.h"
#include "platform/posix/posix_file_replacement.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

constexpr uid_t kNobody = 65534;

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

TEST(PosixFiles, CopyMakesANewFileWithThePermissionsAndNeverFollowsALink) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "from", std::string(200000, 'a'));
    ::chmod((temp / "from").c_str(), 0640);
    EXPECT_TRUE(files.copy(temp / "from", temp / "to"));
    EXPECT_EQ(readFile(temp / "to"), std::string(200000, 'a'));
    EXPECT_EQ(files.attributes(temp / "to")->word, 0640u);
    // Whatever is at the destination already, a file or a planted link, makes the copy fail.
    writeFile(temp / "older", "older");
    EXPECT_FALSE(files.copy(temp / "from", temp / "older"));
    EXPECT_EQ(readFile(temp / "older"), "older");
    writeFile(temp / "victim", "victim");
    std::filesystem::create_symlink(temp / "victim", temp / "planted");
    EXPECT_FALSE(files.copy(temp / "from", temp / "planted"));
    EXPECT_EQ(readFile(temp / "victim"), "victim");
    std::filesystem::create_symlink(temp / "nowhere", temp / "dangling");
    EXPECT_FALSE(files.copy(temp / "from", temp / "dangling"));
    EXPECT_FALSE(std::filesystem::exists(temp / "nowhere"));
    EXPECT_FALSE(files.copy(temp / "missing", temp / "to2"));
    EXPECT_FALSE(files.copy(temp.path(), temp / "to3"));
    EXPECT_FALSE(files.fileExists(temp / "to3"));
}

TEST(PosixFiles, SettledPathResolvesLinksAndKeepsAPathThatLeadsNowhere) {
    TempFolder temp;
    NativeFiles files;
    std::filesystem::create_directories(temp / "real");
    writeFile(temp / "real" / "book.xls", "x");
    std::filesystem::create_symlink(temp / "real", temp / "folder-link");
    std::filesystem::create_symlink(temp / "folder-link" / "book.xls", temp / "link.xls");
    EXPECT_EQ(files.settledPath(temp / "link.xls"),
              std::filesystem::canonical(temp / "real" / "book.xls"));
    EXPECT_EQ(files.settledPath(temp / "gone.xls"), temp / "gone.xls");
}

struct Replaced {
    NativePath target;
    NativePath folder;  // the private folder the new version was written in
};

// Writes `content` as the new version of `target` and commits it.
bool replaceWith(Files& files, const NativePath& target, const std::string& content,
                 Replaced* seen = nullptr) {
    ReplacementRefusal refusal = ReplacementRefusal::NotARegularFile;
    std::unique_ptr<FileReplacement> replacement = files.beginReplacement(target, ".pwd", refusal);
    EXPECT_EQ(refusal, ReplacementRefusal::None);
    if (!replacement)
        return false;
    const NativePath folder = replacement->newVersion().parent_path();
    if (seen)
        *seen = Replaced{replacement->target(), folder};
    struct stat info {};
    EXPECT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u) << "the new version's folder is private";
    EXPECT_EQ(folder.parent_path(), target.parent_path()) << "beside the file, on its file system";
    EXPECT_EQ(replacement->newVersion().filename(), target.filename().string() + ".pwd");
    writeFile(replacement->newVersion(), content);
    return replacement->commit();
}

TEST(PosixFileReplacement, TakesTheFilesPlaceWithItsModeAndLeavesNoFolderBehind) {
    TempFolder temp;
    NativeFiles files;
    const NativePath target = temp / "book.xls";
    writeFile(target, "old");
    ::chmod(target.c_str(), 0640);
    Replaced seen;
    EXPECT_TRUE(replaceWith(files, target, "new", &seen));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(files.attributes(target)->word, 0640u);
    EXPECT_FALSE(std::filesystem::exists(seen.folder));
    // A path where nothing was gets the new version as it is.
    EXPECT_TRUE(replaceWith(files, temp / "fresh.xls", "first"));
    EXPECT_EQ(readFile(temp / "fresh.xls"), "first");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST(PosixFileReplacement, ANameTooLongForItsSuffixGetsAShortOne) {
    TempFolder temp;
    NativeFiles files;
    const NativePath target = temp / (std::string(250, 'L') + ".xlsx");
    writeFile(target, "old");
    ReplacementRefusal refusal;
    auto replacement = files.beginReplacement(target, ".pwd", refusal);
    ASSERT_TRUE(replacement);
    EXPECT_EQ(replacement->newVersion().filename(), "workbook.xlsx.pwd");
    writeFile(replacement->newVersion(), "new");
    EXPECT_TRUE(replacement->commit());
    EXPECT_EQ(readFile(target), "new");
}

TEST(PosixFileReplacement, AbandonedReplacementRemovesItsFolderAndKeepsTheFile) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "book.xls", "old");
    ReplacementRefusal refusal;
    NativePath folder;
    {
        auto replacement = files.beginReplacement(temp / "book.xls", ".pwd", refusal);
        ASSERT_TRUE(replacement);
        folder = replacement->newVersion().parent_path();
        writeFile(replacement->newVersion(), "half");
        writeFile(folder / ".~lock.book.xls.pwd#", "an office's lock file");
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(readFile(temp / "book.xls"), "old");
}

// The private folder a run that is killed after writing its new version leaves beside `target`.
NativePath killedRunsFolder(const NativePath& target) {
    int pipe[2];
    EXPECT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        NativeFiles files;
        ReplacementRefusal refusal;
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        writeFile(replacement->newVersion(), "half");
        const std::string folder = replacement->newVersion().parent_path().native();
        (void)!::write(pipe[1], folder.data(), folder.size());
        ::_exit(0);  // as if killed: nothing is cleaned up
    }
    ::close(pipe[1]);
    char buffer[4096];
    const ssize_t got = ::read(pipe[0], buffer, sizeof buffer);
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    return NativePath(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0));
}

TEST(PosixFileReplacement, FoldersOfKilledRunsGoWhileHeldOnesStay) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "book.xls", "old");
    // A killed run's folder, held by nobody, and a running replacement's.
    const NativePath killed = killedRunsFolder(temp / "book.xls");
    ASSERT_TRUE(std::filesystem::exists(killed / "book.xls.pwd"));
    ReplacementRefusal refusal;
    auto running = files.beginReplacement(temp / "book.xls", ".pwd", refusal);
    ASSERT_TRUE(running);
    const NativePath runningFolder = running->newVersion().parent_path();
    EXPECT_FALSE(std::filesystem::exists(killed));
    EXPECT_TRUE(running->foldersLeftAlone().empty());
    auto next = files.beginReplacement(temp / "book.xls", ".pwd", refusal);
    ASSERT_TRUE(next);
    EXPECT_TRUE(std::filesystem::exists(runningFolder));
    // While another run makes its folder beside the file (holding the file's folder), no sweep.
    const NativePath beingMade = killedRunsFolder(temp / "book.xls");
    UniqueFd parent(::open(temp.path().c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(::flock(parent.get(), LOCK_EX), 0);
    auto meanwhile = files.beginReplacement(temp / "book.xls", ".pwd", refusal);
    ASSERT_TRUE(meanwhile);
    EXPECT_TRUE(std::filesystem::exists(beingMade));
}

TEST(PosixFileReplacement, FoldersThatOnlyLookLikeAKilledRunsStayWithEverythingInThem) {
    TempFolder temp;
    NativeFiles files;
    writeFile(temp / "book.xls", "old");
    // The user's own folder of that name; a killed run's folder that holds a name no run writes;
    // one whose marker names a file that is a folder.
    std::filesystem::create_directory(temp / ".kovrisk-notes");
    ::chmod((temp / ".kovrisk-notes").c_str(), 0700);
    writeFile(temp / ".kovrisk-notes" / "notes.txt", "mine");
    const NativePath extra = killedRunsFolder(temp / "book.xls");
    writeFile(extra / "report.txt", "mine too");
    const NativePath nested = killedRunsFolder(temp / "book.xls");
    std::filesystem::remove(nested / "book.xls.pwd");
    std::filesystem::create_directory(nested / "book.xls.pwd");
    writeFile(nested / "book.xls.pwd" / "deep.txt", "deep");
    ReplacementRefusal refusal;
    NativePath ownFolder;
    {
        auto replacement = files.beginReplacement(temp / "book.xls", ".pwd", refusal);
        ASSERT_TRUE(replacement);
        ownFolder = replacement->newVersion().parent_path();
        std::vector<NativePath> left = replacement->foldersLeftAlone();
        std::sort(left.begin(), left.end());
        std::vector<NativePath> expected{temp / ".kovrisk-notes", extra, nested};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(left, expected);
        // Its own folder renamed away and another of the user's folders put under its name.
        std::filesystem::rename(ownFolder, temp / "moved");
        std::filesystem::rename(temp / ".kovrisk-notes", ownFolder);
    }
    EXPECT_EQ(readFile(ownFolder / "notes.txt"), "mine");
    EXPECT_EQ(readFile(extra / "report.txt"), "mine too");
    EXPECT_EQ(readFile(nested / "book.xls.pwd" / "deep.txt"), "deep");
    // The folder it made is emptied wherever it went.
    EXPECT_TRUE(std::filesystem::is_empty(temp / "moved"));
}

TEST(PosixFileReplacement, NeverPutsInPlaceWhatThisProcessDidNotWriteAsARegularFile) {
    TempFolder temp;
    NativeFiles files;
    const NativePath target = temp / "book.xls";
    writeFile(target, "old");
    writeFile(temp / "elsewhere", "elsewhere");
    ReplacementRefusal refusal;
    {
        // A link where the new version should be: the link is not followed nor put in place.
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        std::filesystem::create_symlink(temp / "elsewhere", replacement->newVersion());
        EXPECT_FALSE(replacement->commit());
    }
    {
        // A second name of another file.
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        std::filesystem::create_hard_link(temp / "elsewhere", replacement->newVersion());
        EXPECT_FALSE(replacement->commit());
    }
    {
        // Nothing written at all.
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        EXPECT_FALSE(replacement->commit());
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(readFile(temp / "elsewhere"), "elsewhere");
    EXPECT_FALSE(std::filesystem::is_symlink(target));
}

TEST(PosixFileReplacement, FailsWhenTheFileWasSwappedMeanwhile) {
    TempFolder temp;
    NativeFiles files;
    const NativePath target = temp / "book.xls";
    writeFile(target, "old");
    ReplacementRefusal refusal;
    {
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        writeFile(replacement->newVersion(), "new");
        writeFile(temp / "swap", "planted");
        std::filesystem::rename(temp / "swap", target);
        EXPECT_FALSE(replacement->commit());
        EXPECT_EQ(readFile(target), "planted");
    }
    {
        auto replacement = files.beginReplacement(target, ".pwd", refusal);
        ASSERT_TRUE(replacement);
        writeFile(replacement->newVersion(), "new");
        std::filesystem::remove(target);
        std::filesystem::create_symlink(temp / "elsewhere", target);
        EXPECT_FALSE(replacement->commit());
        EXPECT_TRUE(std::filesystem::is_symlink(target));
        EXPECT_FALSE(std::filesystem::exists(temp / "elsewhere"));
    }
    {
        // A path that was free and is taken meanwhile keeps what came.
        auto replacement = files.beginReplacement(temp / "free.xls", ".pwd", refusal);
        ASSERT_TRUE(replacement);
        writeFile(replacement->newVersion(), "new");
        writeFile(temp / "free.xls", "came meanwhile");
        EXPECT_FALSE(replacement->commit());
        EXPECT_EQ(readFile(temp / "free.xls"), "came meanwhile");
    }
}

TEST(PosixFileReplacement, RefusesWhatIsNoRegularFileAndAFolderItCannotWrite) {
    TempFolder temp;
    NativeFiles files;
    std::filesystem::create_directories(temp / "folder.xls");
    writeFile(temp / "real.xls", "x");
    std::filesystem::create_symlink(temp / "real.xls", temp / "link.xls");
    ReplacementRefusal refusal = ReplacementRefusal::None;
    EXPECT_FALSE(files.beginReplacement(temp / "folder.xls", ".pwd", refusal));
    EXPECT_EQ(refusal, ReplacementRefusal::NotARegularFile);
    EXPECT_EQ(files.replacementRefusal(temp / "link.xls"), ReplacementRefusal::NotARegularFile);
    EXPECT_FALSE(files.beginReplacement(temp / "link.xls", ".pwd", refusal));
    EXPECT_EQ(files.replacementRefusal(temp / "missing.xls"), ReplacementRefusal::None);
    EXPECT_FALSE(files.beginReplacement(temp / "no" / "such.xls", ".pwd", refusal));
    EXPECT_EQ(refusal, ReplacementRefusal::NoPrivateFolder);
}

// The owner, group, mode, access control list and extended attributes of a shared workbook.
TEST(PosixFileReplacement, KeepsOwnerGroupModeAclAndExtendedAttributes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another owner needs root";
    TempFolder temp;
    NativeFiles files;
    const NativePath target = temp / "team.xlsx";
    writeFile(target, "old");
    ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
    acl_t acl = ::acl_from_text("u::rw-,u:65534:r--,g::rw-,g:0:r--,m::rw-,o::---");
    ASSERT_NE(acl, nullptr);
    ASSERT_EQ(::acl_set_file(target.c_str(), ACL_TYPE_ACCESS, acl), 0);
    ::acl_free(acl);
    ASSERT_EQ(::setxattr(target.c_str(), "user.origin", "ledger", 6, 0), 0);

    EXPECT_TRUE(replaceWith(files, target, "new"));
    EXPECT_EQ(readFile(target), "new");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, kNobody);
    EXPECT_EQ(info.st_mode & 07777, 0660u);
    acl_t kept = ::acl_get_file(target.c_str(), ACL_TYPE_ACCESS);
    ASSERT_NE(kept, nullptr);
    char* text = ::acl_to_any_text(kept, nullptr, ',', TEXT_NUMERIC_IDS);
    EXPECT_STREQ(text, "user::rw-,user:65534:r--,group::rw-,group:0:r--,mask::rw-,other::---");
    ::acl_free(text);
    ::acl_free(kept);
    char value[16] = {};
    EXPECT_EQ(::getxattr(target.c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "ledger");
}

// What another user may replace, decided in a process of that user's.
int refusalAsNobody(uid_t owner, gid_t group, mode_t mode) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(100);
        struct stat file {};
        file.st_mode = S_IFREG | mode;
        file.st_uid = owner;
        file.st_gid = group;
        ::_exit(static_cast<int>(posix::refusalFor(file)));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PosixFileReplacement, AnotherUsersFileIsReplacedOnlyWhenItsOwnerCouldStillReadIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "running as another user needs root";
    const auto code = [](ReplacementRefusal refusal) { return static_cast<int>(refusal); };
    // Nobody's own file, and root's file that everybody may read.
    EXPECT_EQ(refusalAsNobody(kNobody, kNobody, 0600), code(ReplacementRefusal::None));
    EXPECT_EQ(refusalAsNobody(0, kNobody, 0664), code(ReplacementRefusal::None));
    // Root's file shared with nobody's group: root is no member of it and could not read the copy.
    EXPECT_EQ(refusalAsNobody(0, kNobody, 0660), code(ReplacementRefusal::OwnerCannotBeKept));
    // A group nobody is not in cannot be given to the new version.
    EXPECT_EQ(refusalAsNobody(kNobody, 0, 0666), code(ReplacementRefusal::GroupCannotBeKept));
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
