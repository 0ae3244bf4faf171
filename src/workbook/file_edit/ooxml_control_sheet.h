// The control sheet written into an OOXML package (.xlsx, .xlsm) itself.
#pragma once

#include <string_view>

#include "workbook/control_sheet_writer.h"

namespace kovrisk::file_edit {

// The package `file` with `sheet` as its last, hidden, protected worksheet in place of any earlier
// one, and its first visible worksheet active.  Changed: the content types, the workbook part and
// its relationships, the style sheet (a font and a cell format added), the extended properties'
// sheet list, the sheet parts whose selection changes; added: the new sheet part; removed: earlier
// control sheets' parts and what only they refer to.  Every other entry is copied as it was.
ControlSheetEdit addOoxmlControlSheet(std::string_view file, const ControlSheet& sheet);

}  // namespace kovrisk::file_edit
