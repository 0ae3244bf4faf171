// The workbook formats LibreOffice reads a file in, by its import filter, and the filters that
// save the two formats that carry an open password.
#pragma once

#include <string_view>

#include "workbook/automation.h"

namespace kovrisk {

// By the import filter a workbook was loaded with: Excel 97-2003, OOXML, or another format.
WorkbookFormat formatOfFilter(std::string_view filterName);
// The export filter of Excel97 ("MS Excel 97"), Ooxml ("Calc MS Excel 2007 XML") or
// OoxmlMacroEnabled ("Calc MS Excel 2007 VBA XML"); empty for any other format.
std::string_view filterNameOf(WorkbookFormat format);
// False for the import filter LibreOffice falls back to when it finds no spreadsheet format in a
// file: the file's bytes read as delimited text.  Such a file is damaged or no workbook at all.
bool isWorkbookImportFilter(std::string_view filterName);

}  // namespace kovrisk
