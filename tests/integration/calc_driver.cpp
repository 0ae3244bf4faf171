// Drives the program's portable part and the LibreOffice backend from the command line, for the
// integration tests and the benchmark:
//
//   kovrisk_calc_driver [--display] [--profile DIR] [--office PROGRAM] [--no-reuse]
//                       [--operation-bound MS PER-MEGABYTE-MS] COMMAND ...
//     run WORKBOOK       start-up checks and the lock-or-open run on WORKBOOK, as the program does
//                        them (data folder below $XDG_DATA_HOME); every window event is a line
//     password FILENAME  the file password of FILENAME, as UTF-16 code units in hex
//     decode TAG         the computer name a machine tag encodes
//     encode NAME        a machine tag of NAME
//     create             creates and quits one application object
//     crash WORKBOOK     opens WORKBOOK, then dies by SIGKILL with the office running
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/taginformation.h"
#include "console_view.h"
#include "platform/native_environment.h"
#include "platform/native_files.h"
#include "platform/system_clock.h"
#include "platform/text_codec.h"
#include "support/file_password.h"
#include "support/machine_tag.h"
#include "support/shift_jis.h"
#include "timing_factory.h"
#include "workbook/calc_uno/calc_application_factory.h"

namespace {

using kovrisk::printEvent;
using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int usage() {
    std::fprintf(stderr,
                 "usage: kovrisk_calc_driver [--display] [--profile DIR] [--office PROGRAM] "
                 "[--no-reuse] [--operation-bound MS PER-MEGABYTE-MS] run WORKBOOK | password "
                 "FILENAME | decode TAG | encode NAME | create | "
                 "crash WORKBOOK\n");
    return 2;
}

int run(kovrisk::ApplicationFactory& calc, const std::string& workbook, Clock::time_point start) {
    kovrisk::NativeEnvironment environment;
    kovrisk::NativeFiles files;
    kovrisk::SystemClock clock;
    kovrisk::TimingFactory timed(calc, start);
    kovrisk::ConsoleView view;
    kovrisk::Ttaginformation window({environment, files, clock, timed}, view);
    if (window.FormCreate({workbook})) {
        printEvent("started");
        window.Timer1Timer();
    }
    std::printf("done %lld\n", millisecondsSince(start));
    return 0;
}

int password(const std::string& fileName) {
    kovrisk::PasswordBuffer buffer;
    if (!kovrisk::fncPwdMake(kovrisk::toShiftJis(fileName), buffer))
        return 1;
    for (const char16_t unit : kovrisk::shiftJisToUtf16(buffer.text())) {
        std::printf("%04x ", static_cast<unsigned>(unit));
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point start = Clock::now();
    kovrisk::CalcOptions options;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--display") {
            options.displayAvailable = true;
        } else if (argument == "--no-reuse") {
            options.reuseOffice = false;
        } else if (argument == "--profile" && i + 1 < argc) {
            options.profileFolder = argv[++i];
        } else if (argument == "--office" && i + 1 < argc) {
            options.officeProgram = argv[++i];
        } else if (argument == "--operation-bound" && i + 2 < argc) {
            options.operationBound = std::chrono::milliseconds(std::stol(argv[++i]));
            options.operationBoundPerMegabyte = std::chrono::milliseconds(std::stol(argv[++i]));
        } else {
            rest.push_back(argument);
        }
    }
    if (rest.empty())
        return usage();
    options.onNoDisplayHandover = [] { printEvent("handover-no-display"); };
    const std::string command = rest[0];

    if (command == "password" && rest.size() == 2)
        return password(rest[1]);
    if (command == "decode" && rest.size() == 2) {
        printEvent("name", kovrisk::fncPcNameDec(kovrisk::asciiUpper(rest[1])));
        return 0;
    }
    if (command == "encode" && rest.size() == 2) {
        kovrisk::SystemClock clock;
        printEvent("tag", kovrisk::fncPcNameEnc(kovrisk::toShiftJis(rest[1]), clock));
        return 0;
    }

    auto calc = kovrisk::makeCalcApplicationFactory(options);
    try {
        if (command == "run" && rest.size() == 2) {
            const int result = run(*calc, rest[1], start);
            calc.reset();
            std::printf("exit %lld\n", millisecondsSince(start));
            return result;
        }
        if (command == "create" && rest.size() == 1) {
            calc->create()->quit();
            printEvent("created");
            return 0;
        }
        if (command == "crash" && rest.size() == 2) {
            auto application = calc->create();
            auto workbook = application->workbooks()->open(rest[1], "");
            printEvent("opened");
            ::raise(SIGKILL);
        }
    } catch (const kovrisk::AutomationError& error) {
        printEvent("error", error.what());
        return 1;
    }
    return usage();
}
