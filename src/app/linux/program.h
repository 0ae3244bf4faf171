// The program entry on Linux: a window where a display is there, the terminal otherwise.  The
// spreadsheet application is brought in by the caller, so that the same entry runs with the office
// or with a stand-in.
#pragma once

#include <functional>
#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

struct SpreadsheetSetting {
    // Whether a workbook can be shown to the user.
    bool displayAvailable = false;
    // Tells the user, where a workbook could not be shown for lack of a display, that it was
    // verified all the same.
    std::function<void()> onNoDisplayHandover;
};

using SpreadsheetMaker =
    std::function<std::unique_ptr<ApplicationFactory>(const SpreadsheetSetting& setting)>;

// Runs the program on `argv[1..]`.  Returns the exit code: with a window 0 on every path; in the
// terminal the code of the end (terminal_exit_code.h).
int runKovrisk(int argc, char** argv, const SpreadsheetMaker& makeSpreadsheet);

}  // namespace kovrisk
