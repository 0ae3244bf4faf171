#include "workbook/calc_uno/calc_application.h"

#include <filesystem>
#include <system_error>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <rtl/ref.hxx>

#include <vector>

#include <sys/stat.h>

#include "platform/posix/office_lock_file.h"
#include "workbook/calc_uno/calc_texts.h"
#include "workbook/calc_uno/calc_workbook.h"
#include "workbook/calc_uno/load_warnings.h"
#include "workbook/calc_uno/loaded_filter.h"
#include "workbook/calc_uno/media_descriptor.h"
#include "workbook/calc_uno/package_protection.h"
#include "workbook/calc_uno/save_format.h"
#include "workbook/calc_uno/uno_error.h"
#include "workbook/calc_uno/uno_text.h"
#include "workbook/calc_uno/users_load.h"
#include "workbook/workbook_limits.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

// Whether the name `path` now leads to something that is no regular file.
bool notAFile(const NativePath& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Shows every open document in front and leaves them, with the office, to the user.
void showAndHandOver(OpenDocuments& documents, OfficeSession& session) {
    unoCall([&] {
        for (const auto& document : documents.all()) {
            const auto window = document->getCurrentController()->getFrame()->getContainerWindow();
            window->setVisible(true);
            css::uno::Reference<css::awt::XTopWindow> top(window, css::uno::UNO_QUERY);
            if (top.is())
                top->toFront();
        }
    });
    documents.forgetAll();
    session.handOver();
}

// How a hidden workbook is loaded: no macro runs, no link is updated, and nobody answers the
// office's questions but `warnings`, which notes whether it could read the file only in part.
std::vector<css::beans::PropertyValue> hiddenLoadArguments(
    const std::string& password, const rtl::Reference<LoadWarnings>& warnings) {
    std::vector<css::beans::PropertyValue> arguments = {
        property("Hidden", css::uno::Any(true)),
        property("MacroExecutionMode", css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        property(
            "InteractionHandler",
            css::uno::Any(css::uno::Reference<css::task::XInteractionHandler>(warnings.get()))),
    };
    if (!password.empty())
        arguments.push_back(property("Password", css::uno::Any(toUno(password))));
    return arguments;
}

// What the office's load of a hidden workbook tells of what a lock would keep of it.
LoadFacts factsOfHiddenLoad(const NativePath& fileName, const std::string& password,
                            const LoadWarnings& warnings,
                            const css::uno::Reference<css::frame::XModel>& model,
                            const css::uno::Reference<css::uno::XComponentContext>& context) {
    LoadFacts facts;
    facts.loadedWhole = !warnings.warned();
    facts.heldElsewhere = warnings.heldElsewhere();
    const WorkbookFormat format = formatOfFilter(loadedFilter(model));
    if (format == WorkbookFormat::Ooxml || format == WorkbookFormat::OoxmlMacroEnabled) {
        if (isEncryptionContainer(fileName)) {
            // Opened without a password, it carries Excel's built-in one, which Excel gives
            // workbooks whose structure is protected.
            facts.structureLockedInPackage = password.empty();
        } else {
            const PackageFacts package = inspectPackage(context, fileUrl(fileName));
            facts.loadedWhole = facts.loadedWhole && package.wellFormed;
            facts.structureLockedInPackage = package.locksStructure;
        }
    }
    return facts;
}

}  // namespace

CalcApplication::CalcApplication(std::shared_ptr<OfficeSession> session, const CalcOptions& options)
    : session_(std::move(session)),
      documents_(std::make_shared<OpenDocuments>()),
      handOver_(std::make_shared<CalcHandOver>()),
      displayAvailable_(options.displayAvailable),
      reuseOffice_(options.reuseOffice),
      onNoDisplayHandover_(options.onNoDisplayHandover),
      options_(options) {}

CalcApplication::~CalcApplication() {
    quit();
}

void CalcApplication::setVisible(bool visible) {
    if (!visible || done_)
        return;
    if (!displayAvailable_) {
        quit();
        session_->end();
        if (onNoDisplayHandover_)
            onNoDisplayHandover_();
        return;
    }
    handOver_->shown = true;
    if (documents_->all().empty())
        return;
    showAndHandOver(*documents_, *session_);
    handOver_->done = true;
    done_ = true;
}

std::unique_ptr<Workbooks> CalcApplication::workbooks() {
    if (done_ || handOver_->done)
        throw AutomationError(calc_texts::applicationEnded());
    return std::make_unique<CalcWorkbooks>(session_, documents_, handOver_, options_);
}

void CalcApplication::quit() {
    if (done_ || handOver_->done)
        return;
    done_ = true;
    documents_->closeAll();
    if (!reuseOffice_)
        session_->end();
    session_->unwatch();
    session_->lookAway();
}

std::unique_ptr<Workbook> CalcWorkbooks::open(const NativePath& fileName,
                                              const std::string& password) {
    // The office would take a file of no bytes for a new, empty document; it is no workbook.
    // One larger than any workbook would keep it reading for as long as it took.
    std::error_code error;
    std::uintmax_t size = 0;
    if (std::filesystem::is_regular_file(fileName, error)) {
        size = std::filesystem::file_size(fileName, error);
        if (!error && size == 0)
            throw AutomationError(calc_texts::notASpreadsheet(fileName));
        if (!error && size > kLargestWorkbook)
            throw AutomationError(calc_texts::tooLarge(fileName, size));
        if (error)
            size = 0;
    }
    if (handOver_->shown) {
        // Loaded for the user, it may wait for the user's answer to the office's questions (its
        // macro security among them), for as long as the user takes.
        session_->unwatch();
    } else {
        session_->extendWatch(operationBound_ +
                              boundPerMegabyte_ * static_cast<long long>(size >> 20));
    }
    const auto desktop = session_->desktop();
    const auto context = session_->context();
    // The office waits for ever on a pipe or a device put, after the run's start, in the place
    // of its lock file or of the workbook (it reads its lock file again to remove it when the
    // workbook closes): it is ended as soon as one is there, until the application quits.
    session_->lookFor([fileName] { return plantedOfficeLockFile(fileName) || notAFile(fileName); });
    try {
        return load(fileName, password, desktop, context);
    } catch (const AutomationError&) {
        session_->lookAway();
        if (session_->endedByHazard())
            throw PlantedFileError(calc_texts::plantedFile(fileName));
        if (session_->endedByWatchdog())
            throw AutomationError(calc_texts::officeTookTooLong(fileName));
        throw;
    }
}

std::unique_ptr<Workbook> CalcWorkbooks::load(
    const NativePath& fileName, const std::string& password,
    const css::uno::Reference<css::frame::XDesktop2>& desktop,
    const css::uno::Reference<css::uno::XComponentContext>& context) {
    const bool forUser = handOver_->shown;
    return unoCall([&]() -> std::unique_ptr<Workbook> {
        const rtl::Reference<LoadWarnings> warnings(new LoadWarnings);
        const std::vector<css::beans::PropertyValue> arguments =
            forUser ? usersLoadArguments(context, fileName, password, handOver_->usersMacroSettings,
                                         handOver_->settingsNotice)
                    : hiddenLoadArguments(password, warnings);
        const css::uno::Reference<css::frame::XComponentLoader> loader(desktop,
                                                                       css::uno::UNO_QUERY_THROW);
        const auto component = loader->loadComponentFromURL(
            fileUrl(fileName), "_blank", 0,
            css::uno::Sequence<css::beans::PropertyValue>(
                arguments.data(), static_cast<sal_Int32>(arguments.size())));
        if (!component.is())
            throw AutomationError(calc_texts::notLoaded(fileName));
        const css::uno::Reference<css::frame::XModel> model(component, css::uno::UNO_QUERY);
        const css::uno::Reference<css::sheet::XSpreadsheetDocument> spreadsheet(
            component, css::uno::UNO_QUERY);
        if (!model.is() || !spreadsheet.is() || !isWorkbookImportFilter(loadedFilter(model))) {
            closeWithoutSaving(component);
            throw AutomationError(calc_texts::notASpreadsheet(fileName));
        }
        documents_->add(model);
        if (forUser) {
            showAndHandOver(*documents_, *session_);
            handOver_->done = true;
            return std::make_unique<CalcWorkbook>(model, spreadsheet, documents_, LoadFacts{});
        }
        const LoadFacts facts = factsOfHiddenLoad(fileName, password, *warnings, model, context);
        return std::make_unique<CalcWorkbook>(model, spreadsheet, documents_, facts);
    });
}

}  // namespace kovrisk
