// Microsoft Excel as the spreadsheet application: "Excel.Application" through COM, driven
// late-bound.  COM must be initialised on the calling thread.
#pragma once

#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

std::unique_ptr<ApplicationFactory> makeExcelApplicationFactory();

}  // namespace kovrisk
