// Compares the Linux conversion shiftJisToUtf16 with what Windows' MultiByteToWideChar(932, 0, ...)
// gave for the same inputs (the file kovrisk_cp932_dump wrote under Windows or wine).  Prints
// every difference (up to a limit) and the counts; exits 1 on any difference.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text_codec.h"

namespace {

std::string hexBytes(const std::string& bytes) {
    std::string text;
    char part[4];
    for (unsigned char b : bytes) {
        std::snprintf(part, sizeof part, "%02X ", b);
        text += part;
    }
    return text;
}

std::string hexUnits(const std::u16string& units) {
    std::string text;
    char part[8];
    for (char16_t u : units) {
        std::snprintf(part, sizeof part, "%04X ", static_cast<unsigned>(u));
        text += part;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cp932_compare DUMP\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    std::size_t at = 0;
    auto take = [&](int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint32_t>(data.at(at++)) << (8 * i);
        return value;
    };
    std::size_t cases = 0;
    std::size_t differences = 0;
    while (at < data.size()) {
        const std::uint32_t inputLength = take(2);
        std::string input(data.begin() + static_cast<std::ptrdiff_t>(at),
                          data.begin() + static_cast<std::ptrdiff_t>(at + inputLength));
        at += inputLength;
        std::u16string expected(take(4), u'\0');
        for (char16_t& unit : expected)
            unit = static_cast<char16_t>(take(2));
        const std::u16string actual = kovrisk::shiftJisToUtf16(input);
        ++cases;
        if (actual != expected) {
            if (++differences <= 60) {
                std::printf("differs: input %s: windows %s, linux %s\n", hexBytes(input).c_str(),
                            hexUnits(expected).c_str(), hexUnits(actual).c_str());
            }
        }
    }
    std::printf("cp932: %zu inputs compared with MultiByteToWideChar(932), %zu differ\n", cases,
                differences);
    return cases > 65536 && differences == 0 ? 0 : 1;
}
