// Text between the program (Shift-JIS bytes, native paths) and UNO (UTF-16).
#pragma once

#include <rtl/ustring.hxx>

#include <string>
#include <string_view>

#include "platform/files.h"

namespace kovrisk {

// Shift-JIS to UTF-16 as Windows converts code page 932, for any bytes: the same file name gives
// the same password, sheet name or cell text on every platform.
rtl::OUString toUno(std::string_view shiftJis);
// UTF-16 to Shift-JIS; what Shift-JIS cannot hold becomes "?".
std::string fromUno(const rtl::OUString& text);
// The file URL of `path` (made absolute), every byte outside the unreserved set percent-encoded.
rtl::OUString fileUrl(const NativePath& path);

}  // namespace kovrisk
