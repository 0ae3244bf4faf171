#include "workbook/calc_uno/package_protection.h"

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/xml/sax/InputSource.hpp>
#include <com/sun/star/xml/sax/XParser.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "formats/package_parts.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

constexpr char kWorkbookPart[] = "xl/workbook.xml";

css::uno::Reference<css::container::XNameAccess> openPackage(
    const css::uno::Reference<css::uno::XComponentContext>& context, const rtl::OUString& url) {
    const css::uno::Any packageUrl(url);
    const css::uno::Sequence<css::uno::Any> arguments(&packageUrl, 1);
    return css::uno::Reference<css::container::XNameAccess>(
        context->getServiceManager()->createInstanceWithArgumentsAndContext(
            "com.sun.star.packages.zip.ZipFileAccess", arguments, context),
        css::uno::UNO_QUERY_THROW);
}

bool isXmlPart(std::string_view name) {
    return name.ends_with(".xml") || name.ends_with(".rels") || name.ends_with(".XML") ||
           name.ends_with(".RELS");
}

// The part's first package::kPartReadLimit bytes and one more (telling a part cut at the limit),
// or nothing when the package lacks it.
std::optional<std::string> readPart(const css::uno::Reference<css::container::XNameAccess>& package,
                                    const std::string& name) {
    const rtl::OUString partName = rtl::OStringToOUString(
        rtl::OString(name.data(), static_cast<sal_Int32>(name.size())), RTL_TEXTENCODING_UTF8);
    if (!package->hasByName(partName))
        return std::nullopt;
    css::uno::Reference<css::io::XInputStream> stream(package->getByName(partName),
                                                      css::uno::UNO_QUERY_THROW);
    std::string text;
    css::uno::Sequence<sal_Int8> chunk;
    while (text.size() <= package::kPartReadLimit) {
        const sal_Int32 got =
            stream->readBytes(chunk, static_cast<sal_Int32>(std::min<std::size_t>(
                                         65536, package::kPartReadLimit + 1 - text.size())));
        if (got <= 0)
            break;
        text.append(reinterpret_cast<const char*>(chunk.getConstArray()),
                    static_cast<std::size_t>(got));
    }
    stream->closeInput();
    return text;
}

}  // namespace

bool isEncryptionContainer(const NativePath& path) {
    static constexpr unsigned char kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::ifstream file(path, std::ios::binary);
    char head[sizeof kSignature] = {};
    return file.read(head, sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0;
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
        if (const std::optional<std::string> workbook = readPart(package, kWorkbookPart)) {
            // Beyond the bound nobody can say whether the structure is locked: not read whole.
            if (workbook->size() > package::kPartReadLimit)
                facts.wellFormed = false;
            else
                facts.locksStructure = package::workbookPartLocksStructure(*workbook);
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
        // The parts the package declares: entries it does not (resource forks a Mac left
        // beside each part as "__MACOSX/._name.xml", say) are no parts of the workbook.
        const std::set<std::string> declared = package::declaredParts(
            [&package](const std::string& name) { return readPart(package, name); });
        for (const std::string& part : declared) {
            if (!isXmlPart(part))
                continue;
            const rtl::OUString name = rtl::OStringToOUString(
                rtl::OString(part.data(), static_cast<sal_Int32>(part.size())),
                RTL_TEXTENCODING_UTF8);
            if (!package->hasByName(name))
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
