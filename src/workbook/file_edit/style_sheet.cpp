#include "workbook/file_edit/style_sheet.h"

#include <string>

#include "workbook/file_edit/not_taken.h"
#include "workbook/file_edit/ooxml_names.h"

namespace kovrisk::file_edit {

namespace {

// Colour index 2 of the default palette, as a colour of its own: a workbook with a palette of its
// own may hold another colour at that index (entry 9 of its indexed colours), and the tag must
// stay white there too, as the office road writes it.
constexpr std::string_view kWhite = "FFFFFFFF";

// Appends `node` to the list `list` and brings its count attribute to the number of entries.
std::size_t appendToList(xmlNodePtr list, xmlNodePtr node, std::string_view entryName) {
    const std::size_t index = childElements(list, ooxml::kMain, entryName).size();
    appendElement(list, node);
    setAttribute(list, "count", std::to_string(index + 1));
    return index;
}

}  // namespace

std::size_t addWhiteTextFormat(XmlPart& styles) {
    const xmlNodePtr root = styles.root();
    if (!isElement(root, ooxml::kMain, "styleSheet"))
        throw NotTaken("a style sheet part of an unknown kind");
    const xmlNodePtr fonts = firstChild(root, ooxml::kMain, "fonts");
    const xmlNodePtr cellFormats = firstChild(root, ooxml::kMain, "cellXfs");
    if (!fonts || !cellFormats)
        throw NotTaken("a style sheet without fonts or cell formats");
    const std::vector<xmlNodePtr> fontList = childElements(fonts, ooxml::kMain, "font");
    const std::vector<xmlNodePtr> formatList = childElements(cellFormats, ooxml::kMain, "xf");
    if (fontList.empty() || formatList.empty())
        throw NotTaken("a style sheet without a default font or cell format");

    // The default font, in white: its settings element by element, in the namespace
    // declarations already in force.
    const xmlNodePtr defaultFont = fontList.front();
    xmlNodePtr font = newElementLike(defaultFont, "font");
    for (xmlNodePtr setting : childElements(defaultFont)) {
        if (isElement(setting, ooxml::kMain, "color"))
            continue;
        xmlNodePtr copy = xmlNewDocNode(setting->doc, setting->ns, setting->name, nullptr);
        if (!copy)
            throw std::bad_alloc();
        xmlAddChild(font, copy);
        for (xmlAttrPtr property = setting->properties; property; property = property->next) {
            xmlChar* value = xmlNodeListGetString(setting->doc, property->children, 1);
            xmlSetNsProp(copy, property->ns, property->name,
                         value ? value : reinterpret_cast<const xmlChar*>(""));
            xmlFree(value);
        }
    }
    xmlNodePtr color = newElementLike(defaultFont, "color");
    setAttribute(color, "rgb", kWhite);
    xmlAddChild(font, color);
    const std::size_t fontId = appendToList(fonts, font, "font");

    xmlNodePtr format = newElementLike(formatList.front(), "xf");
    setAttribute(format, "numFmtId", "0");
    setAttribute(format, "fontId", std::to_string(fontId));
    setAttribute(format, "fillId", "0");
    setAttribute(format, "borderId", "0");
    if (const xmlNodePtr styleFormats = firstChild(root, ooxml::kMain, "cellStyleXfs");
        styleFormats && !childElements(styleFormats, ooxml::kMain, "xf").empty()) {
        setAttribute(format, "xfId", "0");
    }
    setAttribute(format, "applyFont", "1");
    return appendToList(cellFormats, format, "xf");
}

}  // namespace kovrisk::file_edit
