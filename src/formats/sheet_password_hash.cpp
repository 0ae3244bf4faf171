#include "formats/sheet_password_hash.h"

#include <algorithm>

namespace kovrisk::formats {

std::uint16_t sheetPasswordHash(std::u16string_view password) {
    const std::size_t length = std::min<std::size_t>(password.size(), 15);
    std::uint16_t hash = 0;
    // Character i (from 1) is rotated left by i bits within 15 bits, and all are XORed together.
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t shifted = static_cast<std::uint32_t>(password[i] & 0xFF) << (i + 1);
        hash ^= static_cast<std::uint16_t>((shifted & 0x7FFF) | (shifted >> 15));
    }
    hash ^= static_cast<std::uint16_t>(length);
    hash ^= 0xCE4B;
    return hash;
}

std::string sheetPasswordHashText(std::u16string_view password) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::uint16_t hash = sheetPasswordHash(password);
    return {kDigits[hash >> 12], kDigits[(hash >> 8) & 0xF], kDigits[(hash >> 4) & 0xF],
            kDigits[hash & 0xF]};
}

}  // namespace kovrisk::formats
