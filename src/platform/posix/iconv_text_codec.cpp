// Shift-JIS conversion on Linux, through iconv's CP932.

#include "platform/posix/iconv_converter.h"
#include "platform/text_codec.h"
#include "support/shift_jis.h"

namespace kovrisk {

namespace {

// Length of the whole UTF-8 character at the start of `text`, or 1 for a byte that starts none.
std::size_t characterLength(std::string_view text) {
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

std::string toShiftJis(const NativeString& text) {
    IconvConverter converter("CP932", "UTF-8");
    std::string output;
    std::string_view input(text);
    while (!converter.convert(input, output)) {
        // What Shift-JIS cannot hold, or bytes that are not UTF-8, become "?".
        output += '?';
        input.remove_prefix(characterLength(input));
    }
    return output;
}

std::string toShiftJis(const NativePath& path) {
    return toShiftJis(path.native());
}

NativeString fromShiftJis(std::string_view text) {
    IconvConverter converter("UTF-8", "CP932");
    std::string output;
    while (!converter.convert(text, output)) {
        output += '?';
        const bool pair = isLeadByte(static_cast<unsigned char>(text.front())) && text.size() > 1;
        text.remove_prefix(pair ? 2 : 1);
    }
    return output;
}

}  // namespace kovrisk
