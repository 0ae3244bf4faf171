#include "app/linux/workbook_file_check.h"

#include <limits.h>
#include <sys/stat.h>

#include <string>
#include <system_error>

#include "support/texts.h"

namespace kovrisk {

namespace {

// The office's lock file for the file `path`, beside it.
NativePath officeLockFile(const NativePath& path) {
    return path.parent_path() / (".~lock." + path.filename().native() + "#");
}

// Whether something other than a regular file is at the office's lock file's place for `path`.
bool plantedLockFile(const NativePath& path) {
    struct stat info {};
    return ::lstat(officeLockFile(path).c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

std::string_view workbookFileObstacle(const NativePath& workbook) {
    struct stat info {};
    if (::stat(workbook.c_str(), &info) != 0)
        return {};
    if (!S_ISREG(info.st_mode))
        return texts::kNotARegularWorkbook;
    if (info.st_size == 0)
        return texts::kEmptyWorkbook;
    std::error_code error;
    const NativePath settled = std::filesystem::canonical(workbook, error);
    for (const NativePath& name : {workbook, error ? workbook : settled}) {
        if (name.filename().native().size() + std::string_view(".~lock.#").size() > NAME_MAX)
            return texts::kNameTooLong;
    }
    for (const NativePath& name : {workbook, error ? workbook : settled}) {
        if (plantedLockFile(name))
            return texts::kOfficeLockNotAFile;
    }
    return {};
}

}  // namespace kovrisk
