// The structure lock of an OOXML workbook, read from its package: LibreOffice's import does not
// keep it, so a document loaded from such a file does not tell of it.
#pragma once

#include <com/sun/star/uno/XComponentContext.hpp>

#include <string_view>

namespace kovrisk {

// Whether the workbook part of the package at `url` carries <workbookProtection
// lockStructure="1"> (or "true").  False when the package holds no such part.
bool packageLocksStructure(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
    const rtl::OUString& url);

// The same test on the workbook part's text.
bool workbookPartLocksStructure(std::string_view workbookXml);

}  // namespace kovrisk
