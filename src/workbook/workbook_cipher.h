// Open-password encryption of a whole workbook file, without the spreadsheet application: how the
// backup copy gets the backup password.
#pragma once

#include <string>
#include <string_view>

#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk {

class WorkbookCipher {
public:
    virtual ~WorkbookCipher() = default;
    // The file `workbookFile` encrypted with `password` (Shift-JIS).  Throws
    // encryption::EncryptionRefused when it cannot be encrypted (no workbook, one encrypted
    // already, an older binary format, damaged bytes: whatever else its parsers throw arrives as
    // this), CryptoFailure when a primitive fails.
    virtual std::string encrypt(std::string_view workbookFile, const std::string& password) = 0;
};

// Encryption as Excel writes it: agile for packages (.xlsx), RC4 CryptoAPI for binary workbooks
// (.xls), with the platform's primitives; the password converted as Windows converts code page
// 932.
WorkbookCipher& excelCipher();

}  // namespace kovrisk
