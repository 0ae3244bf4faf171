// The whole lock-or-open run with the spreadsheet application behind IDispatch: every road and
// every failure of an automation call must come out exactly as with the object model driven
// directly, and no reference may be left behind.
#include <gtest/gtest.h>

#include <regex>

#include <set>

#include "com_standin.h"
#include "fakes/run_fixture.h"
#include "platform/text_codec.h"
#include "support/machine_tag.h"
#include "support/texts.h"

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
        EXPECT_EQ(overCom, expected);
        EXPECT_EQ(com.standin().runningInstances(), direct.runningInstances());
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
        static const std::regex privateFolder(R"(\.kovrisk-[0-9A-Za-z]+)");
        for (const std::string& call : standin.calls())
            outcome.calls.push_back(std::regex_replace(call, privateFolder, ".kovrisk-*"));
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

}  // namespace
}  // namespace kovrisk::testing
