// What LibreOffice's import of an OOXML package does not tell: its workbook part's structure lock,
// which the import drops, and whether its parts were read whole.
#pragma once

#include <com/sun/star/uno/XComponentContext.hpp>

#include <string_view>

#include "platform/files.h"

namespace kovrisk {

// Whether the file at `path` is a compound file (an OOXML package's encryption container) rather
// than a package.
bool isEncryptionContainer(const NativePath& path);

// Whether the workbook part of the package at `url` carries <workbookProtection
// lockStructure="1"> (or "true").  False when the package holds no such part.
bool packageLocksStructure(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
    const rtl::OUString& url);

// The same test on the workbook part's text.
bool workbookPartLocksStructure(std::string_view workbookXml);

// Whether every XML part of the package at `url` reads whole (its compressed data intact) and is
// well-formed XML.  LibreOffice's import loads a damaged sheet part as far as it can, without a
// word: this is how such a package is told apart.
bool packagePartsWellFormed(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
    const rtl::OUString& url);

}  // namespace kovrisk
