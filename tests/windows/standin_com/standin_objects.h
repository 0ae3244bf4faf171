// The stand-in spreadsheet application behind IDispatch: Application, Workbooks, Workbook,
// Worksheets, Worksheet, Range and Font, with the members and parameters Excel gives them (as far
// as the program uses them).
#pragma once

#include <memory>

#include "standin_com/standin_dispatch.h"
#include "workbook/automation.h"

namespace kovrisk::testing {

// A new application object with one reference, for the caller to own.
IDispatch* makeStandinApplicationDispatch(std::shared_ptr<StandinServer> server,
                                          std::unique_ptr<Application> application);

}  // namespace kovrisk::testing
