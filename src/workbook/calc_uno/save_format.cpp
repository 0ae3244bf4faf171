#include "workbook/calc_uno/save_format.h"

namespace kovrisk {

namespace {

constexpr std::string_view kOoxmlFilter = "Calc MS Excel 2007 XML";
constexpr std::string_view kExcel97Filter = "MS Excel 97";
// The same formats read from a file whose name says template (or says nothing LibreOffice knows).
constexpr std::string_view kOoxmlTemplateFilter = "Calc MS Excel 2007 XML Template";
constexpr std::string_view kExcel97TemplateFilter = "MS Excel 97 Vorlage/Template";
constexpr std::string_view kOoxmlMacroFilter = "Calc MS Excel 2007 VBA XML";

}  // namespace

WorkbookFormat formatOfFilter(std::string_view filterName) {
    if (filterName == kOoxmlFilter || filterName == kOoxmlTemplateFilter)
        return WorkbookFormat::Ooxml;
    if (filterName == kExcel97Filter || filterName == kExcel97TemplateFilter)
        return WorkbookFormat::Excel97;
    if (filterName == kOoxmlMacroFilter)
        return WorkbookFormat::OoxmlMacroEnabled;
    return WorkbookFormat::Other;
}

bool isWorkbookImportFilter(std::string_view filterName) {
    return filterName != "Text - txt - csv (StarCalc)";
}

std::string_view filterNameOf(WorkbookFormat format) {
    switch (format) {
        case WorkbookFormat::Ooxml:
            return kOoxmlFilter;
        case WorkbookFormat::Excel97:
            return kExcel97Filter;
        case WorkbookFormat::OoxmlMacroEnabled:
            return kOoxmlMacroFilter;
        case WorkbookFormat::Other:
            break;
    }
    return {};
}

}  // namespace kovrisk
