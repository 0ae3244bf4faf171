// Application and Workbooks on a LibreOffice office.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "workbook/automation.h"
#include "workbook/calc_uno/calc_application_factory.h"
#include "workbook/calc_uno/office_session.h"
#include "workbook/calc_uno/open_documents.h"

namespace kovrisk {

// What an application object and its workbooks share about handing the office to the user.
struct CalcHandOver {
    // Shown with nothing open: a workbook opened now is loaded for the user and handed over.
    bool shown = false;
    // The user's own macro security settings decide about a workbook loaded for the user.
    bool usersMacroSettings = false;
    // The office is the user's now.
    bool done = false;
    // Why the user's macro security settings could not be understood for the last workbook loaded
    // for the user (none of its macros runs then); empty when they were.
    std::string settingsNotice;
};

class CalcApplication : public Application {
public:
    CalcApplication(std::shared_ptr<OfficeSession> session, const CalcOptions& options);
    // Closes, without saving, what it still has open (unless it was handed to the user) and,
    // without reuse, ends the office.
    ~CalcApplication() override;

    // True with a display: shows the open workbooks and hands the office to the user; with none
    // open, the next workbook opened is loaded for the user and handed over.  True without a
    // display: closes them, ends the office and says so through onNoDisplayHandover.
    void setVisible(bool visible) override;
    // Whether it was shown: false without a display.
    bool visible() override { return handOver_->shown; }
    // Nothing asks anybody anything in a hidden load: there is no interaction handler.  A load
    // for the user asks the user through the office's own dialogs.
    void setDisplayAlerts(bool) override {}
    // Macros never run in a hidden load: MacroExecutionMode NEVER_EXECUTE.
    void disableMacros() override {}
    // A workbook loaded for the user gets the macro execution mode the user's own office would
    // give it (users_macro_security.h).
    void useUsersMacroSettings() override { handOver_->usersMacroSettings = true; }
    std::string usersSettingsNotice() override { return handOver_->settingsNotice; }
    std::unique_ptr<Workbooks> workbooks() override;
    // Closes every workbook it opened without saving; without reuse, also ends the office.
    void quit() override;

private:
    std::shared_ptr<OfficeSession> session_;
    std::shared_ptr<OpenDocuments> documents_;
    std::shared_ptr<CalcHandOver> handOver_;
    bool displayAvailable_;
    bool reuseOffice_;
    std::function<void()> onNoDisplayHandover_;
    CalcOptions options_;
    bool done_ = false;
};

class CalcWorkbooks : public Workbooks {
public:
    CalcWorkbooks(std::shared_ptr<OfficeSession> session, std::shared_ptr<OpenDocuments> documents,
                  std::shared_ptr<CalcHandOver> handOver, const CalcOptions& options)
        : session_(std::move(session)),
          documents_(std::move(documents)),
          handOver_(std::move(handOver)),
          operationBound_(options.operationBound),
          boundPerMegabyte_(options.operationBoundPerMegabyte) {}
    // Hidden, macros never run, links not updated, no interaction handler: a password that does
    // not open the workbook fails at once.  A file no spreadsheet application opens (larger than
    // kLargestWorkbook, or of no bytes) is refused without asking the office.  The operation's
    // bound grows with the file's size.  In an application shown with nothing open: loaded for
    // the user (users_load.h) and handed over with the office.
    std::unique_ptr<Workbook> open(const NativePath& fileName,
                                   const std::string& password) override;

private:
    std::unique_ptr<Workbook> load(
        const NativePath& fileName, const std::string& password,
        const com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2>& desktop,
        const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context);

    std::shared_ptr<OfficeSession> session_;
    std::shared_ptr<OpenDocuments> documents_;
    std::shared_ptr<CalcHandOver> handOver_;
    std::chrono::milliseconds operationBound_;
    std::chrono::milliseconds boundPerMegabyte_;
};

}  // namespace kovrisk
