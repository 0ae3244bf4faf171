// Worksheets, Worksheet, Range and Font on a LibreOffice spreadsheet document.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

class CalcWorksheets : public Worksheets {
public:
    CalcWorksheets(com::sun::star::uno::Reference<com::sun::star::frame::XModel> model,
                   com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheets> sheets)
        : model_(std::move(model)), sheets_(std::move(sheets)) {}
    int count() override;
    // The new sheet is named "Sheet<n>", n the lowest number from count + 1 that is free.
    void addAfter(Worksheet& after) override;

private:
    com::sun::star::uno::Reference<com::sun::star::frame::XModel> model_;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheets> sheets_;
};

class CalcWorksheet : public Worksheet {
public:
    CalcWorksheet(com::sun::star::uno::Reference<com::sun::star::frame::XModel> model,
                  com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheets> sheets,
                  com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheet> sheet)
        : model_(std::move(model)), sheets_(std::move(sheets)), sheet_(std::move(sheet)) {}

    std::string name() override;
    void setName(const std::string& name) override;
    bool visible() override;
    void setVisible(bool visible) override;
    void remove() override;
    void activate() override;
    std::unique_ptr<Range> range(const std::string& address) override;
    // LibreOffice protects a sheet as a whole: contents, drawing objects and scenarios alike.
    void protect(const std::string& password, bool drawingObjects, bool contents,
                 bool scenarios) override;

    // 0-based position in its workbook.
    int position();
    bool belongsTo(
        const com::sun::star::uno::Reference<com::sun::star::frame::XModel>& model) const;

private:
    com::sun::star::uno::Reference<com::sun::star::frame::XModel> model_;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheets> sheets_;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheet> sheet_;
};

class CalcRange : public Range {
public:
    explicit CalcRange(com::sun::star::uno::Reference<com::sun::star::table::XCellRange> range)
        : range_(std::move(range)) {}
    // The text of the top-left cell, as it shows.
    std::string value() override;
    // Every cell of the range gets `text` as text (never parsed as a number).
    void setValue(const std::string& text) override;
    std::unique_ptr<Font> font() override;

private:
    com::sun::star::uno::Reference<com::sun::star::table::XCellRange> range_;
};

class CalcFont : public Font {
public:
    explicit CalcFont(com::sun::star::uno::Reference<com::sun::star::beans::XPropertySet> cells)
        : cells_(std::move(cells)) {}
    // Excel's default palette: 1 to 56, or xlColorIndexAutomatic.
    void setColorIndex(int index) override;

private:
    com::sun::star::uno::Reference<com::sun::star::beans::XPropertySet> cells_;
};

}  // namespace kovrisk
