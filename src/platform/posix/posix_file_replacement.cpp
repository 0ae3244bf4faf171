#include "platform/posix/posix_file_replacement.h"

#include <acl/libacl.h>
#include <attr/libattr.h>
#include <dirent.h>
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
#include <string>
#include <system_error>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace kovrisk::posix {

namespace {

// The private folder's name beside the file; mkdtemp fills in the X's.
constexpr char kFolderPrefix[] = ".kovrisk-";
constexpr char kFolderTemplate[] = ".kovrisk-XXXXXX";
// In every private folder: the name of the new version written there, which shows a folder left by
// a killed run to be one of this program's.
constexpr char kMarkerName[] = ".kovrisk-folder";
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

UniqueFd openFolderAt(int parent, const std::string& name) {
    return UniqueFd(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Holds the folder open as `folder` for as long as the descriptor is open: a run that finds it
// unheld knows that the run that made it has ended.
bool holdFolder(int folder) {
    return ::flock(folder, LOCK_EX | LOCK_NB) == 0;
}

// Holds the folder `parent` while a replacement sweeps it and makes and holds its own folder in
// it, so that no other run beside it takes a folder just made, and not yet held, for a stale one.
// False when it stays held by somebody else.
bool holdParent(int parent) {
    for (int attempt = 0; attempt < kParentLockTries; ++attempt) {
        if (::flock(parent, LOCK_EX | LOCK_NB) == 0)
            return true;
        ::usleep(kParentLockPause);
    }
    return false;
}

// The names in the folder open as `folder`, "." and ".." left out.
std::vector<std::string> namesIn(int folder) {
    std::vector<std::string> names;
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return names;
    DIR* listing = ::fdopendir(copy);
    if (listing == nullptr) {
        ::close(copy);
        return names;
    }
    ::rewinddir(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

// The name of the office's lock file for a file called `name`.
std::string officeLockName(const std::string& name) {
    return ".~lock." + name + "#";
}

// The new version's name that the marker in the folder open as `folder` records; nullopt when
// there is no marker this user wrote.
std::optional<std::string> markedName(int folder) {
    UniqueFd marker(::openat(folder, kMarkerName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!marker || ::fstat(marker.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || info.st_nlink != 1 || info.st_size <= 0 ||
        info.st_size > NAME_MAX) {
        return std::nullopt;
    }
    std::string name(static_cast<std::size_t>(info.st_size), '\0');
    if (::read(marker.get(), name.data(), name.size()) != static_cast<ssize_t>(name.size()) ||
        name.find('/') != std::string::npos || name.find('\0') != std::string::npos ||
        name == kMarkerName) {
        return std::nullopt;
    }
    return name;
}

// Removes the names `names` from the folder open as `folder`, one by one and never recursively,
// then the folder itself, when the name `name` in the folder open as `parent` still leads to it.
void removeFolder(int parent, const std::string& name, int folder,
                  const std::vector<std::string>& names) {
    for (const std::string& inside : names)
        ::unlinkat(folder, inside.c_str(), 0);
    struct stat held {};
    struct stat named {};
    if (::fstat(folder, &held) == 0 &&
        ::fstatat(parent, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        identityOf(held) == identityOf(named)) {
        ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
    }
}

// Whether a run writes `name` in its private folder for the new version `newVersion`: the new
// version, the plain copy the office saves before it is encrypted, and the office's lock files.
bool writtenByARun(const std::string& name, const std::string& newVersion) {
    const std::string plain = newVersion + ".plain";
    return name == kMarkerName || name == newVersion || name == plain ||
           name == officeLockName(newVersion) || name == officeLockName(plain);
}

// The names in the folder open as `folder` (status `info`), when it provably is the private
// folder of a run of this program: this user's, mode 0700, holding its marker and otherwise only
// the regular files a run writes there.
std::optional<std::vector<std::string>> programsFolderNames(int folder, const struct stat& info) {
    if (info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700)
        return std::nullopt;
    const std::optional<std::string> newVersion = markedName(folder);
    if (!newVersion)
        return std::nullopt;
    const std::vector<std::string> names = namesIn(folder);
    for (const std::string& name : names) {
        if (!writtenByARun(name, *newVersion))
            return std::nullopt;
        struct stat file {};
        if (::fstatat(folder, name.c_str(), &file, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(file.st_mode) || file.st_uid != ::geteuid()) {
            return std::nullopt;
        }
    }
    return names;
}

// Removes the private folders that runs which were killed left in the folder open as `parent`
// (path `parentPath`): held by no run, and provably made by this program; returns the others,
// which stay.
std::vector<NativePath> removeStaleFolders(int parent, const NativePath& parentPath) {
    std::vector<NativePath> leftAlone;
    for (const std::string& name : namesIn(parent)) {
        if (!name.starts_with(kFolderPrefix))
            continue;
        struct stat info {};
        if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;  // not this user's: nothing this user's runs made
        }
        const UniqueFd folder = openFolderAt(parent, name);
        if (!folder || !holdFolder(folder.get()))
            continue;  // in use by a run
        struct stat opened {};
        std::optional<std::vector<std::string>> names;
        if (::fstat(folder.get(), &opened) == 0 && identityOf(opened) == identityOf(info))
            names = programsFolderNames(folder.get(), opened);
        if (names)
            removeFolder(parent, name, folder.get(), *names);
        else
            leftAlone.push_back(parentPath / name);
    }
    return leftAlone;
}

// Makes a new private folder in the folder open as `parent` and holds it open; its name in
// `name`.  Empty when none could be made.
UniqueFd makePrivateFolder(int parent, std::string& name) {
    // The name is chosen and the folder made through the held parent, never through its path.
    std::string where = "/proc/self/fd/" + std::to_string(parent) + "/" + kFolderTemplate;
    if (::mkdtemp(where.data()) == nullptr)
        return UniqueFd();
    name = where.substr(where.rfind('/') + 1);
    UniqueFd folder = openFolderAt(parent, name);
    struct stat info {};
    // Only the empty folder this process has just made is taken, never one put under its name.
    if (!folder || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid() ||
        (info.st_mode & 07777) != 0700 || !namesIn(folder.get()).empty() ||
        !holdFolder(folder.get())) {
        return UniqueFd();
    }
    return folder;
}

// Writes the marker that shows the folder open as `folder` to be a run's, naming the new version.
bool writeMarker(int folder, const std::string& newVersion) {
    UniqueFd marker(
        ::openat(folder, kMarkerName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    return marker &&
           ::write(marker.get(), newVersion.data(), newVersion.size()) ==
               static_cast<ssize_t>(newVersion.size()) &&
           marker.reset();
}

class PosixFileReplacement final : public FileReplacement {
public:
    PosixFileReplacement(NativePath target, UniqueFd parent, std::string folderName,
                         UniqueFd folder, NativePath newVersion, std::optional<Identity> original,
                         std::vector<NativePath> leftAlone)
        : target_(std::move(target)),
          parent_(std::move(parent)),
          folderName_(std::move(folderName)),
          folder_(std::move(folder)),
          newVersion_(std::move(newVersion)),
          original_(original),
          leftAlone_(std::move(leftAlone)) {}

    ~PosixFileReplacement() override {
        // Only what is in the folder this run made and holds goes, file by file: the folder may
        // have been renamed away meanwhile, and whatever took its name stays.
        std::vector<std::string> files;
        for (const std::string& name : namesIn(folder_.get())) {
            struct stat info {};
            if (::fstatat(folder_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                !S_ISDIR(info.st_mode)) {
                files.push_back(name);
            }
        }
        removeFolder(parent_.get(), folderName_, folder_.get(), files);
    }

    const NativePath& target() const override { return target_; }
    const NativePath& newVersion() const override { return newVersion_; }
    std::vector<NativePath> foldersLeftAlone() const override { return leftAlone_; }

    bool commit() override {
        // The new version as it is in the folder this run holds, whatever its path leads to now.
        const std::string newName = newVersion_.filename().native();
        UniqueFd fresh(::openat(folder_.get(), newName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
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
            if (::fstatat(parent_.get(), targetName().c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 ||
                errno != ENOENT) {
                return false;  // something came to the free path meanwhile
            }
        }
        if (::fsync(fresh.get()) != 0)
            return false;
        if (!stillOriginal())
            return false;
        // Onto a path that was free, the rename must not take the place of anything that came.
        const unsigned flags = original_ ? 0 : RENAME_NOREPLACE;
        if (::renameat2(folder_.get(), newName.c_str(), parent_.get(), targetName().c_str(),
                        flags) != 0) {
            return false;
        }
        ::fsync(parent_.get());
        return true;
    }

private:
    std::string targetName() const { return target_.filename().native(); }

    // Whether the file at the target is still the one found when the replacement began (or the
    // path is still free, when there was none).
    bool stillOriginal() const {
        struct stat there {};
        if (::fstatat(parent_.get(), targetName().c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0)
            return !original_ && errno == ENOENT;
        return original_ && S_ISREG(there.st_mode) && identityOf(there) == *original_;
    }

    // Gives the new version the original's owner (where this process may), group, mode, access
    // control lists and extended attributes.
    bool takeOverFromOriginal(int fresh) const {
        UniqueFd old(::openat(parent_.get(), targetName().c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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
    UniqueFd parent_;
    std::string folderName_;
    UniqueFd folder_;
    NativePath newVersion_;
    std::optional<Identity> original_;
    std::vector<NativePath> leftAlone_;
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
    const NativePath parentPath =
        target.parent_path().empty() ? NativePath(".") : target.parent_path();
    UniqueFd parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) {
        // No folder to hold the file, or none to look into.
        refusal = errno == ENOTDIR || errno == ENOENT ? ReplacementRefusal::NoPrivateFolder
                                                      : ReplacementRefusal::NotARegularFile;
        return nullptr;
    }
    std::optional<Identity> original;
    struct stat there {};
    if (::fstatat(parent.get(), target.filename().c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        refusal = refusalFor(there);
        if (refusal != ReplacementRefusal::None)
            return nullptr;
        original = identityOf(there);
    } else if (errno != ENOENT) {
        refusal = ReplacementRefusal::NotARegularFile;
        return nullptr;
    }
    std::vector<NativePath> leftAlone;
    const bool swept = holdParent(parent.get());
    if (swept)
        leftAlone = removeStaleFolders(parent.get(), parentPath);
    std::string folderName;
    UniqueFd folder = makePrivateFolder(parent.get(), folderName);
    if (swept)
        ::flock(parent.get(), LOCK_UN);
    NativePath newVersion = parentPath / folderName / target.filename();
    newVersion += std::string(suffix);
    // A name too long for the file system with the suffix gets a short one of the same extension.
    if (newVersion.filename().native().size() > NAME_MAX) {
        newVersion = parentPath / folderName / ("workbook" + target.extension().native());
        newVersion += std::string(suffix);
    }
    if (!folder || !writeMarker(folder.get(), newVersion.filename().native())) {
        if (folder)
            removeFolder(parent.get(), folderName, folder.get(), namesIn(folder.get()));
        refusal = ReplacementRefusal::NoPrivateFolder;
        return nullptr;
    }
    refusal = ReplacementRefusal::None;
    return std::make_unique<PosixFileReplacement>(target, std::move(parent), std::move(folderName),
                                                  std::move(folder), std::move(newVersion),
                                                  original, std::move(leftAlone));
}

}  // namespace kovrisk::posix
