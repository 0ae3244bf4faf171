#include "platform/posix/iconv_converter.h"

#include <cerrno>
#include <stdexcept>

namespace kovrisk {

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

}  // namespace kovrisk
