#include "workbook/encryption/base64.h"

#include <cstdint>

namespace kovrisk::encryption {

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t n = 0; n < bytes.size(); n += 3) {
        const std::size_t left = bytes.size() - n;
        std::uint32_t group = static_cast<std::uint8_t>(bytes[n]) << 16;
        if (left > 1)
            group |= static_cast<std::uint8_t>(bytes[n + 1]) << 8;
        if (left > 2)
            group |= static_cast<std::uint8_t>(bytes[n + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

}  // namespace kovrisk::encryption
