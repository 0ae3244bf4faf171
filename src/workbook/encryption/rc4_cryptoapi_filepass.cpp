#include "workbook/encryption/rc4_cryptoapi_filepass.h"

#include <cstdint>

#include "formats/little_endian.h"

namespace kovrisk::encryption {

namespace {

constexpr std::uint32_t kCryptoApiFlag = 0x04;
constexpr std::uint32_t kDocumentPropertiesInClearFlag = 0x08;
constexpr std::uint32_t kRc4 = 0x6801;
constexpr std::uint32_t kSha1 = 0x8004;
constexpr std::uint32_t kRsaFullProvider = 1;

}  // namespace

std::string rc4CryptoApiFilePass(std::string_view salt, std::string_view encryptedVerifier,
                                 std::string_view encryptedVerifierHash) {
    const std::uint32_t flags = kCryptoApiFlag | kDocumentPropertiesInClearFlag;
    std::string header;
    append32(header, flags);
    append32(header, 0);  // no extra size
    append32(header, kRc4);
    append32(header, kSha1);
    append32(header, 128);  // key bits
    append32(header, kRsaFullProvider);
    append32(header, 0);
    append32(header, 0);
    header += utf16LittleEndian(u"Microsoft Enhanced Cryptographic Provider v1.0");
    append16(header, 0);

    std::string out;
    append16(out, 1);  // RC4 rather than XOR obfuscation
    append16(out, 4);  // header version 4.2
    append16(out, 2);
    append32(out, flags);
    append32(out, static_cast<std::uint32_t>(header.size()));
    out += header;
    append32(out, static_cast<std::uint32_t>(salt.size()));
    out += salt;
    out += encryptedVerifier;
    append32(out, static_cast<std::uint32_t>(encryptedVerifierHash.size()));
    out += encryptedVerifierHash;
    return out;
}

}  // namespace kovrisk::encryption
