// How a run of the program ended.  Only the terminal on Linux tells it (by its exit code); the
// window, as on Windows, always ends with 0.
#pragma once

namespace kovrisk {

enum class RunEnd {
    finished,          // locked, or opened for the user (or checked, where nothing can show it)
    cancelled,         // the confirmation was not answered yes
    dropOneFile,       // not exactly one argument
    notInstalled,      // the spreadsheet application could not be started
    badExtension,      // neither .xls nor .xlsx
    workbookBusy,      // another run of the program is working on the workbook
    tooLarge,          // larger than any workbook: not given to the spreadsheet application
    notAWorkbookFile,  // no regular file, an empty one, or one the office's lock file cannot go
                       // with
    noClaim,           // the run could not claim the workbook
    lockRefused,       // the workbook cannot be locked as it is; nothing changed
    openRefused,       // the workbook is not for this computer, or not locked by the program
    passwordFailed,    // F1
    openFailed,        // F2
    backupFailed,      // F3
    lockFailed,        // F4
    backupLockFailed,  // F5
};

}  // namespace kovrisk
