#include "platform/posix/owned_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kovrisk {

namespace {

FolderFault cannotMake(std::error_code& error, int number) {
    error.assign(number, std::generic_category());
    return FolderFault::cannotMake;
}

}  // namespace

FolderFault prepareOwnedFolder(const NativePath& folder, std::error_code& error) {
    error.clear();
    // "a/b/" would have lstat follow a link at b.
    const NativePath path = folder.has_filename() ? folder : folder.parent_path();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return cannotMake(error, errno);
        if (path.has_parent_path()) {
            std::filesystem::create_directories(path.parent_path(), error);
            if (error)
                return FolderFault::cannotMake;
        }
        // Made by someone else in the meantime: judged below like any folder that was there.
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return cannotMake(error, errno);
        if (::lstat(path.c_str(), &info) != 0)
            return cannotMake(error, errno);
    }
    if (S_ISLNK(info.st_mode))
        return FolderFault::symbolicLink;
    if (!S_ISDIR(info.st_mode))
        return FolderFault::notAFolder;
    if (info.st_uid != ::geteuid())
        return FolderFault::otherOwner;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return FolderFault::writableByOthers;
    return FolderFault::none;
}

}  // namespace kovrisk
