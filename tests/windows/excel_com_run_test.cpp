// The whole lock-or-open run with the spreadsheet application behind IDispatch: every road and
// every failure of an automation call must come out exactly as with the object model driven
// directly, and no reference may be left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include <set>

#include "com_standin.h"
#include "fakes/run_fixture.h"
#include "platform/text_codec.h"
#include "platform/win32/unique_handle.h"
#include "support/machine_tag.h"
#include "support/texts.h"
#include "workbook/excel_com/com_error.h"

namespace kovrisk::testing {
namespace {

// What one run left: the stand-in's call record, the log, the boxes and the files.
struct Outcome {
    std::vector<std::string> calls;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::optional<StandinWorkbook> workbook;
    std::optional<StandinWorkbook> backup;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    for (const std::string& line : outcome.calls)
        *out << "\n  call " << line;
    for (const std::string& line : outcome.log)
        *out << "\n  log " << line;
    for (const std::string& line : outcome.boxes)
        *out << "\n  box " << line;
}

// A password as the application receives it over COM: MultiByteToWideChar(932), kept by the
// application as Shift-JIS again.
std::string asTravelled(const std::string& password) {
    return toShiftJis(fromShiftJis(password));
}

std::string replaced(std::string line, const std::string& from, const std::string& to) {
    for (std::size_t at = line.find(from); at != std::string::npos;
         at = line.find(from, at + to.size())) {
        line.replace(at, from.size(), to);
    }
    return line;
}

class ExcelComRunTest : public RunFixture {
protected:
    void TearDown() override {
        EXPECT_EQ(StandinDispatch::liveObjects(), 0) << "a leaked reference";
    }

    // Runs once on the stand-in directly and once behind IDispatch, from the same start.
    void compareRoads(const std::function<NativePath(bool overCom)>& prepare, BoxAnswer answer,
                      const std::function<void(StandinApplicationFactory&)>& faults = {}) {
        StandinApplicationFactory direct;
        if (faults)
            faults(direct);
        const Outcome plain = runOnce([&] { return prepare(false); }, answer, direct, direct);
        ComStandin com;
        if (faults)
            faults(com.standin());
        const Outcome overCom = runOnce([&] { return prepare(true); }, answer, com, com.standin());

        // Only the file password's bytes may differ: over COM it is the travelled text.
        Outcome expected = plain;
        const std::string password = passwordFor("Book1.xlsx");
        for (std::string& line : expected.calls) {
            line = replaced(line, "Password=" + password + ")",
                            "Password=" + asTravelled(password) + ")");
        }
        if (expected.workbook && expected.workbook->openPassword == password) {
            expected.workbook->openPassword = asTravelled(password);
        }
        // Excel's description travels without its trailing blanks and full stops (a failure to
        // create the application here does not travel).
        Outcome got = overCom;
        for (Outcome* outcome : {&got, &expected}) {
            for (std::string& line : outcome->log) {
                if (line.find("()ERROR=") != std::string::npos)
                    line = descriptionText(fromShiftJis(line));
            }
        }
        EXPECT_EQ(got, expected);
        // An Excel the program lets go of without quitting it quits by itself, unless it was
        // handed to the user.
        EXPECT_LE(com.standin().runningInstances(), direct.runningInstances());
        EXPECT_EQ(com.standin().handedOverInstances(), direct.handedOverInstances());
        for (const std::wstring& line : com.server->wireRecord()) {
            EXPECT_EQ(line.find(L'!'), std::wstring::npos) << "the server refused a call";
        }
    }

    Outcome runOnce(const std::function<NativePath()>& prepare, BoxAnswer answer,
                    ApplicationFactory& application, StandinApplicationFactory& standin) {
        std::filesystem::remove_all(temp / "data");
        std::filesystem::remove_all(temp / "work");
        std::filesystem::create_directories(temp / "work");
        clock.ticks = 0;
        const NativePath target = prepare();
        run(target, answer, &application);
        Outcome outcome;
        // The private folders of new versions have names of their own in every run.
        static const std::regex privateFolder(R"(\\~[0-9a-z]+\\)");
        for (const std::string& call : standin.calls())
            outcome.calls.push_back(std::regex_replace(call, privateFolder, "\\~*\\"));
        outcome.log = log();
        for (const RecordingWindow::Box& box : window->boxes)
            outcome.boxes.push_back(box.text);
        outcome.workbook = load(target);
        outcome.backup = load(backupOf("Book1.xlsx"));
        return outcome;
    }

    static std::optional<StandinWorkbook> load(const NativePath& path) {
        if (!std::filesystem::exists(path))
            return std::nullopt;
        return loadStandinWorkbook(path);
    }

    NativePath plain() { return makeWorkbook("Book1.xlsx"); }
    // Locked on `computer`; with the password as it came over COM when `overCom`.
    NativePath locked(const std::string& computer, bool overCom) {
        StandinWorkbook book = plainBook();
        const std::string password = passwordFor("Book1.xlsx");
        book.openPassword = overCom ? asTravelled(password) : password;
        StandinSheet control{.name = "Kovrisk", .visible = false};
        FakeClock tagClock;
        control.cells["Z2"] = fncPcNameEnc(computer, tagClock);
        book.sheets.push_back(control);
        return makeWorkbook("Book1.xlsx", book);
    }
};

TEST_F(ExcelComRunTest, LockRoad) {
    compareRoads([this](bool) { return plain(); }, BoxAnswer::Ok);
}

TEST_F(ExcelComRunTest, CancelledLock) {
    compareRoads([this](bool) { return plain(); }, BoxAnswer::Cancel);
}

TEST_F(ExcelComRunTest, OpenRoadHandsTheWorkbookOver) {
    compareRoads([this](bool overCom) { return locked("PC01", overCom); }, BoxAnswer::Ok);
}

TEST_F(ExcelComRunTest, OpenRoadRefusesAnotherComputersWorkbook) {
    compareRoads([this](bool overCom) { return locked("OTHERPC", overCom); }, BoxAnswer::Ok);
}

TEST_F(ExcelComRunTest, AWorkbookThatDoesNotOpenEndsWithF2) {
    compareRoads(
        [this](bool) {
            StandinWorkbook book = plainBook();
            book.openPassword = "someone else's";
            return makeWorkbook("Book1.xlsx", book);
        },
        BoxAnswer::Ok);
}

// Each automation call of the lock road and of the open road failing in turn: every distinct call
// line of a successful run is made to fail at its first occurrence.
TEST_F(ExcelComRunTest, EveryFailingCallEndsAsItDoesWithoutCom) {
    const std::string password = passwordFor("Book1.xlsx");
    const std::vector<std::function<NativePath(bool)>> roads = {
        [this](bool) { return plain(); }, [this](bool overCom) { return locked("PC01", overCom); }};
    int tried = 0;
    for (const auto& prepare : roads) {
        StandinApplicationFactory reference;
        std::set<std::string> lines;
        runOnce([&] { return prepare(false); }, BoxAnswer::Ok, reference, reference);
        for (const std::string& line : reference.calls())
            lines.insert(line);
        for (const std::string& line : lines) {
            SCOPED_TRACE(line);
            compareRoads(prepare, BoxAnswer::Ok, [&](StandinApplicationFactory& standin) {
                standin.failCall(line, "Refused.  ", 1);
                // Over COM the password arrives as the travelled text.
                standin.failCall(replaced(line, "Password=" + password + ")",
                                          "Password=" + asTravelled(password) + ")"),
                                 "Refused.  ", 1);
            });
            ++tried;
            if (HasFailure())
                return;
        }
    }
    EXPECT_GE(tried, 40);
}

// Excel keeps the format it read on a SaveAs without FileFormat, and saves a web page named .xls
// as a web page, without the password: such a workbook is refused before anything changes.
TEST_F(ExcelComRunTest, AWebPageNamedXlsIsRefusedNotSavedWithoutItsPassword) {
    StandinWorkbook page = plainBook();
    page.format = "44";  // xlHtml
    const NativePath target = makeWorkbook("Book1.xls", page);
    const std::string before = readFile(target);
    ComStandin com;
    run(target, BoxAnswer::Ok, &com);
    const std::string refusal = std::string(texts::kFormatNotLockablePrefix) + "FileFormat 44" +
                                std::string(texts::kFormatNotLockableSuffix);
    EXPECT_EQ(log().back(), refusal);
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(std::filesystem::exists(backupOf("Book1.xls")));
}

TEST_F(ExcelComRunTest, TheLockSavesInTheFormatExcelReadWhateverTheName) {
    StandinWorkbook excel97 = plainBook();
    excel97.format = "xls";
    const NativePath target = makeWorkbook("Book1.xlsx", excel97);
    ComStandin com;
    run(target, BoxAnswer::Ok, &com);
    EXPECT_EQ(log().back(), std::string(texts::kLocked));
    EXPECT_EQ(loadStandinWorkbook(target).format, "xls");
    bool savedWithFormat = false;
    for (const std::string& call : com.standin().calls())
        savedWithFormat |= call.starts_with("Workbook.SaveAs(") &&
                           call.find("FileFormat=xls,") != std::string::npos;
    EXPECT_TRUE(savedWithFormat);
}

// Saving in the Excel 97-2003 format runs the Compatibility Checker unless it is turned off; an
// Excel 2003 has no checker, reads such a workbook as xlWorkbookNormal and knows no xlExcel8.
TEST_F(ExcelComRunTest, AnExcel97WorkbookIsSavedWithoutTheCheckerAndInTheFormatRead) {
    for (const bool excel2003 : {false, true}) {
        SCOPED_TRACE(excel2003);
        std::filesystem::remove_all(temp / "data");
        StandinWorkbook excel97 = plainBook();
        excel97.format = "xls";
        const NativePath target = makeWorkbook("Book1.xls", excel97);
        ComStandin com;
        if (excel2003)
            com.server->setExcel2003();
        run(target, BoxAnswer::Ok, &com);
        EXPECT_EQ(log().back(), std::string(texts::kLocked));
        EXPECT_EQ(loadStandinWorkbook(target).format, "xls");
        for (const std::wstring& line : com.server->wireRecord())
            EXPECT_EQ(line.find(L"Dialog!"), std::wstring::npos) << toShiftJis(line);
    }
}

// A workbook in a synced folder (OneDrive, SharePoint) opens with AutoSave on: the changes of the
// lock would be saved into the original before the SaveAs.  It is turned off first, so that a
// failed SaveAs leaves the workbook as it was.
TEST_F(ExcelComRunTest, AutoSaveIsTurnedOffBeforeTheWorkbookChanges) {
    const NativePath target = plain();
    const std::string before = readFile(target);
    ComStandin com;
    com.standin().autoSaveOnOpen();
    com.standin().failCall("Workbook.SaveAs", "The disk is full.");
    run(target, BoxAnswer::Ok, &com);
    EXPECT_EQ(log().back(), std::string(texts::kLockFailed));
    EXPECT_EQ(readFile(target), before);
}

// A workbook another program has open (the user's own Excel) is refused as in use before the
// probe: Excel would fail to open it without saying why.
TEST_F(ExcelComRunTest, AWorkbookOpenInTheUsersOwnExcelIsRefusedAsInUse) {
    const NativePath target = plain();
    const std::string before = readFile(target);
    UniqueHandle held(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    ComStandin com;
    run(target, BoxAnswer::Ok, &com);
    EXPECT_EQ(log().back(), std::string(texts::kInUse));
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, std::string(texts::kInUse));
    EXPECT_TRUE(com.standin().calls().empty());
    held.reset();
    EXPECT_EQ(readFile(target), before);
}

// Excel refuses to activate a hidden sheet (error 1004): the first visible one is activated.
TEST_F(ExcelComRunTest, AHiddenFirstSheetIsNoObstacleToTheLock) {
    compareRoads(
        [this](bool) {
            StandinWorkbook book = plainBook();
            book.sheets[0].visible = false;
            book.sheets.push_back(StandinSheet{.name = "Shown"});
            return makeWorkbook("Book1.xlsx", book);
        },
        BoxAnswer::Ok);
    const StandinWorkbook locked = loadStandinWorkbook(temp / "work" / "Book1.xlsx");
    EXPECT_TRUE(locked.sheets[1].active);
    EXPECT_EQ(log().back(), std::string(texts::kLocked));
}

// Excel busy at every start and after every Open: each operation waits for it, and the installed
// Excel is neither taken for a missing one nor an unprotected workbook for a protected one.
TEST_F(ExcelComRunTest, ABusyExcelIsWaitedFor) {
    const NativePath target = plain();
    ComStandin com;
    com.server->busyAfter("Application.Create", 150);
    com.server->busyAfter("Workbooks.Open", 150);
    run(target, BoxAnswer::Ok, &com);
    EXPECT_EQ(log().back(), std::string(texts::kLocked));
    readStandinWorkbook(target, asTravelled(passwordFor("Book1.xlsx")));
    const std::vector<std::wstring>& wire = com.server->wireRecord();
    EXPECT_GE(std::count(wire.begin(), wire.end(), L"(busy: call rejected)"), 6);
    EXPECT_EQ(com.standin().runningInstances(), 0);
}

// What Excel would ask about on opening a workbook: links to other workbooks, a read-only
// recommendation, a file another user has open, a password to modify.  A hidden Excel asks
// nobody; each ends as a lock or as a refusal, never on a question.
TEST_F(ExcelComRunTest, NothingIsAskedOnOpeningAWorkbook) {
    const auto runOn = [this](void (*mark)(StandinWorkbook&)) {
        std::filesystem::remove_all(temp / "data");
        StandinWorkbook book = plainBook();
        mark(book);
        const NativePath target = makeWorkbook("Book1.xlsx", book);
        ComStandin com;
        run(target, BoxAnswer::Ok, &com);
        for (const std::wstring& line : com.server->wireRecord())
            EXPECT_EQ(line.find(L"Dialog!"), std::wstring::npos) << toShiftJis(line);
        return log();
    };
    EXPECT_EQ(runOn([](StandinWorkbook& book) { book.externalLinks = true; }).back(),
              std::string(texts::kLocked));
    EXPECT_EQ(runOn([](StandinWorkbook& book) { book.readOnlyRecommended = true; }).back(),
              std::string(texts::kLocked));
    EXPECT_EQ(runOn([](StandinWorkbook& book) { book.inUse = true; }).back(),
              std::string(texts::kInUse));
    // A workbook reserved for writing does not open without its password to modify.
    const std::vector<std::string> reserved =
        runOn([](StandinWorkbook& book) { book.writePassword = "modify"; });
    EXPECT_NE(std::find(reserved.begin(), reserved.end(),
                        "fncXlsOpenChk()ERROR=The password you supplied is not correct"),
              reserved.end());
    EXPECT_EQ(reserved.back(), std::string(texts::kOpenFailedLog));
}

// Excel takes paths of at most 218 characters.  A workbook whose path fits, but whose new
// version's path in the private folder beside it would not, is refused before anything changes.
TEST_F(ExcelComRunTest, ALockWhoseSavedCopyPathIsTooLongForExcelIsRefusedFirst) {
    NativePath folder = temp / "work";
    const std::size_t room = kExcelLongestPath - folder.native().size() - 12;
    folder /= std::wstring(std::min<std::size_t>(room, 200), L'd');
    std::filesystem::create_directories(folder);
    const NativePath target = folder / L"Book1.xlsx";
    ASSERT_LE(target.native().size(), kExcelLongestPath);
    writeStandinWorkbook(target, plainBook());
    const std::string before = readFile(target);
    ComStandin com;
    run(target, BoxAnswer::Ok, &com);
    const std::string refusal = log().back();
    EXPECT_EQ(refusal.rfind(std::string(texts::kPathTooLongPrefix) + "218", 0), 0u) << refusal;
    EXPECT_NE(refusal.find(toShiftJis(target)), std::string::npos);
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, refusal);
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(std::filesystem::exists(backupOf("Book1.xlsx")));

    // One that Excel saves under its path with ".pwd" is locked, through the private folder.
    const std::size_t shortest = (temp / "work" / "e" / "Book1.xlsx").native().size();
    const NativePath fits =
        temp / "work" / std::wstring(kExcelLongestPath - 4 - shortest + 1, L'e') / "Book1.xlsx";
    ASSERT_EQ(fits.native().size() + 4, kExcelLongestPath);
    std::filesystem::create_directories(fits.parent_path());
    writeStandinWorkbook(fits, plainBook());
    ComStandin fitting;
    run(fits, BoxAnswer::Ok, &fitting);
    EXPECT_EQ(log().back(), std::string(texts::kLocked));
    std::filesystem::remove_all(temp / "work");
}

}  // namespace
}  // namespace kovrisk::testing
