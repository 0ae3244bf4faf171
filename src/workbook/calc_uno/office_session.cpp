#include "workbook/calc_uno/office_session.h"

#include <unistd.h>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>

#include <random>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "workbook/calc_uno/calc_texts.h"
#include "workbook/calc_uno/first_start_marker.h"
#include "workbook/calc_uno/open_documents.h"
#include "workbook/calc_uno/uno_error.h"
#include "workbook/calc_uno/uno_text.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

// How much of what an office said before it ended goes into the error text: with the rest of
// the text, the program's path among it, it still fits one line of the activity log.
constexpr std::size_t kLastWordsBytes = 256;

// Starts of an office that ends before it answers, before the session gives up.
constexpr int kStartAttempts = 2;

// A pipe name no other office listens on.
std::string uniquePipeName() {
    std::random_device random;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    return "kovrisk_" + std::to_string(::getpid()) + "_" + suffix;
}

std::vector<std::string> officeArguments(const CalcOptions& options, const NativePath& profile,
                                         const std::string& pipeName) {
    const rtl::OString profileUrl = rtl::OUStringToOString(fileUrl(profile), RTL_TEXTENCODING_UTF8);
    return {
        "-env:UserInstallation=" + std::string(profileUrl.getStr()),
        "--accept=pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext",
        "--norestore",
        "--nologo",
        "--nodefault",
        // A profile lock left by an office that was killed must not stop the start with a
        // question; the profile slot already keeps two offices apart.
        "--nolockcheck",
        // Invisible keeps the office able to show a workbook later; headless cannot.
        options.displayAvailable ? "--invisible" : "--headless",
    };
}

// This program's environment, with the office's temporary files in `temporary` when there is one.
std::vector<std::string> officeEnvironment(const NativePath& temporary) {
    std::vector<std::string> settings;
    for (char** setting = environ; *setting != nullptr; ++setting) {
        if (temporary.empty() || std::string_view(*setting).substr(0, 7) != "TMPDIR=")
            settings.emplace_back(*setting);
    }
    if (!temporary.empty())
        settings.push_back("TMPDIR=" + temporary.native());
    return settings;
}

// The profile folder, once the office program is known to be there: without it, nothing of a
// profile is made.
const NativePath& profileFolderOnceOfficeIsThere(const CalcOptions& options) {
    if (::access(options.officeProgram.c_str(), X_OK) != 0)
        throw AutomationError(calc_texts::officeMissing(options.officeProgram));
    return options.profileFolder;
}

}  // namespace

OfficeSession::OfficeSession(const CalcOptions& options)
    : slot_(profileFolderOnceOfficeIsThere(options)),
      output_(slot_.temporary()),
      endBound_(options.endBound) {
    // Without it the office runs its start-up graphics tests on every start (see there).
    presetFirstStartMarker(slot_.profile(), installedOfficeVersion(options.officeProgram));
    const auto deadline = std::chrono::steady_clock::now() + options.startBound;
    // Made (the first time) while the office starts.
    UnoClient& client = UnoClient::instance();
    for (int attempt = 1; !context_.is(); ++attempt) {
        if (attempt > 1)
            output_ = OfficeOutput(slot_.temporary());
        const std::string pipeName = uniquePipeName();
        try {
            process_.emplace(options.officeProgram,
                             officeArguments(options, slot_.profile(), pipeName),
                             officeEnvironment(slot_.temporary()), slot_.lockFd(), output_.fd(),
                             OfficeOutput::kBound);
        } catch (const std::system_error& error) {
            throw AutomationError(calc_texts::processFailed(error.what()));
        }
        while (!context_.is()) {
            context_ = client.connect(pipeName);
            if (context_.is()) {
                pipeName_ = pipeName;
                break;
            }
            if (process_->hasEnded()) {
                // An office on a display can end at its start on an X error it did not expect
                // (another client's window gone while it reads a property of it: Xlib's default
                // handler ends it with 1).  Nothing was opened yet: it is started once more.
                if (attempt < kStartAttempts && std::chrono::steady_clock::now() < deadline)
                    break;
                over_ = true;
                throw AutomationError(calc_texts::officeNotStarted(
                    options.officeProgram, process_->exitStatus(), output_.tail(kLastWordsBytes)));
            }
            if (std::chrono::steady_clock::now() > deadline) {
                over_ = true;
                process_->kill();
                throw AutomationError(calc_texts::officeNoAnswer(options.officeProgram));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    try {
        desktop_ = unoCall([&] { return css::frame::Desktop::create(context_); });
    } catch (...) {
        end();
        throw;
    }
}

OfficeSession::~OfficeSession() {
    end();
}

css::uno::Reference<css::frame::XDesktop2> OfficeSession::desktop() const {
    if (over_ || !desktop_.is())
        throw AutomationError(calc_texts::applicationEnded());
    return desktop_;
}

css::uno::Reference<css::uno::XComponentContext> OfficeSession::context() const {
    if (over_ || !context_.is())
        throw AutomationError(calc_texts::applicationEnded());
    return context_;
}

bool OfficeSession::answers() {
    if (over_ || process_->hasEnded())
        return false;
    try {
        desktop_->getCurrentFrame();
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

void OfficeSession::closeAllDocuments() noexcept {
    if (over_)
        return;
    try {
        const auto components = desktop_->getComponents()->createEnumeration();
        std::vector<css::uno::Reference<css::uno::XInterface>> open;
        while (components->hasMoreElements()) {
            css::uno::Reference<css::uno::XInterface> component(components->nextElement(),
                                                                css::uno::UNO_QUERY);
            if (component.is())
                open.push_back(component);
        }
        for (const auto& component : open) {
            try {
                closeWithoutSaving(component);
            } catch (const AutomationError&) {
            }
        }
    } catch (const css::uno::Exception&) {
    }
}

void OfficeSession::watch(std::chrono::milliseconds bound) {
    if (!over_)
        watchdog_.arm(process_->keeperControl(), bound);
}

void OfficeSession::extendWatch(std::chrono::milliseconds bound) {
    watchdog_.extend(bound);
}

void OfficeSession::unwatch() {
    watchdog_.disarm();
}

bool OfficeSession::endedByWatchdog() {
    return watchdog_.fired();
}

void OfficeSession::lookFor(std::function<bool()> hazard) {
    if (!over_)
        watchdog_.lookFor(process_->keeperControl(), std::move(hazard));
}

void OfficeSession::lookAway() {
    watchdog_.lookAway();
}

bool OfficeSession::endedByHazard() {
    return watchdog_.hazardFound();
}

void OfficeSession::end() noexcept {
    if (over_)
        return;
    over_ = true;
    // Ending has bounds of its own.
    watchdog_.disarm();
    watchdog_.lookAway();
    bool terminating = false;
    if (desktop_.is()) {
        closeAllDocuments();
        try {
            terminating = desktop_->terminate();
        } catch (const css::uno::Exception&) {
            // The connection usually goes down while the office terminates.
            terminating = true;
        }
    }
    desktop_.clear();
    context_.clear();
    if (!terminating || !process_->waitForEnd(endBound_))
        process_->kill();
    UnoClient::instance().closeBridge(pipeName_);
}

void OfficeSession::handOver() noexcept {
    if (over_)
        return;
    over_ = true;
    // The office is the user's now: nothing ends it.
    watchdog_.disarm();
    watchdog_.lookAway();
    desktop_.clear();
    context_.clear();
    UnoClient::instance().closeBridge(pipeName_);
    process_->handOver();
}

}  // namespace kovrisk
