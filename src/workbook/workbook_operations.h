// The four workbook operations.  Each starts its own instance of the spreadsheet application,
// catches every automation error itself, logs its steps and reports only true or false.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "support/activity_log.h"
#include "support/message_boxes.h"
#include "support/process_state.h"
#include "workbook/automation.h"
#include "workbook/workbook_cipher.h"

namespace kovrisk {

class OperationSession;

// What the protection probe found out about a workbook that opened without a password: what a
// lock would keep of it.
struct ProbeFindings {
    bool known = false;  // false: the application could not tell
    LoadedFormat format{};
    bool loadedWhole = true;
    bool structureProtected = false;
    bool readOnly = false;
};

class WorkbookOperations {
public:
    WorkbookOperations(ApplicationFactory& spreadsheet, ActivityLog& log, Files& files,
                       Clock& clock, MessageBoxes& boxes, const ProcessState& state,
                       WorkbookCipher& cipher = excelCipher());

    // The protection probe: does the workbook open with `password`?  When it does, what it found
    // is in lastProbe().
    bool fncXlsOpenChk(const NativePath& path, const std::string& password);
    const ProbeFindings& lastProbe() const { return probe_; }
    // Why a lock could not keep the workbook the findings describe, as the text to log and show;
    // empty when it can keep all of it.
    static std::string lockObstacle(const ProbeFindings& findings);
    // Why the application could not save the new version of `target` under its path, as the text
    // to log and show; empty when it can.
    std::string savePathObstacle(const NativePath& target) const;
    // The file the lock may replace: the new version takes the place at the path only while the
    // path leads to this file.  Otherwise the lock fails, with lastLockSwapped() set.
    void expectFile(const FileIdentity& identity) { expected_ = identity; }
    bool lastLockSwapped() const { return swapped_; }
    // Whether the last probe, lock or open failed because the application was stopped on a file
    // planted where it reads (see PlantedFileError).
    bool lastFailurePlanted() const { return planted_; }
    // Why the application could not open the workbook at `target` at all (its path is too long),
    // as the text to log and show; empty when it can.
    std::string openPathObstacle(const NativePath& target) const;
    // Adds the control sheet and saves the workbook with `newPassword` in place of the file.
    bool fncXlsPwdChg(const NativePath& path, const std::string& openPassword,
                      const std::string& newPassword);
    // Encrypts the backup copy with `newPassword` in place of the file, from the file's own bytes,
    // without the spreadsheet application: decrypted, it is the workbook's file as it was.  With
    // `plainCopy`, the copy is read from there and its encrypted form takes the place of the file
    // at `path` (an earlier backup copy), which never holds the plain one.
    bool fncXlsPwdChgForBackup(const NativePath& path, const std::string& openPassword,
                               const std::string& newPassword, const NativePath& plainCopy = {});
    // Opens a locked workbook, checks its machine tag, and hands it to the user or refuses it.
    bool fncXlsOpenExec(const NativePath& path, const std::string& password);
    // Whether the last fncXlsOpenExec that returned true refused the workbook (and said why).
    bool lastOpenRefused() const { return openRefused_; }

private:
    using Change = std::function<void(Application&, Workbook&)>;

    // Reads what the probe reports of an opened workbook.
    static ProbeFindings findingsOf(Workbook& book);

    // Opens the workbook at `path` with `openPassword` in a hidden application, lets `change` work
    // on it, saves it with `newPassword` as a new version and puts that in its place.  `name` and
    // `tryStep` make its log lines.
    bool resave(const std::string& name, std::string_view tryStep, const NativePath& path,
                const std::string& openPassword, const std::string& newPassword,
                const Change& change);
    // Begins a replacement of the file at `path` (made writable meanwhile), lets `write` write its
    // new version and puts that in place; on failure (a refusal logged, or `write` throwing:
    // `session`'s failure path) the file stays as it was and false is returned.
    // `source` is the file whose attributes the new version is written from (`path` itself when
    // empty); with `expected`, the path must lead to that file until the new version is in place.
    bool replaceFile(OperationSession& session, const NativePath& path,
                     const std::function<void(const NativePath& newVersion)>& write,
                     const NativePath& source = {},
                     const std::optional<FileIdentity>& expected = std::nullopt);
    // The application's part of `resave`: starts it, logs `tryStep` (unless empty), opens the
    // workbook, lets `change` work on it and saves it with `newPassword` as `newVersion`.
    void saveThroughApplication(OperationSession& session, std::string_view tryStep,
                                const NativePath& path, const std::string& openPassword,
                                const std::string& newPassword, const NativePath& newVersion,
                                const Change& change);

    // Replaces any control sheet by a fresh one naming this computer, last and hidden.
    void addControlSheet(Application& application, Workbook& book);
    // The lock without the application's save: `writer` writes the control sheet into the
    // workbook's own bytes, which are then encrypted with `newPassword` as `newVersion`.  What the
    // writer does not take, the application saves; what it finds damaged is not saved at all.
    void writeControlSheet(OperationSession& session, ControlSheetWriter& writer,
                           const NativePath& path, const std::string& openPassword,
                           const std::string& newPassword, const NativePath& newVersion);
    // Hands the granted workbook, opened in `session`, and its application to the user; one that
    // carries macros is opened again for that under the user's own macro security settings.
    void handOver(OperationSession& session, const NativePath& path, const std::string& password);
    // Whether the workbook has a control sheet, its name in any letter case.
    static bool hasControlSheet(Workbook& book);
    // Reads the machine tags of the control sheet, logging each check: whether one names this
    // computer.
    bool controlSheetGrants(Workbook& book);
    // The open road's refusal: closes everything, then logs `text` and shows it.  Returns true,
    // with lastOpenRefused() set.
    bool refuseOpen(OperationSession& session, const std::string& text);
    // Whether a stored machine tag names this computer.
    bool grants(const std::string& tag) const;

    ApplicationFactory& spreadsheet_;
    ActivityLog& log_;
    Files& files_;
    Clock& clock_;
    MessageBoxes& boxes_;
    const ProcessState& state_;
    WorkbookCipher& cipher_;
    ProbeFindings probe_;
    bool openRefused_ = false;
    std::optional<FileIdentity> expected_;
    bool swapped_ = false;
    bool planted_ = false;
};

}  // namespace kovrisk
