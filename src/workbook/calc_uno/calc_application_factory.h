// LibreOffice Calc as the spreadsheet application, driven through UNO.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

struct CalcOptions {
    // Whether a display is there to show a workbook on.
    bool displayAvailable = false;
    // Where the office keeps its user profile.  Empty: $XDG_CACHE_HOME/kovrisk, with ~/.cache in
    // place of an unset $XDG_CACHE_HOME (the home folder from the password database when $HOME is
    // unset).  The folder must be the user's alone (see ProfileSlot), or no office starts.
    NativePath profileFolder;
    // The office program to start.
    NativePath officeProgram = "/usr/lib/libreoffice/program/soffice";
    // Called when a workbook is to be handed to the user but there is no display: the workbook
    // has been closed and the office ended.
    std::function<void()> onNoDisplayHandover;
    // True: one office process serves every application object the factory creates, and lives
    // until the factory goes (each Quit still closes every workbook).  False: every application
    // object starts its own office and Quit ends it.
    bool reuseOffice = true;
    // How long an office may take to answer after its start (the very first start also makes the
    // user profile), and how long it may take to end before it is killed.
    std::chrono::milliseconds startBound{120'000};
    std::chrono::milliseconds endBound{10'000};
    // How long one operation may keep the office busy before the office is ended and the
    // operation fails: the base, and as much again per megabyte of a workbook it opens (the
    // office reads a few megabytes a second at worst).
    std::chrono::milliseconds operationBound{180'000};
    std::chrono::milliseconds operationBoundPerMegabyte{6'000};
};

// Creating an application object starts (or, with reuseOffice, reuses) a private office process:
// started without a shell, reached through a pipe of its own, with its user profile below
// profileFolder.  No office outlives the factory, a failure or a crash of the program, except one
// whose workbook was handed to the user.  An office that cannot be started makes create() throw.
std::unique_ptr<ApplicationFactory> makeCalcApplicationFactory(CalcOptions options);

}  // namespace kovrisk
