#include "app/linux/program.h"

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/linux/display_mode.h"
#include "app/linux/program_end.h"
#include "app/linux/taginformation_window.h"
#include "app/linux/terminal_taginformation.h"
#include "app/taginformation.h"
#include "platform/native_environment.h"
#include "platform/native_files.h"
#include "platform/system_clock.h"

namespace kovrisk {

namespace {

const QString kApplicationTitle = QStringLiteral("コヴリスク");

constexpr std::string_view kNoDisplayHandover =
    "ブックの確認は済みましたが、表示する画面（ディスプレイ）がないため閉じました。";

// Creates the window's portable part, runs its creation handler and, when the checks pass, shows
// the window and runs the event loop until the run ends the program.
void runTaginformation(LinuxView& view, ProgramEnd& end, ApplicationFactory& spreadsheet,
                       const std::vector<NativeString>& arguments) {
    NativeEnvironment environment;
    NativeFiles files;
    SystemClock clock;
    Ttaginformation taginformation({environment, files, clock, spreadsheet}, view);
    view.setTimer1Handler([&taginformation] { taginformation.Timer1Timer(); });
    if (!taginformation.FormCreate(arguments) || end.requested())
        return;
    view.showTaginformation();
    if (!end.requested())
        QCoreApplication::exec();
}

void runWithWindow(DisplayKind display, const char* programName,
                   const std::vector<NativeString>& arguments,
                   const SpreadsheetMaker& makeSpreadsheet) {
    std::vector<std::string> toolkitArgs = toolkitArguments(programName, display);
    std::vector<char*> argv;
    for (std::string& argument : toolkitArgs)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(toolkitArgs.size());
    QApplication application(argc, argv.data());
    QApplication::setApplicationName(kApplicationTitle);
    // The window's own close handler ends the program; a closed message box must not.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<ApplicationFactory> spreadsheet =
        makeSpreadsheet(SpreadsheetSetting{true, [] {}});
    ProgramEnd end;
    TaginformationWindow taginformation(end);
    runTaginformation(taginformation, end, *spreadsheet, arguments);
}

void runInTerminal(const char* programName, const std::vector<NativeString>& arguments,
                   const SpreadsheetMaker& makeSpreadsheet) {
    std::string name = programName != nullptr ? programName : "kovrisk";
    char* argv[] = {name.data(), nullptr};
    int argc = 1;
    QCoreApplication application(argc, argv);  // sets the locale
    QCoreApplication::setApplicationName(kApplicationTitle);

    TerminalConsole console(stderr, stdin);
    const std::unique_ptr<ApplicationFactory> spreadsheet = makeSpreadsheet(
        SpreadsheetSetting{false, [&console] { console.writeLine(kNoDisplayHandover); }});
    ProgramEnd end;
    TerminalTaginformation taginformation(console, end);
    runTaginformation(taginformation, end, *spreadsheet, arguments);
}

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
    try {
        // A display that is named but cannot be reached counts as none: the terminal still works.
        if (const DisplayKind display = usableDisplay(); display != DisplayKind::None) {
            runWithWindow(display, programName, arguments, makeSpreadsheet);
        } else {
            runInTerminal(programName, arguments, makeSpreadsheet);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kovrisk: %s\n", error.what());
    }
    return 0;
}

}  // namespace kovrisk
