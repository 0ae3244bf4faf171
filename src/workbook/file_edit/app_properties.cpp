#include "workbook/file_edit/app_properties.h"

#include <libxml/tree.h>
#include <algorithm>
#include <memory>

#include "workbook/file_edit/ooxml_names.h"

namespace kovrisk::file_edit {

namespace {

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

std::string content(xmlNodePtr node) {
    const std::unique_ptr<xmlChar, XmlFree> text(xmlNodeGetContent(node));
    return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

void setContent(xmlNodePtr node, const std::string& text) {
    const std::unique_ptr<xmlChar, XmlFree> escaped(
        xmlEncodeSpecialChars(node->doc, reinterpret_cast<const xmlChar*>(text.c_str())));
    xmlNodeSetContent(node, escaped.get());
}

// The vector child of `parent` (HeadingPairs, TitlesOfParts).
xmlNodePtr vectorOf(xmlNodePtr root, std::string_view parentName) {
    return firstChild(firstChild(root, ooxml::kExtendedProperties, parentName),
                      ooxml::kVariantTypes, "vector");
}

struct Group {
    xmlNodePtr countNode = nullptr;  // the vt:i4 holding the count
    std::size_t first = 0;           // index of its first title
    std::size_t count = 0;
};

}  // namespace

bool listNewWorksheet(XmlPart& properties, const std::vector<std::string>& worksheets,
                      const std::vector<std::string>& removed, const std::string& added) {
    const xmlNodePtr root = properties.root();
    if (!isElement(root, ooxml::kExtendedProperties, "Properties"))
        return false;
    const xmlNodePtr headings = vectorOf(root, "HeadingPairs");
    const xmlNodePtr titles = vectorOf(root, "TitlesOfParts");
    if (!headings || !titles)
        return false;

    // Heading pairs: a name variant, then a count variant, for each group.
    const std::vector<xmlNodePtr> variants =
        childElements(headings, ooxml::kVariantTypes, "variant");
    std::vector<Group> groups;
    std::size_t next = 0;
    for (std::size_t i = 0; i + 1 < variants.size(); i += 2) {
        const xmlNodePtr countNode = firstChild(variants[i + 1], ooxml::kVariantTypes, "i4");
        if (!countNode)
            return false;
        const std::string text = content(countNode);
        if (text.empty() || text.size() > 6 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        const std::size_t count = std::stoul(text);
        groups.push_back({countNode, next, count});
        next += count;
    }
    const std::vector<xmlNodePtr> titleNodes = childElements(titles, ooxml::kVariantTypes, "lpstr");
    if (next != titleNodes.size() || titleNodes.empty())
        return false;

    for (const Group& group : groups) {
        if (group.count != worksheets.size())
            continue;
        bool matches = true;
        for (std::size_t i = 0; i < group.count && matches; ++i)
            matches = content(titleNodes[group.first + i]) == worksheets[i];
        if (!matches)
            continue;

        std::size_t count = group.count;
        xmlNodePtr last = titleNodes[group.first + group.count - 1];
        xmlNodePtr added_node = newElementLike(last, "lpstr");
        setContent(added_node, added);
        xmlAddNextSibling(last, added_node);
        ++count;
        for (std::size_t i = 0; i < group.count; ++i) {
            xmlNodePtr title = titleNodes[group.first + i];
            if (std::find(removed.begin(), removed.end(), content(title)) != removed.end()) {
                removeNode(title);
                --count;
            }
        }
        xmlNodeSetContent(group.countNode,
                          reinterpret_cast<const xmlChar*>(std::to_string(count).c_str()));
        const std::size_t size = titleNodes.size() - group.count + count;
        setAttribute(titles, "size", std::to_string(size));
        return true;
    }
    return false;
}

}  // namespace kovrisk::file_edit
