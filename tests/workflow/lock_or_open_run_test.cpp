#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <functional>
#include <map>

#include "fakes/run_fixture.h"
#include "support/machine_tag.h"
#include "support/texts.h"

namespace kovrisk::testing {
namespace {

using Lines = std::vector<std::string>;

const Lines kProbeOpens = {"fncXlsOpenChk():TRY OPEN", "fncXlsOpenChk():OPEN OK",
                           "fncXlsOpenChk():CLOSE"};
const Lines kProbeFails = {"fncXlsOpenChk():TRY OPEN", "fncXlsOpenChk():Catch Exception",
                           "fncXlsOpenChk()ERROR=The password you supplied is not correct.",
                           "fncXlsOpenChk():Excel OLE終了処理"};

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string str(std::string_view text) {
    return std::string(text);
}

// The user's content of a workbook: each sheet's name and cells.
std::vector<std::pair<std::string, std::map<std::string, std::string>>> content(
    const StandinWorkbook& book) {
    std::vector<std::pair<std::string, std::map<std::string, std::string>>> sheets;
    for (const StandinSheet& sheet : book.sheets)
        sheets.emplace_back(sheet.name, sheet.cells);
    return sheets;
}

#ifndef _WIN32
mode_t modeOf(const NativePath& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}
#endif

class LockOrOpenRunTest : public RunFixture {
protected:
    // Asserts that the workbook at `path` is locked with its file password and carries exactly one
    // control sheet, last, naming `computer`; returns it.
    StandinWorkbook expectLocked(const NativePath& path, const std::string& computer = "PC01") {
        const StandinWorkbook book =
            readStandinWorkbook(path, passwordFor(path.filename().string()));
        const StandinSheet& control = book.sheets.back();
        EXPECT_EQ(control.name, "Kovrisk");
        EXPECT_FALSE(control.visible);
        EXPECT_EQ(control.protection, (StandinProtection{"KorvenatePlume!", true, true, true}));
        EXPECT_EQ(control.cells.at("A1"), str(texts::kControlSheetWarning));
        EXPECT_EQ(fncPcNameDec(control.cells.at("Z2")), computer);
        EXPECT_EQ(control.colorIndexes.at("Z2"), 2);
        EXPECT_EQ(control.cells.size(), 2u);
        EXPECT_TRUE(book.sheets.front().active);
        int controlSheets = 0;
        for (const StandinSheet& sheet : book.sheets)
            controlSheets += sheet.name == "Kovrisk";
        EXPECT_EQ(controlSheets, 1);
        return book;
    }
};

TEST_F(LockOrOpenRunTest, LocksAnUnprotectedWorkbookAndItsBackupCopy) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    run(target);

    EXPECT_EQ(log(), join({{str(texts::kStarted)},
                           kProbeOpens,
                           {"fncXlsPwdChg():TRY OPEN", "fncXlsPwdChg():CLOSE.",
                            "fncXlsPwdChgForBackup():TRY Backup File Open.",
                            "fncXlsPwdChgForBackup():CLOSE.", str(texts::kLocked)}}));
    EXPECT_EQ(window->events, (Lines{"timer off", "status " + str(texts::kStatusStarting),
                                     "box " + str(texts::kConfirm),
                                     "status " + str(texts::kStatusLocking), "close", "end"}));
    EXPECT_EQ(window->boxes.front().buttons, BoxButtons::OkCancelDefaultCancel);

    const StandinWorkbook locked = expectLocked(target);
    EXPECT_EQ(locked.sheets.front().cells.at("A1"), "1");
    EXPECT_EQ(content(readStandinWorkbook(backupOf("Book1.xlsx"), "MIRTHOLAN")),
              content(plainBook()));
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_TRUE(spreadsheet.prompts().empty());
}

TEST_F(LockOrOpenRunTest, CancelTouchesNoFile) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const std::string before = readFile(target);
    run(target, BoxAnswer::Cancel);

    EXPECT_EQ(log(), join({{str(texts::kStarted)}, kProbeOpens, {str(texts::kCancelled)}}));
    EXPECT_EQ(window->boxes.size(), 1u);
    EXPECT_FALSE(window->closed);
    EXPECT_TRUE(window->terminated);
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(std::filesystem::exists(state.dataFolder / "BackUp"));
}

TEST_F(LockOrOpenRunTest, OpensALockedWorkbookOnTheComputerThatLockedIt) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    run(target);
    const std::size_t before = log().size();
    run(target);

    const Lines lines = log();
    EXPECT_EQ(Lines(lines.begin() + static_cast<long>(before), lines.end()),
              join({{str(texts::kStarted)},
                    kProbeFails,
                    {"fncXlsOpenExec():TRY OPEN", str(texts::kPcCheck), str(texts::kPcCompare),
                     str(texts::kCompatCheck), "fncXlsOpenExec():OPEN OK"}}));
    EXPECT_EQ(window->events,
              (Lines{"timer off", "status " + str(texts::kStatusStarting),
                     "status " + str(texts::kStatusPreparingOpen), "close", "end"}));
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
}

TEST_F(LockOrOpenRunTest, RenamedLockedWorkbookFailsToOpenWhileAMovedOneOpens) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    run(target);
    std::filesystem::create_directories(temp / "elsewhere");
    std::filesystem::rename(target, temp / "elsewhere" / "Book1.xlsx");
    run(temp / "elsewhere" / "Book1.xlsx");
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);

    std::filesystem::rename(temp / "elsewhere" / "Book1.xlsx", temp / "work" / "Book2.xlsx");
    const std::size_t before = log().size();
    run(temp / "work" / "Book2.xlsx");
    const Lines lines = log();
    EXPECT_EQ(Lines(lines.begin() + static_cast<long>(before), lines.end()),
              join({{str(texts::kStarted)},
                    kProbeFails,
                    {"fncXlsOpenExec():TRY OPEN", "fncXlsOpenExec():Catch Exception",
                     "fncXlsOpenExec()ERROR=The password you supplied is not correct.",
                     "fncXlsOpenExec():パスワードが一致しません。",
                     "fncXlsOpenExec():Excel OLE終了処理", str(texts::kOpenFailedLog)}}));
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, str(texts::kOpenFailedMessage));
    EXPECT_EQ(window->boxes[0].buttons, BoxButtons::Ok);
    EXPECT_FALSE(window->closed);
    EXPECT_TRUE(window->terminated);
}

TEST_F(LockOrOpenRunTest, AnotherComputersWorkbookIsRefusedWithItsOwnMessageOnly) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    run(target);
    state.computerName = "PC02";
    run(target);
    const std::string refusal = "PC名 PC02 にはオープン許可がありません。";
    EXPECT_EQ(log().back(), refusal);
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, refusal);
    EXPECT_TRUE(window->closed);
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 0);
}

TEST_F(LockOrOpenRunTest, WorkbookWithSomeoneElsesPasswordEndsWithTheOpenFailure) {
    StandinWorkbook book = plainBook();
    book.openPassword = "secret";
    const NativePath target = makeWorkbook("Book1.xls", book);
    const std::string before = readFile(target);
    run(target);
    EXPECT_EQ(log().back(), str(texts::kOpenFailedLog));
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(window->boxes.size(), 1u);
}

TEST_F(LockOrOpenRunTest, MissingOrDamagedFilesTakeTheOpenRoadWithoutConfirmation) {
    writeFile(temp / "work" / "damaged.xls", "not a workbook");
    for (const NativePath& target :
         {temp / "work" / "missing.xlsx", temp / "work" / "damaged.xls"}) {
        run(target);
        EXPECT_EQ(log().back(), str(texts::kOpenFailedLog)) << target;
        ASSERT_EQ(window->boxes.size(), 1u);
        EXPECT_EQ(window->boxes[0].buttons, BoxButtons::Ok);
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "work" / "missing.xlsx"));
}

#ifndef _WIN32  // POSIX permissions; the Windows attribute word is tested in tests/windows.
TEST_F(LockOrOpenRunTest, BackupThatCannotBeWrittenEndsWithF3AndLeavesEverythingAsItWas) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const std::string before = readFile(target);
    StandinWorkbook earlier = plainBook();
    earlier.sheets[0].cells["A1"] = "earlier";
    std::filesystem::create_directories(backupOf("Book1.xlsx").parent_path());
    writeStandinWorkbook(backupOf("Book1.xlsx"), earlier);
    ::chmod(backupOf("Book1.xlsx").c_str(), 0444);
    files.failCopy = [](const NativePath&, const NativePath& to) {
        return to.filename() == "Book1.xlsx.copy";
    };
    run(target);

    const Lines lines = log();
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{backupOf("Book1.xlsx").string(), str(texts::kRemovingReadOnly),
                     str(texts::kBackupFailed)}));
    ASSERT_EQ(window->boxes.size(), 2u);
    EXPECT_EQ(window->boxes[1].text, str(texts::kBackupFailed));
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(loadStandinWorkbook(backupOf("Book1.xlsx")), earlier);
    EXPECT_EQ(modeOf(backupOf("Book1.xlsx")), 0444u);
    EXPECT_TRUE(leftovers().empty());
}
#endif

TEST_F(LockOrOpenRunTest, FailedLockKeepsTheEarlierBackupAndTheBackupFolderNeverHoldsAPlainCopy) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    StandinWorkbook earlier = plainBook();
    earlier.sheets[0].cells["A1"] = "earlier";
    earlier.openPassword = "MIRTHOLAN";
    std::filesystem::create_directories(backupOf("Book1.xlsx").parent_path());
    writeStandinWorkbook(backupOf("Book1.xlsx"), earlier);
    const std::string earlierBytes = readFile(backupOf("Book1.xlsx"));
    // What the backup folder holds while the workbook is being locked.
    std::vector<std::string> seen;
    spreadsheet.onCall("Workbook.SaveAs", [&] {
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(backupOf("Book1.xlsx").parent_path())) {
            seen.push_back(entry.path().filename().string() + ":" +
                           (entry.is_regular_file() ? readFile(entry.path()) : "folder"));
        }
    });
    spreadsheet.failCall("Workbook.SaveAs", "disk full");
    run(target);

    EXPECT_EQ(log().back(), str(texts::kLockFailed));
    EXPECT_EQ(seen, (std::vector<std::string>{"Book1.xlsx:" + earlierBytes}));
    EXPECT_EQ(readFile(backupOf("Book1.xlsx")), earlierBytes);
    EXPECT_EQ(loadStandinWorkbook(target), plainBook());
    EXPECT_TRUE(leftovers().empty());
}

#ifndef _WIN32  // identities and hard links of POSIX systems
TEST_F(LockOrOpenRunTest, AWorkbookSwappedAfterTheProbeOrDuringTheLockIsRefusedAndNothingChanges) {
    // Another file put at the workbook's path: after the probe (while the user confirms), and
    // while the lock saves.
    for (const std::string call : {"Workbook.Close", "Workbook.SaveAs"}) {
        SCOPED_TRACE(call);
        const NativePath target = makeWorkbook("Book1.xlsx");
        StandinWorkbook other = plainBook();
        other.sheets[0].cells["A1"] = "private";
        const NativePath elsewhere = makeWorkbook("private.xlsx", other);
        const std::string otherBytes = readFile(elsewhere);
        std::filesystem::remove(backupOf("Book1.xlsx"));
        StandinApplicationFactory application;
        application.onCall(
            call, [&] { std::filesystem::rename(elsewhere, target); }, 1);
        run(target, BoxAnswer::Ok, &application);
        EXPECT_EQ(log().back(), str(texts::kWorkbookSwapped));
        EXPECT_EQ(window->boxes.back().text, str(texts::kWorkbookSwapped));
        EXPECT_EQ(readFile(target), otherBytes);
        EXPECT_FALSE(std::filesystem::exists(backupOf("Book1.xlsx")));
        EXPECT_TRUE(leftovers().empty());
    }
}

TEST_F(LockOrOpenRunTest, AWorkbookWithAnotherNameIsRefusedBeforeAnythingChanges) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const std::string before = readFile(target);
    std::filesystem::create_hard_link(target, temp / "work" / "Second name.xlsx");
    run(target);
    EXPECT_EQ(log().back(), str(texts::kManyNames));
    ASSERT_EQ(window->boxes.size(), 1u);  // not even the confirmation
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(std::filesystem::exists(backupOf("Book1.xlsx")));
}
#endif

TEST_F(LockOrOpenRunTest, BackupFolderThatCannotBeCreatedEndsWithF3) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    std::filesystem::create_directories(state.dataFolder);
    writeFile(state.dataFolder / "BackUp", "a file in the way");
    run(target);
    EXPECT_EQ(log().back(), str(texts::kBackupFailed));
    EXPECT_EQ(loadStandinWorkbook(target), plainBook());
}

#ifndef _WIN32  // POSIX permissions; the Windows attribute word is tested in tests/windows.
TEST_F(LockOrOpenRunTest, ReadOnlyWorkbookIsLockedAndStaysReadOnlyAsDoesItsBackup) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    ::chmod(target.c_str(), 0444);
    run(target);

    EXPECT_EQ(log(),
              join({{str(texts::kStarted)},
                    kProbeOpens,
                    {"fncXlsPwdChg():TRY OPEN", target.string(), str(texts::kRemovingReadOnly),
                     "fncXlsPwdChg():CLOSE.", "fncXlsPwdChgForBackup():TRY Backup File Open.",
                     backupOf("Book1.xlsx").string(), str(texts::kRemovingReadOnly),
                     "fncXlsPwdChgForBackup():CLOSE.", str(texts::kLocked)}}));
    expectLocked(target);
    EXPECT_EQ(modeOf(target), 0444u);
    // Read-only too, and the user's alone, as everything in the data folder.
    EXPECT_EQ(modeOf(backupOf("Book1.xlsx")), 0400u);
}

TEST_F(LockOrOpenRunTest, ReadOnlyWorkbookIsWritableWhileOpenAndReadOnlyAgainAfterAFailure) {
    // An application may open a file it cannot write in a mode that refuses changes.
    const NativePath target = makeWorkbook("Book1.xlsx");
    ::chmod(target.c_str(), 0444);
    std::vector<mode_t> modesAtOpen;
    spreadsheet.onCall("Workbooks.Open", [&] { modesAtOpen.push_back(modeOf(target)); });
    spreadsheet.failCall("Workbook.SaveAs", "disk full");
    run(target);

    EXPECT_EQ(log().back(), str(texts::kLockFailed));
    EXPECT_EQ(modesAtOpen, (std::vector<mode_t>{0444, 0644}));
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_EQ(loadStandinWorkbook(target), plainBook());
}
#endif

#ifndef _WIN32  // POSIX permissions; the Windows attribute word is tested in tests/windows.
TEST_F(LockOrOpenRunTest, BackupCopyTakesTheWorkbooksAttributesNotItsOwn) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    ::chmod(target.c_str(), 0640);
    std::filesystem::create_directories(backupOf("Book1.xlsx").parent_path());
    writeStandinWorkbook(backupOf("Book1.xlsx"), plainBook());
    ::chmod(backupOf("Book1.xlsx").c_str(), 0400);
    run(target);

    const Lines lines = log();
    EXPECT_EQ(lines[4], backupOf("Book1.xlsx").string());
    EXPECT_EQ(lines[5], str(texts::kRemovingReadOnly));
    EXPECT_EQ(lines.back(), str(texts::kLocked));
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_EQ(modeOf(backupOf("Book1.xlsx")), 0600u);
    readStandinWorkbook(backupOf("Book1.xlsx"), "MIRTHOLAN");
}
#endif

TEST_F(LockOrOpenRunTest, SameFileNameInTwoFoldersSharesOneBackupPath) {
    StandinWorkbook second = plainBook();
    second.sheets[0].cells["A1"] = "second";
    const NativePath first = makeWorkbook("Same.xlsx");
    std::filesystem::create_directories(temp / "other");
    const NativePath other = temp / "other" / "Same.xlsx";
    writeStandinWorkbook(other, second);
    run(first);
    run(other);
    EXPECT_EQ(content(readStandinWorkbook(backupOf("Same.xlsx"), "MIRTHOLAN")), content(second));
    expectLocked(first);
    expectLocked(other);
}

TEST_F(LockOrOpenRunTest, EarlierControlSheetsAreReplacedByOneLastSheet) {
    StandinWorkbook book = plainBook();
    StandinSheet stale;
    stale.name = "kovrisk";
    stale.cells["Z2"] = "00";
    StandinSheet upper = stale;
    upper.name = "KOVRISK";
    upper.visible = false;
    StandinSheet notes;
    notes.name = "Notes";
    book.sheets = {stale, book.sheets[0], upper, notes};
    const NativePath target = makeWorkbook("Book1.xlsx", book);
    run(target);

    const StandinWorkbook locked = expectLocked(target);
    ASSERT_EQ(locked.sheets.size(), 3u);
    EXPECT_EQ(locked.sheets[0].name, "Data");
    EXPECT_EQ(locked.sheets[1].name, "Notes");
}

TEST_F(LockOrOpenRunTest, MacrosRunOnlyInTheWorkbookHandedToTheUserAsTheUserSettled) {
    StandinWorkbook book = plainBook();
    book.autoRunMacro = true;
    const NativePath target = makeWorkbook("Book1.xlsm.xls", book);
    spreadsheet.setUsersMacroSetting(StandinUsersMacros::Enable);
    run(target);
    EXPECT_TRUE(spreadsheet.macrosRun().empty());
    run(target);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);
    EXPECT_EQ(spreadsheet.macrosRun(), std::vector<NativePath>{target});

    spreadsheet.setUsersMacroSetting(StandinUsersMacros::Disable);
    run(target);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 2);
    EXPECT_EQ(spreadsheet.macrosRun().size(), 1u);
    EXPECT_TRUE(spreadsheet.prompts().empty());
}

TEST_F(LockOrOpenRunTest, NothingRunsWithoutTheSpreadsheetApplication) {
    state.installed = false;
    const NativePath target = makeWorkbook("Book1.xlsx");
    run(target);
    EXPECT_EQ(log(), (Lines{str(texts::kStarted), str(texts::kOpenFailedLog)}));
    EXPECT_TRUE(spreadsheet.calls().empty());
}

// Each call of the lock and of the backup lock fails in turn; nothing may be lost.
TEST_F(LockOrOpenRunTest, EveryFailingCallOfTheLockRoadLosesNothing) {
    // First a clean run, to learn the calls the lock road makes.
    const NativePath probeTarget = makeWorkbook("Learn.xlsx");
    run(probeTarget);
    // Call names without arguments, so that they match the runs on other files.
    const Lines calls = spreadsheet.callNames();
    std::size_t firstLockCall = 0;
    int creates = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == "Application.Create" && ++creates == 2)
            firstLockCall = i;
    }
    ASSERT_GT(firstLockCall, 0u);

    int tried = 0;
    for (std::size_t failing = firstLockCall; failing < calls.size(); ++failing) {
        // The occurrence of this line within one run.
        int occurrence = 0;
        for (std::size_t i = 0; i <= failing; ++i)
            occurrence += calls[i] == calls[failing];
        const std::string name = "Case" + std::to_string(failing) + ".xlsx";
        const NativePath target = makeWorkbook(name);
        const std::string before = readFile(target);

        StandinApplicationFactory faulty;
        faulty.failCall(calls[failing], "injected", occurrence);
        run(target, BoxAnswer::Ok, &faulty);
        ++tried;

        SCOPED_TRACE(calls[failing]);
        const std::string last = log().back();
        ASSERT_TRUE(last == str(texts::kLockFailed) || last == str(texts::kBackupLockFailed))
            << last;
        if (last == str(texts::kLockFailed))
            EXPECT_EQ(readFile(target), before);
        else
            expectLocked(target);
        // No plain backup copy, ever.
        EXPECT_FALSE(std::filesystem::exists(backupOf(name)));
        EXPECT_TRUE(leftovers().empty());
        EXPECT_EQ(faulty.runningInstances(), 0);
    }
    RecordProperty("failing_calls_tried", tried);
    EXPECT_GE(tried, 20);
}

#ifndef _WIN32  // POSIX permissions; the Windows attribute word is tested in tests/windows.
TEST_F(LockOrOpenRunTest, FailedReplacementIsAFailureAndKeepsTheWorkbook) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    ::chmod(target.c_str(), 0444);
    const std::string before = readFile(target);
    files.failReplace = [&target](const NativePath&, const NativePath& to) { return to == target; };
    run(target);

    const Lines lines = log();
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"fncXlsPwdChg():TRY OPEN", target.string(), str(texts::kRemovingReadOnly),
                     str(texts::kDeleteError), str(texts::kLockFailed)}));
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_TRUE(leftovers().empty());
}
#endif

TEST_F(LockOrOpenRunTest, FailedReplacementOfTheBackupIsF5) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const NativePath backup = backupOf("Book1.xlsx");
    files.failReplace = [&backup](const NativePath& from, const NativePath& to) {
        return to == backup && from.extension() == ".pwd";
    };
    run(target);
    const Lines lines = log();
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{str(texts::kDeleteError), str(texts::kBackupLockFailed)}));
    expectLocked(target);
    EXPECT_FALSE(std::filesystem::exists(backup));
    EXPECT_TRUE(leftovers().empty());
}

#ifndef _WIN32  // symbolic links of POSIX systems
TEST_F(LockOrOpenRunTest, ALinkedWorkbookIsLockedWhereItIsAndTheLinkStays) {
    const NativePath real = makeWorkbook("Real.xlsx");
    const NativePath link = temp / "work" / "Book1.xlsx";
    std::filesystem::create_symlink(real, link);
    run(link);
    EXPECT_EQ(log().back(), str(texts::kLocked));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    // The password follows the name the user gave; the file it leads to carries it.
    EXPECT_EQ(content(readStandinWorkbook(real, passwordFor("Book1.xlsx"))).front(),
              content(plainBook()).front());
    EXPECT_EQ(loadStandinWorkbook(backupOf("Book1.xlsx")).sheets.size(), 1u);
    EXPECT_TRUE(leftovers().empty());
}
#endif

TEST_F(LockOrOpenRunTest, AWorkbookThatCannotKeepItsOwnerIsLeftBeforeAnythingChanges) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    const std::string before = readFile(target);
    files.refuse = [&target](const NativePath& path) {
        return path.filename() == target.filename() && path.parent_path().filename() == "work"
                   ? ReplacementRefusal::OwnerCannotBeKept
                   : ReplacementRefusal::None;
    };
    run(target);
    const Lines lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(str(texts::kOwnerCannotBeKept), 0), 0u)
        << lines[lines.size() - 2];
    EXPECT_NE(lines[lines.size() - 2].find("Book1.xlsx"), std::string::npos);
    EXPECT_EQ(lines.back(), str(texts::kLockFailed));
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(std::filesystem::exists(backupOf("Book1.xlsx")));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_TRUE(leftovers().empty());
}

// A workbook a lock could not keep whole, or could not give back to this computer, is refused
// before the question is asked and before anything changes.
TEST_F(LockOrOpenRunTest, WhatALockCouldNotKeepIsRefusedBeforeAnythingChanges) {
    struct Case {
        const char* name;
        std::function<void(StandinWorkbook&)> make;
        std::string computer;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"an HTML page named .xls", [](StandinWorkbook& b) { b.format = "44"; }, "PC01",
         str(texts::kFormatNotLockablePrefix) + "FileFormat 44" +
             str(texts::kFormatNotLockableSuffix)},
        {"a workbook read in part", [](StandinWorkbook& b) { b.damaged = true; }, "PC01",
         str(texts::kNotReadWhole)},
        {"a protected structure", [](StandinWorkbook& b) { b.structureProtected = true; }, "PC01",
         str(texts::kStructureProtected)},
        {"a workbook another user has open", [](StandinWorkbook& b) { b.inUse = true; }, "PC01",
         str(texts::kInUse)},
        {"no computer name", [](StandinWorkbook&) {}, "", str(texts::kNoComputerName)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(temp / "data");
        StandinWorkbook book = plainBook();
        c.make(book);
        const NativePath target = makeWorkbook("Book1.xls", book);
        const std::string before = readFile(target);
        state.computerName = c.computer;
        run(target);
        EXPECT_EQ(log(), join({{str(texts::kStarted)}, kProbeOpens, {c.text}}));
        ASSERT_EQ(window->boxes.size(), 1u) << "no question is asked";
        EXPECT_EQ(window->boxes[0].text, c.text);
        EXPECT_EQ(window->boxes[0].buttons, BoxButtons::Ok);
        EXPECT_TRUE(window->terminated);
        EXPECT_EQ(readFile(target), before);
        EXPECT_FALSE(std::filesystem::exists(state.dataFolder / "BackUp"));
        EXPECT_EQ(spreadsheet.runningInstances(), 0);
    }
}

TEST_F(LockOrOpenRunTest, TheLockKeepsTheFormatTheWorkbookHasWhateverItsName) {
    StandinWorkbook excel97 = plainBook();
    excel97.format = "xls";
    const NativePath target = makeWorkbook("Book1.xlsx", excel97);
    const NativePath ooxml = makeWorkbook("Book2.xls");
    StandinWorkbook macroEnabled = plainBook();
    macroEnabled.format = "xlsm";
    const NativePath labelled = makeWorkbook("Book3.xlsx", macroEnabled);
    run(target);
    run(ooxml);
    run(labelled);
    EXPECT_EQ(loadStandinWorkbook(labelled).format, "xlsm");
    EXPECT_EQ(loadStandinWorkbook(target).format, "xls");
    EXPECT_EQ(loadStandinWorkbook(backupOf("Book1.xlsx")).format, "xls");
    EXPECT_EQ(loadStandinWorkbook(ooxml).format, "xlsx");
    expectLocked(ooxml);
}

TEST_F(LockOrOpenRunTest, AHiddenFirstSheetLeavesTheFirstVisibleOneActive) {
    StandinWorkbook book = plainBook();
    book.sheets[0].visible = false;
    book.sheets.push_back(StandinSheet{.name = "Second"});
    book.sheets.push_back(StandinSheet{.name = "Third", .active = true});
    const NativePath target = makeWorkbook("Book1.xlsx", book);
    run(target);
    EXPECT_EQ(log().back(), str(texts::kLocked));
    const StandinWorkbook locked =
        readStandinWorkbook(target, passwordFor(target.filename().string()));
    EXPECT_FALSE(locked.sheets[0].active);
    EXPECT_TRUE(locked.sheets[1].active);
    EXPECT_FALSE(locked.sheets[2].active);
}

TEST_F(LockOrOpenRunTest, AWorkbookDamagedAfterTheProbeIsNotLockedEither) {
    const NativePath target = makeWorkbook("Book1.xlsx");
    // Between the probe and the lock, the file changes into one that reads only in part.
    spreadsheet.onCall(
        "Workbooks.Open",
        [&] {
            StandinWorkbook damaged = plainBook();
            damaged.damaged = true;
            writeStandinWorkbook(target, damaged);
        },
        2);
    run(target);
    const Lines lines = log();
    EXPECT_EQ(lines.back(), str(texts::kLockFailed));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "fncXlsPwdChg():Catch Exception"), lines.end());
    EXPECT_TRUE(loadStandinWorkbook(target).damaged) << "the file stays as it is";
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace
}  // namespace kovrisk::testing
