#include "platform/native_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/posix/posix_file_replacement.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {

namespace {

constexpr mode_t kPermissionBits = 07777;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::optional<FileAttributes> NativeFiles::attributes(const NativePath& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileAttributes{static_cast<std::uint32_t>(info.st_mode & kPermissionBits)};
}

bool NativeFiles::setAttributes(const NativePath& path, FileAttributes attributes) {
    // Never through a symbolic link: the permissions of the file at the path itself change.
    return ::fchmodat(AT_FDCWD, path.c_str(),
                      static_cast<mode_t>(attributes.word & kPermissionBits),
                      AT_SYMLINK_NOFOLLOW) == 0;
}

bool NativeFiles::isReadOnly(FileAttributes attributes) const {
    return (attributes.word & S_IWUSR) == 0;
}

FileAttributes NativeFiles::withoutReadOnly(FileAttributes attributes) const {
    return FileAttributes{attributes.word | S_IWUSR};
}

bool NativeFiles::fileExists(const NativePath& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool NativeFiles::isDirectory(const NativePath& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool NativeFiles::createDirectories(const NativePath& path) {
    // Every folder made is the user's alone: the program makes folders only in its data folder.
    const NativePath folder = path.has_filename() ? path : path.parent_path();
    if (isDirectory(folder))
        return true;
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !createDirectories(folder.parent_path())) {
        return false;
    }
    return (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && isDirectory(folder);
}

bool NativeFiles::remove(const NativePath& path) {
    return ::unlink(path.c_str()) == 0;
}

bool NativeFiles::copy(const NativePath& from, const NativePath& to) {
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source)
        return false;
    struct stat info {};
    if (::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // A new file only, never through a link: whatever is at `to` already makes the copy fail.
    UniqueFd target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
    if (!target)
        return false;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!writeAll(target.get(), std::string_view(buffer, static_cast<std::size_t>(got)))) {
            return false;
        }
    }
    // The copy carries the source's permissions.
    if (::fchmod(target.get(), info.st_mode & kPermissionBits) != 0)
        return false;
    if (::fsync(target.get()) != 0)
        return false;
    return target.reset();
}

std::optional<std::string> NativeFiles::readAll(const NativePath& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

bool NativeFiles::writeNew(const NativePath& path, std::string_view bytes) {
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         S_IRUSR | S_IWUSR));
    if (!file)
        return false;
    if (writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.reset())
        return true;
    ::unlink(path.c_str());
    return false;
}

NativePath NativeFiles::settledPath(const NativePath& path) {
    std::error_code error;
    NativePath settled = std::filesystem::canonical(path, error);
    return error ? path : settled;
}

std::optional<FileIdentity> NativeFiles::identity(const NativePath& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::uint64_t>(info.st_nlink)};
}

FileAttributes NativeFiles::privateAttributes(FileAttributes attributes) const {
    return FileAttributes{attributes.word & ~static_cast<std::uint32_t>(S_IRWXG | S_IRWXO)};
}

ReplacementRefusal NativeFiles::replacementRefusal(const NativePath& target) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0)
        return errno == ENOENT ? ReplacementRefusal::None : ReplacementRefusal::NotARegularFile;
    if (const ReplacementRefusal refusal = posix::refusalFor(info);
        refusal != ReplacementRefusal::None) {
        return refusal;
    }
    // The new version is made in a folder beside the file, which needs a folder one may write.
    const NativePath parent = target.parent_path().empty() ? NativePath(".") : target.parent_path();
    return ::access(parent.c_str(), W_OK | X_OK) == 0 ? ReplacementRefusal::None
                                                      : ReplacementRefusal::NoPrivateFolder;
}

std::unique_ptr<FileReplacement> NativeFiles::beginReplacement(const NativePath& target,
                                                               std::string_view suffix,
                                                               ReplacementRefusal& refusal) {
    return posix::beginFileReplacement(target, suffix, refusal);
}

AppendResult NativeFiles::appendExclusive(const NativePath& path, std::string_view bytes) {
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file)
        return AppendResult::Failed;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? AppendResult::Busy : AppendResult::Failed;
    }
    if (::lseek(file.get(), 0, SEEK_END) < 0)
        return AppendResult::Failed;
    if (!writeAll(file.get(), bytes))
        return AppendResult::Failed;
    return file.reset() ? AppendResult::Written : AppendResult::Failed;
}

}  // namespace kovrisk
