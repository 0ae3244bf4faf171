// Shift-JIS conversion on Linux, through iconv's CP932.
#include <algorithm>

#include "platform/posix/iconv_converter.h"
#include "platform/text_codec.h"
#include "support/shift_jis.h"

namespace kovrisk {

namespace {

// Length of the UTF-8 sequence that starts with `lead`, 1 for a stray byte.
std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::string toShiftJis(const NativeString& text) {
    IconvConverter converter("CP932", "UTF-8");
    std::string output;
    std::string_view input(text);
    while (!converter.convert(input, output)) {
        // What Shift-JIS cannot hold, or bytes that are not UTF-8, become "?".
        output += '?';
        const std::size_t skip = std::min(input.size(), utf8Length(input.front()));
        input.remove_prefix(std::max<std::size_t>(skip, 1));
    }
    return output;
}

std::string toShiftJis(const NativePath& path) { return toShiftJis(path.native()); }

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
