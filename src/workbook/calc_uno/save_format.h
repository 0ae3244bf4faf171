// The file format a workbook is saved in with an open password, and how the password is applied.
#pragma once

#include <string_view>

#include "platform/files.h"

namespace kovrisk {

enum class SaveFormat {
    Unknown,
    // Encrypted OOXML (.xlsx): filter "Calc MS Excel 2007 XML" with EncryptionData.
    Ooxml,
    // Encrypted Excel 97 (.xls): filter "MS Excel 97" with the "Password" property.
    Excel97,
};

// By the real extension of `fileName`: a trailing ".pwd" (the temporary copy) is not it.
SaveFormat saveFormatOf(const NativePath& fileName);
// By the import filter a workbook was loaded with.
SaveFormat saveFormatOfFilter(std::string_view filterName);
std::string_view filterNameOf(SaveFormat format);
// False for the import filter LibreOffice falls back to when it finds no spreadsheet format in a
// file: the file's bytes read as delimited text.  Such a file is damaged or no workbook at all.
bool isWorkbookImportFilter(std::string_view filterName);

}  // namespace kovrisk
