#include "workbook/calc_uno/users_macro_security.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>

#include <cstdlib>
#include <fstream>

#include "platform/posix/home_folder.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

constexpr std::string_view kScriptingPath = "/org.openoffice.Office.Common/Security/Scripting";
// The user layer is a few hundred kilobytes; a larger file is not read.
constexpr std::uintmax_t kReadLimit = 16 * 1024 * 1024;

// The value of attribute `name` in the start tag `tag`, or empty.
std::string_view attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const std::size_t quote = at + name.size() + 1;
        if (at == 0 || tag[at - 1] != ' ' || quote >= tag.size() || tag[quote - 1] != '=' ||
            (tag[quote] != '"' && tag[quote] != '\'')) {
            continue;
        }
        const std::size_t end = tag.find(tag[quote], quote + 1);
        return end == std::string_view::npos ? std::string_view()
                                             : tag.substr(quote + 1, end - quote - 1);
    }
    return {};
}

// XML text with its five predefined entities and character references resolved (ASCII only;
// anything else is dropped).
std::string unescaped(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            result += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        if (end == std::string_view::npos)
            break;
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp")
            result += '&';
        else if (entity == "lt")
            result += '<';
        else if (entity == "gt")
            result += '>';
        else if (entity == "quot")
            result += '"';
        else if (entity == "apos")
            result += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const long code = std::strtol(std::string(entity.substr(hex ? 2 : 1)).c_str(), nullptr,
                                          hex ? 16 : 10);
            if (code > 0 && code < 0x80)
                result += static_cast<char>(code);
        }
        i = end;
    }
    return result;
}

// The texts of the <it> elements of a list value.
std::vector<std::string> listItems(std::string_view value) {
    std::vector<std::string> items;
    for (std::size_t at = value.find("<it>"); at != std::string_view::npos;
         at = value.find("<it>", at)) {
        const std::size_t end = value.find("</it>", at);
        if (end == std::string_view::npos)
            break;
        items.push_back(unescaped(value.substr(at + 4, end - at - 4)));
        at = end;
    }
    return items;
}

// A path from a file URL's percent-encoded path part.
std::string decodedPath(std::string_view encoded) {
    std::string path;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            path += static_cast<char>(
                std::strtol(std::string(encoded.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            path += encoded[i];
        }
    }
    return path;
}

// The folder a trusted location names, or empty for one this program cannot resolve (another
// variable than $(home), another scheme than file).
NativePath locationFolder(std::string_view location, const NativePath& home) {
    constexpr std::string_view kHome = "$(home)";
    constexpr std::string_view kFile = "file://";
    if (location.substr(0, kHome.size()) == kHome) {
        if (home.empty())
            return {};
        return (home / NativePath(decodedPath(location.substr(kHome.size()))).relative_path())
            .lexically_normal();
    }
    if (location.substr(0, kFile.size()) != kFile)
        return {};
    std::string_view rest = location.substr(kFile.size());
    if (rest.substr(0, 9) == "localhost")
        rest.remove_prefix(9);
    if (rest.empty() || rest[0] != '/')
        return {};
    return NativePath(decodedPath(rest)).lexically_normal();
}

// Whether `folder` is `location` or lies below it.
bool within(const NativePath& folder, const NativePath& location) {
    auto inner = folder.begin();
    for (auto part = location.begin(); part != location.end(); ++part, ++inner) {
        if (part->empty())
            continue;  // the trailing separator of "/a/b/"
        if (inner == folder.end() || *inner != *part)
            return false;
    }
    return true;
}

}  // namespace

UsersMacroSecurity usersMacroSecurityFrom(std::string_view text) {
    UsersMacroSecurity security;
    for (std::size_t at = text.find("<item "); at != std::string_view::npos;
         at = text.find("<item ", at + 1)) {
        const std::size_t tagEnd = text.find('>', at);
        const std::size_t itemEnd = text.find("</item>", at);
        if (tagEnd == std::string_view::npos || itemEnd == std::string_view::npos)
            break;
        if (attribute(text.substr(at, tagEnd - at), "oor:path") != kScriptingPath)
            continue;
        const std::string_view item = text.substr(tagEnd + 1, itemEnd - tagEnd - 1);
        for (std::size_t prop = item.find("<prop "); prop != std::string_view::npos;
             prop = item.find("<prop ", prop + 1)) {
            const std::size_t propTagEnd = item.find('>', prop);
            const std::size_t propEnd = item.find("</prop>", prop);
            if (propTagEnd == std::string_view::npos || propEnd == std::string_view::npos)
                break;
            const std::string_view name =
                attribute(item.substr(prop, propTagEnd - prop), "oor:name");
            const std::string_view body = item.substr(propTagEnd + 1, propEnd - propTagEnd - 1);
            std::string value;
            if (const std::size_t open = body.find("<value>"); open != std::string_view::npos) {
                const std::size_t close = body.find("</value>", open);
                if (close != std::string_view::npos)
                    value = std::string(body.substr(open + 7, close - open - 7));
            }
            if (name == "MacroSecurityLevel" && !value.empty()) {
                security.level = std::atoi(unescaped(value).c_str());
            } else if (name == "DisableMacrosExecution") {
                security.macrosDisabled = unescaped(value) == "true";
            } else if (name == "SecureURL") {
                security.trustedLocations = listItems(value);
            }
        }
    }
    return security;
}

NativePath usersRegistryModifications() {
    const NativePath config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        return {};
    return config / "libreoffice" / "4" / "user" / "registrymodifications.xcu";
}

UsersMacroSecurity readUsersMacroSecurity(const NativePath& file) {
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error) ||
        std::filesystem::file_size(file, error) > kReadLimit || error) {
        return {};
    }
    std::ifstream stream(file, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(stream), {});
    if (text.size() > kReadLimit)
        return {};
    return usersMacroSecurityFrom(text);
}

bool macroSecurityFixed(const css::uno::Reference<css::uno::XComponentContext>& context) {
    const css::uno::Reference<css::lang::XMultiServiceFactory> provider(
        context->getServiceManager()->createInstanceWithContext(
            "com.sun.star.configuration.ConfigurationProvider", context),
        css::uno::UNO_QUERY_THROW);
    const css::uno::Any nodePath(css::beans::NamedValue(
        "nodepath", css::uno::Any(rtl::OUString::createFromAscii(kScriptingPath.data()))));
    // An update access: its properties are read-only where the configuration is finalized.
    const css::uno::Reference<css::beans::XPropertySet> scripting(
        provider->createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess",
            css::uno::Sequence<css::uno::Any>(&nodePath, 1)),
        css::uno::UNO_QUERY_THROW);
    const auto info = scripting->getPropertySetInfo();
    for (const char* name : {"MacroSecurityLevel", "DisableMacrosExecution", "SecureURL"}) {
        if (info->getPropertyByName(rtl::OUString::createFromAscii(name)).Attributes &
            css::beans::PropertyAttribute::READONLY) {
            return true;
        }
    }
    return false;
}

sal_Int16 macroExecModeFor(const UsersMacroSecurity& security, const NativePath& document,
                           const NativePath& home) {
    if (security.macrosDisabled)
        return css::document::MacroExecMode::NEVER_EXECUTE;
    const NativePath folder = std::filesystem::absolute(document).parent_path().lexically_normal();
    for (const std::string& location : security.trustedLocations) {
        const NativePath trusted = locationFolder(location, home);
        if (!trusted.empty() && within(folder, trusted))
            return css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN;
    }
    if (!security.level)
        return css::document::MacroExecMode::USE_CONFIG;
    switch (*security.level) {
        case 0:
            return css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN;
        case 1:
            // Asks about macros from anywhere else.
            return css::document::MacroExecMode::ALWAYS_EXECUTE;
        case 2:
            // Signed by a trusted author, else not run and the user told so.
            return css::document::MacroExecMode::FROM_LIST_AND_SIGNED_WARN;
        default:
            return css::document::MacroExecMode::FROM_LIST_AND_SIGNED_NO_WARN;
    }
}

}  // namespace kovrisk
