// The stand-in spreadsheet application must refuse what the real one refuses, keep its files as
// described, and report faults and instances faithfully: the workbook operations' tests rest on it.
#include "fakes/standin_application.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/temp_folder.h"
#include "workbook/workbook_cipher.h"

namespace {

using kovrisk::AutomationError;
using kovrisk::NativePath;
using kovrisk::WorkbookFormat;
using kovrisk::testing::canonicalCellAddress;
using kovrisk::testing::readFile;
using kovrisk::testing::readStandinWorkbook;
using kovrisk::testing::StandinApplicationFactory;
using kovrisk::testing::StandinProtection;
using kovrisk::testing::StandinSheet;
using kovrisk::testing::StandinUsersMacros;
using kovrisk::testing::StandinWorkbook;
using kovrisk::testing::TempFolder;
using kovrisk::testing::writeFile;
using kovrisk::testing::writeStandinWorkbook;
namespace fs = std::filesystem;

StandinSheet sheet(std::string name, std::map<std::string, std::string> cells = {}) {
    return StandinSheet{.name = std::move(name), .cells = std::move(cells)};
}

std::vector<std::string> sheetNames(const StandinWorkbook& book) {
    std::vector<std::string> names;
    for (const auto& s : book.sheets)
        names.push_back(s.name);
    return names;
}

std::string activeSheet(const StandinWorkbook& book) {
    std::string active;
    for (const auto& s : book.sheets) {
        if (s.active)
            active += s.name + ";";
    }
    return active;
}

class StandinTest : public ::testing::Test {
protected:
    NativePath write(const std::string& name, const StandinWorkbook& book) {
        const auto path = folder / name;
        writeStandinWorkbook(path, book);
        return path;
    }

    TempFolder folder;
    StandinApplicationFactory excel;
};

// ---- The workbook file -------------------------------------------------------------------------

class StandinFileTest : public StandinTest {};

TEST_F(StandinFileTest, WritesAndReadsBackEveryPartOfAWorkbook) {
    const StandinWorkbook book{
        // A zero byte, a lead byte, control bytes, "%" and a blank: all must survive.
        .openPassword = std::string("p\0\x8Dq\n% x", 8),
        .autoRunMacro = true,
        .sheets = {
            sheet("表 ソ", {{"A1", "本シートは\r\n%20変更しないで"}, {"B7", ""}}),
            StandinSheet{.name = "Kovrisk",
                         .visible = false,
                         .protection = StandinProtection{"KorvenatePlume!", true, false, true},
                         .cells = {{"Z2", "8A9F"}},
                         .colorIndexes = {{"Z2", 2}}},
            StandinSheet{.name = "Third", .active = true}}};
    const auto path = write("book.xlsx", book);

    EXPECT_EQ(readStandinWorkbook(path, book.openPassword), book);
}

TEST_F(StandinFileTest, FilesAreKeptInTheContainersOfTheirFormatsAsTheRealCipherTakesThem) {
    // Longer than one record of a binary workbook.
    StandinWorkbook book{.sheets = {sheet("Data", {{"A1", std::string(20000, 'x')}})}};
    for (const auto* format : {"xlsx", "xlsm", "xls", "44"}) {
        SCOPED_TRACE(format);
        book.format = format;
        const auto path = write(std::string("book.") + format, book);
        EXPECT_EQ(readStandinWorkbook(path, ""), book);
        const std::string file = kovrisk::testing::readFile(path);
        if (book.format == "44") {
            EXPECT_THROW(kovrisk::excelCipher().encrypt(file, "MIRTHOLAN"),
                         kovrisk::encryption::EncryptionRefused);
        } else {
            EXPECT_FALSE(kovrisk::excelCipher().encrypt(file, "MIRTHOLAN").empty());
        }
    }
}

TEST_F(StandinFileTest, ReadingBackNeedsExactlyTheOpenPassword) {
    const auto locked = write("locked.xls", {.openPassword = "Secret", .sheets = {sheet("A")}});
    const auto open = write("open.xls", {.sheets = {sheet("A")}});

    EXPECT_NO_THROW(readStandinWorkbook(locked, "Secret"));
    EXPECT_THROW(readStandinWorkbook(locked, "secret"), AutomationError);
    EXPECT_THROW(readStandinWorkbook(locked, ""), AutomationError);
    EXPECT_NO_THROW(readStandinWorkbook(open, ""));
    EXPECT_THROW(readStandinWorkbook(open, "Secret"), AutomationError);
}

TEST_F(StandinFileTest, FilesNotInItsFormatFailToOpen) {
    const std::string header = "KOVRISK-STANDIN-WORKBOOK 1\n";
    writeFile(folder / "valid.xlsx", header + "password \nsheet A\ncell A1 x\n");
    writeFile(folder / "random.xlsx", std::string("PK\x03\x04\xFF\0\x13garbage", 14));
    writeFile(folder / "empty.xlsx", "");
    fs::create_directory(folder / "folder.xlsx");
    writeFile(folder / "bad-cell.xlsx", header + "password \nsheet A\ncell A0 x\n");
    writeFile(folder / "bad-escape.xlsx", header + "password %4\nsheet A\n");
    writeFile(folder / "no-password.xlsx", header + "sheet A\n");
    writeFile(folder / "cell-before-sheet.xlsx", header + "password \ncell A1 x\nsheet A\n");

    auto app = excel.create();
    auto books = app->workbooks();
    EXPECT_NO_THROW(books->open(folder / "valid.xlsx", ""));
    for (const auto* name :
         {"random.xlsx", "empty.xlsx", "missing.xlsx", "folder.xlsx", "bad-cell.xlsx",
          "bad-escape.xlsx", "no-password.xlsx", "cell-before-sheet.xlsx"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(books->open(folder / name, ""), AutomationError);
        EXPECT_THROW(readStandinWorkbook(folder / name, ""), AutomationError);
    }
}

TEST(StandinCellAddress, TakesExactlyOneCellInA1Style) {
    EXPECT_EQ(canonicalCellAddress("z2"), "Z2");
    EXPECT_EQ(canonicalCellAddress("XFD1048576"), "XFD1048576");
    for (const auto* notACell : {"", "A", "7", "A0", "A01", "1A", "XFE1", "A1048577", "AAAA1",
                                 "A1:B2", "$A$1", "A 1", "Ａ1"}) {
        EXPECT_EQ(canonicalCellAddress(notACell), std::nullopt) << notACell;
    }
}

// ---- Passwords and macros ----------------------------------------------------------------------

class StandinPasswordTest : public StandinTest {};

TEST_F(StandinPasswordTest, OpenFailsAtOnceUnlessThePasswordOpensTheWorkbook) {
    const auto locked = write("locked.xlsx", {.openPassword = "Pw1", .sheets = {sheet("Data")}});
    auto app = excel.create();
    auto books = app->workbooks();

    EXPECT_THROW(books->open(locked, ""), AutomationError);
    EXPECT_THROW(books->open(locked, "pw1"), AutomationError);
    EXPECT_THROW(books->open(locked, "Pw1 "), AutomationError);
    EXPECT_TRUE(excel.instances()[0].openWorkbooks.empty());
    EXPECT_EQ(books->open(locked, "Pw1")->worksheet(1)->name(), "Data");
    EXPECT_TRUE(excel.prompts().empty());
}

TEST_F(StandinPasswordTest, AnUnprotectedWorkbookOpensWithAnyPassword) {
    const auto open = write("open.xlsx", {.sheets = {sheet("Data")}});
    auto app = excel.create();
    auto books = app->workbooks();

    EXPECT_NO_THROW(books->open(open, ""));
    EXPECT_NO_THROW(books->open(open, "MIRTHOLAN"));
}

TEST_F(StandinPasswordTest, AnAutoRunMacroRunsUnlessMacrosWereDisabledBeforeOpen) {
    const auto path = write("macro.xlsm", {.autoRunMacro = true, .sheets = {sheet("Data")}});
    const auto plain = write("plain.xlsx", {.sheets = {sheet("Data")}});

    auto guarded = excel.create();
    guarded->disableMacros();
    guarded->workbooks()->open(path, "");
    EXPECT_TRUE(excel.macrosRun().empty());

    auto unguarded = excel.create();
    unguarded->workbooks()->open(plain, "");
    unguarded->workbooks()->open(path, "");
    unguarded->disableMacros();  // too late for the workbook already open
    EXPECT_EQ(excel.macrosRun(), std::vector<NativePath>{path});
}

TEST_F(StandinPasswordTest, UnderTheUsersSettingsAMacroQuestionIsTheVisibleUsersToAnswer) {
    const auto path = write("macro.xlsm", {.autoRunMacro = true, .sheets = {sheet("Data")}});

    // Nobody sees the question of a hidden application, alerts off or not: it waits for ever.
    auto hidden = excel.create();
    hidden->setDisplayAlerts(false);
    hidden->useUsersMacroSettings();
    hidden->workbooks()->open(path, "");
    EXPECT_EQ(excel.prompts(),
              std::vector<std::string>{"Enable the macros of " + path.string() + "?"});
    EXPECT_TRUE(excel.macrosRun().empty());
    excel.failOnPrompts();
    EXPECT_THROW(hidden->workbooks()->open(path, ""), AutomationError);

    auto shown = excel.create();
    shown->useUsersMacroSettings();
    shown->setVisible(true);
    EXPECT_TRUE(shown->visible());
    EXPECT_TRUE(shown->workbooks()->open(path, "")->hasMacros());
    EXPECT_EQ(excel.usersQuestions().size(), 1u);
    EXPECT_EQ(excel.macrosRun(), std::vector<NativePath>{path});

    excel.setUsersMacroSetting(StandinUsersMacros::Disable);
    hidden->workbooks()->open(path, "");
    shown->workbooks()->open(path, "");
    EXPECT_EQ(excel.macrosRun().size(), 1u);
    EXPECT_EQ(excel.prompts().size(), 2u);
}

// ---- Saving and closing ------------------------------------------------------------------------

class StandinSaveTest : public StandinTest {};

TEST_F(StandinSaveTest, SaveAsWritesTheCurrentSheetsToExactlyThatFileWithThatPassword) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data", {{"A1", "x"}})}});
    const auto original = readFile(path);
    const auto target = folder / "book.xlsx.pwd";

    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    book->worksheets()->addAfter(*book->worksheet(1));
    book->worksheet(2)->setName("Kovrisk");
    book->worksheet("Kovrisk")->range("Z2")->setValue("TAG");
    book->saveAs(target, WorkbookFormat::Ooxml, "NewPw");

    const auto saved = readStandinWorkbook(target, "NewPw");
    EXPECT_EQ(sheetNames(saved), (std::vector<std::string>{"Data", "Kovrisk"}));
    EXPECT_EQ(saved.sheet("kovrisk")->cells, (std::map<std::string, std::string>{{"Z2", "TAG"}}));
    EXPECT_EQ(saved.sheets[0].cells.at("A1"), "x");
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(excel.instances()[0].openWorkbooks, std::vector<NativePath>{target});

    book->close(false);
    app->quit();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

TEST_F(StandinSaveTest, CloseFalseNeverSavesAndCloseTrueSavesUnderTheCurrentName) {
    const auto path = write("book.xlsx", {.openPassword = "Pw", .sheets = {sheet("Data")}});
    const auto original = readFile(path);
    auto app = excel.create();

    auto book = app->workbooks()->open(path, "Pw");
    book->worksheet(1)->range("A1")->setValue("changed");
    book->worksheet(1)->setName("Renamed");
    book->close(false);
    EXPECT_EQ(readFile(path), original);

    book = app->workbooks()->open(path, "Pw");
    book->worksheet(1)->range("A1")->setValue("kept");
    book->close(true);
    EXPECT_EQ(readStandinWorkbook(path, "Pw").sheets[0].cells.at("A1"), "kept");
}

TEST_F(StandinSaveTest, AClosedWorkbookAndEverythingFetchedFromItCanNoLongerBeUsed) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data"), sheet("More")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    auto sheets = book->worksheets();
    auto first = book->worksheet(1);
    auto range = first->range("A1");
    auto font = range->font();

    book->close(false);

    EXPECT_THROW(book->worksheets(), AutomationError);
    EXPECT_THROW(book->worksheet(1), AutomationError);
    EXPECT_THROW(book->worksheet("Data"), AutomationError);
    EXPECT_THROW(book->saveAs(folder / "copy.xlsx", WorkbookFormat::Ooxml, ""), AutomationError);
    EXPECT_THROW(book->close(false), AutomationError);
    EXPECT_THROW(sheets->count(), AutomationError);
    EXPECT_THROW(first->name(), AutomationError);
    EXPECT_THROW(first->setVisible(false), AutomationError);
    EXPECT_THROW(range->value(), AutomationError);
    EXPECT_THROW(font->setColorIndex(2), AutomationError);
    EXPECT_FALSE(fs::exists(folder / "copy.xlsx"));
    EXPECT_TRUE(excel.instances()[0].openWorkbooks.empty());
}

TEST_F(StandinSaveTest, SaveAsFailsWhereNoWorkbookCanBeWritten) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data")}});
    fs::create_directory(folder / "taken.xlsx");
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    EXPECT_THROW(book->saveAs(folder / "missing" / "book.xlsx", WorkbookFormat::Ooxml, ""),
                 AutomationError);
    EXPECT_THROW(book->saveAs(folder / "taken.xlsx", WorkbookFormat::Ooxml, ""), AutomationError);
    EXPECT_TRUE(fs::is_directory(folder / "taken.xlsx"));
    EXPECT_EQ(excel.instances()[0].openWorkbooks, std::vector<NativePath>{path});
}

TEST_F(StandinSaveTest, QuestionsForAUserAreNotedOnlyWhileAlertsAreOn) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data"), sheet("Old", {{"A1", "x"}})}});
    write("existing.xlsx", {.sheets = {sheet("Other")}});

    auto quiet = excel.create();
    quiet->setDisplayAlerts(false);
    auto book = quiet->workbooks()->open(path, "");
    book->saveAs(folder / "existing.xlsx", WorkbookFormat::Ooxml, "");
    book->worksheet("Old")->remove();
    quiet->quit();
    EXPECT_TRUE(excel.prompts().empty());

    auto loud = excel.create();
    book = loud->workbooks()->open(path, "");
    book->saveAs(folder / "existing.xlsx", WorkbookFormat::Ooxml, "");
    book->worksheet("Old")->remove();
    loud->quit();
    EXPECT_EQ(excel.prompts(),
              (std::vector<std::string>{
                  "Replace " + (folder / "existing.xlsx").string() + "?", "Delete Worksheet(Old)?",
                  "Save changes to " + (folder / "existing.xlsx").string() + "?"}));
}

// ---- What the application enforces ------------------------------------------------------------

class StandinRulesTest : public StandinTest {};

TEST_F(StandinRulesTest, SheetNamesAreUniqueRegardlessOfAsciiCaseAndWellFormed) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Sheet1"), sheet("Data")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    auto first = book->worksheet(1);

    EXPECT_THROW(first->setName("data"), AutomationError);
    EXPECT_THROW(first->setName("DATA"), AutomationError);
    EXPECT_EQ(first->name(), "Sheet1");
    EXPECT_NO_THROW(book->worksheet(2)->setName("DATA"));  // its own name in other letters
    for (const auto* bad :
         {"", "a/b", "a\\b", "a:b", "a?b", "a*b", "[a]", "12345678901234567890123456789012"}) {
        EXPECT_THROW(first->setName(bad), AutomationError) << bad;
    }
    EXPECT_NO_THROW(first->setName("1234567890123456789012345678901"));
    EXPECT_NO_THROW(first->setName("表ソ予算"));  // trail bytes 0x5C are no backslash
    EXPECT_EQ(first->name(), "表ソ予算");
}

TEST_F(StandinRulesTest, AddPutsAUniquelyNamedSheetAfterTheGivenOneAndActivatesIt) {
    const auto path =
        write("book.xlsx", {.sheets = {sheet("Sheet1"), sheet("sheet4"), sheet("X")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    book->worksheets()->addAfter(*book->worksheet(1));
    EXPECT_EQ(book->worksheets()->count(), 4);
    book->saveAs(folder / "saved.xlsx", WorkbookFormat::Ooxml, "");

    const auto saved = readStandinWorkbook(folder / "saved.xlsx", "");
    EXPECT_EQ(sheetNames(saved), (std::vector<std::string>{"Sheet1", "Sheet5", "sheet4", "X"}));
    EXPECT_EQ(activeSheet(saved), "Sheet5;");
}

TEST_F(StandinRulesTest, AWorkbookKeepsAtLeastOneVisibleSheet) {
    const auto path = write(
        "book.xlsx",
        {.sheets = {sheet("A"), StandinSheet{.name = "Hidden", .visible = false}, sheet("C")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    book->worksheet("C")->setVisible(false);
    EXPECT_THROW(book->worksheet("A")->setVisible(false), AutomationError);
    EXPECT_THROW(book->worksheet("A")->remove(), AutomationError);
    auto hidden = book->worksheet("Hidden");
    hidden->remove();
    book->worksheet("C")->remove();
    EXPECT_THROW(book->worksheet("A")->remove(), AutomationError);
    EXPECT_EQ(book->worksheets()->count(), 1);
    EXPECT_THROW(hidden->name(), AutomationError);  // a deleted sheet is gone
    EXPECT_THROW(book->worksheet("Hidden"), AutomationError);
}

TEST_F(StandinRulesTest, TheActiveSheetIsAlwaysAVisibleOne) {
    const auto path = write("book.xlsx", {.sheets = {sheet("A"), sheet("B"), sheet("C")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    const auto saved = [&] {
        book->saveAs(folder / "saved.xlsx", WorkbookFormat::Ooxml, "");
        return activeSheet(readStandinWorkbook(folder / "saved.xlsx", ""));
    };

    EXPECT_EQ(saved(), "A;");
    book->worksheet("B")->activate();
    book->worksheet("B")->setVisible(false);
    EXPECT_EQ(saved(), "C;");
    EXPECT_THROW(book->worksheet("B")->activate(), AutomationError);
    book->worksheet("C")->remove();
    EXPECT_EQ(saved(), "A;");
}

TEST_F(StandinRulesTest, AProtectedSheetRefusesCellEditsEvenAfterSaving) {
    const auto path =
        write("book.xlsx", {.sheets = {sheet("Data"), sheet("Kovrisk", {{"Z2", "T"}})}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    auto control = book->worksheet("Kovrisk");
    control->protect("KorvenatePlume!", true, true, true);

    EXPECT_THROW(control->range("Z2")->setValue("other"), AutomationError);
    EXPECT_THROW(control->range("Z2")->font()->setColorIndex(2), AutomationError);
    EXPECT_EQ(control->range("Z2")->value(), "T");
    EXPECT_NO_THROW(control->setVisible(false));
    EXPECT_NO_THROW(control->setName("Renamed"));

    auto data = book->worksheet("Data");
    data->protect("", false, false, false);  // cells left open
    EXPECT_NO_THROW(data->range("A1")->setValue("free"));
    book->saveAs(folder / "saved.xlsx", WorkbookFormat::Ooxml, "");

    book = app->workbooks()->open(folder / "saved.xlsx", "");
    EXPECT_THROW(book->worksheet("Renamed")->range("A1")->setValue("x"), AutomationError);
    const auto saved = readStandinWorkbook(folder / "saved.xlsx", "");
    EXPECT_EQ(saved.sheet("Renamed")->protection,
              (StandinProtection{"KorvenatePlume!", true, true, true}));
    EXPECT_EQ(saved.sheet("Renamed")->cells.at("Z2"), "T");
    EXPECT_TRUE(saved.sheet("Renamed")->colorIndexes.empty());
}

TEST_F(StandinRulesTest, LookupsOutsideTheWorkbookFail) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data"), sheet("Kovrisk")}});
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    EXPECT_THROW(book->worksheet(0), AutomationError);
    EXPECT_THROW(book->worksheet(3), AutomationError);
    EXPECT_THROW(book->worksheet("Kovrisk2"), AutomationError);
    EXPECT_EQ(book->worksheet("KOVRISK")->name(), "Kovrisk");
    EXPECT_THROW(book->worksheet(1)->range("A1:B2"), AutomationError);
    EXPECT_THROW(book->worksheet(1)->range("A1")->font()->setColorIndex(57), AutomationError);
}

TEST_F(StandinRulesTest, AnApplicationThatHasQuitRefusesEveryCall) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data")}});
    auto app = excel.create();
    auto books = app->workbooks();
    auto book = books->open(path, "");
    book->worksheet(1)->range("A1")->setValue("unsaved");

    app->quit();

    EXPECT_THROW(app->setVisible(true), AutomationError);
    EXPECT_THROW(app->workbooks(), AutomationError);
    EXPECT_THROW(app->quit(), AutomationError);
    EXPECT_THROW(books->open(path, ""), AutomationError);
    EXPECT_THROW(book->worksheet(1), AutomationError);
    EXPECT_THROW(book->close(false), AutomationError);
    EXPECT_FALSE(excel.instances()[0].visible);
    EXPECT_TRUE(readStandinWorkbook(path, "").sheets[0].cells.empty());
}

// ---- The call record ---------------------------------------------------------------------------

class StandinRecordTest : public StandinTest {};

TEST_F(StandinRecordTest, RecordsEveryCallInOrderInTheDocumentedScheme) {
    const auto path =
        write("book.xlsx", {.sheets = {sheet("Data"), sheet("kovrisk", {{"A1", "x"}})}});
    const auto target = folder / "book.xlsx.pwd";

    auto app = excel.create();
    app->setVisible(false);
    app->disableMacros();
    auto book = app->workbooks()->open(path, "");
    auto first = book->worksheet(1);
    EXPECT_EQ(book->worksheets()->count(), 2);
    EXPECT_EQ(book->worksheet(2)->name(), "kovrisk");
    app->setDisplayAlerts(false);
    book->worksheet(2)->remove();
    book->worksheets()->addAfter(*book->worksheet(1));
    book->worksheet(2)->setName("Kovrisk");
    auto control = book->worksheet("Kovrisk");
    control->setVisible(false);
    control->range("Z2")->setValue("TAG");
    control->range("Z2")->font()->setColorIndex(2);
    EXPECT_EQ(control->range("Z2")->value(), "TAG");
    control->protect("KorvenatePlume!", true, true, true);
    first->activate();
    book->saveAs(target, WorkbookFormat::Ooxml, "Pw");
    book->close(false);
    app->quit();

    const std::vector<std::string> expected{
        "Application.Create",
        "Application.Visible=false",
        "Application.DisableMacros",
        "Application.Workbooks",
        "Workbooks.Open(" + path.string() + ", Password=)",
        "Workbook.Worksheet(1)",
        "Workbook.Worksheets",
        "Worksheets.Count",
        "Workbook.Worksheet(2)",
        "Worksheet(2).Name",
        "Application.DisplayAlerts=false",
        "Workbook.Worksheet(2)",
        "Worksheet(2).Delete",
        "Workbook.Worksheets",
        "Workbook.Worksheet(1)",
        "Worksheets.Add(After=Worksheet(1))",
        "Workbook.Worksheet(2)",
        "Worksheet(2).Name=Kovrisk",
        "Workbook.Worksheet(Kovrisk)",
        "Worksheet(Kovrisk).Visible=false",
        "Worksheet(Kovrisk).Range(Z2)",
        "Worksheet(Kovrisk).Range(Z2).Value=TAG",
        "Worksheet(Kovrisk).Range(Z2)",
        "Worksheet(Kovrisk).Range(Z2).Font",
        "Worksheet(Kovrisk).Range(Z2).Font.ColorIndex=2",
        "Worksheet(Kovrisk).Range(Z2)",
        "Worksheet(Kovrisk).Range(Z2).Value",
        "Worksheet(Kovrisk).Protect(Password=KorvenatePlume!, DrawingObjects=true, "
        "Contents=true, Scenarios=true)",
        "Worksheet(1).Activate",
        "Workbook.SaveAs(" + target.string() + ", FileFormat=xlsx, Password=Pw)",
        "Workbook.Close(false)",
        "Application.Quit",
    };
    EXPECT_EQ(excel.calls(), expected);
    ASSERT_EQ(excel.callNames().size(), expected.size());
    EXPECT_EQ(excel.callNames()[4], "Workbooks.Open");
    EXPECT_EQ(excel.callNames()[17], "Worksheet(2).Name");
    EXPECT_EQ(excel.callNames()[29], "Workbook.SaveAs");
    EXPECT_TRUE(excel.prompts().empty());

    const auto saved = readStandinWorkbook(target, "Pw");
    EXPECT_EQ(sheetNames(saved), (std::vector<std::string>{"Data", "Kovrisk"}));
    EXPECT_EQ(activeSheet(saved), "Data;");
    const auto& tagged = saved.sheets[1];
    EXPECT_FALSE(tagged.visible);
    EXPECT_EQ(tagged.cells, (std::map<std::string, std::string>{{"Z2", "TAG"}}));
    EXPECT_EQ(tagged.colorIndexes, (std::map<std::string, int>{{"Z2", 2}}));
    EXPECT_TRUE(tagged.protection.has_value());
}

// ---- Injected faults ---------------------------------------------------------------------------

class StandinFaultTest : public StandinTest {
protected:
    NativePath path = write("book.xlsx", {.sheets = {sheet("Data"), sheet("More")}});
};

TEST_F(StandinFaultTest, AFailedCallCarriesTheChosenTextIsRecordedAndHasNoEffect) {
    const std::string text = "名前を変更できません。";
    excel.failCall("Worksheet(1).Name", text);
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    try {
        book->worksheet(1)->setName("Other");
        ADD_FAILURE() << "the rename went through";
    } catch (const AutomationError& error) {
        EXPECT_EQ(std::string(error.what()), text);
    }
    EXPECT_EQ(excel.calls().back(), "Worksheet(1).Name=Other");
    EXPECT_THROW(book->worksheet(1)->name(), AutomationError);  // the rule is on the name
    EXPECT_EQ(book->worksheet(2)->name(), "More");
    EXPECT_EQ(book->worksheet("Data")->name(), "Data");
}

TEST_F(StandinFaultTest, ARuleOnAWholeLineFailsOnlyThoseArguments) {
    excel.failCall("Workbook.Worksheet(2)", "no");
    excel.failCall("Workbook.Close(true)", "no");
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");

    EXPECT_NO_THROW(book->worksheet(1));
    EXPECT_THROW(book->worksheet(2), AutomationError);
    EXPECT_NO_THROW(book->worksheet("More"));
    EXPECT_THROW(book->close(true), AutomationError);
    EXPECT_NO_THROW(book->close(false));
}

TEST_F(StandinFaultTest, ARuleWithAnOccurrenceFailsOnlyThatCall) {
    excel.failCall("Worksheets.Count", "second", 2);
    auto app = excel.create();
    auto book = app->workbooks()->open(path, "");
    auto sheets = book->worksheets();

    EXPECT_NO_THROW(sheets->count());
    EXPECT_THROW(sheets->count(), AutomationError);
    EXPECT_NO_THROW(sheets->count());
}

TEST_F(StandinFaultTest, FailingCreationStandsForAnApplicationThatIsNotInstalled) {
    excel.failCall("Application.Create", "Class not registered");

    EXPECT_THROW(excel.create(), AutomationError);
    EXPECT_TRUE(excel.instances().empty());
    EXPECT_EQ(excel.calls(), std::vector<std::string>{"Application.Create"});
}

TEST_F(StandinFaultTest, AHookRunsAtItsCallBeforeTheCallTakesEffect) {
    int saves = 0;
    const auto deleteBook = [&] { fs::remove(path); };
    excel.onCall("Workbooks.Open", deleteBook, 2);
    excel.onCall("Workbook.SaveAs", [&] { ++saves; });
    const auto replaceByFolder = [&] {
        fs::remove(folder / "out.xlsx");
        fs::create_directory(folder / "out.xlsx");
    };
    excel.onCall("Workbook.SaveAs", replaceByFolder, 2);
    auto app = excel.create();
    auto books = app->workbooks();

    auto book = books->open(path, "");
    EXPECT_NO_THROW(book->saveAs(folder / "out.xlsx", WorkbookFormat::Ooxml, ""));
    EXPECT_THROW(book->saveAs(folder / "out.xlsx", WorkbookFormat::Ooxml, ""),
                 AutomationError);  // now a folder
    EXPECT_EQ(saves, 2);
    EXPECT_THROW(books->open(path, ""), AutomationError);  // deleted just before
}

// ---- Instances ---------------------------------------------------------------------------------

class StandinInstanceTest : public StandinTest {};

TEST_F(StandinInstanceTest, TracksInstancesLeftRunningAndHandedToTheUser) {
    const auto path = write("book.xlsx", {.sheets = {sheet("Data")}});

    auto quitting = excel.create();
    EXPECT_EQ(excel.runningInstances(), 1);
    quitting->quit();
    EXPECT_EQ(excel.runningInstances(), 0);

    excel.create().reset();  // dropped without Quit: still running
    EXPECT_EQ(excel.runningInstances(), 1);

    auto shown = excel.create();
    shown->workbooks()->open(path, "");
    shown->setVisible(true);
    shown.reset();
    EXPECT_EQ(excel.runningInstances(), 1);
    EXPECT_EQ(excel.handedOverInstances(), 1);
    const auto instances = excel.instances();
    ASSERT_EQ(instances.size(), 3u);
    EXPECT_TRUE(instances[2].visible);
    EXPECT_FALSE(instances[2].quit);
    EXPECT_EQ(instances[2].openWorkbooks, std::vector<NativePath>{path});
    EXPECT_TRUE(instances[0].quit);
    EXPECT_TRUE(instances[0].openWorkbooks.empty());
}

TEST_F(StandinInstanceTest, AnInstanceShownAndThenQuitIsNotHandedOver) {
    auto app = excel.create();
    app->setVisible(true);
    app->quit();

    EXPECT_EQ(excel.handedOverInstances(), 0);
    EXPECT_EQ(excel.runningInstances(), 0);
}

TEST(StandinFormatTest, FormatsStructureAndVisibilityAsExcelHasThem) {
    TempFolder folder;
    StandinApplicationFactory excel;
    StandinWorkbook page;
    page.format = "44";
    page.structureProtected = true;
    page.sheets = {StandinSheet{.name = "Hidden", .visible = false}, StandinSheet{.name = "Shown"}};
    writeStandinWorkbook(folder / "page.xls", page);
    auto application = excel.create();
    auto book = application->workbooks()->open(folder / "page.xls", "");
    EXPECT_EQ(book->fileFormat().kind, WorkbookFormat::Other);
    EXPECT_EQ(book->fileFormat().name, "FileFormat 44");
    EXPECT_TRUE(book->protectsStructure());
    EXPECT_FALSE(book->worksheet(1)->visible());
    EXPECT_TRUE(book->worksheet(2)->visible());
    EXPECT_THROW(book->worksheet(1)->activate(), AutomationError);
    // A protected structure refuses every change of the sheets.
    EXPECT_THROW(book->worksheets()->addAfter(*book->worksheet(2)), AutomationError);
    EXPECT_THROW(book->worksheet(2)->setName("Other"), AutomationError);
    EXPECT_THROW(book->worksheet(2)->remove(), AutomationError);
    // Saved in the format it was read in, the password silently dropped, as Excel does.
    book->saveAs(folder / "saved.htm", WorkbookFormat::Other, "Pw");
    const StandinWorkbook saved = readStandinWorkbook(folder / "saved.htm", "");
    EXPECT_EQ(saved.format, "44");
    // Saved as Excel 97, it carries the password.
    book->saveAs(folder / "saved.xls", WorkbookFormat::Excel97, "Pw");
    EXPECT_EQ(readStandinWorkbook(folder / "saved.xls", "Pw").format, "xls");
    application->quit();
}

}  // namespace
