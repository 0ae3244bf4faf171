#include "platform/posix/office_lock_file.h"

#include <sys/stat.h>

#include <system_error>

namespace kovrisk {

namespace {

bool notARegularFile(const NativePath& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

NativePath officeLockFile(const NativePath& path) {
    return path.parent_path() / (".~lock." + path.filename().native() + "#");
}

bool plantedOfficeLockFile(const NativePath& path) {
    if (notARegularFile(officeLockFile(path)))
        return true;
    std::error_code error;
    const NativePath settled = std::filesystem::canonical(path, error);
    return !error && settled != path && notARegularFile(officeLockFile(settled));
}

}  // namespace kovrisk
