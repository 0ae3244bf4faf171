// Conversion between the platform's own text and the Shift-JIS bytes the program holds.  Each
// platform links its own implementation.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace kovrisk {

using NativeString = NativePath::string_type;

// A character Shift-JIS cannot hold becomes "?".
std::string toShiftJis(const NativeString& text);
std::string toShiftJis(const NativePath& path);
NativeString fromShiftJis(std::string_view text);

// UTF-16 as Windows' MultiByteToWideChar(932, 0, ...) gives it, for any bytes, whole characters
// or not; what a spreadsheet application receives as a password.
std::u16string shiftJisToUtf16(std::string_view text);

}  // namespace kovrisk
