// Little-endian integers in byte strings, as every structure of the workbook file formats holds
// them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrisk::encryption {

inline void appendLittleEndian(std::string& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void append16(std::string& out, std::uint16_t value) {
    appendLittleEndian(out, value, 2);
}
inline void append32(std::string& out, std::uint32_t value) {
    appendLittleEndian(out, value, 4);
}
inline void append64(std::string& out, std::uint64_t value) {
    appendLittleEndian(out, value, 8);
}

inline void storeLittleEndian(std::string& out, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void store16(std::string& out, std::size_t at, std::uint16_t value) {
    storeLittleEndian(out, at, value, 2);
}
inline void store32(std::string& out, std::size_t at, std::uint32_t value) {
    storeLittleEndian(out, at, value, 4);
}

// The caller checks that `at + size` lies inside `in`.
inline std::uint64_t loadLittleEndian(std::string_view in, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}
inline std::uint16_t load16(std::string_view in, std::size_t at) {
    return static_cast<std::uint16_t>(loadLittleEndian(in, at, 2));
}
inline std::uint32_t load32(std::string_view in, std::size_t at) {
    return static_cast<std::uint32_t>(loadLittleEndian(in, at, 4));
}
inline std::uint64_t load64(std::string_view in, std::size_t at) {
    return loadLittleEndian(in, at, 8);
}

// UTF-16 text as the file formats store it: little-endian code units, no terminator.
inline std::string utf16LittleEndian(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text)
        append16(out, unit);
    return out;
}

}  // namespace kovrisk::encryption
