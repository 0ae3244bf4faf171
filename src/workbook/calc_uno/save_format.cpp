#include "workbook/calc_uno/save_format.h"

namespace kovrisk {

namespace {

constexpr std::string_view kOoxmlFilter = "Calc MS Excel 2007 XML";
constexpr std::string_view kExcel97Filter = "MS Excel 97";

}  // namespace

WorkbookFormat formatOfFilter(std::string_view filterName) {
    if (filterName == kOoxmlFilter)
        return WorkbookFormat::Ooxml;
    if (filterName == kExcel97Filter)
        return WorkbookFormat::Excel97;
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
        case WorkbookFormat::Other:
            break;
    }
    return {};
}

}  // namespace kovrisk
