// The FILEPASS record of a binary workbook encrypted with RC4 CryptoAPI, as Excel writes it:
// encryption type 1, header version 4.2, flags fCryptoAPI | fDocProps (document properties stay
// unencrypted), RC4 with SHA-1, a 128-bit key, the "Microsoft Enhanced Cryptographic Provider
// v1.0", then the salt and the encrypted password verifier.
#pragma once

#include <string>
#include <string_view>

namespace kovrisk::encryption {

inline constexpr std::size_t kRc4CryptoApiSaltSize = 16;
inline constexpr std::size_t kRc4CryptoApiVerifierSize = 16;

// The record's data (without the record header).
std::string rc4CryptoApiFilePass(std::string_view salt, std::string_view encryptedVerifier,
                                 std::string_view encryptedVerifierHash);

}  // namespace kovrisk::encryption
