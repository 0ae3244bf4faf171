// The control sheet's own part: a worksheet with the warning in A1 and the machine tag in Z2, both
// as inline text, protected as Excel writes Protect(DrawingObjects, Contents, Scenarios).
#pragma once

#include <string>
#include <string_view>

#include "workbook/control_sheet_writer.h"

namespace kovrisk::file_edit {

// UTF-8 of `text`; an unpaired surrogate becomes U+FFFD.
std::string utf8(std::u16string_view text);

// The worksheet part's text; `tagStyle` is the index of the cell format Z2 gets.
std::string controlSheetPart(const ControlSheet& sheet, std::size_t tagStyle);

}  // namespace kovrisk::file_edit
