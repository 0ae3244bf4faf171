// Bytes written as hexadecimal digits, for test vectors.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kovrisk::testing {

inline std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// Spaces are ignored.
inline std::string unhex(std::string_view digits) {
    std::string out;
    int high = -1;
    for (const char c : digits) {
        if (c == ' ')
            continue;
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : throw std::invalid_argument("not hex");
        if (high < 0) {
            high = value;
        } else {
            out += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    return out;
}

}  // namespace kovrisk::testing
