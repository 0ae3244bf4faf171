// Shift-JIS to UTF-16 the way Windows' MultiByteToWideChar(932, 0, ...) converts it, whole
// characters or not: a lead byte takes the byte after it unless that is a zero byte, and a pair
// or a byte without a mapping becomes U+30FB, the code page's default character.
#include "platform/posix/iconv_converter.h"
#include "platform/text_codec.h"
#include "support/shift_jis.h"

namespace kovrisk {

namespace {

constexpr char16_t kDefaultCharacter = 0x30FB;

// One character through iconv's CP932; 0 when it has no mapping.
char16_t convertOne(IconvConverter& converter, std::string_view bytes) {
    std::string utf16;
    if (!converter.convert(bytes, utf16) || utf16.size() != 2)
        return 0;
    return static_cast<char16_t>(static_cast<unsigned char>(utf16[0]) |
                                 static_cast<unsigned char>(utf16[1]) << 8);
}

char16_t singleByte(IconvConverter& converter, unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte == 0x80)
        return 0x0080;
    if (byte == 0xA0)
        return 0xF8F0;
    if (byte >= 0xFD)
        return static_cast<char16_t>(0xF8F1 + (byte - 0xFD));
    const char c = static_cast<char>(byte);
    const char16_t mapped = convertOne(converter, std::string_view(&c, 1));
    return mapped != 0 ? mapped : kDefaultCharacter;
}

}  // namespace

std::u16string shiftJisToUtf16(std::string_view text) {
    IconvConverter converter("UTF-16LE", "CP932");
    std::u16string output;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // A zero byte is never a trail byte: the lead byte alone becomes the default character.
        if (isLeadByte(byte) && i + 1 < text.size() && text[i + 1] != '\0') {
            const char16_t mapped = convertOne(converter, text.substr(i, 2));
            output += mapped != 0 ? mapped : kDefaultCharacter;
            ++i;
        } else if (isLeadByte(byte)) {
            output += kDefaultCharacter;
        } else {
            output += singleByte(converter, byte);
        }
    }
    return output;
}

}  // namespace kovrisk
