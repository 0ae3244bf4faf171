#include "workbook/calc_uno/save_format.h"

#include <string>

#include "support/shift_jis.h"

namespace kovrisk {

namespace {

constexpr std::string_view kOoxmlFilter = "Calc MS Excel 2007 XML";
constexpr std::string_view kExcel97Filter = "MS Excel 97";

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

SaveFormat saveFormatOf(const NativePath& fileName) {
    std::string name = asciiLower(fileName.filename().native());
    if (endsWith(name, ".pwd"))
        name.resize(name.size() - 4);
    if (endsWith(name, ".xlsx"))
        return SaveFormat::Ooxml;
    if (endsWith(name, ".xls"))
        return SaveFormat::Excel97;
    return SaveFormat::Unknown;
}

SaveFormat saveFormatOfFilter(std::string_view filterName) {
    if (filterName == kOoxmlFilter)
        return SaveFormat::Ooxml;
    if (filterName == kExcel97Filter)
        return SaveFormat::Excel97;
    return SaveFormat::Unknown;
}

bool isWorkbookImportFilter(std::string_view filterName) {
    return filterName != "Text - txt - csv (StarCalc)";
}

std::string_view filterNameOf(SaveFormat format) {
    switch (format) {
        case SaveFormat::Ooxml:
            return kOoxmlFilter;
        case SaveFormat::Excel97:
            return kExcel97Filter;
        case SaveFormat::Unknown:
            break;
    }
    return {};
}

}  // namespace kovrisk
