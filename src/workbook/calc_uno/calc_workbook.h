// Workbook on a LibreOffice spreadsheet document.
#pragma once

#include <string_view>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <memory>

#include "workbook/automation.h"
#include "workbook/calc_uno/open_documents.h"

namespace kovrisk {

// What was learnt while the workbook loaded.
struct LoadFacts {
    bool loadedWhole = true;                // no warning or repair came
    bool structureLockedInPackage = false;  // an OOXML workbook part's structure lock
    bool heldElsewhere = false;             // another office has the file open
};

class CalcWorkbook : public Workbook {
public:
    CalcWorkbook(
        com::sun::star::uno::Reference<com::sun::star::frame::XModel> model,
        com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument> document,
        std::shared_ptr<OpenDocuments> documents, LoadFacts facts);

    std::unique_ptr<Worksheets> worksheets() override;
    std::unique_ptr<Worksheet> worksheet(int index) override;
    // The name as given, else the one name that differs from it only in ASCII letter case.
    std::unique_ptr<Worksheet> worksheet(const std::string& name) override;
    // The import filter the workbook was loaded with.
    LoadedFormat fileFormat() override;
    // Whether no warning or repair reached the load's interaction handler.
    bool loadedWhole() override;
    // The document's protection, or, for an OOXML package, its workbook part's structure lock
    // (which LibreOffice's import does not keep).
    bool protectsStructure() override;
    // Loaded read-only: another office holds the file, or it cannot be written.
    bool readOnly() override;
    // Whether the document has Basic libraries with modules (an imported VBA project among them),
    // by the rule the office itself applies before it asks about macros.
    bool hasMacros() override;
    // The office's lock file beside it names another office that has it open.
    bool heldByAnotherApplication() override { return facts_.heldElsewhere; }
    // Excel97: Excel 97 (RC4 CryptoAPI); Ooxml and OoxmlMacroEnabled: OOXML (agile encryption);
    // whatever the file name says.  The encryption is Excel's, not LibreOffice's own.
    void saveAs(const NativePath& fileName, WorkbookFormat format,
                const std::string& password) override;
    void close(bool saveChanges) override;

private:
    void checkOpen() const;
    // Stores the workbook, unencrypted, under `fileName` with the export filter `filter`.
    void store(const NativePath& fileName, std::string_view filter);

    com::sun::star::uno::Reference<com::sun::star::frame::XModel> model_;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument> document_;
    std::shared_ptr<OpenDocuments> documents_;
    LoadFacts facts_;
    bool closed_ = false;
};

}  // namespace kovrisk
