#include "platform/posix/posix_file_replacement.h"

#include <acl/libacl.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace kovrisk::posix {

namespace {

// The private folder's name beside the file; mkdtemp fills in the X's.
constexpr char kFolderPrefix[] = ".kovrisk-";
constexpr char kFolderTemplate[] = ".kovrisk-XXXXXX";
static_assert(sizeof(kFolderTemplate) - 1 <= kLongestPrivateFolderName);
// How long a replacement waits for another one beside the same file to finish making its folder.
constexpr int kParentLockTries = 50;
constexpr useconds_t kParentLockPause = 20'000;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
};

Identity identityOf(const struct stat& file) {
    return Identity{file.st_dev, file.st_ino};
}

bool mayGiveAnyOwner() {
    return ::geteuid() == 0;
}

bool isOwnGroup(gid_t group) {
    if (::getegid() == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    }
    return false;
}

// Whether the user `owner` belongs to `group`, as the password and group databases say.
bool userInGroup(uid_t owner, gid_t group) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(owner, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    if (found->pw_gid == group)
        return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    }
    return false;
}

// Whether the owner of `file` could still read a copy that keeps its group and mode but belongs
// to this process's user.
bool ownerCouldRead(const struct stat& file) {
    if ((file.st_mode & S_IROTH) != 0)
        return true;
    return (file.st_mode & S_IRGRP) != 0 && userInGroup(file.st_uid, file.st_gid);
}

// Holds `folder` for as long as the descriptor is open: a run that finds it unheld knows that the
// run that made it has ended.
UniqueFd holdFolder(const NativePath& folder) {
    UniqueFd held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (held && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0)
        return UniqueFd();
    return held;
}

// Holds the folder `parent` while a replacement sweeps it and makes and holds its own folder in
// it, so that no other run beside it takes a folder just made, and not yet held, for a stale one.
// Unheld (an empty descriptor) when the folder cannot be read or stays held by somebody else.
UniqueFd holdParent(const NativePath& parent) {
    UniqueFd held(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int attempt = 0; held && attempt < kParentLockTries; ++attempt) {
        if (::flock(held.get(), LOCK_EX | LOCK_NB) == 0)
            return held;
        ::usleep(kParentLockPause);
    }
    return UniqueFd();
}

// Removes the private folders that runs which were killed left beside the file: this user's own,
// no longer held by any run.
void removeStaleFolders(const NativePath& parent) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(parent, error)) {
        const NativePath folder = entry.path();
        if (!folder.filename().native().starts_with(kFolderPrefix))
            continue;
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid()) {
            continue;
        }
        if (UniqueFd held = holdFolder(folder)) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }
}

class PosixFileReplacement final : public FileReplacement {
public:
    PosixFileReplacement(NativePath target, NativePath folder, UniqueFd held, NativePath newVersion,
                         std::optional<Identity> original)
        : target_(std::move(target)),
          folder_(std::move(folder)),
          held_(std::move(held)),
          newVersion_(std::move(newVersion)),
          original_(original) {}

    ~PosixFileReplacement() override {
        // The folder is this process's own (mode 0700): nothing in it can lead elsewhere, and
        // remove_all does not follow symbolic links anyway.
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        held_.reset();
    }

    const NativePath& target() const override { return target_; }
    const NativePath& newVersion() const override { return newVersion_; }

    bool commit() override {
        UniqueFd fresh(::open(newVersion_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fresh)
            return false;
        struct stat written {};
        if (::fstat(fresh.get(), &written) != 0 || !S_ISREG(written.st_mode) ||
            written.st_uid != ::geteuid() || written.st_nlink != 1) {
            return false;
        }
        if (original_) {
            if (!takeOverFromOriginal(fresh.get()))
                return false;
        } else {
            struct stat there {};
            if (::lstat(target_.c_str(), &there) == 0 || errno != ENOENT)
                return false;  // something came to the free path meanwhile
        }
        if (::fsync(fresh.get()) != 0)
            return false;
        if (!stillOriginal())
            return false;
        // Onto a path that was free, the rename must not take the place of anything that came.
        const unsigned flags = original_ ? 0 : RENAME_NOREPLACE;
        if (::renameat2(AT_FDCWD, newVersion_.c_str(), AT_FDCWD, target_.c_str(), flags) != 0)
            return false;
        UniqueFd parent(::open(target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (parent)
            ::fsync(parent.get());
        return true;
    }

private:
    // Whether the file at the target is still the one found when the replacement began (or the
    // path is still free, when there was none).
    bool stillOriginal() const {
        struct stat there {};
        if (::lstat(target_.c_str(), &there) != 0)
            return !original_ && errno == ENOENT;
        return original_ && S_ISREG(there.st_mode) && identityOf(there) == *original_;
    }

    // Gives the new version the original's owner (where this process may), group, mode, access
    // control lists and extended attributes.
    bool takeOverFromOriginal(int fresh) const {
        UniqueFd old(::open(target_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!old)
            return false;
        struct stat original {};
        if (::fstat(old.get(), &original) != 0 || !S_ISREG(original.st_mode) ||
            identityOf(original) != *original_) {
            return false;
        }
        const uid_t owner = mayGiveAnyOwner() ? original.st_uid : static_cast<uid_t>(-1);
        if (::fchown(fresh, owner, original.st_gid) != 0)
            return false;
        if (::perm_copy_fd(target_.c_str(), old.get(), newVersion_.c_str(), fresh, nullptr) != 0)
            return false;
        return ::attr_copy_fd(target_.c_str(), old.get(), newVersion_.c_str(), fresh, nullptr,
                              nullptr) == 0;
    }

    NativePath target_;
    NativePath folder_;
    UniqueFd held_;
    NativePath newVersion_;
    std::optional<Identity> original_;
};

}  // namespace

ReplacementRefusal refusalFor(const struct stat& file) {
    if (!S_ISREG(file.st_mode))
        return ReplacementRefusal::NotARegularFile;
    if (mayGiveAnyOwner())
        return ReplacementRefusal::None;
    if (!isOwnGroup(file.st_gid))
        return ReplacementRefusal::GroupCannotBeKept;
    if (file.st_uid != ::geteuid() && !ownerCouldRead(file))
        return ReplacementRefusal::OwnerCannotBeKept;
    return ReplacementRefusal::None;
}

std::unique_ptr<FileReplacement> beginFileReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal) {
    std::optional<Identity> original;
    struct stat there {};
    if (::lstat(target.c_str(), &there) == 0) {
        refusal = refusalFor(there);
        if (refusal != ReplacementRefusal::None)
            return nullptr;
        original = identityOf(there);
    } else if (errno != ENOENT) {
        // No folder to hold the file, or none to look into.
        refusal = errno == ENOTDIR ? ReplacementRefusal::NoPrivateFolder
                                   : ReplacementRefusal::NotARegularFile;
        return nullptr;
    }
    const UniqueFd parent = holdParent(target.parent_path());
    if (parent)
        removeStaleFolders(target.parent_path());
    std::string folderTemplate = (target.parent_path() / kFolderTemplate).native();
    if (::mkdtemp(folderTemplate.data()) == nullptr) {
        refusal = ReplacementRefusal::NoPrivateFolder;
        return nullptr;
    }
    const NativePath folder = folderTemplate;
    UniqueFd held = holdFolder(folder);
    if (!held) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        refusal = ReplacementRefusal::NoPrivateFolder;
        return nullptr;
    }
    NativePath newVersion = folder / target.filename();
    newVersion += std::string(suffix);
    // A name too long for the file system with the suffix gets a short one of the same extension.
    if (newVersion.filename().native().size() > NAME_MAX) {
        newVersion = folder / ("workbook" + target.extension().native());
        newVersion += std::string(suffix);
    }
    refusal = ReplacementRefusal::None;
    return std::make_unique<PosixFileReplacement>(target, folder, std::move(held),
                                                  std::move(newVersion), original);
}

}  // namespace kovrisk::posix
