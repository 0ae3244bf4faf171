#include "workbook/encryption/data_spaces.h"

#include <string>

#include "formats/little_endian.h"

namespace kovrisk::encryption {

namespace {

constexpr std::u16string_view kEncryptedPackage = u"EncryptedPackage";
constexpr std::u16string_view kDataSpaceName = u"StrongEncryptionDataSpace";
constexpr std::u16string_view kTransformName = u"StrongEncryptionTransform";

// A length-prefixed UTF-16 string, padded to a multiple of 4 bytes.
void appendPaddedText(std::string& out, std::u16string_view text) {
    const std::string bytes = utf16LittleEndian(text);
    append32(out, static_cast<std::uint32_t>(bytes.size()));
    out += bytes;
    out.append((4 - bytes.size() % 4) % 4, '\0');
}

// Reader, updater and writer versions: 1.0 each.
void appendVersions(std::string& out) {
    for (int n = 0; n < 3; ++n) {
        append16(out, 1);
        append16(out, 0);
    }
}

std::string versionStream() {
    std::string out;
    appendPaddedText(out, u"Microsoft.Container.DataSpaces");
    appendVersions(out);
    return out;
}

std::string dataSpaceMap() {
    std::string entry;
    append32(entry, 1);  // one reference component:
    append32(entry, 0);  // a stream,
    appendPaddedText(entry, kEncryptedPackage);
    appendPaddedText(entry, kDataSpaceName);
    std::string out;
    append32(out, 8);  // header length
    append32(out, 1);  // one entry
    append32(out, static_cast<std::uint32_t>(entry.size() + 4));
    return out + entry;
}

std::string dataSpaceDefinition() {
    std::string out;
    append32(out, 8);  // header length
    append32(out, 1);  // one transform
    appendPaddedText(out, kTransformName);
    return out;
}

std::string primaryTransform() {
    std::string header;
    append32(header, 1);  // a transform of the password or certificate kind
    appendPaddedText(header, u"{FF9A3F03-56EF-4613-BDD5-5A41C1D07246}");
    std::string out;
    append32(out, static_cast<std::uint32_t>(header.size() + 4));
    out += header;
    appendPaddedText(out, u"Microsoft.Container.EncryptionTransform");
    appendVersions(out);
    appendPaddedText(out, u"");  // no encryption name: the EncryptionInfo stream says it
    append32(out, 0);            // block size
    append32(out, 0);            // cipher mode
    append32(out, 4);            // reserved
    return out;
}

}  // namespace

CompoundEntry strongEncryptionDataSpaces() {
    using Entry = CompoundEntry;
    return Entry::storage(
        u"\x06"
        u"DataSpaces",
        {Entry::stream(u"Version", versionStream()), Entry::stream(u"DataSpaceMap", dataSpaceMap()),
         Entry::storage(u"DataSpaceInfo",
                        {Entry::stream(std::u16string(kDataSpaceName), dataSpaceDefinition())}),
         Entry::storage(u"TransformInfo", {Entry::storage(std::u16string(kTransformName),
                                                          {Entry::stream(u"\x06"
                                                                         u"Primary",
                                                                         primaryTransform())})})});
}

}  // namespace kovrisk::encryption
