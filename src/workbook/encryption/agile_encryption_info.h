// The "EncryptionInfo" stream of agile encryption: version 4.4, then the XML descriptor in the
// form Excel writes it (AES-256-CBC, SHA-512, one password key encryptor).
#pragma once

#include <cstdint>
#include <string>

namespace kovrisk::encryption {

struct AgileDescriptor {
    std::string keyDataSalt;
    std::string encryptedHmacKey;
    std::string encryptedHmacValue;
    std::uint32_t spinCount = 0;
    std::string passwordSalt;
    std::string encryptedVerifierHashInput;
    std::string encryptedVerifierHashValue;
    std::string encryptedKeyValue;
};

inline constexpr std::size_t kAgileSaltSize = 16;
inline constexpr std::size_t kAgileKeyBits = 256;

std::string agileEncryptionInfo(const AgileDescriptor& descriptor);

}  // namespace kovrisk::encryption
