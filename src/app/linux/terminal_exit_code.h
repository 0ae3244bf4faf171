// The exit codes of the program in the terminal, one per way a run ends, as the README lists
// them.  A script can tell a lock (0) from a refusal or a failure.  The window always ends with 0.
#pragma once

#include "workflow/run_end.h"

namespace kovrisk {

// An error of the program itself that ended it before its run could.
inline constexpr int kProgramErrorExit = 13;

constexpr int terminalExitCode(RunEnd end) {
    switch (end) {
        case RunEnd::finished:
            return 0;
        case RunEnd::cancelled:
            return 1;
        case RunEnd::dropOneFile:
            return 2;
        case RunEnd::notInstalled:
            return 3;
        case RunEnd::badExtension:
            return 4;
        case RunEnd::workbookBusy:
            return 5;
        case RunEnd::lockRefused:
            return 6;
        case RunEnd::openRefused:
            return 7;
        case RunEnd::passwordFailed:
            return 8;
        case RunEnd::openFailed:
            return 9;
        case RunEnd::backupFailed:
            return 10;
        case RunEnd::lockFailed:
            return 11;
        case RunEnd::backupLockFailed:
            return 12;
        case RunEnd::tooLarge:
            return 14;
        case RunEnd::notAWorkbookFile:
            return 15;
        case RunEnd::noClaim:
            return 16;
    }
    return kProgramErrorExit;
}

}  // namespace kovrisk
