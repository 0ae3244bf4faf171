// The start tags of an XML text, read in one pass without building a tree: what the package
// checks need from parts that anybody may have written.  Comments, CDATA sections, processing
// instructions, declarations and end tags are stepped over.  Linear in the text's length: every
// search goes forward from where the last one ended.  Not a validating parser; the office's own
// parser judges whether a part is well-formed.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace kovrisk::package {

struct XmlStartTag {
    // The element's name without its namespace prefix.
    std::string_view localName;
    // Attribute names as written (prefix included) and their values as written, quotes removed,
    // entities not replaced.
    std::vector<std::pair<std::string_view, std::string_view>> attributes;

    // The value of the attribute named `name`, or nullptr.
    const std::string_view* attribute(std::string_view name) const;
};

class XmlStartTags {
public:
    explicit XmlStartTags(std::string_view text) : text_(text) {}

    // The next start tag (or empty-element tag) into `tag`; false at the end of the text.
    bool next(XmlStartTag& tag);

private:
    bool skipPast(std::string_view end);
    void skipSpace();

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace kovrisk::package
