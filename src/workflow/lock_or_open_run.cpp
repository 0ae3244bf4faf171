#include "workflow/lock_or_open_run.h"

#include <optional>

#include "platform/text_codec.h"
#include "support/shift_jis.h"
#include "support/texts.h"
#include "workbook/replacement_refusal.h"

namespace kovrisk {

namespace {

struct Failure {
    std::string_view logLine;
    std::string_view message;
};

}  // namespace

LockOrOpenRun::LockOrOpenRun(RunWindow& window, ActivityLog& log, Files& files, Clock& clock,
                             ApplicationFactory& spreadsheet, const ProcessState& state,
                             WorkbookCipher& cipher)
    : window_(window),
      log_(log),
      files_(files),
      state_(state),
      operations_(spreadsheet, log, files, clock, window, state, cipher) {}

void LockOrOpenRun::Timer1Timer() {
    window_.disableTimer();
    log_.LogWrite(texts::kStarted);
    window_.setStatusText(std::string(texts::kStatusStarting));
    // What no road could take is refused before the probe: a path the application cannot open,
    // a workbook another program (the user's own Excel) has open.
    if (const std::string tooLong = operations_.openPathObstacle(window_.targetPath());
        !tooLong.empty()) {
        finish(refuse(tooLong));
        return;
    }
    if (files_.heldOpenElsewhere(window_.targetPath())) {
        finish(refuse(std::string(texts::kInUse)));
        return;
    }
    // The file the run works on is settled before anything reads it: the lock may replace only
    // the file that was probed and confirmed.
    settled_ = files_.settledPath(window_.targetPath());
    identity_ = files_.identity(settled_);
    const bool unprotected = operations_.fncXlsOpenChk(window_.targetPath(), "");
    // A pipe or a device put at the office's lock file (or the workbook's) place after the start
    // check stopped the probe: that, not a password, is why.
    if (!unprotected && operations_.lastFailurePlanted()) {
        finish(refusePlanted());
        return;
    }
    const std::string fileName(fileNamePart(toShiftJis(window_.targetPath()), kNativePathStyle));
    finish(unprotected ? lockRoad(fileName) : openRoad(fileName));
}

LockOrOpenRun::End LockOrOpenRun::openRoad(const std::string& fileName) {
    window_.setStatusText(std::string(texts::kStatusPreparingOpen));
    if (!fncPwdMake(fileName, password_))
        return End::F1;
    if (!operations_.fncXlsOpenExec(window_.targetPath(), password_.text()))
        return operations_.lastFailurePlanted() ? refusePlanted() : End::F2;
    return operations_.lastOpenRefused() ? End::OpenRefused : End::Finished;
}

LockOrOpenRun::End LockOrOpenRun::lockRoad(const std::string& fileName) {
    // A lock that would lock the user out, or lose part of the workbook, is not offered.
    if (state_.computerName.empty())
        return refuse(std::string(texts::kNoComputerName));
    ProbeFindings findings = operations_.lastProbe();
    // A read-only file opens read-only; the lock makes it writable while it works on it.
    if (const std::optional<FileAttributes> attributes = files_.attributes(window_.targetPath());
        attributes && files_.isReadOnly(*attributes)) {
        findings.readOnly = false;
    }
    if (const std::string obstacle = WorkbookOperations::lockObstacle(findings); !obstacle.empty())
        return refuse(obstacle);
    // The lock replaces one name of the file; its other names would keep the plain workbook.
    if (identity_ && identity_->links > 1)
        return refuse(std::string(texts::kManyNames));
    // The new version is saved under a longer path than the workbook's own.
    if (const std::string obstacle =
            operations_.savePathObstacle(files_.settledPath(window_.targetPath()));
        !obstacle.empty()) {
        return refuse(obstacle);
    }
    if (window_.messageBox(std::string(texts::kConfirm), BoxButtons::OkCancelDefaultCancel) !=
        BoxAnswer::Ok) {
        return End::Cancelled;
    }
    window_.setStatusText(std::string(texts::kStatusLocking));
    // The file the lock works on is the one settled at the start: a link or a folder on the path
    // changed meanwhile cannot turn the later steps to another file.
    const NativePath target = settled_;
    if (!stillTheSettledFile())
        return refuse(std::string(texts::kWorkbookSwapped));
    operations_.expectFile(*identity_);
    // A workbook that could not be replaced keeping its owner and group is left as it is, before
    // anything changes.
    if (const ReplacementRefusal refusal = files_.replacementRefusal(target);
        refusal != ReplacementRefusal::None) {
        log_.LogWrite(describeRefusal(refusal, target));
        return End::F4;
    }
    const std::optional<FileAttributes> saved = files_.attributes(target);

    const NativePath backupFolder = state_.dataFolder / "BackUp";
    if (!files_.isDirectory(backupFolder))
        files_.createDirectories(backupFolder);
    const NativePath backupPath = backupFolder / window_.targetPath().filename();
    if (!backUp(target, backupPath))
        return End::F3;

    if (!fncPwdMake(fileName, password_))
        return End::F1;
    if (!operations_.fncXlsPwdChg(target, "", password_.text())) {
        if (operations_.lastLockSwapped())
            return refuse(std::string(texts::kWorkbookSwapped));
        if (operations_.lastFailurePlanted())
            return refusePlanted();
        return End::F4;
    }
    if (saved)
        files_.setAttributes(target, *saved);
    // The earlier backup copy is replaced only now, by the encrypted one.
    if (!operations_.fncXlsPwdChgForBackup(backupPath, "", std::string(kBackupPassword),
                                           plainCopy_->newVersion())) {
        return End::F5;
    }
    dropPlainCopy();
    earlierBackup_.reset();  // replaced
    if (saved)
        files_.setAttributes(backupPath, files_.privateAttributes(*saved));
    log_.LogWrite(texts::kLocked);
    return End::Finished;
}

bool LockOrOpenRun::stillTheSettledFile() {
    if (!identity_ || files_.settledPath(window_.targetPath()) != settled_)
        return false;
    const std::optional<FileIdentity> now = files_.identity(settled_);
    return now && now->sameFile(*identity_) && now->links == 1;
}

bool LockOrOpenRun::backUp(const NativePath& target, const NativePath& backupPath) {
    // The plain copy is made in a private folder of the data folder, never in the backup folder,
    // which holds only encrypted copies: the backup lock encrypts it into the place of an earlier
    // backup copy of the same file name once the workbook is locked.  That must be possible
    // before the workbook is locked.
    if (!files_.isDirectory(backupPath.parent_path())) {
        log_.LogWrite(describeRefusal(ReplacementRefusal::NoPrivateFolder, backupPath));
        return false;
    }
    if (const ReplacementRefusal refusal = files_.replacementRefusal(backupPath);
        refusal != ReplacementRefusal::None) {
        log_.LogWrite(describeRefusal(refusal, backupPath));
        return false;
    }
    ReplacementRefusal refusal = ReplacementRefusal::None;
    plainCopy_ =
        files_.beginReplacement(state_.dataFolder / backupPath.filename(), ".copy", refusal);
    if (!plainCopy_) {
        log_.LogWrite(describeRefusal(refusal, state_.dataFolder));
        return false;
    }
    for (const NativePath& folder : plainCopy_->foldersLeftAlone())
        log_.LogWrite(std::string(texts::kFolderLeftAlone) + toShiftJis(folder));
    if (files_.fileExists(backupPath)) {
        // Replaced by its encrypted successor, which a read-only file would refuse; its
        // attributes come back when the run ends without that.
        if (const std::optional<FileAttributes> earlier = files_.attributes(backupPath);
            earlier && files_.isReadOnly(*earlier)) {
            log_.LogWrite(toShiftJis(backupPath));
            log_.LogWrite(texts::kRemovingReadOnly);
            files_.setAttributes(backupPath, files_.withoutReadOnly(*earlier));
            earlierBackup_ = EarlierBackup{backupPath, *earlier};
        }
    }
    return files_.copy(target, plainCopy_->newVersion());
}

LockOrOpenRun::End LockOrOpenRun::refuse(const std::string& text) {
    log_.LogWrite(text);
    window_.messageBox(text, BoxButtons::Ok);
    return End::Refused;
}

LockOrOpenRun::End LockOrOpenRun::refusePlanted() {
    // What was put there: a pipe or a device in the workbook's place is a swapped workbook.
    return refuse(
        std::string(stillTheSettledFile() ? texts::kOfficeLockNotAFile : texts::kWorkbookSwapped));
}

void LockOrOpenRun::dropPlainCopy() {
    // A read-only copy (the workbook's attributes) would stay behind on some platforms.
    if (plainCopy_) {
        if (const std::optional<FileAttributes> attributes =
                files_.attributes(plainCopy_->newVersion())) {
            files_.setAttributes(plainCopy_->newVersion(), files_.withoutReadOnly(*attributes));
        }
        plainCopy_.reset();
    }
}

void LockOrOpenRun::finish(End end) {
    dropPlainCopy();
    if (earlierBackup_)
        files_.setAttributes(earlierBackup_->path, earlierBackup_->attributes);
    RunEnd runEnd = RunEnd::finished;
    std::optional<Failure> failure;
    // Every end named: a new one fails to compile (-Wswitch) until it is given its texts here.
    switch (end) {
        case End::Finished:
            window_.closeWindow();
            break;
        case End::Cancelled:
            log_.LogWrite(texts::kCancelled);
            runEnd = RunEnd::cancelled;
            break;
        case End::Refused:
            runEnd = RunEnd::lockRefused;
            break;  // logged and shown already
        case End::OpenRefused:
            // Refused by the open itself, which told the user why; the run ends as finished.
            runEnd = RunEnd::openRefused;
            window_.closeWindow();
            break;
        case End::F1:
            failure = Failure{texts::kPasswordFailed, texts::kPasswordFailed};
            runEnd = RunEnd::passwordFailed;
            break;
        case End::F2:
            failure = Failure{texts::kOpenFailedLog, texts::kOpenFailedMessage};
            runEnd = RunEnd::openFailed;
            break;
        case End::F3:
            failure = Failure{texts::kBackupFailed, texts::kBackupFailed};
            runEnd = RunEnd::backupFailed;
            break;
        case End::F4:
            failure = Failure{texts::kLockFailed, texts::kLockFailed};
            runEnd = RunEnd::lockFailed;
            break;
        case End::F5:
            failure = Failure{texts::kBackupLockFailed, texts::kBackupLockFailed};
            runEnd = RunEnd::backupLockFailed;
            break;
    }
    if (failure) {
        log_.LogWrite(failure->logLine);
        window_.messageBox(std::string(failure->message), BoxButtons::Ok);
    }
    window_.noteEnd(runEnd, {});
    window_.terminate();
}

}  // namespace kovrisk
