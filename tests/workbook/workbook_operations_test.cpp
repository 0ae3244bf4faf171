#include "workbook/workbook_operations.h"

#include <gtest/gtest.h>

#include "fakes/run_fixture.h"
#include "platform/text_codec.h"
#include "support/machine_tag.h"
#include "support/texts.h"

namespace kovrisk::testing {
namespace {

using Lines = std::vector<std::string>;

class WorkbookOperationsTest : public RunFixture {
protected:
    RecordingWindow boxes;
    WorkbookOperations operations{spreadsheet, activityLog, files, clock, boxes, state, cipher};

    std::string tagOf(const std::string& name) { return fncPcNameEnc(name, clock); }

    // A workbook locked with the password of "Book1.xlsx", its control sheet holding `z2` and
    // `a2`, named `controlName`, at `position` (0-based; last when past the end).
    NativePath lockedWorkbook(const std::string& z2, const std::string& a2,
                              const std::string& controlName = "Kovrisk",
                              std::size_t position = 99) {
        StandinWorkbook book = plainBook();
        book.openPassword = passwordFor("Book1.xlsx");
        StandinSheet control;
        control.name = controlName;
        control.visible = false;
        if (!z2.empty())
            control.cells["Z2"] = z2;
        if (!a2.empty())
            control.cells["A2"] = a2;
        book.sheets.insert(
            book.sheets.begin() + static_cast<long>(std::min(position, book.sheets.size())),
            control);
        return makeWorkbook("Book1.xlsx", book);
    }

    // The same, with Z2 naming this computer, carrying an auto-run macro.
    NativePath lockedMacroWorkbook() {
        StandinWorkbook book = loadStandinWorkbook(lockedWorkbook(tagOf("PC01"), ""));
        book.autoRunMacro = true;
        return makeWorkbook("Book1.xlsx", book);
    }

    bool openExec(const NativePath& path) {
        return operations.fncXlsOpenExec(path, passwordFor("Book1.xlsx"));
    }
};

TEST_F(WorkbookOperationsTest, ProbeTellsUnprotectedFromProtectedWorkbooks) {
    const NativePath plain = makeWorkbook("Plain.xlsx");
    const std::string before = readFile(plain);
    EXPECT_TRUE(operations.fncXlsOpenChk(plain, ""));
    EXPECT_EQ(readFile(plain), before);
    EXPECT_FALSE(operations.fncXlsOpenChk(lockedWorkbook(tagOf("PC01"), ""), ""));
    const NativePath none = temp / "work" / "none.xlsx";
    EXPECT_FALSE(operations.fncXlsOpenChk(none, ""));
    // Each failure is logged with the application's own text.
    EXPECT_EQ(log(),
              (Lines{"fncXlsOpenChk():TRY OPEN", "fncXlsOpenChk():OPEN OK", "fncXlsOpenChk():CLOSE",
                     "fncXlsOpenChk():TRY OPEN", "fncXlsOpenChk():Catch Exception",
                     "fncXlsOpenChk()ERROR=The password you supplied is not correct.",
                     "fncXlsOpenChk():Excel OLE終了処理", "fncXlsOpenChk():TRY OPEN",
                     "fncXlsOpenChk():Catch Exception",
                     "fncXlsOpenChk()ERROR='" + toShiftJis(none) + "' is not a workbook file.",
                     "fncXlsOpenChk():Excel OLE終了処理"}));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
}

TEST_F(WorkbookOperationsTest, ProbeFailingAfterOpenClosesTheWorkbook) {
    spreadsheet.failCall("Workbook.Close(false)", "refused", 1);
    EXPECT_FALSE(operations.fncXlsOpenChk(makeWorkbook("Plain.xlsx"), ""));
    EXPECT_EQ(log(), (Lines{"fncXlsOpenChk():TRY OPEN", "fncXlsOpenChk():OPEN OK",
                            "fncXlsOpenChk():Catch Exception", "fncXlsOpenChk()ERROR=refused",
                            "fncXlsOpenChk():Excelファイル変数整理",
                            "fncXlsOpenChk():Excel OLE終了処理"}));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
}

TEST_F(WorkbookOperationsTest, EveryOperationRefusesWithoutTheApplication) {
    state.installed = false;
    const NativePath path = makeWorkbook("Plain.xlsx");
    EXPECT_FALSE(operations.fncXlsOpenChk(path, ""));
    EXPECT_FALSE(operations.fncXlsPwdChg(path, "", "x"));
    EXPECT_FALSE(operations.fncXlsPwdChgForBackup(path, "", "x"));
    EXPECT_FALSE(operations.fncXlsOpenExec(path, "x"));
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(spreadsheet.calls().empty());
}

TEST_F(WorkbookOperationsTest, TagInZ2GrantsAfterA2IsReadToo) {
    EXPECT_TRUE(openExec(lockedWorkbook(tagOf("PC01"), "")));
    EXPECT_EQ(log(), (Lines{"fncXlsOpenExec():TRY OPEN", "PCチェック", "PC名比較",
                            "下位互換チェック", "fncXlsOpenExec():OPEN OK"}));
    const Lines calls = spreadsheet.calls();
    const auto a2 = std::find(calls.begin(), calls.end(), "Worksheet(Kovrisk).Range(A2).Value");
    const auto shown = std::find(calls.begin(), calls.end(), "Application.Visible=true");
    EXPECT_LT(a2, shown);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WorkbookOperationsTest, GrantedWorkbookWithoutMacrosIsHandedOverAsOpened) {
    const NativePath path = lockedWorkbook(tagOf("PC01"), "");
    EXPECT_TRUE(openExec(path));
    const Lines calls = spreadsheet.calls();
    const auto told = std::find(calls.begin(), calls.end(), "Workbook.HasVBProject");
    ASSERT_NE(told, calls.end());
    // Opened once, hidden and with macros off; handed over, before it is shown, with what it
    // asks the user back on and the user's macro settings for what the user opens next in it.
    EXPECT_EQ(std::count(calls.begin(), calls.end(),
                         "Workbooks.Open(" + path.string() +
                             ", Password=" + passwordFor("Book1.xlsx") + ")"),
              1);
    EXPECT_EQ(Lines(told, calls.end()),
              (Lines{"Workbook.HasVBProject", "Application.UsersMacroSettings",
                     "Application.DisplayAlerts=true", "Application.Visible=true"}));
    EXPECT_EQ(spreadsheet.instances().back().openWorkbooks, std::vector<NativePath>{path});
    EXPECT_EQ(spreadsheet.instances().back().macroSecurity, StandinMacroSecurity::ByUsersSettings);
}

TEST_F(WorkbookOperationsTest, GrantedWorkbookWithMacrosIsOpenedAgainUnderTheUsersSettings) {
    for (const auto setting :
         {StandinUsersMacros::Ask, StandinUsersMacros::Enable, StandinUsersMacros::Disable}) {
        SCOPED_TRACE(static_cast<int>(setting));
        spreadsheet.setUsersMacroSetting(setting);
        spreadsheet.clearCalls();
        const std::size_t logged = log().size();
        const std::size_t ranBefore = spreadsheet.macrosRun().size();
        const std::size_t askedBefore = spreadsheet.usersQuestions().size();
        const NativePath path = lockedMacroWorkbook();

        EXPECT_TRUE(openExec(path));
        const Lines lines = log();
        EXPECT_EQ(Lines(lines.begin() + static_cast<long>(logged), lines.end()),
                  (Lines{"fncXlsOpenExec():TRY OPEN", "PCチェック", "PC名比較", "下位互換チェック",
                         "fncXlsOpenExec():OPEN OK"}));
        const Lines calls = spreadsheet.calls();
        const std::string open =
            "Workbooks.Open(" + path.string() + ", Password=" + passwordFor("Book1.xlsx") + ")";
        const auto told = std::find(calls.begin(), calls.end(), "Workbook.HasVBProject");
        ASSERT_NE(told, calls.end());
        // The hidden workbook goes unsaved; the application is the user's before it opens it
        // again, so that whatever the user's settings ask is on screen.
        EXPECT_EQ(Lines(told, calls.end()),
                  (Lines{"Workbook.HasVBProject", "Workbook.Close(false)",
                         "Application.UsersMacroSettings", "Application.DisplayAlerts=true",
                         "Application.Visible=true", "Application.Visible", "Application.Workbooks",
                         open}));
        // Nothing ran while the machine check was made.
        const auto firstOpen = std::find(calls.begin(), calls.end(), open);
        EXPECT_LT(std::find(calls.begin(), calls.end(), "Application.DisableMacros"), firstOpen);
        EXPECT_EQ(spreadsheet.macrosRun().size() - ranBefore,
                  setting == StandinUsersMacros::Disable ? 0u : 1u);
        EXPECT_EQ(spreadsheet.usersQuestions().size() - askedBefore,
                  setting == StandinUsersMacros::Ask ? 1u : 0u);
        EXPECT_TRUE(spreadsheet.prompts().empty());
        EXPECT_EQ(spreadsheet.instances().back().openWorkbooks, std::vector<NativePath>{path});
        EXPECT_EQ(spreadsheet.runningInstances(), 0);
    }
    EXPECT_EQ(spreadsheet.handedOverInstances(), 3);
}

TEST_F(WorkbookOperationsTest, MacroWorkbookThatFailsToOpenAgainEndsTheOperation) {
    const NativePath path = lockedMacroWorkbook();
    spreadsheet.failCall("Workbooks.Open", "gone", 2);
    EXPECT_FALSE(openExec(path));
    const Lines lines = log();
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"fncXlsOpenExec():OPEN OK", "fncXlsOpenExec():Catch Exception",
                     "fncXlsOpenExec()ERROR=gone", "fncXlsOpenExec():Excelファイル変数整理",
                     "fncXlsOpenExec():Excel OLE終了処理"}));
    // The application shown to the user is the user's: it is never quit.
    EXPECT_TRUE(spreadsheet.calls().back().starts_with("Workbooks.Open("))
        << spreadsheet.calls().back();
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);
    EXPECT_EQ(spreadsheet.runningInstances(), 0);

    // A workbook that cannot tell whether it has macros is handed over as it is, macros off.
    spreadsheet.failCall("Workbook.HasVBProject", "unknown");
    EXPECT_TRUE(openExec(path));
    EXPECT_EQ(spreadsheet.handedOverInstances(), 2);
    EXPECT_TRUE(spreadsheet.macrosRun().empty());
}

TEST_F(WorkbookOperationsTest, EarlierLayoutWithTheTagInA2Grants) {
    EXPECT_TRUE(openExec(lockedWorkbook("", tagOf("PC01"))));
    EXPECT_EQ(log(), (Lines{"fncXlsOpenExec():TRY OPEN", "PCチェック", "PC名比較終了",
                            "下位互換チェック", "fncXlsOpenExec():OPEN OK"}));
}

TEST_F(WorkbookOperationsTest, TagChecksIgnoreLetterCaseButNothingElse) {
    std::string lower = tagOf("PC01");
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(openExec(lockedWorkbook(lower, "")));
    EXPECT_TRUE(openExec(lockedWorkbook(tagOf("pc01"), "")));
    EXPECT_EQ(spreadsheet.handedOverInstances(), 2);

    for (const std::string& other :
         {tagOf("PC011"), tagOf("PC0"), " " + tagOf("PC01"), std::string("not a tag")}) {
        boxes.boxes.clear();
        EXPECT_TRUE(openExec(lockedWorkbook(other, "")));
        ASSERT_EQ(boxes.boxes.size(), 1u) << other;
        EXPECT_EQ(boxes.boxes[0].text, "PC名 PC01 にはオープン許可がありません。");
    }
    EXPECT_EQ(spreadsheet.handedOverInstances(), 2);
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
}

TEST_F(WorkbookOperationsTest, RefusalClosesBeforeItTellsTheUser) {
    EXPECT_TRUE(openExec(lockedWorkbook(tagOf("PC02"), "")));
    EXPECT_EQ(log(), (Lines{"fncXlsOpenExec():TRY OPEN", "PCチェック", "PC名比較",
                            "下位互換チェック", "PC名 PC01 にはオープン許可がありません。"}));
    const Lines calls = spreadsheet.calls();
    EXPECT_EQ(Lines(calls.end() - 2, calls.end()),
              (Lines{"Workbook.Close(false)", "Application.Quit"}));
    EXPECT_EQ(boxes.boxes.at(0).buttons, BoxButtons::Ok);
}

TEST_F(WorkbookOperationsTest, EmptyNameNeverGrantsEvenOnAComputerWithoutName) {
    state.computerName = "";
    EXPECT_TRUE(openExec(lockedWorkbook(tagOf(""), "")));
    EXPECT_TRUE(openExec(lockedWorkbook("", "")));
    EXPECT_EQ(spreadsheet.handedOverInstances(), 0);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, "PC名  にはオープン許可がありません。");
}

TEST_F(WorkbookOperationsTest, ControlSheetIsFoundUnderAnyCaseAndPosition) {
    EXPECT_TRUE(openExec(lockedWorkbook(tagOf("PC01"), "", "kOVRISK", 0)));
    EXPECT_EQ(spreadsheet.handedOverInstances(), 1);
}

TEST_F(WorkbookOperationsTest, WorkbookWithoutControlSheetIsRefused) {
    StandinWorkbook book = plainBook();
    book.openPassword = passwordFor("Book1.xlsx");
    EXPECT_TRUE(openExec(makeWorkbook("Book1.xlsx", book)));
    EXPECT_EQ(log(), (Lines{"fncXlsOpenExec():TRY OPEN", std::string(texts::kNoControlSheet)}));
    EXPECT_EQ(boxes.boxes.at(0).text, std::string(texts::kNoControlSheet));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 0);
}

TEST_F(WorkbookOperationsTest, FailureAfterOpenCleansUpTheWorkbook) {
    spreadsheet.failCall("Worksheet(Kovrisk).Range(A2).Value", "unreadable");
    EXPECT_FALSE(openExec(lockedWorkbook(tagOf("PC01"), "")));
    const Lines lines = log();
    EXPECT_EQ(
        Lines(lines.end() - 4, lines.end()),
        (Lines{"fncXlsOpenExec():Catch Exception", "fncXlsOpenExec()ERROR=unreadable",
               "fncXlsOpenExec():Excelファイル変数整理", "fncXlsOpenExec():Excel OLE終了処理"}));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_EQ(spreadsheet.handedOverInstances(), 0);
}

TEST_F(WorkbookOperationsTest, FilesAndLinksPlantedBesideTheWorkbookAreNeitherUsedNorTouched) {
    const NativePath path = makeWorkbook("Book1.xlsx");
    const NativePath other = makeWorkbook("Other.xlsx");
    const std::string otherBefore = readFile(other);
    const NativePath planted = temp / "work" / "Book1.xlsx.pwd";
#ifdef _WIN32
    writeFile(planted, "the user's own file");
#else
    std::filesystem::create_symlink(other, planted);
#endif
    EXPECT_TRUE(operations.fncXlsPwdChg(path, "", passwordFor("Book1.xlsx")));
    readStandinWorkbook(path, passwordFor("Book1.xlsx"));
    EXPECT_EQ(readFile(other), otherBefore);
#ifdef _WIN32
    EXPECT_EQ(readFile(planted), "the user's own file");
#else
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
#endif
    // The private folder the saved copy was written in is gone.
    for (const auto& entry : std::filesystem::directory_iterator(temp / "work"))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".kovrisk-")) << entry.path();
}

TEST_F(WorkbookOperationsTest, LockOfAWorkbookWithoutWorksheetsFails) {
    StandinWorkbook charts;
    const NativePath path = makeWorkbook("Charts.xlsx", charts);
    const std::string before = readFile(path);
    EXPECT_FALSE(operations.fncXlsPwdChg(path, "", "pw"));
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(log(),
              (Lines{"fncXlsPwdChg():TRY OPEN", "fncXlsPwdChg():Catch Exception",
                     "fncXlsPwdChg()ERROR=Subscript out of range.",
                     "fncXlsPwdChg():Excelファイル変数整理", "fncXlsPwdChg():Excel OLE終了処理"}));
}

TEST_F(WorkbookOperationsTest, BackupCopyIsEncryptedFromItsOwnBytesWithoutTheApplication) {
    // Nothing the application would read or change matters: not even a missing worksheet.
    StandinWorkbook charts;
    charts.format = "xls";
    const NativePath path = makeWorkbook("Charts.xls", charts);
    EXPECT_TRUE(operations.fncXlsPwdChgForBackup(path, "", "MIRTHOLAN"));
    StandinWorkbook expected = charts;
    expected.openPassword = "MIRTHOLAN";
    EXPECT_EQ(readStandinWorkbook(path, "MIRTHOLAN"), expected);
    EXPECT_EQ(cipher.encrypted, 1);
    EXPECT_TRUE(spreadsheet.calls().empty());
    EXPECT_EQ(log(), (Lines{"fncXlsPwdChgForBackup():TRY Backup File Open.",
                            "fncXlsPwdChgForBackup():CLOSE."}));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(WorkbookOperationsTest, BackupCopyTheCipherRefusesIsSavedByTheApplication) {
    for (const auto reason : {encryption::EncryptionRefusal::DamagedCompoundFile,
                              encryption::EncryptionRefusal::AlreadyEncrypted}) {
        cipher.refusal = reason;
        const NativePath path = makeWorkbook("Book1.xlsx");
        EXPECT_TRUE(operations.fncXlsPwdChgForBackup(path, "", "MIRTHOLAN"));
        readStandinWorkbook(path, "MIRTHOLAN");
        EXPECT_EQ(spreadsheet.runningInstances(), 0);
    }
    EXPECT_EQ(
        log(),
        (Lines{"fncXlsPwdChgForBackup():TRY Backup File Open.", "fncXlsPwdChgForBackup():CLOSE.",
               "fncXlsPwdChgForBackup():TRY Backup File Open.", "fncXlsPwdChgForBackup():CLOSE."}));
    EXPECT_EQ(cipher.encrypted, 0);
    // The application keeps its own rules: a format that cannot carry the password is no backup.
    StandinWorkbook page = plainBook();
    page.format = "44";
    const NativePath path = makeWorkbook("Page.xls", page);
    const std::string before = readFile(path);
    EXPECT_FALSE(operations.fncXlsPwdChgForBackup(path, "", "MIRTHOLAN"));
    EXPECT_EQ(readFile(path), before);
}

TEST_F(WorkbookOperationsTest, BackupCopyTheCipherFailsOnIsSavedByTheApplication) {
    // A failing primitive (or anything else the cipher throws) leaves no copy without a password.
    const NativePath path = makeWorkbook("Book1.xlsx");
    cipher.failing = true;
    EXPECT_TRUE(operations.fncXlsPwdChgForBackup(path, "", "MIRTHOLAN"));
    EXPECT_EQ(readStandinWorkbook(path, "MIRTHOLAN").openPassword, "MIRTHOLAN");
    EXPECT_FALSE(spreadsheet.calls().empty());
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(WorkbookOperationsTest, NoQuestionIsPutToAnybodyInTheHiddenInstances) {
    StandinWorkbook book = plainBook();
    StandinSheet stale;
    stale.name = "Kovrisk";
    stale.cells["A1"] = "old";
    book.sheets.push_back(stale);
    EXPECT_TRUE(operations.fncXlsPwdChg(makeWorkbook("Book1.xlsx", book), "", "pw"));
    EXPECT_TRUE(spreadsheet.prompts().empty());
}

}  // namespace
}  // namespace kovrisk::testing
