// kovrisk <workbook>: puts an open password on the workbook, or opens a workbook it locked, with
// LibreOffice Calc as the spreadsheet application.
#include "app/linux/office_setting.h"
#include "app/linux/program.h"

int main(int argc, char** argv) {
    return kovrisk::runKovrisk(argc, argv, [](const kovrisk::SpreadsheetSetting& setting) {
        return kovrisk::makeCalcApplicationFactory(kovrisk::officeOptions(setting));
    });
}
