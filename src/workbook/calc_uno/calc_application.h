// Application and Workbooks on a LibreOffice office.
#pragma once

#include <functional>
#include <memory>

#include "workbook/automation.h"
#include "workbook/calc_uno/calc_application_factory.h"
#include "workbook/calc_uno/office_session.h"
#include "workbook/calc_uno/open_documents.h"

namespace kovrisk {

class CalcApplication : public Application {
public:
    CalcApplication(std::shared_ptr<OfficeSession> session, const CalcOptions& options);
    // Closes, without saving, what it still has open (unless it was handed to the user) and,
    // without reuse, ends the office.
    ~CalcApplication() override;

    // True with a display: shows the open workbooks and hands the office to the user.  True
    // without a display: closes them, ends the office and says so through onNoDisplayHandover.
    void setVisible(bool visible) override;
    // Nothing asks anybody anything here: there is no interaction handler.
    void setDisplayAlerts(bool) override {}
    // Macros never run anyway: every workbook is opened with MacroExecutionMode NEVER_EXECUTE.
    void disableMacros() override {}
    std::unique_ptr<Workbooks> workbooks() override;
    // Closes every workbook it opened without saving; without reuse, also ends the office.
    void quit() override;

private:
    std::shared_ptr<OfficeSession> session_;
    std::shared_ptr<OpenDocuments> documents_;
    bool displayAvailable_;
    bool reuseOffice_;
    std::function<void()> onNoDisplayHandover_;
    CalcOptions options_;
    bool done_ = false;
};

class CalcWorkbooks : public Workbooks {
public:
    CalcWorkbooks(std::shared_ptr<OfficeSession> session, std::shared_ptr<OpenDocuments> documents,
                  const CalcOptions& options)
        : session_(std::move(session)),
          documents_(std::move(documents)),
          operationBound_(options.operationBound),
          boundPerMegabyte_(options.operationBoundPerMegabyte) {}
    // Hidden, macros never run, links not updated, no interaction handler: a password that does
    // not open the workbook fails at once.  A file no spreadsheet application opens (larger than
    // kLargestWorkbook, or of no bytes) is refused without asking the office.  The operation's
    // bound grows with the file's size.
    std::unique_ptr<Workbook> open(const NativePath& fileName,
                                   const std::string& password) override;

private:
    std::unique_ptr<Workbook> load(
        const NativePath& fileName, const std::string& password,
        const com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2>& desktop,
        const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context);

    std::shared_ptr<OfficeSession> session_;
    std::shared_ptr<OpenDocuments> documents_;
    std::chrono::milliseconds operationBound_;
    std::chrono::milliseconds boundPerMegabyte_;
};

}  // namespace kovrisk
