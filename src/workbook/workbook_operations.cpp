#include "workbook/workbook_operations.h"

#include "platform/text_codec.h"
#include "support/machine_tag.h"
#include "support/shift_jis.h"
#include "support/texts.h"
#include "workbook/replacement_refusal.h"

namespace kovrisk {

namespace {

constexpr int kWhiteColorIndex = 2;

// One operation's hold on the spreadsheet application: its log prefix, the application, the
// workbook, and the failure path that tidies them up.
class Session {
public:
    Session(ActivityLog& log, std::string name) : log_(log), name_(std::move(name)) {}

    void step(std::string_view what) { log_.LogWrite(name_ + "():" + std::string(what)); }

    // Creates a hidden application in which no macro of a workbook runs.
    void start(ApplicationFactory& spreadsheet) {
        application = spreadsheet.create();
        application->setVisible(false);
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

bool isControlSheetName(const std::string& name) {
    return asciiUpper(name) == asciiUpper(texts::kControlSheetName);
}

// The saved copy's name: the workbook's own, followed by this.
constexpr std::string_view kTemporarySuffix = ".pwd";

}  // namespace

WorkbookOperations::WorkbookOperations(ApplicationFactory& spreadsheet, ActivityLog& log,
                                       Files& files, Clock& clock, MessageBoxes& boxes,
                                       const ProcessState& state)
    : spreadsheet_(spreadsheet),
      log_(log),
      files_(files),
      clock_(clock),
      boxes_(boxes),
      state_(state) {}

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
    if (!state_.installed)
        return false;
    Session session(log_, "fncXlsOpenChk");
    try {
        session.start(spreadsheet_);
        session.step("TRY OPEN");
        session.open(path, password);
        // What a lock would keep of it; a failure to tell is no failure of the probe.
        probe_ = findingsOf(*session.workbook);
        session.step("OPEN OK");
        session.closeAndQuit();
        session.step("CLOSE");
        return true;
    } catch (...) {
        session.fail();
        return false;
    }
}

bool WorkbookOperations::fncXlsPwdChg(const NativePath& path, const std::string& openPassword,
                                      const std::string& newPassword) {
    return resave(
        "fncXlsPwdChg", "TRY OPEN", path, openPassword, newPassword,
        [this](Application& application, Workbook& book) { addControlSheet(application, book); });
}

bool WorkbookOperations::fncXlsPwdChgForBackup(const NativePath& path,
                                               const std::string& openPassword,
                                               const std::string& newPassword) {
    return resave("fncXlsPwdChgForBackup", "TRY Backup File Open.", path, openPassword, newPassword,
                  [](Application&, Workbook&) {});
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

bool WorkbookOperations::resave(const std::string& name, std::string_view tryStep,
                                const NativePath& path, const std::string& openPassword,
                                const std::string& newPassword, const Change& change) {
    if (!state_.installed)
        return false;
    Session session(log_, name);
    // The saved copy is written in a folder only this run may write, beside the file; it goes
    // with that folder on every road that does not put it in the file's place.
    ReplacementRefusal refusal = ReplacementRefusal::None;
    const std::unique_ptr<FileReplacement> replacement =
        files_.beginReplacement(path, kTemporarySuffix, refusal);
    if (!replacement) {
        log_.LogWrite(describeRefusal(refusal, path));
        return false;
    }
    // A read-only file is made writable while the operation works on it: an application may open
    // a file it cannot write in a mode that refuses changes.  Its attributes come back on failure.
    const std::optional<FileAttributes> attributes = files_.attributes(path);
    const bool readOnly = attributes && files_.isReadOnly(*attributes);
    if (readOnly)
        files_.setAttributes(path, files_.withoutReadOnly(*attributes));
    try {
        session.start(spreadsheet_);
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
        session.workbook->saveAs(replacement->newVersion(), findings.format.kind, newPassword);
        session.closeAndQuit();
    } catch (...) {
        session.fail();
        if (readOnly)
            files_.setAttributes(path, *attributes);
        return false;
    }
    if (readOnly) {
        log_.LogWrite(toShiftJis(path));
        log_.LogWrite(texts::kRemovingReadOnly);
    }
    if (!replacement->commit()) {
        // The file at the path stays as it was; the saved copy goes with the private folder.
        log_.LogWrite(texts::kDeleteError);
        if (readOnly)
            files_.setAttributes(path, *attributes);
        return false;
    }
    session.step("CLOSE.");
    return true;
}

bool WorkbookOperations::grants(const std::string& tag) const {
    const std::string decoded = asciiUpper(fncPcNameDec(asciiUpper(tag)));
    // An empty name is no name: it never grants, whatever this computer is called.
    return !decoded.empty() && decoded == asciiUpper(state_.computerName);
}

bool WorkbookOperations::fncXlsOpenExec(const NativePath& path, const std::string& password) {
    if (!state_.installed)
        return false;
    Session session(log_, "fncXlsOpenExec");
    openRefused_ = false;
    try {
        session.start(spreadsheet_);
        session.step("TRY OPEN");
        session.open(path, password);
        Workbook& book = *session.workbook;
        // A refusal closes everything before it tells the user why.
        const auto refuse = [&](const std::string& text) {
            session.closeAndQuit();
            log_.LogWrite(text);
            boxes_.messageBox(text, BoxButtons::Ok);
            openRefused_ = true;
            return true;
        };

        bool found = false;
        const int count = book.worksheets()->count();
        for (int i = 1; i <= count; ++i) {
            if (isControlSheetName(book.worksheet(i)->name()))
                found = true;
        }
        if (!found)
            return refuse(std::string(texts::kNoControlSheet));

        const std::string sheetName(texts::kControlSheetName);
        log_.LogWrite(texts::kPcCheck);
        bool granted = false;
        // Permitted machines stand in column Z from row 2 on; one entry is read.
        for (int row = 2; row <= 2; ++row) {
            const std::string address = "Z" + std::to_string(row);
            if (book.worksheet(sheetName)->range(address)->value().empty()) {
                log_.LogWrite(texts::kPcCompareEnd);
                break;
            }
            log_.LogWrite(texts::kPcCompare);
            if (grants(book.worksheet(sheetName)->range(address)->value()))
                granted = true;
        }
        // Control sheets of the earlier layout hold the tag in A2.
        log_.LogWrite(texts::kCompatCheck);
        if (grants(book.worksheet(sheetName)->range("A2")->value()))
            granted = true;

        // A workbook another office has open (one handed to the user earlier, still on screen)
        // is not handed over a second time, read-only.
        if (granted && book.heldByAnotherApplication())
            return refuse(std::string(texts::kAlreadyOpen));
        if (granted) {
            session.step("OPEN OK");
            session.application->setVisible(true);
            // The application and its workbook now belong to the user: released, not closed.
            session.workbook.reset();
            session.application.reset();
            return true;
        }

        return refuse(std::string(texts::kRefusedPrefix) + state_.computerName +
                      std::string(texts::kRefusedSuffix));
    } catch (...) {
        session.fail(texts::kPasswordMismatch);
        return false;
    }
}

}  // namespace kovrisk
