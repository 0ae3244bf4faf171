// Excel as a process of its own: the stand-in "Excel.Application" registered as an out-of-process
// server (the wine run registers it, then runs these with KOVRISK_OUT_OF_PROCESS_EXCEL set).  A
// dialog in a hidden Excel that never closes ends with that Excel, within the bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "app/win32/com_apartment.h"
#include "fakes/run_fixture.h"
#include "support/texts.h"
#include "workbook/excel_com/busy_message_filter.h"
#include "workbook/excel_com/excel_application_factory.h"

namespace kovrisk::testing {
namespace {

class OutOfProcessExcel : public RunFixture {
protected:
    void SetUp() override {
        if (::GetEnvironmentVariableW(L"KOVRISK_OUT_OF_PROCESS_EXCEL", nullptr, 0) == 0)
            GTEST_SKIP() << "needs the stand-in registered as Excel.Application";
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"KOVRISK_STANDIN_DIALOGS", nullptr); }

    // The server reads the dialogs from its environment, which it has from this process.
    void dialogAt(const std::string& call) {
        const NativePath file = temp / "dialogs.txt";
        std::ofstream(file, std::ios::binary)
            << call << "\t1\tA macro sheet's security warning\r\n";
        ::SetEnvironmentVariableW(L"KOVRISK_STANDIN_DIALOGS", file.c_str());
    }

    // Runs the lock road on a fresh workbook with a two-second bound; the seconds it took.
    double lockWithin(std::chrono::milliseconds bound) {
        const NativePath target = makeWorkbook("Book1.xlsx");
        before = readFile(target);
        const ComApartment com;
        ExcelWatch watch(bound, std::chrono::milliseconds(0));
        const MessageFilterRegistration filter(kBusyPatience, &watch);
        const auto excel = makeExcelApplicationFactory(kBusyPatience, &watch);
        const auto started = std::chrono::steady_clock::now();
        run(target, BoxAnswer::Ok, excel.get());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    std::string before;
};

TEST_F(OutOfProcessExcel, ADialogThatNeverClosesEndsThatExcelWithinTheBound) {
    dialogAt("Workbook.SaveAs");
    // Three Excels (probe, lock) each within the bound; only the lock's is ended.
    EXPECT_LT(lockWithin(std::chrono::milliseconds(2000)), 20.0);
    const std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{
                  "fncXlsPwdChg():Catch Exception",
                  "fncXlsPwdChg()ERROR=" + std::string(texts::kExcelTookTooLong),
                  "fncXlsPwdChg():Excelファイル変数整理", "fncXlsPwdChg():Excel OLE終了処理",
                  std::string(texts::kLockFailed)}));
    EXPECT_EQ(readFile(temp / "work" / "Book1.xlsx"), before);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(OutOfProcessExcel, AQuitThatNeverReturnsEndsThatExcelToo) {
    dialogAt("Application.Quit");
    EXPECT_LT(lockWithin(std::chrono::milliseconds(2000)), 20.0);
    const std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "fncXlsOpenChk():TRY OPEN");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "fncXlsOpenChk()ERROR=" + std::string(texts::kExcelTookTooLong)),
              lines.end());
    EXPECT_EQ(readFile(temp / "work" / "Book1.xlsx"), before);
}

}  // namespace
}  // namespace kovrisk::testing
