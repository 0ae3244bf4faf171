#include "app/taginformation.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_environment.h"
#include "fakes/log_reader.h"
#include "fakes/recording_window.h"
#include "fakes/standin_application.h"
#include "fakes/temp_folder.h"
#include "platform/native_files.h"
#include "support/texts.h"

namespace kovrisk::testing {
namespace {

using Lines = std::vector<std::string>;

// Command-line arguments in the platform's own text, from ASCII.
std::vector<NativeString> arguments(std::initializer_list<const char*> texts) {
    std::vector<NativeString> result;
    for (const char* text : texts)
        result.push_back(NativePath(text).native());
    return result;
}

class StartupTest : public ::testing::Test {
protected:
    StartupTest() { environment.dataFolder = temp / "common"; }

    bool formCreate(std::initializer_list<const char*> texts) {
        return form.FormCreate(arguments(texts));
    }
    Lines log() const { return logMessages(temp / "common" / "Kovrisk"); }

    TempFolder temp;
    FakeEnvironment environment;
    NativeFiles files;
    FakeClock clock;
    StandinApplicationFactory spreadsheet;
    RecordingWindow window;
    Ttaginformation form{Platform{environment, files, clock, spreadsheet}, window};
};

TEST_F(StartupTest, OneWorkbookPassesEveryCheck) {
    EXPECT_TRUE(formCreate({"/data/Book1.xlsx"}));
    EXPECT_EQ(log(), (Lines{"fucXlsFind()", "My Name is [ PC01 ]"}));
    EXPECT_EQ(window.edit1, NativePath("/data/Book1.xlsx"));
    EXPECT_EQ(form.state().dataFolder, temp / "common" / "Kovrisk" / "");
    EXPECT_TRUE(form.state().installed);
    EXPECT_EQ(form.state().computerName, "PC01");
    EXPECT_FALSE(window.terminated);
    // The probe starts the application once and quits it, nothing more.
    EXPECT_EQ(spreadsheet.calls(), (Lines{"Application.Create", "Application.Quit"}));
    EXPECT_EQ(spreadsheet.runningInstances(), 0);
}

TEST_F(StartupTest, WrongArgumentCountShowsItsBoxAndLogsNothing) {
    for (const std::vector<NativeString>& given :
         {arguments({}), arguments({"a.xls", "b.xls"}), arguments({""})}) {
        RecordingWindow fresh;
        Ttaginformation other{Platform{environment, files, clock, spreadsheet}, fresh};
        EXPECT_FALSE(other.FormCreate(given));
        ASSERT_EQ(fresh.boxes.size(), 1u);
        EXPECT_EQ(fresh.boxes[0].text, std::string(texts::kDropOneFile));
        EXPECT_EQ(fresh.boxes[0].buttons, BoxButtons::Ok);
        EXPECT_TRUE(fresh.terminated);
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "common" / "Kovrisk"));
    EXPECT_TRUE(spreadsheet.calls().empty());
}

TEST_F(StartupTest, EmptyArgumentsBesideOneWorkbookDoNotCount) {
    EXPECT_TRUE(formCreate({"", "Book1.xls", ""}));
    EXPECT_EQ(window.edit1, NativePath("Book1.xls"));
}

TEST_F(StartupTest, MissingApplicationEndsWithThreeLinesEvenForAWrongExtension) {
    spreadsheet.failCall("Application.Create", "no office here");
    EXPECT_FALSE(formCreate({"/data/notes.txt"}));
    EXPECT_EQ(log(), (Lines{"fucXlsFind()", "fucXlsFind()ERROR=no office here",
                            std::string(texts::kNotInstalled)}));
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(window.terminated);
    EXPECT_FALSE(form.state().installed);
}

TEST_F(StartupTest, FailingQuitAlsoMeansNotInstalled) {
    spreadsheet.failCall("Application.Quit", "quit refused", 1);
    EXPECT_FALSE(formCreate({"Book1.xls"}));
    EXPECT_EQ(log(), (Lines{"fucXlsFind()", "fucXlsFind()ERROR=quit refused",
                            std::string(texts::kNotInstalled)}));
}

TEST_F(StartupTest, ExtensionIsTestedAfterTheProbe) {
    for (const char* name : {"Book1.xls", "BOOK1.XLSX", "book1.Xlsx", "/a.b/c.d.xls"}) {
        RecordingWindow fresh;
        Ttaginformation other{Platform{environment, files, clock, spreadsheet}, fresh};
        EXPECT_TRUE(other.FormCreate(arguments({name}))) << name;
    }
    for (const char* name :
         {"book1.xlsm", "book1.csv", "book1", "book1.xls.bak", "/x/a.xls/book1", "book1.xls "}) {
        RecordingWindow fresh;
        Ttaginformation other{Platform{environment, files, clock, spreadsheet}, fresh};
        spreadsheet.clearCalls();
        EXPECT_FALSE(other.FormCreate(arguments({name}))) << name;
        EXPECT_EQ(spreadsheet.calls(), (Lines{"Application.Create", "Application.Quit"}));
        EXPECT_TRUE(fresh.terminated);
        EXPECT_TRUE(fresh.boxes.empty());
        EXPECT_EQ(log().back(), std::string(texts::kBadExtension)) << name;
    }
}

TEST_F(StartupTest, ComputerNameIsTrimmedAndUpperCased) {
    environment.name = std::string(
        " \tpc-\x95\x5C"
        "ab\r\n\0junk",
        15);
    EXPECT_TRUE(formCreate({"Book1.xls"}));
    EXPECT_EQ(form.state().computerName,
              "PC-\x95\x5C"
              "AB");
    EXPECT_EQ(log().back(),
              "My Name is [ PC-\x95\x5C"
              "AB ]");
}

TEST_F(StartupTest, UnavailableComputerNameIsEmpty) {
    environment.name = "";
    EXPECT_TRUE(formCreate({"Book1.xls"}));
    EXPECT_EQ(log().back(), "My Name is [  ]");
}

TEST_F(StartupTest, OverLongComputerNameKeepsItsFirst254Bytes) {
    environment.name = std::string(300, 'a');
    EXPECT_TRUE(formCreate({"Book1.xls"}));
    EXPECT_EQ(form.state().computerName, std::string(254, 'A'));
}

TEST_F(StartupTest, UnavailableDataFolderFallsBackToTheRoot) {
    environment.dataFolder.clear();
    RecordingWindow fresh;
    Ttaginformation other{Platform{environment, files, clock, spreadsheet}, fresh};
    other.FormCreate(arguments({}));
    const NativePath root(NativeString(1, NativePath::preferred_separator));
    EXPECT_EQ(other.state().dataFolder, root / "Kovrisk" / "");
}

}  // namespace
}  // namespace kovrisk::testing
