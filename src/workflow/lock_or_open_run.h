// The lock-or-open run: started once by the status window's timer, it probes the workbook and
// either locks it (with a backup copy) or opens it for the user, and ends the program.
#pragma once

#include "support/activity_log.h"
#include "support/file_password.h"
#include "support/process_state.h"
#include "workbook/workbook_operations.h"
#include "workflow/run_window.h"

namespace kovrisk {

class LockOrOpenRun {
public:
    LockOrOpenRun(RunWindow& window, ActivityLog& log, Files& files, Clock& clock,
                  ApplicationFactory& spreadsheet, const ProcessState& state,
                  WorkbookCipher& cipher = excelCipher());

    // Runs once, from the status window's timer: probes the workbook, locks it or opens it, and
    // ends the program.
    void Timer1Timer();

private:
    enum class End { Finished, Cancelled, Refused, OpenRefused, F1, F2, F3, F4, F5 };

    End openRoad(const std::string& fileName);
    End lockRoad(const std::string& fileName);
    // Copies the workbook for the backup copy at `backupPath` into a private folder; false when
    // the copy could not be made.
    bool backUp(const NativePath& target, const NativePath& backupPath);
    // Removes the plain copy made for the backup copy, if it is still there.
    void dropPlainCopy();
    // Whether the target path still leads, through the same folders, to the file settled at the
    // start, and that file has one name.
    bool stillTheSettledFile();
    // Logs and shows why the workbook is not locked.
    End refuse(const std::string& text);
    // The refusal of a run whose application was stopped on a file planted where it reads.
    End refusePlanted();
    void finish(End end);

    RunWindow& window_;
    ActivityLog& log_;
    Files& files_;
    const ProcessState& state_;
    WorkbookOperations operations_;
    PasswordBuffer password_;
    NativePath settled_;
    std::optional<FileIdentity> identity_;
    // The plain copy of the workbook made for its backup copy, until that is encrypted.
    std::unique_ptr<FileReplacement> plainCopy_;
    // An earlier read-only backup copy, made writable to be replaced: its path and attributes.
    struct EarlierBackup {
        NativePath path;
        FileAttributes attributes;
    };
    std::optional<EarlierBackup> earlierBackup_;
};

}  // namespace kovrisk
