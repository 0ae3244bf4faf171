#include "workbook/calc_uno/uno_text.h"

#include <rtl/textenc.h>
#include <rtl/string.hxx>

#include "platform/text_codec.h"

namespace kovrisk {

rtl::OUString toUno(std::string_view shiftJis) {
    const std::u16string utf16 = shiftJisToUtf16(shiftJis);
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(utf16.data()),
                         static_cast<sal_Int32>(utf16.size()));
}

std::string fromUno(const rtl::OUString& text) {
    const rtl::OString utf8 = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return toShiftJis(NativeString(utf8.getStr(), static_cast<std::size_t>(utf8.getLength())));
}

rtl::OUString fileUrl(const NativePath& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    const NativePath full = std::filesystem::absolute(path).lexically_normal();
    for (const char c : full.native()) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '/' || byte == '-' ||
                           byte == '.' || byte == '_' || byte == '~';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0x0F];
        }
    }
    return rtl::OUString::createFromAscii(url.c_str());
}

}  // namespace kovrisk
