// Microsoft Excel as the spreadsheet application: "Excel.Application" through COM, driven
// late-bound.  COM must be initialised on the calling thread.
#pragma once

#include <chrono>
#include <memory>

#include "workbook/automation.h"
#include "workbook/excel_com/busy_retry.h"
#include "workbook/excel_com/excel_watch.h"

namespace kovrisk {

// The longest full path Excel opens or saves, in characters.
inline constexpr std::size_t kExcelLongestPath = 218;

// A call Excel turns away while it is busy is made again for up to `patience`.  With a `watch`
// (which outlives the factory), each Excel's process is followed from its start and every
// operation is bounded by it.
std::unique_ptr<ApplicationFactory> makeExcelApplicationFactory(
    std::chrono::milliseconds patience = kBusyPatience, ExcelWatch* watch = nullptr);

}  // namespace kovrisk
