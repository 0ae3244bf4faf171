// What no spreadsheet application opens.
#pragma once

#include <cstdint>

namespace kovrisk {

// Files larger than this are opened by no spreadsheet application (a binary workbook's container
// ends at 2 GiB, and Excel gives up on packages long before).
inline constexpr std::uintmax_t kLargestWorkbook = std::uintmax_t{2} << 30;

}  // namespace kovrisk
