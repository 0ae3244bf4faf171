// The control sheet written into the workbook file by Kovrisk itself, for a backend whose own save
// would not keep the rest of the workbook as it was.
#pragma once

#include "workbook/control_sheet_writer.h"

namespace kovrisk {

// OOXML packages and binary workbooks (.xls) are edited; what an editor does not take, the
// application saves.
ControlSheetWriter& fileControlSheetWriter();

}  // namespace kovrisk
