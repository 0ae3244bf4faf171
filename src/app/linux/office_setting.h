// How the program starts LibreOffice: which office program runs ($KOVRISK_SOFFICE names another
// one), and what the user is told when a workbook cannot be shown for lack of a display.  The
// office keeps its profile where the backend puts it by default ($XDG_CACHE_HOME/kovrisk).
#pragma once

#include "app/linux/program.h"
#include "workbook/calc_uno/calc_application_factory.h"

namespace kovrisk {

CalcOptions officeOptions(const SpreadsheetSetting& setting);

}  // namespace kovrisk
