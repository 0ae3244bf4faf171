// How the program starts LibreOffice: where the office keeps its profile, which office program
// runs ($KOVRISK_SOFFICE names another one), and what the user is told when a workbook cannot be
// shown for lack of a display.
#pragma once

#include "app/linux/program.h"
#include "workbook/calc_uno/calc_application_factory.h"

namespace kovrisk {

CalcOptions officeOptions(const SpreadsheetSetting& setting);

}  // namespace kovrisk
