// One XML part of a package, parsed with libxml2 and written back: what the edit does not touch
// stays as libxml2 read it.
#pragma once

#include <libxml/tree.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kovrisk::file_edit {

// A part that is no well-formed XML.
class XmlDamaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class XmlPart {
public:
    // Parses `text`; no network, no external entities, no entity expansion.
    XmlPart(std::string_view text, const std::string& partName);
    ~XmlPart();
    XmlPart(const XmlPart&) = delete;
    XmlPart& operator=(const XmlPart&) = delete;

    xmlNodePtr root() const;
    // The part as UTF-8 text with its XML declaration.
    std::string text() const;

private:
    xmlDocPtr document_ = nullptr;
};

// The namespace of `node`, or empty.
std::string_view namespaceOf(xmlNodePtr node);
// Whether `node` is an element called `localName` in `nameSpace`.
bool isElement(xmlNodePtr node, std::string_view nameSpace, std::string_view localName);
// The child elements of `parent` called `localName` in `nameSpace`, in order.
std::vector<xmlNodePtr> childElements(xmlNodePtr parent, std::string_view nameSpace,
                                      std::string_view localName);
// Every child element of `parent`, in order.
std::vector<xmlNodePtr> childElements(xmlNodePtr parent);
xmlNodePtr firstChild(xmlNodePtr parent, std::string_view nameSpace, std::string_view localName);

// The attribute without namespace (`nameSpace` empty) or in `nameSpace`.
std::optional<std::string> attribute(xmlNodePtr node, std::string_view localName,
                                     std::string_view nameSpace = {});
void setAttribute(xmlNodePtr node, std::string_view localName, std::string_view value);
void removeAttribute(xmlNodePtr node, std::string_view localName);

// A new element in the namespace of `like` (its prefix too), not yet placed.
xmlNodePtr newElementLike(xmlNodePtr like, std::string_view localName);
// Unlinks and frees `node`, and the whitespace text right before it.
void removeNode(xmlNodePtr node);
// Places `node` as the last child element of `parent` (after any whitespace the last element has
// before it, repeated so that an indented part stays indented).
void appendElement(xmlNodePtr parent, xmlNodePtr node);

// The namespace declaration for `href` in force at `node`, declared on the root when there is
// none, with `prefix`.
xmlNsPtr namespaceFor(xmlNodePtr node, std::string_view href, std::string_view prefix);

}  // namespace kovrisk::file_edit
