#include "workbook/calc_uno/calc_application_factory.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/posix/home_folder.h"
#include "workbook/calc_uno/calc_application.h"
#include "workbook/calc_uno/calc_texts.h"
#include "workbook/calc_uno/office_session.h"

namespace kovrisk {

namespace {

// Empty when there is neither a cache folder nor a home folder: no shared folder stands in.
NativePath defaultProfileFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && *cache == '/')
        return NativePath(cache) / "kovrisk";
    const NativePath home = userHomeFolder();
    return home.empty() ? NativePath() : home / ".cache" / "kovrisk";
}

class CalcApplicationFactory : public ApplicationFactory {
public:
    explicit CalcApplicationFactory(CalcOptions options) : options_(std::move(options)) {
        if (options_.profileFolder.empty())
            options_.profileFolder = defaultProfileFolder();
    }

    // The office goes with the factory, unless it was handed to the user.
    ~CalcApplicationFactory() override {
        if (session_)
            session_->end();
    }

    std::unique_ptr<Application> create() override {
        // The office kept from an earlier operation is bounded too while it is asked whether it
        // still answers.
        if (session_)
            session_->watch(options_.operationBound);
        if (session_ && (!options_.reuseOffice || !session_->answers())) {
            session_->end();
            session_.reset();
        }
        if (session_) {
            // Each operation begins with nothing open.
            session_->closeAllDocuments();
        } else {
            if (::access(options_.officeProgram.c_str(), X_OK) != 0) {
                throw AutomationError(calc_texts::officeMissing(options_.officeProgram));
            }
            session_ = std::make_shared<OfficeSession>(options_);
        }
        session_->watch(options_.operationBound);
        return std::make_unique<CalcApplication>(session_, options_);
    }

private:
    CalcOptions options_;
    std::shared_ptr<OfficeSession> session_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> makeCalcApplicationFactory(CalcOptions options) {
    return std::make_unique<CalcApplicationFactory>(std::move(options));
}

}  // namespace kovrisk
