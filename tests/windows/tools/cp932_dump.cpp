// Writes what Windows' MultiByteToWideChar(932, 0, ...) makes of every single byte, every byte
// pair and a run of random byte strings, so that the Linux conversion can be compared with it.
//
// File format, one record per input, all numbers little-endian:
//   u16 input length, the input bytes, u32 output length (UTF-16 units), the output units.
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

void put(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void record(std::vector<unsigned char>& out, const std::string& input) {
    const int needed =
        ::MultiByteToWideChar(932, 0, input.data(), static_cast<int>(input.size()), nullptr, 0);
    std::wstring output(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        ::MultiByteToWideChar(932, 0, input.data(), static_cast<int>(input.size()), output.data(),
                              needed);
    }
    put(out, static_cast<std::uint32_t>(input.size()), 2);
    out.insert(out.end(), input.begin(), input.end());
    put(out, static_cast<std::uint32_t>(output.size()), 4);
    for (wchar_t unit : output)
        put(out, static_cast<std::uint16_t>(unit), 2);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cp932_dump OUTPUT RANDOM-STRINGS\n");
        return 2;
    }
    const int randomCount = _wtoi(argv[2]);
    std::vector<unsigned char> out;
    for (int b = 0; b < 256; ++b)
        record(out, std::string(1, static_cast<char>(b)));
    for (int lead = 0; lead < 256; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            record(out, std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    // Random strings, rich in lead bytes and in the bytes that follow them.
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> length(1, 24);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int i = 0; i < randomCount; ++i) {
        std::string input;
        const int n = length(random);
        for (int j = 0; j < n; ++j)
            input += static_cast<char>(anyByte(random));
        record(out, input);
    }
    FILE* file = _wfopen(argv[1], L"wb");
    if (file == nullptr)
        return 1;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}
