// Workbook on a LibreOffice spreadsheet document.
#pragma once

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <memory>

#include "workbook/automation.h"
#include "workbook/calc_uno/open_documents.h"

namespace kovrisk {

class CalcWorkbook : public Workbook {
public:
    CalcWorkbook(
        com::sun::star::uno::Reference<com::sun::star::frame::XModel> model,
        com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument> document,
        std::shared_ptr<OpenDocuments> documents);

    std::unique_ptr<Worksheets> worksheets() override;
    std::unique_ptr<Worksheet> worksheet(int index) override;
    // The name as given, else the one name that differs from it only in ASCII letter case.
    std::unique_ptr<Worksheet> worksheet(const std::string& name) override;
    // .xlsx: encrypted OOXML; .xls: encrypted Excel 97 (a trailing ".pwd" is not the extension).
    // Another extension keeps the format the workbook was loaded in, if it is one of those two.
    void saveAs(const NativePath& fileName, const std::string& password) override;
    void close(bool saveChanges) override;

private:
    void checkOpen() const;

    com::sun::star::uno::Reference<com::sun::star::frame::XModel> model_;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument> document_;
    std::shared_ptr<OpenDocuments> documents_;
    bool closed_ = false;
};

}  // namespace kovrisk
