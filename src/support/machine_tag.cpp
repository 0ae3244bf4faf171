#include "support/machine_tag.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "support/shift_jis.h"

namespace kovrisk {

namespace {

constexpr std::size_t kDecodeArea = 128;
constexpr std::size_t kFillerCount = 9;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string fncRandChr(Clock& clock) {
    // The count is read as a signed 32-bit number.  Its sign never counts as a digit: close to
    // the wrap-around the number is short ("-1") and the digits are read as if it were positive.
    const auto ticks = static_cast<std::int64_t>(static_cast<std::int32_t>(clock.tickCount()));
    const std::string decimal = std::to_string(ticks < 0 ? -ticks : ticks);
    // A position in front of the first digit reads the first digit.
    auto digitFromEnd = [&decimal](std::size_t back) {
        const std::size_t size = decimal.size();
        return decimal[size > back ? size - 1 - back : 0] - '0';
    };
    const int units = digitFromEnd(0);
    const int tens = digitFromEnd(1);
    const int hundreds = digitFromEnd(2);
    if (units % 2 == 1)
        return std::string(1, char('k' + tens));
    if (units == 0)
        return "z";
    return std::string(1, char('a' + hundreds));
}

std::string fncPcNameEnc(std::string_view name, Clock& clock) {
    std::string plain = "X";
    for (int k = 1; k <= static_cast<int>(kFillerCount); ++k) {
        clock.sleep(std::chrono::milliseconds(k));
        plain += fncRandChr(clock).front();
    }
    for (std::size_t i = name.size(); i >= 1; --i) {
        const char byte = name[i - 1];
        plain += (i % 2 == 1) ? asciiLower(byte) : asciiUpper(byte);
    }
    std::string tag;
    tag.reserve(plain.size() * 2);
    for (const char p : plain) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%.2x", static_cast<unsigned char>(p) ^ 0xFF);
        tag += digits;
    }
    return asciiUpper(tag);
}

std::string fncPcNameDec(std::string_view tag) {
    std::array<unsigned char, kDecodeArea> area{};
    const std::size_t digits = std::min(tag.size(), kDecodeArea * 2);
    for (std::size_t i = 1; i <= digits; ++i) {
        const int value = hexValue(asciiUpper(tag[i - 1]));
        if (value < 0)
            continue;
        if (i % 2 == 1) {
            area[(i - 1) / 2] |= static_cast<unsigned char>(value * 16);
        } else {
            area[i / 2 - 1] |= static_cast<unsigned char>(value);
        }
    }
    std::string plain;
    for (const unsigned char b : area) {
        if (b == 0)
            break;
        const auto q = static_cast<unsigned char>(b ^ 0xFF);
        if (q != 0)
            plain += static_cast<char>(q);
    }
    if (plain.size() <= 10)
        return {};
    std::string name = plain.substr(10);
    std::reverse(name.begin(), name.end());
    return asciiUpper(name);
}

}  // namespace kovrisk
