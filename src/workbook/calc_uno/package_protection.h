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

// What an OOXML package's own parts tell.
struct PackageFacts {
    // Every XML part the package declares unpacks whole (its compressed data intact) and is
    // well-formed XML: LibreOffice's import loads a damaged sheet part as far as it can, without a
    // word.
    bool wellFormed = true;
    // The workbook part carries <workbookProtection lockStructure="1"> (or "true").
    bool locksStructure = false;
};

// The package at `url`, opened once.  Something that is no package at all is neither.
PackageFacts inspectPackage(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
    const rtl::OUString& url);

}  // namespace kovrisk
