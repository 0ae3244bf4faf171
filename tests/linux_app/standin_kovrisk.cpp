// The Linux program with the stand-in spreadsheet application in place of the office, so that the
// window and the terminal can be tested on every road without LibreOffice.  The stand-in's files
// are written and read with standin_workbook_tool.
//
//   KOVRISK_STANDIN_MISSING=<text>  the application cannot be created, failing with <text>
//   KOVRISK_STANDIN_HOLD=<file>     the probe's start of the application lasts until <file> exists
//                                   (a minute at most), keeping the thread busy as a slow start
//                                   would; "pause" is written on standard output when it begins
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/linux/program.h"
#include "fakes/standin_application.h"
#include "platform/text_codec.h"

namespace {

// The installation probe creates the application first; the run's probe second.
constexpr int kProbeCreate = 2;

std::unique_ptr<kovrisk::ApplicationFactory> makeStandin(const kovrisk::SpreadsheetSetting&) {
    auto factory = std::make_unique<kovrisk::testing::StandinApplicationFactory>();
    if (const char* missing = std::getenv("KOVRISK_STANDIN_MISSING")) {
        factory->failCall("Application.Create", kovrisk::toShiftJis(std::string(missing)));
    }
    if (const char* hold = std::getenv("KOVRISK_STANDIN_HOLD")) {
        const std::filesystem::path release = hold;
        factory->onCall(
            "Application.Create",
            [release] {
                std::printf("pause\n");
                std::fflush(stdout);
                const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
                while (!std::filesystem::exists(release) &&
                       std::chrono::steady_clock::now() < limit) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            },
            kProbeCreate);
    }
    return factory;
}

}  // namespace

int main(int argc, char** argv) {
    return kovrisk::runKovrisk(argc, argv, makeStandin);
}
