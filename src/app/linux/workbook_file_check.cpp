#include "app/linux/workbook_file_check.h"

#include <limits.h>
#include <sys/stat.h>

#include <string>
#include <system_error>

#include "platform/posix/office_lock_file.h"
#include "support/texts.h"

namespace kovrisk {

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
    if (plantedOfficeLockFile(workbook))
        return texts::kOfficeLockNotAFile;
    return {};
}

}  // namespace kovrisk
