// The late-bound client against the stand-in server: how calls travel and which text a failure
// carries.
#include "workbook/excel_com/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "com_standin.h"
#include "fakes/temp_folder.h"
#include "platform/text_codec.h"
#include "workbook/excel_com/com_error.h"

namespace kovrisk::testing {
namespace {

std::string sjis(const wchar_t* text) {
    return toShiftJis(std::wstring(text));
}

// The text of the AutomationError that `call` throws.
template <typename Call>
std::string failureText(Call call) {
    try {
        call();
    } catch (const AutomationError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no AutomationError";
    return {};
}

class DispatchTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(StandinDispatch::liveObjects(), 0) << "a leaked reference";
    }

    NativePath workbook() {
        const NativePath path = folder / "Book1.xlsx";
        StandinWorkbook book;
        book.sheets.push_back(StandinSheet{.name = "Data"});
        writeStandinWorkbook(path, book);
        return path;
    }

    TempFolder folder;
    ComStandin excel;
};

TEST_F(DispatchTest, AMemberTheObjectDoesNotHaveIsNamedInTheError) {
    Dispatch application = excel.dispatch();
    EXPECT_EQ(failureText([&] { application.call(L"Quitt"); }),
              sjis(L"メソッド 'Quitt' はオートメーション オブジェクトでサポートしていません"));
    // So is the member when one of its named arguments is unknown.
    std::vector<NamedArgument> named;
    named.push_back(NamedArgument{L"Pasword", DispatchArgument::textByRef("x")});
    Dispatch books = application.object(L"WorkBooks");
    EXPECT_EQ(failureText([&] { books.call(L"Open", {}, std::move(named)); }),
              sjis(L"メソッド 'Open' はオートメーション オブジェクトでサポートしていません"));
    // Names are looked up regardless of letter case, as Excel does.
    application.call(L"QUIT");
}

TEST_F(DispatchTest, AResultThatIsNoObjectCannotBeCalled) {
    std::vector<DispatchArgument> arguments;
    arguments.push_back(DispatchArgument::pathByRef(workbook()));
    Dispatch book = Dispatch::fromResult(
        excel.dispatch().object(L"WorkBooks").call(L"Open", std::move(arguments)));
    Dispatch sheets = book.object(L"WorkSheets");
    EXPECT_EQ(failureText([&] { sheets.object(L"Count"); }),
              sjis(L"バリアントはオートメーション オブジェクトを参照していません"));
    EXPECT_EQ(failureText([] { Dispatch(ComPtr<IDispatch>()); }),
              sjis(L"バリアントはオートメーション オブジェクトを参照していません"));
}

TEST_F(DispatchTest, TheApplicationsDescriptionLosesTrailingBlanksControlCharactersAndFullStops) {
    ExcelApplication application(excel.dispatch());
    excel.standin().failCall("Workbooks.Open",
                             "The password you supplied is not correct.  \r\n\t. ", 1);
    EXPECT_EQ(failureText([&] { application.workbooks()->open(workbook(), "x"); }),
              "The password you supplied is not correct");
    // An ideographic full stop is not a full stop.
    excel.standin().failCall("Workbooks.Open", sjis(L"パスワードが違います。..."), 1);
    EXPECT_EQ(failureText([&] { application.workbooks()->open(workbook(), "x"); }),
              sjis(L"パスワードが違います。"));
    // With nothing left, the status code speaks: Excel's own code has no system text.
    excel.standin().failCall("Workbooks.Open", " . ", 1);
    EXPECT_EQ(failureText([&] { application.workbooks()->open(workbook(), "x"); }),
              sjis(L"OLE エラー 800a03ec"));
}

TEST_F(DispatchTest, AStatusWithoutDescriptionGivesTheSystemsTextOrTheOleErrorNumber) {
    const std::string system = statusText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(system.empty());
    EXPECT_NE(system.rfind("OLE", 0), 0u) << system;
    EXPECT_EQ(std::string(".\r\n ").find(system.back()), std::string::npos) << system;
    EXPECT_EQ(statusText(static_cast<HRESULT>(0xA0001234)), sjis(L"OLE エラー a0001234"));

    // The server refuses a Visible that is no automation boolean.
    Dispatch application = excel.dispatch();
    EXPECT_EQ(failureText([&] { application.put(L"Visible", DispatchArgument::integer(1)); }),
              statusText(DISP_E_TYPEMISMATCH));
}

TEST_F(DispatchTest, EveryCallTravelsAsExcelExpectsIt) {
    const NativePath path = workbook();
    {
        ExcelApplication application(excel.dispatch());
        application.setVisible(false);
        application.setDisplayAlerts(true);
        application.disableMacros();
        std::unique_ptr<Workbook> book = application.workbooks()->open(path, "pw");
        std::unique_ptr<Worksheet> first = book->worksheet(1);
        book->worksheets()->addAfter(*first);
        std::unique_ptr<Worksheet> added = book->worksheet(book->worksheets()->count());
        added->setName("Kovrisk");
        book->worksheet("Kovrisk")->range("Z2")->setValue("tag");
        book->worksheet("Kovrisk")->range("Z2")->font()->setColorIndex(2);
        EXPECT_EQ(book->worksheet("Kovrisk")->range("Z2")->value(), "tag");
        book->worksheet("Kovrisk")->protect("secret", true, false, true);
        book->worksheet("Kovrisk")->setVisible(false);
        first->activate();
        book->saveAs(folder / "Book1.xlsx.pwd", WorkbookFormat::Ooxml, "new");
        book->close(false);
        application.quit();
    }
    EXPECT_EQ(excel.server->wireRecord(),
              (std::vector<std::wstring>{
                  L"Application.Visible=BOOL(0)",
                  L"Application.DisplayAlerts=BOOL(-1)",
                  L"Application.AutomationSecurity=I4",
                  L"Application.WorkBooks()",
                  L"Workbooks.Open(#1:BSTR&, UpdateLinks:I4, Password:BSTR&, "
                  L"WriteResPassword:BSTR&, IgnoreReadOnlyRecommended:BOOL(-1), Notify:BOOL(0), "
                  L"AddToMru:BOOL(0), CorruptLoad:I4)",
                  L"Workbook.AutoSaveOn()",
                  L"Workbook.WorkSheets(#1:I4)",
                  L"Workbook.WorkSheets()",
                  L"Worksheets.Add(#1:VARIANT&->ERROR(80020004), #2:DISPATCH)",
                  L"Workbook.WorkSheets()",
                  L"Worksheets.Count()",
                  L"Workbook.WorkSheets(#1:I4)",
                  L"Worksheet.Name=BSTR",
                  L"Workbook.WorkSheets(#1:BSTR&)",
                  L"Worksheet.Range(#1:BSTR&)",
                  L"Range.Value=BSTR",
                  L"Workbook.WorkSheets(#1:BSTR&)",
                  L"Worksheet.Range(#1:BSTR&)",
                  L"Range.Font()",
                  L"Font.ColorIndex=I4",
                  L"Workbook.WorkSheets(#1:BSTR&)",
                  L"Worksheet.Range(#1:BSTR&)",
                  L"Range.Value()",
                  L"Workbook.WorkSheets(#1:BSTR&)",
                  L"Worksheet.Protect(Password:BSTR&, DrawingObjects:BOOL(-1), Contents:BOOL(0), "
                  L"Scenarios:BOOL(-1))",
                  L"Workbook.WorkSheets(#1:BSTR&)",
                  L"Worksheet.Visible=BOOL(0)",
                  L"Worksheet.Activate()",
                  L"Workbook.SaveAs(Filename:BSTR&, FileFormat:I4, Password:BSTR&)",
                  L"Workbook.Close(#1:BOOL(0))",
                  L"Application.Quit()",
              }));
    // And arrives whole: the stand-in saw the texts, numbers and flags as they were given.
    const StandinWorkbook saved = readStandinWorkbook(folder / "Book1.xlsx.pwd", "new");
    ASSERT_EQ(saved.sheets.size(), 2u);
    EXPECT_EQ(saved.sheets[1].name, "Kovrisk");
    EXPECT_EQ(saved.sheets[1].cells.at("Z2"), "tag");
    EXPECT_EQ(saved.sheets[1].colorIndexes.at("Z2"), 2);
    EXPECT_EQ(saved.sheets[1].protection, (StandinProtection{"secret", true, false, true}));
    EXPECT_FALSE(saved.sheets[1].visible);
}

// Excel turns calls away while it starts, loads add-ins or recalculates: each is made again
// until Excel takes it, for as long as the patience lasts.
TEST_F(DispatchTest, ACallTurnedAwayWhileExcelIsBusyIsMadeAgain) {
    excel.server->busyAfter("Application.Create", 300);
    excel.server->busyAfter("Workbooks.Open", 200);
    {
        ExcelApplication application(excel.dispatch());
        application.setVisible(false);
        application.workbooks()->open(workbook(), "")->close(false);
        application.quit();
    }
    const std::vector<std::wstring>& wire = excel.server->wireRecord();
    const std::wstring rejected = L"(busy: call rejected)";
    const auto open = std::find_if(wire.begin(), wire.end(), [](const std::wstring& line) {
        return line.starts_with(L"Workbooks.Open");
    });
    ASSERT_NE(open, wire.end());
    EXPECT_EQ(wire.front(), rejected) << "turned away at the start";
    EXPECT_EQ(*(open + 1), rejected) << "turned away after the Open";
    // Every call arrived once it was taken, none twice.
    std::vector<std::wstring> taken;
    std::copy_if(wire.begin(), wire.end(), std::back_inserter(taken),
                 [&](const std::wstring& line) { return line != rejected; });
    EXPECT_EQ(taken.front(), L"Application.Visible=BOOL(0)");
    // Visible, WorkBooks, Open, AutoSaveOn, Close, Quit.
    EXPECT_EQ(taken.size(), 6u);
    EXPECT_EQ(excel.standin().calls().back(), "Application.Quit");

    // An Excel that stays busy: the call fails once the patience has run out.
    excel.patience = std::chrono::milliseconds(300);
    excel.server->busyAfter("Application.Create", -1);
    Dispatch busy = excel.dispatch();
    const ULONGLONG started = ::GetTickCount64();
    EXPECT_EQ(failureText([&] { busy.put(L"Visible", DispatchArgument::boolean(false)); }),
              statusText(RPC_E_CALL_REJECTED));
    EXPECT_GE(::GetTickCount64() - started, 290u);
}

// Excel answers VBA_E_IGNORE while its object model is not available (an edit in a cell, a dialog
// of its own): the call was not run, and is made again like one turned away.
TEST_F(DispatchTest, AnObjectModelNotAvailableForTheMomentIsWaitedForLikeABusyExcel) {
    int tries = 0;
    EXPECT_EQ(retryWhileBusy([&] { return ++tries < 3 ? kVbaObjectModelNotAvailable : S_OK; },
                             std::chrono::milliseconds(5000)),
              S_OK);
    EXPECT_EQ(tries, 3);
}

// The calls are made in United States English, whatever the user's locale: an Excel without the
// user's language resources refuses other locales.
TEST_F(DispatchTest, CallsAreMadeInTheLocaleOfExcelsMemberNames) {
    const LCID before = ::GetThreadLocale();
    ASSERT_TRUE(::SetThreadLocale(
        MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT)));
    ExcelApplication application(excel.dispatch());
    application.setVisible(false);
    application.quit();
    ::SetThreadLocale(before);
    for (const std::wstring& line : excel.server->wireRecord())
        EXPECT_EQ(line.find(L'!'), std::wstring::npos) << "refused: " << line;
}

TEST_F(DispatchTest, TextsTravelAsCodePage932ConvertsThem) {
    const NativePath path = folder.path() / L"売上.xlsx";
    StandinWorkbook book;
    book.openPassword = toShiftJis(fromShiftJis("\x8D\x41Q"));
    book.sheets.push_back(StandinSheet{.name = sjis(L"集計")});
    writeStandinWorkbook(path, book);
    ExcelApplication application(excel.dispatch());
    std::unique_ptr<Workbook> opened = application.workbooks()->open(path, "\x8D\x41Q");
    EXPECT_EQ(opened->worksheet(1)->name(), sjis(L"集計"));
    opened->worksheet(1)->range("A1")->setValue(sjis(L"表示"));
    EXPECT_EQ(opened->worksheet(1)->range("a1")->value(), sjis(L"表示"));
    opened->close(false);
    application.quit();
}

}  // namespace
}  // namespace kovrisk::testing
