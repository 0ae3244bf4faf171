#include "app/taginformation.h"

#include <algorithm>

#include "support/shift_jis.h"
#include "support/texts.h"
#include "workflow/lock_or_open_run.h"

namespace kovrisk {

namespace {
// The platform call gets a 255-byte buffer, terminating zero included.
constexpr std::size_t kComputerNameLimit = 254;
}  // namespace

Ttaginformation::Ttaginformation(Platform platform, TaginformationView& view)
    : platform_(platform), view_(view) {}

bool Ttaginformation::FormCreate(const std::vector<NativeString>& arguments) {
    NativePath base = platform_.environment.commonDataFolder();
    if (base.empty())
        base = NativePath(NativeString(1, NativePath::preferred_separator));
    state_.dataFolder = base / "Kovrisk" / "";
    log_.emplace(state_.dataFolder, platform_.clock, platform_.files);

    // An empty argument ("") is no argument.
    std::vector<NativeString> given;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(given),
                 [](const NativeString& argument) { return !argument.empty(); });
    if (given.size() != 1) {
        view_.messageBox(std::string(texts::kDropOneFile), BoxButtons::Ok);
        view_.noteEnd(RunEnd::dropOneFile, {});
        view_.terminate();
        return false;
    }
    view_.setTargetPath(NativePath(given.front()));

    state_.installed = fucXlsFind();
    if (!state_.installed) {
        log_->LogWrite(texts::kNotInstalled);
        // Where only the log tells, the end says what the probe met as well.
        view_.noteEnd(RunEnd::notInstalled,
                      std::string(texts::kNotInstalled) + "\r\n" + probeError_);
        view_.terminate();
        return false;
    }

    const std::string target = toShiftJis(view_.targetPath());
    const std::string extension = asciiUpper(extensionOf(fileNamePart(target, kNativePathStyle)));
    if (extension != ".XLS" && extension != ".XLSX") {
        log_->LogWrite(texts::kBadExtension);
        view_.noteEnd(RunEnd::badExtension, std::string(texts::kBadExtension));
        view_.terminate();
        return false;
    }

    state_.computerName = fncPcNameGet();
    log_->LogWrite("My Name is [ " + state_.computerName + " ]");
    return true;
}

bool Ttaginformation::fucXlsFind() {
    log_->LogWrite("fucXlsFind()");
    try {
        const std::unique_ptr<Application> application = platform_.spreadsheet.create();
        application->quit();
        return true;
    } catch (const AutomationError& error) {
        probeError_ = error.what();
    } catch (...) {
        probeError_ = std::string(texts::kUnknownError);
    }
    log_->LogWrite(std::string("fucXlsFind()ERROR=") + probeError_);
    return false;
}

std::string Ttaginformation::fncPcNameGet() {
    try {
        std::string name = platform_.environment.computerName();
        name.resize(std::min({name.size(), name.find('\0'), kComputerNameLimit}));
        return asciiUpper(trimControl(name));
    } catch (...) {
        return {};
    }
}

void Ttaginformation::workbookBusy() {
    endBeforeRun(RunEnd::workbookBusy, texts::kWorkbookBusy);
}

void Ttaginformation::workbookTooLarge() {
    endBeforeRun(RunEnd::tooLarge, texts::kTooLarge);
}

void Ttaginformation::endBeforeRun(RunEnd end, std::string_view text) {
    log_->LogWrite(text);
    view_.messageBox(std::string(text), BoxButtons::Ok);
    view_.noteEnd(end, {});
    view_.terminate();
}

void Ttaginformation::Timer1Timer() {
    LockOrOpenRun run(view_, *log_, platform_.files, platform_.clock, platform_.spreadsheet,
                      state_);
    run.Timer1Timer();
}

}  // namespace kovrisk
