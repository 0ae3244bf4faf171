// The checksum Excel keeps of a binary workbook's cell formats (XFCRC), the CRC of the Office
// shared formats: polynomial 0xAF, most significant bit first, from 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace kovrisk::formats {

// `crc` carried on over `bytes`.
std::uint32_t xfChecksum(std::uint32_t crc, std::string_view bytes);

}  // namespace kovrisk::formats
