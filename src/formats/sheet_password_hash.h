// The 16-bit password verifier of sheet protection, as Excel stores it in a binary workbook's
// PASSWORD record and in an OOXML sheet's sheetProtection/@password (hexadecimal).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrisk::formats {

// The verifier of `password` (its first 15 characters count).  Each character stands as its
// single-byte code: exact for ASCII passwords, which are the only ones the lock uses.
std::uint16_t sheetPasswordHash(std::u16string_view password);

// The verifier as four upper-case hexadecimal digits, as the XML attribute holds it.
std::string sheetPasswordHashText(std::u16string_view password);

}  // namespace kovrisk::formats
