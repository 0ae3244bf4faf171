#include "app/linux/program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/linux/display_mode.h"
#include "app/linux/program_end.h"
#include "app/linux/qt_text.h"
#include "app/linux/taginformation_window.h"
#include "app/linux/terminal_exit_code.h"
#include "app/linux/terminal_taginformation.h"
#include "app/linux/toolkit_messages.h"
#include "app/linux/workbook_claim.h"
#include "app/linux/workbook_file_check.h"
#include "app/taginformation.h"
#include "platform/native_environment.h"
#include "platform/native_files.h"
#include "platform/posix/owner_only_tree.h"
#include "platform/system_clock.h"
#include "platform/text_codec.h"
#include "support/texts.h"
#include "workbook/workbook_limits.h"

namespace kovrisk {

namespace {

// Creates the window's portable part, runs its creation handler and, when the checks pass and no
// other run is working on the workbook, shows the window and runs the event loop until the run
// ends the program.  The workbook stays claimed until then.
void runTaginformation(LinuxView& view, ProgramEnd& end, ApplicationFactory& spreadsheet,
                       const std::vector<NativeString>& arguments) {
    NativeEnvironment environment;
    NativeFiles files;
    SystemClock clock;
    Ttaginformation taginformation({environment, files, clock, spreadsheet}, view);
    view.setTimer1Handler([&taginformation] { taginformation.Timer1Timer(); });
    if (!taginformation.FormCreate(arguments) || end.requested())
        return;
    // The data folder names the user's workbooks and holds their backup copies: the user's alone.
    if (makeOwnerOnly(taginformation.state().dataFolder)) {
        taginformation.log().LogWrite(std::string(texts::kDataFolderTightened) +
                                      toShiftJis(taginformation.state().dataFolder));
    }
    if (const std::string_view obstacle = workbookFileObstacle(view.targetPath());
        !obstacle.empty()) {
        taginformation.endBeforeRun(RunEnd::notAWorkbookFile, obstacle);
        return;
    }
    const NativePath claims = taginformation.state().dataFolder / "claims";
    const WorkbookClaim claim(claims, view.targetPath());
    if (claim.state() == WorkbookClaim::State::busy) {
        taginformation.workbookBusy();
        return;
    }
    // Without its claim, another run could work on the workbook meanwhile.
    if (claim.state() != WorkbookClaim::State::held) {
        taginformation.endBeforeRun(RunEnd::noClaim,
                                    std::string(texts::kClaimUnavailable) + toShiftJis(claims));
        return;
    }
    // What no spreadsheet application opens is not given to one: it would read it for as long as
    // it took.
    std::error_code error;
    if (std::filesystem::is_regular_file(view.targetPath(), error) &&
        std::filesystem::file_size(view.targetPath(), error) > kLargestWorkbook && !error) {
        taginformation.workbookTooLarge();
        return;
    }
    view.showTaginformation();
    if (!end.requested())
        QCoreApplication::exec();
}

void runWithWindow(const std::vector<NativeString>& arguments,
                   const SpreadsheetMaker& makeSpreadsheet) {
    QApplication::setApplicationName(qtText(texts::kApplicationTitle));
    // The window's own close handler ends the program; a closed message box must not.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<ApplicationFactory> spreadsheet =
        makeSpreadsheet(SpreadsheetSetting{true, [] {}});
    ProgramEnd end;
    TaginformationWindow taginformation(end);
    runTaginformation(taginformation, end, *spreadsheet, arguments);
}

// Returns the exit code of the run.
int runInTerminal(const std::vector<NativeString>& arguments,
                  const SpreadsheetMaker& makeSpreadsheet) {
    QCoreApplication::setApplicationName(qtText(texts::kApplicationTitle));
    TerminalConsole console(stderr, stdin);
    const std::unique_ptr<ApplicationFactory> spreadsheet = makeSpreadsheet(SpreadsheetSetting{
        false, [&console] { console.writeLine(fromShiftJis(texts::kNoDisplayHandover)); }});
    ProgramEnd end;
    TerminalTaginformation taginformation(console, end);
    runTaginformation(taginformation, end, *spreadsheet, arguments);
    return taginformation.exitCode();
}

struct Arguments {
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    int count = 0;

    explicit Arguments(std::vector<std::string> given) : storage(std::move(given)) {
        for (std::string& argument : storage)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        count = static_cast<int>(storage.size());
    }
};

}  // namespace

int runKovrisk(int argc, char** argv, const SpreadsheetMaker& makeSpreadsheet) {
    // A closed pipe (an office that has gone, a terminal reader that stopped reading) is an error
    // of the write that met it, never the end of the program in the middle of a run.  The
    // office's keeper gives the office the default disposition back.
    ::signal(SIGPIPE, SIG_IGN);
    // The arguments as the system gives them, before the toolkit could take any for itself.
    std::vector<NativeString> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    const char* programName = argc > 0 ? argv[0] : nullptr;
    const ToolkitMessages messages;
    bool window = false;
    try {
        const std::vector<std::string> systems = windowingSystems();
        if (systems.empty()) {
            Arguments toolkit({programName != nullptr ? programName : "kovrisk"});
            QCoreApplication application(toolkit.count, toolkit.pointers.data());  // the locale
            return runInTerminal(arguments, makeSpreadsheet);
        }
        // The toolkit's own start decides: a display it cannot reach counts as none, and the
        // terminal still works.
        Arguments toolkit(toolkitArguments(programName, systems));
        QApplication application(toolkit.count, toolkit.pointers.data());
        if (QGuiApplication::platformName() == QLatin1String(kNoDisplayPlatform))
            return runInTerminal(arguments, makeSpreadsheet);
        window = true;
        runWithWindow(arguments, makeSpreadsheet);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kovrisk: %s\n", error.what());
        return window ? 0 : kProgramErrorExit;
    }
    return 0;
}

}  // namespace kovrisk
