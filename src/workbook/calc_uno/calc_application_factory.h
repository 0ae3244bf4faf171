// LibreOffice Calc as the spreadsheet application, driven through UNO.
#pragma once

#include <functional>
#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

struct CalcOptions {
    // Whether a display is there to show a workbook on.
    bool displayAvailable = false;
    // Where the office keeps its user profile ($XDG_CACHE_HOME/kovrisk).
    NativePath profileFolder;
    // The office program to start.
    NativePath officeProgram = "/usr/lib/libreoffice/program/soffice";
    // Called when a workbook is to be handed to the user but there is no display: the workbook
    // has been closed and the office ended.
    std::function<void()> onNoDisplayHandover;
};

std::unique_ptr<ApplicationFactory> makeCalcApplicationFactory(CalcOptions options);

}  // namespace kovrisk
