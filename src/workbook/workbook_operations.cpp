#include "workbook/workbook_operations.h"

#include "platform/text_codec.h"
#include "support/machine_tag.h"
#include "support/shift_jis.h"
#include "support/texts.h"
#include "workbook/encryption/encryption_refusal.h"
#include "workbook/path_limit.h"
#include "workbook/replacement_refusal.h"

namespace kovrisk {

namespace {

// The text of the error being handled (called inside a catch block), as the log shows it: the
// application's own for an automation error.
std::string failureText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return std::string(texts::kUnknownError);
    }
}

// Inside a handler: whether the failure being handled is the application stopped on a planted
// file.
bool plantedFileCaught() {
    try {
        throw;
    } catch (const PlantedFileError&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

// One operation's hold on the spreadsheet application: its log prefix, the application, the
// workbook, and the failure path that tidies them up.
class OperationSession {
public:
    OperationSession(ActivityLog& log, std::string name) : log_(log), name_(std::move(name)) {}

    void step(std::string_view what) { log_.LogWrite(name_ + "():" + std::string(what)); }

    // Creates a hidden application in which no macro of a workbook runs and that asks nobody
    // anything: nobody could answer it.
    void start(ApplicationFactory& spreadsheet) {
        application = spreadsheet.create();
        application->setVisible(false);
        application->setDisplayAlerts(false);
        application->disableMacros();
    }

    void open(const NativePath& path, const std::string& password) {
        workbook = application->workbooks()->open(path, password);
        opened = true;
    }

    // Closes the workbook unsaved and quits the application, on the road that goes on.
    void closeAndQuit() {
        if (workbook) {
            workbook->close(false);
            workbook.reset();
        }
        if (application) {
            application->quit();
            application.reset();
        }
    }

    // The failure path: logs and tidies up; errors met on the way are swallowed.
    // `notOpened`, when given, is logged in place of the workbook clean-up line before the workbook
    // was opened.
    void fail(std::string_view notOpened = {}) {
        step(texts::kCatchException);
        log_.LogWrite(name_ + "()ERROR=" + failureText());
        if (opened) {
            step(texts::kWorkbookCleanup);
            if (workbook) {
                try {
                    workbook->close(false);
                } catch (...) {
                }
                workbook.reset();
            }
        } else if (!notOpened.empty()) {
            step(notOpened);
        }
        step(texts::kAutomationShutdown);
        if (application) {
            try {
                application->quit();
            } catch (...) {
            }
            application.reset();
        }
    }

    std::unique_ptr<Application> application;
    std::unique_ptr<Workbook> workbook;
    bool opened = false;

private:
    ActivityLog& log_;
    std::string name_;
};

namespace {

constexpr int kWhiteColorIndex = 2;

bool isControlSheetName(const std::string& name) {
    return asciiUpper(name) == asciiUpper(texts::kControlSheetName);
}

// A read-only file is made writable while it is replaced: an application may open a file it
// cannot write in a mode that refuses changes.  Its attributes come back on failure.
class WritableMeanwhile {
public:
    WritableMeanwhile(Files& files, NativePath path) : files_(files), path_(std::move(path)) {
        attributes_ = files_.attributes(path_);
        readOnly_ = attributes_ && files_.isReadOnly(*attributes_);
        if (readOnly_)
            files_.setAttributes(path_, files_.withoutReadOnly(*attributes_));
    }
    bool wasReadOnly() const { return readOnly_; }
    void giveBack() {
        if (readOnly_)
            files_.setAttributes(path_, *attributes_);
    }

private:
    Files& files_;
    NativePath path_;
    std::optional<FileAttributes> attributes_;
    bool readOnly_ = false;
};

// The saved copy's name: the workbook's own, followed by this.
constexpr std::string_view kTemporarySuffix = ".pwd";

// Puts the new version in the file's place; on failure the file stays as it was, with its
// attributes, and the new version goes with the private folder.
bool putInPlace(ActivityLog& log, OperationSession& session, FileReplacement& replacement,
                WritableMeanwhile& writable) {
    if (writable.wasReadOnly()) {
        log.LogWrite(toShiftJis(replacement.target()));
        log.LogWrite(texts::kRemovingReadOnly);
    }
    if (!replacement.commit()) {
        log.LogWrite(texts::kDeleteError);
        if (const std::string where = describeFailedCommit(replacement); !where.empty())
            log.LogWrite(where);
        writable.giveBack();
        return false;
    }
    session.step("CLOSE.");
    return true;
}

}  // namespace

WorkbookOperations::WorkbookOperations(ApplicationFactory& spreadsheet, ActivityLog& log,
                                       Files& files, Clock& clock, MessageBoxes& boxes,
                                       const ProcessState& state, WorkbookCipher& cipher)
    : spreadsheet_(spreadsheet),
      log_(log),
      files_(files),
      clock_(clock),
      boxes_(boxes),
      state_(state),
      cipher_(cipher) {}

ProbeFindings WorkbookOperations::findingsOf(Workbook& book) {
    ProbeFindings findings;
    try {
        findings.format = book.fileFormat();
        findings.loadedWhole = book.loadedWhole();
        findings.structureProtected = book.protectsStructure();
        findings.readOnly = book.readOnly();
        findings.known = true;
    } catch (...) {
        // Unknown: no lock is offered.
    }
    return findings;
}

std::string WorkbookOperations::lockObstacle(const ProbeFindings& findings) {
    if (!findings.known)
        return std::string(texts::kFormatUnknown);
    if (findings.format.kind == WorkbookFormat::Other) {
        return std::string(texts::kFormatNotLockablePrefix) + findings.format.name +
               std::string(texts::kFormatNotLockableSuffix);
    }
    if (!findings.loadedWhole)
        return std::string(texts::kNotReadWhole);
    if (findings.structureProtected)
        return std::string(texts::kStructureProtected);
    if (findings.readOnly)
        return std::string(texts::kInUse);
    return {};
}

bool WorkbookOperations::fncXlsOpenChk(const NativePath& path, const std::string& password) {
    probe_ = ProbeFindings{};
    planted_ = false;
    if (!state_.installed)
        return false;
    OperationSession session(log_, "fncXlsOpenChk");
    try {
        session.start(spreadsheet_);
        session.step("TRY OPEN");
        session.open(path, password);
        // What a lock would keep of it; a failure to tell is no failure of the probe.
        probe_ = findingsOf(*session.workbook);
        session.step("OPEN OK");
        session.closeAndQuit();
        // Where the lock writes the control sheet into the file, a file the writer finds damaged
        // is read in part only, whatever the application made of it.
        if (ControlSheetWriter* writer = spreadsheet_.controlSheetWriter();
            writer && probe_.known && probe_.loadedWhole) {
            if (const std::optional<std::string> file = files_.readAll(path)) {
                const ControlSheetEdit trial = writer->addControlSheet(*file, ControlSheet{});
                if (trial.outcome == ControlSheetEdit::Outcome::Damaged) {
                    session.step(std::string(texts::kDamagedWorkbook) + trial.why);
                    probe_.loadedWhole = false;
                }
            }
        }
        session.step("CLOSE");
        return true;
    } catch (...) {
        planted_ = plantedFileCaught();
        session.fail();
        return false;
    }
}

std::string WorkbookOperations::savePathObstacle(const NativePath& target) const {
    return pathTooLong(target, longestNewVersionPath(target, kTemporarySuffix),
                       spreadsheet_.longestPath());
}

std::string WorkbookOperations::openPathObstacle(const NativePath& target) const {
    return openPathTooLong(target, spreadsheet_.longestPath());
}

bool WorkbookOperations::fncXlsPwdChg(const NativePath& path, const std::string& openPassword,
                                      const std::string& newPassword) {
    swapped_ = false;
    planted_ = false;
    if (ControlSheetWriter* writer = spreadsheet_.controlSheetWriter()) {
        if (!state_.installed)
            return false;
        OperationSession session(log_, "fncXlsPwdChg");
        return replaceFile(
            session, path,
            [&](const NativePath& newVersion) {
                session.step("TRY OPEN");
                writeControlSheet(session, *writer, path, openPassword, newPassword, newVersion);
            },
            {}, expected_);
    }
    return resave(
        "fncXlsPwdChg", "TRY OPEN", path, openPassword, newPassword,
        [this](Application& application, Workbook& book) { addControlSheet(application, book); });
}

void WorkbookOperations::addControlSheet(Application& application, Workbook& book) {
    // Any earlier control sheet goes; after a deletion the same position holds the next one.
    for (int i = 1; i <= book.worksheets()->count();) {
        if (isControlSheetName(book.worksheet(i)->name())) {
            application.setDisplayAlerts(false);
            book.worksheet(i)->remove();
        } else {
            ++i;
        }
    }

    const std::string sheetName(texts::kControlSheetName);
    book.worksheets()->addAfter(*book.worksheet(book.worksheets()->count()));
    book.worksheet(book.worksheets()->count())->setName(sheetName);
    book.worksheet(sheetName)->setVisible(false);
    book.worksheet(sheetName)->range("A1")->setValue(std::string(texts::kControlSheetWarning));
    const std::string tag = fncPcNameEnc(state_.computerName, clock_);
    book.worksheet(sheetName)->range("Z2")->setValue(tag);
    book.worksheet(sheetName)->range("Z2")->font()->setColorIndex(kWhiteColorIndex);
    book.worksheet(sheetName)->protect(std::string(texts::kSheetProtectionPassword), true, true,
                                       true);
    // The workbook opens on its first worksheet; a hidden one cannot be activated, and then the
    // first visible one is.
    const int count = book.worksheets()->count();
    for (int i = 1; i <= count; ++i) {
        if (book.worksheet(i)->visible()) {
            book.worksheet(i)->activate();
            break;
        }
    }
}

void WorkbookOperations::writeControlSheet(OperationSession& session, ControlSheetWriter& writer,
                                           const NativePath& path, const std::string& openPassword,
                                           const std::string& newPassword,
                                           const NativePath& newVersion) {
    const std::optional<std::string> original = files_.readAll(path);
    if (!original)
        throw AutomationError("the workbook cannot be read");
    const ControlSheet sheet{shiftJisToUtf16(texts::kControlSheetName),
                             shiftJisToUtf16(texts::kControlSheetWarning),
                             shiftJisToUtf16(fncPcNameEnc(state_.computerName, clock_)),
                             shiftJisToUtf16(texts::kSheetProtectionPassword)};
    ControlSheetEdit edit = writer.addControlSheet(*original, sheet);
    switch (edit.outcome) {
        case ControlSheetEdit::Outcome::Edited:
            break;
        case ControlSheetEdit::Outcome::NotTaken:
            // Logged once the application runs, as it opens the workbook.
            saveThroughApplication(session,
                                   std::string(texts::kControlSheetByApplication) + edit.why, path,
                                   openPassword, newPassword, newVersion,
                                   [this](Application& application, Workbook& book) {
                                       addControlSheet(application, book);
                                   });
            return;
        case ControlSheetEdit::Outcome::Damaged:
            // Read in part only: nothing is saved of it.
            session.step(std::string(texts::kDamagedWorkbook) + edit.why);
            throw AutomationError(std::string(texts::kNotReadWhole));
    }
    const std::string encrypted = cipher_.encrypt(edit.file, newPassword);
    if (!files_.writeNew(newVersion, encrypted))
        throw AutomationError("the locked workbook cannot be written");
}

bool WorkbookOperations::resave(const std::string& name, std::string_view tryStep,
                                const NativePath& path, const std::string& openPassword,
                                const std::string& newPassword, const Change& change) {
    if (!state_.installed)
        return false;
    OperationSession session(log_, name);
    return replaceFile(
        session, path,
        [&](const NativePath& newVersion) {
            saveThroughApplication(session, tryStep, path, openPassword, newPassword, newVersion,
                                   change);
        },
        {}, expected_);
}

bool WorkbookOperations::replaceFile(OperationSession& session, const NativePath& path,
                                     const std::function<void(const NativePath&)>& write,
                                     const NativePath& source,
                                     const std::optional<FileIdentity>& expected) {
    // Whether the path still leads to the file expected (where one is).
    const auto stillExpected = [&] {
        const std::optional<FileIdentity> now = files_.identity(path);
        swapped_ = expected && !(now && now->sameFile(*expected));
        return !swapped_;
    };
    ReplacementRefusal refusal = ReplacementRefusal::None;
    const std::unique_ptr<FileReplacement> replacement =
        files_.beginReplacement(path, kTemporarySuffix, refusal);
    if (!replacement) {
        log_.LogWrite(describeRefusal(refusal, path));
        return false;
    }
    for (const NativePath& folder : replacement->foldersLeftAlone())
        log_.LogWrite(std::string(texts::kFolderLeftAlone) + toShiftJis(folder));
    if (!stillExpected())
        return false;
    WritableMeanwhile writable(files_, source.empty() ? path : source);
    try {
        write(replacement->newVersion());
    } catch (...) {
        planted_ = plantedFileCaught();
        session.fail();
        writable.giveBack();
        return false;
    }
    if (!stillExpected()) {
        writable.giveBack();
        return false;
    }
    return putInPlace(log_, session, *replacement, writable);
}

void WorkbookOperations::saveThroughApplication(OperationSession& session, std::string_view tryStep,
                                                const NativePath& path,
                                                const std::string& openPassword,
                                                const std::string& newPassword,
                                                const NativePath& newVersion,
                                                const Change& change) {
    // The application could not save under a longer path than it takes.
    if (const std::string tooLong =
            pathTooLong(path, newVersion.native().size(), spreadsheet_.longestPath());
        !tooLong.empty()) {
        throw AutomationError(tooLong);
    }
    session.start(spreadsheet_);
    if (!tryStep.empty())
        session.step(tryStep);
    session.open(path, openPassword);
    // A workbook without any worksheet fails here.
    const std::unique_ptr<Worksheet> first = session.workbook->worksheet(1);
    // Only what the application read whole, in a format that keeps all of it and carries the
    // password, is saved; the file may have changed since the probe looked at it.
    const ProbeFindings findings = findingsOf(*session.workbook);
    if (const std::string obstacle = lockObstacle(findings); !obstacle.empty())
        throw AutomationError(obstacle);
    change(*session.application, *session.workbook);
    session.workbook->saveAs(newVersion, findings.format.kind, newPassword);
    session.closeAndQuit();
}

bool WorkbookOperations::fncXlsPwdChgForBackup(const NativePath& path,
                                               const std::string& openPassword,
                                               const std::string& newPassword,
                                               const NativePath& plainCopy) {
    if (!state_.installed)
        return false;
    OperationSession session(log_, "fncXlsPwdChgForBackup");
    const NativePath& source = plainCopy.empty() ? path : plainCopy;
    return replaceFile(
        session, path,
        [&](const NativePath& newVersion) {
            session.step("TRY Backup File Open.");
            const std::optional<std::string> original = files_.readAll(source);
            if (!original)
                throw AutomationError("the backup copy cannot be read");
            // The copy is encrypted from its own bytes: decrypted, it is the workbook's file as it
            // was.  What the cipher does not take (an Excel 95 workbook, a file it finds damaged or
            // encrypted already) or fails on (a primitive, memory) is saved with the password by
            // the application, as it opens it: no failure of the cipher leaves the copy without
            // one.
            std::optional<std::string> encrypted;
            try {
                encrypted = cipher_.encrypt(*original, newPassword);
            } catch (const std::exception&) {
            }
            if (!encrypted) {
                saveThroughApplication(session, {}, source, openPassword, newPassword, newVersion,
                                       [](Application&, Workbook&) {});
            } else if (!files_.writeNew(newVersion, *encrypted)) {
                throw AutomationError("the encrypted backup copy cannot be written");
            }
        },
        source);
}

bool WorkbookOperations::grants(const std::string& tag) const {
    const std::string decoded = asciiUpper(fncPcNameDec(asciiUpper(tag)));
    // An empty name is no name: it never grants, whatever this computer is called.
    return !decoded.empty() && decoded == asciiUpper(state_.computerName);
}

void WorkbookOperations::handOver(OperationSession& session, const NativePath& path,
                                  const std::string& password) {
    // The hidden steps run no macro.  The user gets the workbook as if opened by hand: under the
    // user's own macro security settings, which only a new open applies.  A workbook without
    // macros is handed over as it is.
    bool reopen = false;
    try {
        reopen = session.workbook->hasMacros();
    } catch (const AutomationError&) {
        // Not known: handed over as it is, its macros off.
    }
    if (reopen) {
        session.workbook->close(false);
        session.workbook.reset();
    }
    // Still hidden, the application becomes the user's own: the user's macro settings for what
    // the user opens in it from now on, and the questions it would ask the user (whether to save
    // changes, and whatever the macro settings ask on the open below).
    session.application->useUsersMacroSettings();
    session.application->setDisplayAlerts(true);
    // From here on it is the user's, even should a step fail: released, never quit.
    const std::unique_ptr<Application> application = std::move(session.application);
    const std::unique_ptr<Workbook> workbook = std::move(session.workbook);
    application->setVisible(true);
    // Without a display nothing is shown, and nobody would get the workbook opened again.
    if (reopen && application->visible()) {
        application->workbooks()->open(path, password);
        if (const std::string notice = application->usersSettingsNotice(); !notice.empty())
            log_.LogWrite(std::string(texts::kMacroSettingsNotUnderstood) + notice);
    }
}

bool WorkbookOperations::hasControlSheet(Workbook& book) {
    const int count = book.worksheets()->count();
    for (int i = 1; i <= count; ++i) {
        if (isControlSheetName(book.worksheet(i)->name()))
            return true;
    }
    return false;
}

bool WorkbookOperations::controlSheetGrants(Workbook& book) {
    const std::string sheetName(texts::kControlSheetName);
    log_.LogWrite(texts::kPcCheck);
    // The permitted computer's tag stands in Z2.
    bool granted = false;
    if (const std::string tag = book.worksheet(sheetName)->range("Z2")->value(); tag.empty()) {
        log_.LogWrite(texts::kPcCompareEnd);
    } else {
        log_.LogWrite(texts::kPcCompare);
        granted = grants(tag);
    }
    // Control sheets of the earlier layout hold it in A2, read whatever Z2 held.
    log_.LogWrite(texts::kCompatCheck);
    const bool grantedByEarlierLayout = grants(book.worksheet(sheetName)->range("A2")->value());
    return granted || grantedByEarlierLayout;
}

bool WorkbookOperations::refuseOpen(OperationSession& session, const std::string& text) {
    session.closeAndQuit();
    log_.LogWrite(text);
    boxes_.messageBox(text, BoxButtons::Ok);
    openRefused_ = true;
    return true;
}

bool WorkbookOperations::fncXlsOpenExec(const NativePath& path, const std::string& password) {
    if (!state_.installed)
        return false;
    OperationSession session(log_, "fncXlsOpenExec");
    openRefused_ = false;
    planted_ = false;
    try {
        session.start(spreadsheet_);
        session.step("TRY OPEN");
        session.open(path, password);
        Workbook& book = *session.workbook;
        if (!hasControlSheet(book))
            return refuseOpen(session, std::string(texts::kNoControlSheet));
        if (!controlSheetGrants(book)) {
            return refuseOpen(session, std::string(texts::kRefusedPrefix) + state_.computerName +
                                           std::string(texts::kRefusedSuffix));
        }
        // A workbook another office has open (one handed to the user earlier, still on screen)
        // is not handed over a second time, read-only.
        if (book.heldByAnotherApplication())
            return refuseOpen(session, std::string(texts::kAlreadyOpen));
        session.step("OPEN OK");
        handOver(session, path, password);
        return true;
    } catch (...) {
        planted_ = plantedFileCaught();
        session.fail(texts::kPasswordMismatch);
        return false;
    }
}

}  // namespace kovrisk
