#include "workbook/file_edit/sheet_selection.h"

#include <libxml/xmlreader.h>

#include <memory>

#include "workbook/file_edit/ooxml_names.h"
#include "workbook/file_edit/xml_part.h"

namespace kovrisk::file_edit {

namespace {

struct ReaderFree {
    void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

bool isTrue(std::string_view value) {
    return value == "1" || value == "true";
}

}  // namespace

bool tabSelected(std::string_view head) {
    const std::unique_ptr<xmlTextReader, ReaderFree> reader(xmlReaderForMemory(
        head.data(), static_cast<int>(std::min<std::size_t>(head.size(), INT32_MAX)), nullptr,
        nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader)
        return false;
    // A head cut short ends the reading with an error past what is looked for.
    while (xmlTextReaderRead(reader.get()) == 1) {
        if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT)
            continue;
        const std::string_view name(
            reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get())));
        if (name == "sheetData")
            return false;
        if (name != "sheetView")
            continue;
        const std::unique_ptr<xmlChar, XmlFree> value(xmlTextReaderGetAttribute(
            reader.get(), reinterpret_cast<const xmlChar*>("tabSelected")));
        return value && isTrue(reinterpret_cast<const char*>(value.get()));
    }
    return false;
}

std::string withTabSelected(std::string_view part, const std::string& partName, bool selected) {
    XmlPart sheet(part, partName);
    bool first = true;
    for (xmlNodePtr views : childElements(sheet.root(), ooxml::kMain, "sheetViews")) {
        for (xmlNodePtr view : childElements(views, ooxml::kMain, "sheetView")) {
            if (first && selected)
                setAttribute(view, "tabSelected", "1");
            else
                removeAttribute(view, "tabSelected");
            first = false;
        }
    }
    return sheet.text();
}

}  // namespace kovrisk::file_edit
