#include "workbook/calc_uno/calc_application_factory.h"

#include "platform/posix/home_folder.h"
#include "workbook/calc_uno/calc_application.h"
#include "workbook/calc_uno/office_session.h"
#include "workbook/file_edit/file_control_sheet_writer.h"

namespace kovrisk {

namespace {

// Empty when there is neither a cache folder nor a home folder: no shared folder stands in.
NativePath defaultProfileFolder() {
    const NativePath cache = xdgBaseFolder("XDG_CACHE_HOME", ".cache");
    return cache.empty() ? NativePath() : cache / "kovrisk";
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
            session_ = std::make_shared<OfficeSession>(options_);
        }
        session_->watch(options_.operationBound);
        return std::make_unique<CalcApplication>(session_, options_);
    }

    // LibreOffice's save drops what it does not know of a workbook another program wrote: the
    // lock writes the control sheet into the file itself.
    ControlSheetWriter* controlSheetWriter() override { return &fileControlSheetWriter(); }

private:
    CalcOptions options_;
    std::shared_ptr<OfficeSession> session_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> makeCalcApplicationFactory(CalcOptions options) {
    return std::make_unique<CalcApplicationFactory>(std::move(options));
}

}  // namespace kovrisk
