#include "workbook/encryption/agile_password_key.h"

#include "formats/little_endian.h"

namespace kovrisk::encryption {

std::string agilePasswordHash(CryptoPrimitives& crypto, std::u16string_view password,
                              std::string_view salt, std::uint32_t spinCount) {
    std::string hash = crypto.sha512({salt, utf16LittleEndian(password)});
    std::string round;
    for (std::uint32_t n = 0; n < spinCount; ++n) {
        round.clear();
        append32(round, n);
        hash = crypto.sha512({round, hash});
    }
    return hash;
}

std::string agilePasswordKey(CryptoPrimitives& crypto, std::string_view passwordHash,
                             std::string_view blockKey, std::size_t keyBytes) {
    std::string key = crypto.sha512({passwordHash, blockKey});
    key.resize(keyBytes, '\x36');
    return key;
}

}  // namespace kovrisk::encryption
