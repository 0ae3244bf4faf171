#include "platform/posix/iconv_converter.h"

#include <cerrno>
#include <stdexcept>

namespace kovrisk {

namespace {

// Length of the whole UTF-8 character at the start of `text`, or 1 for a byte that starts none.
std::size_t utf8CharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead > 0xF4 || length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

}  // namespace

IconvConverter::IconvConverter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
    }
}

IconvConverter::~IconvConverter() {
    ::iconv_close(cd_);
}

bool IconvConverter::convert(std::string_view& input, std::string& output) {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    bool whole = true;
    while (inLeft > 0) {
        char buffer[256];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(cd_, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            whole = false;
            break;
        }
    }
    input = std::string_view(in, inLeft);
    return whole;
}

std::string IconvConverter::convertFromUtf8(std::string_view utf8) {
    std::string output;
    while (!convert(utf8, output)) {
        output += '?';
        utf8.remove_prefix(utf8CharacterLength(utf8));
    }
    return output;
}

}  // namespace kovrisk
