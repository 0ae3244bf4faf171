#include "workbook/file_edit/xml_part.h"

#include <libxml/parser.h>

#include <memory>

namespace kovrisk::file_edit {

namespace {

const xmlChar* xml(std::string_view text, std::string& hold) {
    hold.assign(text);
    return reinterpret_cast<const xmlChar*>(hold.c_str());
}

std::string_view view(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

}  // namespace

XmlPart::XmlPart(std::string_view text, const std::string& partName) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw XmlDamaged(partName + ": larger than an XML part the editor reads");
    // No DTD loading, no entity substitution, no network: nothing outside the part is read.
    document_ = xmlReadMemory(text.data(), static_cast<int>(text.size()), partName.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document_ || !xmlDocGetRootElement(document_)) {
        std::string why = partName + ": no well-formed XML";
        if (const xmlError* error = xmlGetLastError(); error && error->message) {
            std::string message = error->message;
            while (!message.empty() && message.back() == '\n')
                message.pop_back();
            why += " (" + message + ")";
        }
        if (document_) {
            xmlFreeDoc(document_);
            document_ = nullptr;
        }
        throw XmlDamaged(why);
    }
}

XmlPart::~XmlPart() {
    if (document_)
        xmlFreeDoc(document_);
}

xmlNodePtr XmlPart::root() const {
    return xmlDocGetRootElement(document_);
}

std::string XmlPart::text() const {
    xmlChar* memory = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(document_, &memory, &size, "UTF-8");
    if (!memory)
        throw std::runtime_error("an XML part could not be written");
    const std::unique_ptr<xmlChar, XmlFree> owned(memory);
    return std::string(reinterpret_cast<const char*>(memory), static_cast<std::size_t>(size));
}

std::string_view namespaceOf(xmlNodePtr node) {
    return node && node->ns ? view(node->ns->href) : std::string_view();
}

bool isElement(xmlNodePtr node, std::string_view nameSpace, std::string_view localName) {
    return node && node->type == XML_ELEMENT_NODE && view(node->name) == localName &&
           namespaceOf(node) == nameSpace;
}

std::vector<xmlNodePtr> childElements(xmlNodePtr parent, std::string_view nameSpace,
                                      std::string_view localName) {
    std::vector<xmlNodePtr> result;
    for (xmlNodePtr child = parent ? parent->children : nullptr; child; child = child->next) {
        if (isElement(child, nameSpace, localName))
            result.push_back(child);
    }
    return result;
}

std::vector<xmlNodePtr> childElements(xmlNodePtr parent) {
    std::vector<xmlNodePtr> result;
    for (xmlNodePtr child = parent ? parent->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            result.push_back(child);
    }
    return result;
}

xmlNodePtr firstChild(xmlNodePtr parent, std::string_view nameSpace, std::string_view localName) {
    for (xmlNodePtr child = parent ? parent->children : nullptr; child; child = child->next) {
        if (isElement(child, nameSpace, localName))
            return child;
    }
    return nullptr;
}

std::optional<std::string> attribute(xmlNodePtr node, std::string_view localName,
                                     std::string_view nameSpace) {
    std::string nameHold, nsHold;
    xmlChar* value = nameSpace.empty()
                         ? xmlGetNoNsProp(node, xml(localName, nameHold))
                         : xmlGetNsProp(node, xml(localName, nameHold), xml(nameSpace, nsHold));
    if (!value)
        return std::nullopt;
    const std::unique_ptr<xmlChar, XmlFree> owned(value);
    return std::string(view(value));
}

void setAttribute(xmlNodePtr node, std::string_view localName, std::string_view value) {
    std::string nameHold, valueHold;
    if (!xmlSetProp(node, xml(localName, nameHold), xml(value, valueHold)))
        throw std::bad_alloc();
}

void removeAttribute(xmlNodePtr node, std::string_view localName) {
    std::string nameHold;
    if (xmlAttrPtr present = xmlHasNsProp(node, xml(localName, nameHold), nullptr))
        xmlRemoveProp(present);
}

xmlNodePtr newElementLike(xmlNodePtr like, std::string_view localName) {
    std::string nameHold;
    xmlNodePtr node = xmlNewDocNode(like->doc, like->ns, xml(localName, nameHold), nullptr);
    if (!node)
        throw std::bad_alloc();
    return node;
}

void removeNode(xmlNodePtr node) {
    xmlNodePtr before = node->prev;
    if (before && before->type == XML_TEXT_NODE && xmlIsBlankNode(before)) {
        xmlUnlinkNode(before);
        xmlFreeNode(before);
    }
    xmlUnlinkNode(node);
    xmlFreeNode(node);
}

void appendElement(xmlNodePtr parent, xmlNodePtr node) {
    xmlNodePtr lastElement = nullptr;
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            lastElement = child;
    }
    if (!lastElement) {
        xmlAddChild(parent, node);
        return;
    }
    xmlNodePtr indent = lastElement->prev;
    xmlAddNextSibling(lastElement, node);
    if (indent && indent->type == XML_TEXT_NODE && xmlIsBlankNode(indent))
        xmlAddPrevSibling(node, xmlCopyNode(indent, 1));
}

xmlNsPtr namespaceFor(xmlNodePtr node, std::string_view href, std::string_view prefix) {
    std::string hrefHold, prefixHold;
    if (xmlNsPtr found = xmlSearchNsByHref(node->doc, node, xml(href, hrefHold)))
        return found;
    // A prefix the root uses for another namespace is not taken over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            attempt == 0 ? std::string(prefix) : std::string(prefix) + std::to_string(attempt);
        if (xmlNsPtr declared = xmlNewNs(xmlDocGetRootElement(node->doc), xml(href, hrefHold),
                                         xml(candidate, prefixHold))) {
            return declared;
        }
    }
    throw std::runtime_error("a namespace could not be declared");
}

}  // namespace kovrisk::file_edit
