#include "app/linux/office_setting.h"

#include <cstdlib>

namespace kovrisk {

CalcOptions officeOptions(const SpreadsheetSetting& setting) {
    CalcOptions options;
    options.displayAvailable = setting.displayAvailable;
    // The profile folder stays the backend's own: $XDG_CACHE_HOME/kovrisk or ~/.cache/kovrisk.
    if (const char* office = std::getenv("KOVRISK_SOFFICE"); office != nullptr && *office != '\0') {
        options.officeProgram = office;
    }
    options.onNoDisplayHandover = setting.onNoDisplayHandover;
    return options;
}

}  // namespace kovrisk
