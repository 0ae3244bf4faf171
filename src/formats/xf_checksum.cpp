#include "formats/xf_checksum.h"

#include <array>

namespace kovrisk::formats {

namespace {

constexpr std::array<std::uint32_t, 256> table() {
    std::array<std::uint32_t, 256> cache{};
    for (std::uint32_t index = 0; index < 256; ++index) {
        std::uint32_t value = index << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ 0xAFu : value << 1;
        cache[index] = value;
    }
    return cache;
}

constexpr std::array<std::uint32_t, 256> kCache = table();

}  // namespace

std::uint32_t xfChecksum(std::uint32_t crc, std::string_view bytes) {
    for (const char byte : bytes)
        crc = (crc << 8) ^ kCache[(crc >> 24) ^ static_cast<std::uint8_t>(byte)];
    return crc;
}

}  // namespace kovrisk::formats
