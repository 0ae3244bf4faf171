#include "platform/posix/owner_only_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/posix/unique_fd.h"

namespace kovrisk {

namespace {

constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

// Takes the group's and others' bits from the folder or regular file at `path`; whether it had any.
bool tighten(const NativePath& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || info.st_uid != ::geteuid() ||
        !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)) || (info.st_mode & kOthersBits) == 0) {
        return false;
    }
    return ::fchmod(file.get(), info.st_mode & 07777 & ~kOthersBits) == 0;
}

}  // namespace

bool makeOwnerOnly(const NativePath& folder) {
    const NativePath top = folder.has_filename() ? folder : folder.parent_path();
    bool changed = tighten(top);
    std::error_code error;
    struct stat info {};
    if (::lstat(top.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return changed;
    // Folder links are not followed; a file link is opened without following and left.
    for (auto entry = std::filesystem::recursive_directory_iterator(
             top, std::filesystem::directory_options::skip_permission_denied, error);
         !error && entry != std::filesystem::recursive_directory_iterator();
         entry.increment(error)) {
        changed = tighten(entry->path()) || changed;
    }
    return changed;
}

}  // namespace kovrisk
