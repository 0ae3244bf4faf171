// What start-up settles once for the whole run and every later step reads.
#pragma once

#include <string>

#include "platform/files.h"

namespace kovrisk {

struct ProcessState {
    // The program's data folder ("Kovrisk" below the common data folder).
    NativePath dataFolder;
    // Whether the spreadsheet application could be started; no workbook operation runs without.
    bool installed = false;
    // Trimmed, a-z upper-cased, Shift-JIS; empty when unavailable.
    std::string computerName;
};

}  // namespace kovrisk
