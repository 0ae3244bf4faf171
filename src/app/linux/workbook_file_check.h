// What the start of a run checks of the file named on the command line before a spreadsheet
// application reads it: a device, a pipe or an empty file is no workbook, and the application
// would wait on it or misread it; a name too long for the office's lock file beside it, or a lock
// file planted there that is no regular file, would have it fail for another reason than the real
// one, or hang.
#pragma once

#include <string_view>

#include "platform/files.h"

namespace kovrisk {

// Why `workbook` is no file to give the spreadsheet application, as the text to log and show;
// empty when it may be a workbook (a missing file is left to the run, which cannot open it).
std::string_view workbookFileObstacle(const NativePath& workbook);

}  // namespace kovrisk
