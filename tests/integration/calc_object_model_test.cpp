// The object model on the real LibreOffice.  run_object_model_tests.py makes the workbooks, runs
// this program, and then checks every encrypted file it lists with msoffcrypto.
//
// Environment: KOVRISK_TEST_WORKBOOKS (plain.xlsx and plain.xls: sheets "Data", "第二", "Third";
// macro.xls: plain.xls with a VBA project),
// KOVRISK_TEST_PROFILE (the office profile folder), KOVRISK_TEST_SCRATCH (a writable folder).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_codec.h"
#include "support/file_password.h"
#include "workbook/calc_uno/calc_application_factory.h"

namespace kovrisk {
namespace {

namespace fs = std::filesystem;

// Shift-JIS bytes of the sheet names and texts used (this file is not compiled to Shift-JIS).
const std::string kSecondSheet = "\x91\xe6\x93\xf1";                       // 第二
const std::string kJapaneseText = "\x83\x66\x81\x5b\x83\x5e\xb1\x81\x60";  // データｱ～

NativePath environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        throw std::runtime_error(std::string(name) + " is not set");
    return value;
}

NativePath workbooks() {
    return environmentPath("KOVRISK_TEST_WORKBOOKS");
}
NativePath profile() {
    return environmentPath("KOVRISK_TEST_PROFILE");
}
NativePath scratch() {
    return environmentPath("KOVRISK_TEST_SCRATCH");
}

CalcOptions options() {
    CalcOptions result;
    result.profileFolder = profile();
    return result;
}

// Office processes running on a profile below the test's profile folder.
int officeProcesses() {
    const std::string marker = "UserInstallation=file://" + profile().native();
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string command((std::istreambuf_iterator<char>(in)), {});
        if (command.find(marker) != std::string::npos)
            ++count;
    }
    return count;
}

bool noOfficeWithin(std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (officeProcesses() > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::string fileBytes(const NativePath& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The lock file LibreOffice keeps beside a workbook it has open for editing.
NativePath lockFileOf(const NativePath& workbook) {
    return workbook.parent_path() / (".~lock." + workbook.filename().native() + "#");
}

// A fresh copy of a sample workbook in the scratch folder.
NativePath copyOf(const std::string& sample, const std::string& as) {
    const NativePath target = scratch() / as;
    fs::copy_file(workbooks() / sample, target, fs::copy_options::overwrite_existing);
    return target;
}

// Lists an encrypted file with its password (UTF-16 code units) for the msoffcrypto check.
void listEncrypted(const NativePath& file, const std::string& password) {
    std::ofstream manifest(scratch() / "encrypted.txt", std::ios::app);
    manifest << file.native() << '\t';
    for (const char16_t unit : shiftJisToUtf16(password))
        manifest << static_cast<unsigned>(unit) << ' ';
    manifest << '\n';
}

class CalcObjectModel : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { factory_ = makeCalcApplicationFactory(options()).release(); }
    static void TearDownTestSuite() {
        delete factory_;
        factory_ = nullptr;
    }

    void SetUp() override { application_ = factory_->create(); }
    void TearDown() override {
        if (application_)
            application_->quit();
    }

    // "xlsx" or "xls".
    std::string extension() const { return GetParam(); }
    NativePath sample(const std::string& name) {
        return copyOf("plain." + extension(), name + "." + extension());
    }
    std::unique_ptr<Workbook> open(const NativePath& path, const std::string& password = "") {
        return application_->workbooks()->open(path, password);
    }

    static ApplicationFactory* factory_;
    std::unique_ptr<Application> application_;
};

ApplicationFactory* CalcObjectModel::factory_ = nullptr;

TEST_P(CalcObjectModel, SheetsAreFoundByPositionAndByNameInAnyLetterCase) {
    const auto book = open(sample("sheets"));
    EXPECT_EQ(book->worksheets()->count(), 3);
    EXPECT_EQ(book->worksheet(1)->name(), "Data");
    EXPECT_EQ(book->worksheet(2)->name(), kSecondSheet);
    EXPECT_EQ(book->worksheet(kSecondSheet)->name(), kSecondSheet);
    EXPECT_EQ(book->worksheet("tHIRD")->name(), "Third");
    EXPECT_THROW(book->worksheet(4), AutomationError);
    EXPECT_THROW(book->worksheet(0), AutomationError);
    EXPECT_THROW(book->worksheet("Missing"), AutomationError);
}

TEST_P(CalcObjectModel, AddPutsTheNewSheetRightAfterTheGivenOneAndItCanBeRenamedAndDeleted) {
    const auto book = open(sample("add"));
    book->worksheets()->addAfter(*book->worksheet(1));
    ASSERT_EQ(book->worksheets()->count(), 4);
    EXPECT_EQ(book->worksheet(3)->name(), kSecondSheet);
    book->worksheet(2)->setName("Kovrisk");
    EXPECT_EQ(book->worksheet("KOVRISK")->name(), "Kovrisk");

    book->worksheet("Kovrisk")->remove();
    EXPECT_EQ(book->worksheets()->count(), 3);
    EXPECT_EQ(book->worksheet(2)->name(), kSecondSheet);
}

TEST_P(CalcObjectModel, ASheetOfAnotherWorkbookIsNoPlaceToAddAfter) {
    const auto book = open(sample("anchor"));
    const auto other = open(sample("other"));
    EXPECT_THROW(book->worksheets()->addAfter(*other->worksheet(1)), AutomationError);
    EXPECT_EQ(book->worksheets()->count(), 3);
}

TEST_P(CalcObjectModel, CellValuesAreTextBothWays) {
    const auto book = open(sample("cells"));
    const auto sheet = book->worksheet(1);
    EXPECT_EQ(sheet->range("B2")->value(), "42");
    EXPECT_EQ(sheet->range("C3")->value(), "0123");
    EXPECT_EQ(sheet->range("Z2")->value(), "");
    sheet->range("Z2")->setValue("00123");
    sheet->range("A2")->setValue(kJapaneseText);
    EXPECT_EQ(sheet->range("Z2")->value(), "00123");
    EXPECT_EQ(sheet->range("A2")->value(), kJapaneseText);
}

TEST_P(CalcObjectModel, FontColourIndexTakesTheDefaultPaletteOnly) {
    const auto book = open(sample("colour"));
    const auto font = book->worksheet(1)->range("Z2")->font();
    EXPECT_NO_THROW(font->setColorIndex(2));
    EXPECT_THROW(font->setColorIndex(0), AutomationError);
    EXPECT_THROW(font->setColorIndex(57), AutomationError);
}

TEST_P(CalcObjectModel, ClosingWithoutSavingLeavesTheFileAsItWas) {
    const NativePath path = sample("unsaved");
    const std::string before = fileBytes(path);
    auto book = open(path);
    EXPECT_TRUE(fs::exists(lockFileOf(path)));
    book->worksheet(1)->range("A1")->setValue("changed");
    book->worksheets()->addAfter(*book->worksheet(3));
    book->close(false);
    EXPECT_FALSE(fs::exists(lockFileOf(path)));
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_THROW(book->worksheets(), AutomationError);
}

TEST_P(CalcObjectModel, QuitClosesEveryWorkbookLeftOpen) {
    const NativePath first = sample("left-open-1");
    const NativePath second = sample("left-open-2");
    const auto a = open(first);
    const auto b = open(second);
    application_->quit();
    application_.reset();
    EXPECT_FALSE(fs::exists(lockFileOf(first)));
    EXPECT_FALSE(fs::exists(lockFileOf(second)));
}

TEST_P(CalcObjectModel, AnApplicationDroppedWithoutQuitClosesItsWorkbooks) {
    const NativePath path = sample("dropped");
    { const auto book = open(path); }
    application_.reset();
    EXPECT_FALSE(fs::exists(lockFileOf(path)));
}

TEST_P(CalcObjectModel, SavedWithAPasswordItOpensWithThatPasswordOnly) {
    const NativePath source = sample("secret-source");
    const NativePath saved = scratch() / ("secret." + extension() + ".pwd");
    const NativePath renamed = scratch() / ("secret." + extension());
    {
        auto book = open(source);
        book->worksheet(1)->range("Z2")->setValue("marker");
        book->saveAs(saved, book->fileFormat().kind, "Open Sesame");
        book->close(false);
    }
    fs::rename(saved, renamed);
    listEncrypted(renamed, "Open Sesame");

    for (const std::string wrong : {"", "open sesame", "Open Sesame ", "MIRTHOLAN"}) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_THROW(open(renamed, wrong), AutomationError) << "password [" << wrong << "]";
        // Failing at once: nobody is asked for a password.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    }
    const auto book = open(renamed, "Open Sesame");
    EXPECT_EQ(book->worksheet(1)->range("Z2")->value(), "marker");
    EXPECT_EQ(book->worksheets()->count(), 3);
}

TEST_P(CalcObjectModel, AnUnencryptedWorkbookOpensWithAnyPassword) {
    const auto book = open(sample("any-password"), "whatever");
    EXPECT_EQ(book->worksheets()->count(), 3);
}

TEST_P(CalcObjectModel, DerivedPasswordsWithLoneLeadBytesAndControlBytesRoundTrip) {
    // File names whose derived passwords hold lead bytes without their trail byte, and the
    // control bytes that the letters p to z become, plus a few chosen by hand.
    std::vector<std::string> passwords;
    for (const std::string name :
         {"report 9 query.xlsx", "1999 survey.xls", "xyz.xlsx", "pqrstuvwxyz0123.xls", "9.xlsx"}) {
        PasswordBuffer buffer;
        ASSERT_TRUE(fncPwdMake(name, buffer));
        passwords.push_back(buffer.text());
    }
    passwords.push_back("\x8d");                      // a lead byte alone
    passwords.push_back("\x01\x1f\x7f\x80\xa0\xfd");  // control bytes and unmapped bytes
    passwords.push_back("A\x9f");                     // ends in a lead byte

    const NativePath source = sample("derived-source");
    for (std::size_t i = 0; i < passwords.size(); ++i) {
        const std::string& password = passwords[i];
        const NativePath target = scratch() / ("derived-" + std::to_string(i) + "." + extension());
        NativePath temporary = target;
        temporary += ".pwd";
        {
            auto book = open(source);
            book->saveAs(temporary, book->fileFormat().kind, password);
            book->close(false);
        }
        fs::rename(temporary, target);
        listEncrypted(target, password);

        // (Changing the last byte would not do: every lone lead byte becomes the same U+30FB.)
        const std::string other = "Z" + password;
        EXPECT_THROW(open(target, other), AutomationError) << "password " << i;
        EXPECT_NO_THROW(open(target, password)->close(false)) << "password " << i;
    }
}

TEST_P(CalcObjectModel, AFileThatIsNoWorkbookFailsToOpen) {
    const NativePath garbage = scratch() / ("garbage." + extension());
    std::ofstream(garbage, std::ios::binary) << std::string("\xd0\xcf\x11\xe0 not really", 16);
    EXPECT_THROW(open(garbage), AutomationError);
    EXPECT_THROW(open(scratch() / ("missing." + extension())), AutomationError);
}

INSTANTIATE_TEST_SUITE_P(Formats, CalcObjectModel, ::testing::Values("xlsx", "xls"),
                         [](const auto& info) { return info.param; });

TEST(CalcOffice, AMissingOfficeProgramFailsCreationWithItsName) {
    CalcOptions missing = options();
    missing.officeProgram = "/nonexistent/libreoffice/soffice";
    const auto factory = makeCalcApplicationFactory(missing);
    try {
        factory->create();
        FAIL() << "created";
    } catch (const AutomationError& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/libreoffice/soffice"),
                  std::string::npos);
    }
}

TEST(CalcOffice, AnOfficeThatEndsAtOnceFailsCreationWithoutWaitingForTheBound) {
    CalcOptions ending = options();
    ending.officeProgram = "/bin/false";
    const auto factory = makeCalcApplicationFactory(ending);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(factory->create(), AutomationError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST(CalcOffice, TheFactoryReusesOneOfficeAndEndsItWhenItGoes) {
    {
        const auto factory = makeCalcApplicationFactory(options());
        factory->create()->quit();
        factory->create()->quit();
        EXPECT_EQ(officeProcesses(), 2);  // oosplash and soffice.bin, once
    }
    EXPECT_TRUE(noOfficeWithin(std::chrono::seconds(15)));
}

TEST(CalcOffice, WithoutReuseQuitEndsTheOffice) {
    CalcOptions single = options();
    single.reuseOffice = false;
    const auto factory = makeCalcApplicationFactory(single);
    const auto application = factory->create();
    EXPECT_GT(officeProcesses(), 0);
    application->quit();
    EXPECT_TRUE(noOfficeWithin(std::chrono::seconds(15)));
}

TEST(CalcOffice, MacrosAreThoseOfTheWorkbooksOwnLibraries) {
    const auto factory = makeCalcApplicationFactory(options());
    const auto application = factory->create();
    for (const std::string sample : {"plain.xlsx", "plain.xls"})
        EXPECT_FALSE(
            application->workbooks()->open(copyOf(sample, "no-macros-" + sample), "")->hasMacros())
            << sample;
    const auto book = application->workbooks()->open(copyOf("macro.xls", "macros.xls"), "");
    EXPECT_TRUE(book->hasMacros());
    application->quit();
}

TEST(CalcOffice, ShowingWithoutADisplayClosesEndsAndSaysSo) {
    const NativePath path = copyOf("plain.xlsx", "no-display.xlsx");
    int called = 0;
    CalcOptions headless = options();
    headless.onNoDisplayHandover = [&] { ++called; };
    const auto factory = makeCalcApplicationFactory(headless);
    const auto application = factory->create();
    const auto book = application->workbooks()->open(path, "");
    application->setVisible(true);
    EXPECT_FALSE(application->visible());
    EXPECT_EQ(called, 1);
    EXPECT_FALSE(fs::exists(lockFileOf(path)));
    EXPECT_TRUE(noOfficeWithin(std::chrono::seconds(15)));
    // The factory starts a new office for the next application.
    EXPECT_NO_THROW(factory->create()->quit());
}

TEST(CalcOffice, TwoFactoriesOnOneProfileFolderRunSideBySide) {
    const auto first = makeCalcApplicationFactory(options());
    const auto second = makeCalcApplicationFactory(options());
    const auto a = first->create();
    const auto b = second->create();
    const NativePath one = copyOf("plain.xlsx", "side-1.xlsx");
    const NativePath two = copyOf("plain.xlsx", "side-2.xlsx");
    EXPECT_EQ(a->workbooks()->open(one, "")->worksheets()->count(), 3);
    EXPECT_EQ(b->workbooks()->open(two, "")->worksheets()->count(), 3);
    a->quit();
    EXPECT_EQ(b->workbooks()->open(one, "")->worksheets()->count(), 3);
    b->quit();
}

}  // namespace
}  // namespace kovrisk
