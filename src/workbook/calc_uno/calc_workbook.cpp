#include "workbook/calc_uno/calc_workbook.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/script/XStorageBasedLibraryContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include <vector>

#include "workbook/calc_uno/calc_texts.h"
#include "workbook/calc_uno/calc_worksheet.h"
#include "workbook/calc_uno/loaded_filter.h"
#include "workbook/calc_uno/media_descriptor.h"
#include "workbook/calc_uno/plain_copy.h"
#include "workbook/calc_uno/save_format.h"
#include "workbook/calc_uno/uno_error.h"
#include "workbook/calc_uno/uno_text.h"

namespace kovrisk {

namespace css = com::sun::star;

CalcWorkbook::CalcWorkbook(css::uno::Reference<css::frame::XModel> model,
                           css::uno::Reference<css::sheet::XSpreadsheetDocument> document,
                           std::shared_ptr<OpenDocuments> documents, LoadFacts facts)
    : model_(std::move(model)),
      document_(std::move(document)),
      documents_(std::move(documents)),
      facts_(facts) {}

void CalcWorkbook::checkOpen() const {
    if (closed_)
        throw AutomationError(calc_texts::workbookClosed());
}

std::unique_ptr<Worksheets> CalcWorkbook::worksheets() {
    checkOpen();
    return unoCall(
        [&] { return std::make_unique<CalcWorksheets>(model_, document_->getSheets()); });
}

std::unique_ptr<Worksheet> CalcWorkbook::worksheet(int index) {
    checkOpen();
    return unoCall([&] {
        const auto sheets = document_->getSheets();
        const css::uno::Reference<css::container::XIndexAccess> byIndex(sheets,
                                                                        css::uno::UNO_QUERY_THROW);
        css::uno::Reference<css::sheet::XSpreadsheet> sheet(byIndex->getByIndex(index - 1),
                                                            css::uno::UNO_QUERY_THROW);
        return std::make_unique<CalcWorksheet>(model_, sheets, sheet);
    });
}

std::unique_ptr<Worksheet> CalcWorkbook::worksheet(const std::string& name) {
    checkOpen();
    return unoCall([&] {
        const auto sheets = document_->getSheets();
        rtl::OUString wanted = toUno(name);
        if (!sheets->hasByName(wanted)) {
            for (const rtl::OUString& present : sheets->getElementNames()) {
                if (present.equalsIgnoreAsciiCase(wanted))
                    wanted = present;
            }
        }
        // A name that is not there fails here, with LibreOffice's own message.
        css::uno::Reference<css::sheet::XSpreadsheet> sheet(sheets->getByName(wanted),
                                                            css::uno::UNO_QUERY_THROW);
        return std::make_unique<CalcWorksheet>(model_, sheets, sheet);
    });
}

LoadedFormat CalcWorkbook::fileFormat() {
    checkOpen();
    return unoCall([&] {
        const std::string filter = loadedFilter(model_);
        return LoadedFormat{formatOfFilter(filter), filter};
    });
}

bool CalcWorkbook::loadedWhole() {
    checkOpen();
    return facts_.loadedWhole;
}

bool CalcWorkbook::protectsStructure() {
    checkOpen();
    return unoCall([&] {
        const css::uno::Reference<css::util::XProtectable> protectable(model_,
                                                                       css::uno::UNO_QUERY_THROW);
        return protectable->isProtected() || facts_.structureLockedInPackage;
    });
}

bool CalcWorkbook::readOnly() {
    checkOpen();
    return unoCall([&] {
        return css::uno::Reference<css::frame::XStorable>(model_, css::uno::UNO_QUERY_THROW)
            ->isReadonly();
    });
}

bool CalcWorkbook::hasMacros() {
    checkOpen();
    return unoCall([&] {
        const css::uno::Reference<css::document::XEmbeddedScripts> scripts(model_,
                                                                           css::uno::UNO_QUERY);
        if (!scripts.is())
            return false;
        const css::uno::Reference<css::script::XStorageBasedLibraryContainer> libraries =
            scripts->getBasicLibraries();
        if (!libraries.is())
            return false;
        // Any library but the two every document may carry has macros; those two have them when
        // they hold a module.
        for (const rtl::OUString& name : libraries->getElementNames()) {
            if (name != "Standard" && name != "VBAProject")
                return true;
            if (!libraries->isLibraryLoaded(name))
                libraries->loadLibrary(name);
            const css::uno::Reference<css::container::XNameAccess> modules(
                libraries->getByName(name), css::uno::UNO_QUERY);
            if (modules.is() && modules->hasElements())
                return true;
        }
        return false;
    });
}

void CalcWorkbook::store(const NativePath& fileName, std::string_view filter) {
    unoCall([&] {
        const css::beans::PropertyValue arguments[] = {
            property("FilterName", css::uno::Any(rtl::OUString(
                                       filter.data(), static_cast<sal_Int32>(filter.size()),
                                       RTL_TEXTENCODING_ASCII_US))),
            property("Overwrite", css::uno::Any(true)),
        };
        css::uno::Reference<css::frame::XStorable>(model_, css::uno::UNO_QUERY_THROW)
            ->storeToURL(fileUrl(fileName),
                         css::uno::Sequence<css::beans::PropertyValue>(arguments, 2));
    });
}

void CalcWorkbook::saveAs(const NativePath& fileName, WorkbookFormat format,
                          const std::string& password) {
    checkOpen();
    const std::string_view filter = filterNameOf(format);
    if (filter.empty())
        throw AutomationError(calc_texts::noPasswordFormat(fileName));
    if (password.empty()) {
        store(fileName, filter);
        return;
    }
    // LibreOffice's own encrypted writers are not Excel's (older key derivation for packages,
    // the start records of charts encrypted in binary workbooks): the workbook is stored
    // unencrypted beside the file to be, in the same folder (the run's private one), and
    // encrypted from there as Excel does.  The unencrypted copy goes on every road.
    const PlainCopy plain(fileName);
    store(plain.path(), filter);
    encryptFile(plain.path(), fileName, password);
}

void CalcWorkbook::close(bool saveChanges) {
    checkOpen();
    if (saveChanges) {
        unoCall([&] {
            css::uno::Reference<css::frame::XStorable>(model_, css::uno::UNO_QUERY_THROW)->store();
        });
    }
    closeWithoutSaving(model_);
    documents_->forget(model_);
    closed_ = true;
}

}  // namespace kovrisk
