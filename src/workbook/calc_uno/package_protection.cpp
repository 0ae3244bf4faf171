#include "workbook/calc_uno/package_protection.h"

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/xml/sax/InputSource.hpp>
#include <com/sun/star/xml/sax/XParser.hpp>

#include <cstring>
#include <fstream>
#include <string>

namespace kovrisk {

namespace css = com::sun::star;

namespace {

constexpr char kWorkbookPart[] = "xl/workbook.xml";
// The workbook part is small; a part larger than this is read no further.
constexpr sal_Int32 kReadLimit = 16 * 1024 * 1024;

// The value of attribute `name` inside the element text `element`, or empty.
std::string_view attribute(std::string_view element, std::string_view name) {
    for (std::size_t at = element.find(name); at != std::string_view::npos;
         at = element.find(name, at + 1)) {
        const bool wordStart = at > 0 && (element[at - 1] == ' ' || element[at - 1] == '\t' ||
                                          element[at - 1] == '\r' || element[at - 1] == '\n');
        std::size_t next = at + name.size();
        while (next < element.size() && element[next] == ' ')
            ++next;
        if (!wordStart || next >= element.size() || element[next] != '=')
            continue;
        ++next;
        while (next < element.size() && element[next] == ' ')
            ++next;
        if (next >= element.size() || (element[next] != '"' && element[next] != '\''))
            continue;
        const char quote = element[next];
        const std::size_t end = element.find(quote, next + 1);
        if (end == std::string_view::npos)
            return {};
        return element.substr(next + 1, end - next - 1);
    }
    return {};
}

css::uno::Reference<css::container::XNameAccess> openPackage(
    const css::uno::Reference<css::uno::XComponentContext>& context, const rtl::OUString& url) {
    const css::uno::Any packageUrl(url);
    const css::uno::Sequence<css::uno::Any> arguments(&packageUrl, 1);
    return css::uno::Reference<css::container::XNameAccess>(
        context->getServiceManager()->createInstanceWithArgumentsAndContext(
            "com.sun.star.packages.zip.ZipFileAccess", arguments, context),
        css::uno::UNO_QUERY_THROW);
}

bool isXmlPart(const rtl::OUString& name) {
    return name.endsWithIgnoreAsciiCase(".xml") || name.endsWithIgnoreAsciiCase(".rels");
}

}  // namespace

bool isEncryptionContainer(const NativePath& path) {
    static constexpr unsigned char kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::ifstream file(path, std::ios::binary);
    char head[sizeof kSignature] = {};
    return file.read(head, sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0;
}

bool workbookPartLocksStructure(std::string_view workbookXml) {
    // The element may carry a namespace prefix: "<workbookProtection" or "<x:workbookProtection".
    for (std::size_t at = workbookXml.find("workbookProtection"); at != std::string_view::npos;
         at = workbookXml.find("workbookProtection", at + 1)) {
        const std::size_t open = workbookXml.rfind('<', at);
        if (open == std::string_view::npos ||
            workbookXml.substr(open + 1, at - open - 1).find_first_of(" />\"'") !=
                std::string_view::npos) {
            continue;
        }
        const std::size_t close = workbookXml.find('>', at);
        const std::string_view element = workbookXml.substr(at, close - at);
        const std::string_view locked = attribute(element, "lockStructure");
        if (locked == "1" || locked == "true")
            return true;
    }
    return false;
}

PackageFacts inspectPackage(const css::uno::Reference<css::uno::XComponentContext>& context,
                            const rtl::OUString& url) {
    PackageFacts facts;
    css::uno::Reference<css::container::XNameAccess> package;
    try {
        package = openPackage(context, url);
    } catch (const css::uno::RuntimeException&) {
        throw;  // the office itself failed: no verdict on the file
    } catch (const css::uno::Exception&) {
        return {false, false};  // no package at all
    }
    try {
        if (package->hasByName(kWorkbookPart)) {
            css::uno::Reference<css::io::XInputStream> stream(package->getByName(kWorkbookPart),
                                                              css::uno::UNO_QUERY_THROW);
            std::string text;
            css::uno::Sequence<sal_Int8> chunk;
            while (static_cast<sal_Int32>(text.size()) < kReadLimit) {
                const sal_Int32 got = stream->readBytes(chunk, 65536);
                if (got <= 0)
                    break;
                text.append(reinterpret_cast<const char*>(chunk.getConstArray()),
                            static_cast<std::size_t>(got));
            }
            stream->closeInput();
            facts.locksStructure = workbookPartLocksStructure(text);
        }
    } catch (const css::uno::RuntimeException&) {
        throw;
    } catch (const css::uno::Exception&) {
        // No readable workbook part: no structure lock to tell of.
    }
    try {
        // The office's own parser reads each part where it is, in the office.
        const css::uno::Reference<css::xml::sax::XParser> parser(
            context->getServiceManager()->createInstanceWithContext("com.sun.star.xml.sax.Parser",
                                                                    context),
            css::uno::UNO_QUERY_THROW);
        for (const rtl::OUString& name : package->getElementNames()) {
            if (!isXmlPart(name))
                continue;
            css::xml::sax::InputSource source;
            source.aInputStream.set(package->getByName(name), css::uno::UNO_QUERY_THROW);
            source.sSystemId = name;
            parser->parseStream(source);
        }
    } catch (const css::uno::RuntimeException&) {
        throw;
    } catch (const css::uno::Exception&) {
        facts.wellFormed = false;  // a part that does not unpack or does not parse
    }
    return facts;
}

}  // namespace kovrisk
