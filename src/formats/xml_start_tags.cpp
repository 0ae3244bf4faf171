#include "formats/xml_start_tags.h"

namespace kovrisk::package {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool endsName(char c) {
    return isSpace(c) || c == '/' || c == '>' || c == '=' || c == '<';
}

}  // namespace

const std::string_view* XmlStartTag::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name)
            return &value;
    }
    return nullptr;
}

bool XmlStartTags::skipPast(std::string_view end) {
    const std::size_t found = text_.find(end, at_);
    at_ = found == std::string_view::npos ? text_.size() : found + end.size();
    return found != std::string_view::npos;
}

void XmlStartTags::skipSpace() {
    while (at_ < text_.size() && isSpace(text_[at_]))
        ++at_;
}

bool XmlStartTags::next(XmlStartTag& tag) {
    for (;;) {
        const std::size_t open = text_.find('<', at_);
        if (open == std::string_view::npos) {
            at_ = text_.size();
            return false;
        }
        at_ = open + 1;
        const std::string_view rest = text_.substr(at_);
        if (rest.starts_with("!--")) {
            at_ += 3;
            skipPast("-->");
            continue;
        }
        if (rest.starts_with("![CDATA[")) {
            skipPast("]]>");
            continue;
        }
        if (rest.starts_with("?")) {
            skipPast("?>");
            continue;
        }
        if (rest.starts_with("!") || rest.starts_with("/")) {
            skipPast(">");
            continue;
        }
        const std::size_t nameStart = at_;
        while (at_ < text_.size() && !endsName(text_[at_]))
            ++at_;
        const std::string_view name = text_.substr(nameStart, at_ - nameStart);
        if (name.empty())
            continue;
        const std::size_t colon = name.rfind(':');
        tag.localName = colon == std::string_view::npos ? name : name.substr(colon + 1);
        tag.attributes.clear();
        // Attributes up to the tag's end; a tag cut off by the text's end still counts.
        for (;;) {
            skipSpace();
            if (at_ >= text_.size() || text_[at_] == '>' || text_[at_] == '<')
                break;
            if (text_[at_] == '/') {
                ++at_;
                continue;
            }
            const std::size_t keyStart = at_;
            while (at_ < text_.size() && !endsName(text_[at_]))
                ++at_;
            const std::string_view key = text_.substr(keyStart, at_ - keyStart);
            skipSpace();
            if (at_ >= text_.size() || text_[at_] != '=') {
                if (key.empty())
                    ++at_;  // a stray "=" or the like: stepped over
                continue;
            }
            ++at_;
            skipSpace();
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
                continue;
            const char quote = text_[at_];
            const std::size_t valueStart = at_ + 1;
            const std::size_t valueEnd = text_.find(quote, valueStart);
            if (valueEnd == std::string_view::npos) {
                at_ = text_.size();
                break;
            }
            tag.attributes.emplace_back(key, text_.substr(valueStart, valueEnd - valueStart));
            at_ = valueEnd + 1;
        }
        if (at_ < text_.size() && text_[at_] == '>')
            ++at_;
        return true;
    }
}

}  // namespace kovrisk::package
