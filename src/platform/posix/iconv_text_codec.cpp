// Shift-JIS conversion on Linux, through iconv's CP932.

#include "platform/posix/iconv_converter.h"
#include "platform/text_codec.h"
#include "support/shift_jis.h"

namespace kovrisk {

std::string toShiftJis(const NativeString& text) {
    // What Shift-JIS cannot hold, or bytes that are not UTF-8, become "?".
    return IconvConverter("CP932", "UTF-8").convertFromUtf8(text);
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
