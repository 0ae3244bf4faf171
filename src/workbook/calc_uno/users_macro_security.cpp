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

NativePath usersRegistryModifications() {
    const NativePath config = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        return {};
    return config / "libreoffice" / "4" / "user" / "registrymodifications.xcu";
}

UsersMacroSecurity readUsersMacroSecurity(const NativePath& file) {
    std::error_code error;
    if (file.empty() || !std::filesystem::exists(file, error))
        return {};  // no settings of the user's own
    if (!std::filesystem::is_regular_file(file, error))
        return notUnderstood("not a regular file");
    if (std::filesystem::file_size(file, error) > kReadLimit || error)
        return notUnderstood("the file is larger than any settings file");
    std::ifstream stream(file, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(stream), {});
    if (!stream.eof() && stream.fail())
        return notUnderstood("the file cannot be read");
    if (text.size() > kReadLimit)
        return notUnderstood("the file is larger than any settings file");
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
    if (security.macrosDisabled || !security.notUnderstood.empty())
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
