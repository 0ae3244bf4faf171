#include "workbook/calc_uno/users_macro_settings.h"

#include <libxml/xmlreader.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace kovrisk {

namespace {

constexpr std::string_view kScriptingPath = "/org.openoffice.Office.Common/Security/Scripting";
constexpr char kRegistryNamespace[] = "http://openoffice.org/2001/registry";

enum class Setting { None, Level, Disabled, Locations };

Setting settingNamed(std::string_view path) {
    if (path == std::string(kScriptingPath) + "/MacroSecurityLevel")
        return Setting::Level;
    if (path == std::string(kScriptingPath) + "/DisableMacrosExecution")
        return Setting::Disabled;
    if (path == std::string(kScriptingPath) + "/SecureURL")
        return Setting::Locations;
    return Setting::None;
}

// Whether `path` is the scripting node or a node above it: the only paths worth following.
bool leadsToScripting(std::string_view path) {
    return path == kScriptingPath ||
           (path.size() < kScriptingPath.size() && kScriptingPath.starts_with(path) &&
            kScriptingPath[path.size()] == '/');
}

// `parent` + "/" + `name`, when that may still lead to the scripting node; empty otherwise.
std::string childPath(const std::string& parent, const std::optional<std::string>& name) {
    if (parent.empty() || !name || parent.size() + 1 + name->size() > kScriptingPath.size())
        return {};
    std::string path = parent + "/" + *name;
    return leadsToScripting(path) ? path : std::string();
}

void ignoreErrors(void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {}

struct ReaderFree {
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

// An attribute of the reader's current element, in `space`; nullopt when it has none.
std::optional<std::string> attribute(xmlTextReader* reader, const char* name, const char* space) {
    xmlChar* value = xmlTextReaderGetAttributeNs(reader, reinterpret_cast<const xmlChar*>(name),
                                                 reinterpret_cast<const xmlChar*>(space));
    if (value == nullptr)
        return std::nullopt;
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

std::string_view localName(xmlTextReader* reader) {
    const xmlChar* name = xmlTextReaderConstLocalName(reader);
    return name == nullptr ? std::string_view() : reinterpret_cast<const char*>(name);
}

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// `text` cut at each `separator` (whitespace runs when empty), empty pieces left out.
std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        std::string piece;
        for (char c : text) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                if (!piece.empty())
                    pieces.push_back(std::move(piece));
                piece.clear();
            } else {
                piece += c;
            }
        }
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        return pieces;
    }
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find(separator, at), text.size());
        if (end > at)
            pieces.emplace_back(text.substr(at, end - at));
        at = end + separator.size();
    }
    return pieces;
}

// One pass over the user layer with libxml2's streaming reader: no tree, no entity substitution,
// no network, no document type loaded; the element depth is the parser's own bound.
class RegistryReader {
public:
    explicit RegistryReader(std::string_view text) : text_(text) {}

    UsersMacroSecurity read() {
        if (text_.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            return notUnderstood("the file is larger than any settings file");
        const std::unique_ptr<xmlTextReader, ReaderFree> reader(
            xmlReaderForMemory(text_.data(), static_cast<int>(text_.size()), nullptr, nullptr,
                               XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        if (!reader)
            return notUnderstood("the XML parser cannot start");
        xmlTextReaderSetErrorHandler(reader.get(), ignoreErrors, nullptr);
        int got = 0;
        while ((got = xmlTextReaderRead(reader.get())) == 1 && security_.notUnderstood.empty())
            step(reader.get());
        if (security_.notUnderstood.empty() && got != 0)
            fail("the file is no well-formed XML");
        return security_;
    }

private:
    // A path that an item or a node opens (empty when it cannot lead to the scripting node), and
    // whether it was finalized there.
    struct Frame {
        std::string path;
        bool finalized = false;
    };

    void fail(std::string why) {
        if (security_.notUnderstood.empty())
            security_.notUnderstood = std::move(why);
    }

    void step(xmlTextReader* reader) {
        const int type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_ELEMENT) {
            const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
            startElement(reader);
            if (empty)
                endElement();
        } else if (type == XML_READER_TYPE_END_ELEMENT) {
            endElement();
        } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                   type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE ||
                   type == XML_READER_TYPE_WHITESPACE) {
            if (inValue_ && setting_ != Setting::None) {
                const xmlChar* value = xmlTextReaderConstValue(reader);
                if (value != nullptr)
                    (inItem_ ? item_ : value_) += reinterpret_cast<const char*>(value);
            }
        } else if (type == XML_READER_TYPE_ENTITY_REFERENCE ||
                   type == XML_READER_TYPE_DOCUMENT_TYPE) {
            fail("the file declares or refers to entities");
        }
    }

    void startElement(xmlTextReader* reader) {
        const std::string_view name = localName(reader);
        elements_.push_back(std::string(name));
        const bool finalized =
            attribute(reader, "finalized", kRegistryNamespace).value_or("") == "true";
        if ((name == "item" && elements_.size() == 2) ||
            (name == "node" && !frames_.empty() && !inProp_)) {
            std::string path;
            if (name == "item") {
                path = attribute(reader, "path", kRegistryNamespace).value_or("");
                if (!leadsToScripting(path))
                    path.clear();
            } else {
                path =
                    childPath(frames_.back().path, attribute(reader, "name", kRegistryNamespace));
            }
            frames_.push_back({path, finalized && !path.empty()});
            // A node replaced or removed whole takes the settings below it back to their defaults.
            const std::string op = attribute(reader, "op", kRegistryNamespace).value_or("");
            if (!path.empty() && (op == "replace" || op == "remove") && !held(path)) {
                for (Setting setting : {Setting::Level, Setting::Disabled, Setting::Locations})
                    reset(setting);
            }
        } else if (name == "prop" && !frames_.empty() && !inProp_) {
            inProp_ = true;
            propPath_ = frames_.back().path == kScriptingPath
                            ? frames_.back().path + "/" +
                                  attribute(reader, "name", kRegistryNamespace).value_or("")
                            : std::string();
            setting_ = settingNamed(propPath_);
            propFinalized_ = finalized;
            removed_ = attribute(reader, "op", kRegistryNamespace).value_or("") == "remove";
            values_ = 0;
            value_.clear();
            items_.clear();
            separator_.reset();
        } else if (name == "value" && inProp_ && !inValue_) {
            inValue_ = true;
            ++values_;
            startValue(reader);
        } else if (name == "it" && inValue_ && !inItem_) {
            inItem_ = true;
            item_.clear();
        } else if (setting_ != Setting::None && inProp_) {
            fail("an element the settings do not have in " + propPath_);
        }
    }

    // A value's attributes: the list separator; anything else (nil, a language, a reference to an
    // external value) is not a form these settings take.
    void startValue(xmlTextReader* reader) {
        if (setting_ == Setting::None)
            return;
        separator_ = attribute(reader, "separator", kRegistryNamespace);
        const int count = xmlTextReaderAttributeCount(reader);
        if (count > (separator_ ? 1 : 0))
            fail("a value of another form in " + propPath_);
    }

    void endElement() {
        if (elements_.empty())
            return;
        const std::string name = std::move(elements_.back());
        elements_.pop_back();
        if (name == "it" && inItem_) {
            inItem_ = false;
            items_.push_back(item_);
        } else if (name == "value" && inValue_) {
            inValue_ = false;
        } else if (name == "prop" && inProp_) {
            inProp_ = false;
            if (setting_ != Setting::None)
                apply();
            setting_ = Setting::None;
        } else if ((name == "node" || (name == "item" && elements_.size() == 1)) &&
                   !frames_.empty()) {
            if (frames_.back().finalized)
                finalized_.push_back(frames_.back().path);
            frames_.pop_back();
        }
    }

    // Whether a finalized setting of this layer holds `path` (or a node above it) already.
    bool held(const std::string& path) const {
        return std::any_of(finalized_.begin(), finalized_.end(), [&](const std::string& f) {
            return path == f ||
                   (path.size() > f.size() && path.starts_with(f) && path[f.size()] == '/');
        });
    }

    void apply() {
        if (held(propPath_))
            return;  // finalized earlier in this layer
        if (propFinalized_)
            finalized_.push_back(propPath_);
        if (removed_) {
            reset(setting_);
            return;
        }
        if (values_ != 1) {
            fail("no single value in " + propPath_);
            return;
        }
        const std::string text = trimmed(value_);
        switch (setting_) {
            case Setting::Level:
                if (text.size() == 1 && text[0] >= '0' && text[0] <= '3')
                    security_.level = text[0] - '0';
                else
                    fail("a macro security level out of range in " + propPath_);
                break;
            case Setting::Disabled:
                if (text == "true" || text == "false")
                    security_.macrosDisabled = text == "true";
                else
                    fail("a switch that is neither true nor false in " + propPath_);
                break;
            case Setting::Locations:
                if (!items_.empty() && !text.empty())
                    fail("a list both of items and of text in " + propPath_);
                else
                    security_.trustedLocations =
                        items_.empty() ? split(value_, separator_.value_or("")) : items_;
                break;
            case Setting::None:
                break;
        }
    }

    void reset(Setting setting) {
        switch (setting) {
            case Setting::Level:
                security_.level.reset();
                break;
            case Setting::Disabled:
                security_.macrosDisabled = false;
                break;
            case Setting::Locations:
                security_.trustedLocations.clear();
                break;
            case Setting::None:
                break;
        }
    }

    std::string_view text_;
    UsersMacroSecurity security_;
    std::vector<std::string> elements_;
    std::vector<Frame> frames_;
    std::vector<std::string> finalized_;
    bool inProp_ = false;
    bool inValue_ = false;
    bool inItem_ = false;
    std::string propPath_;
    Setting setting_ = Setting::None;
    bool propFinalized_ = false;
    bool removed_ = false;
    int values_ = 0;
    std::string value_;
    std::string item_;
    std::vector<std::string> items_;
    std::optional<std::string> separator_;
};

}  // namespace

UsersMacroSecurity notUnderstood(std::string why) {
    UsersMacroSecurity security;
    security.notUnderstood = std::move(why);
    return security;
}

UsersMacroSecurity usersMacroSecurityFrom(std::string_view registryModifications) {
    return RegistryReader(registryModifications).read();
}

}  // namespace kovrisk
