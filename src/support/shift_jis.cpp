#include "support/shift_jis.h"

namespace kovrisk {

char asciiUpper(char byte) {
    return (byte >= 'a' && byte <= 'z') ? char(byte - 'a' + 'A') : byte;
}

char asciiLower(char byte) {
    return (byte >= 'A' && byte <= 'Z') ? char(byte - 'A' + 'a') : byte;
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

std::string trimControl(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string_view fileNamePart(std::string_view path, PathStyle style) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (isLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte belongs to this character
            continue;
        }
        const bool separator = style == PathStyle::Windows
                                   ? (byte == '\\' || byte == '/' || byte == ':')
                                   : byte == '/';
        if (separator)
            start = i + 1;
    }
    return path.substr(start);
}

std::string_view extensionOf(std::string_view fileName) {
    // "." (0x2E) is never a trail byte, so a plain search from the end is safe.
    const auto dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : fileName.substr(dot);
}

}  // namespace kovrisk
