// The keys that agile encryption derives from a password: a salted SHA-512 hash iterated a spin
// count of times, then one hash more per purpose ("block key").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/crypto.h"

namespace kovrisk::encryption {

// The purposes a password key serves, as agile encryption names them by 8-byte block keys.
inline constexpr std::string_view kVerifierInputBlockKey{"\xFE\xA7\xD2\x76\x3B\x4B\x9E\x79", 8};
inline constexpr std::string_view kVerifierHashBlockKey{"\xD7\xAA\x0F\x6D\x30\x61\x34\x4E", 8};
inline constexpr std::string_view kEncryptedKeyBlockKey{"\x14\x6E\x0B\xE7\xAB\xAC\xD0\xD6", 8};
// And the two initialisation vectors of the data integrity check.
inline constexpr std::string_view kIntegrityKeyBlockKey{"\x5F\xB2\xAD\x01\x0C\xB9\xE1\xF6", 8};
inline constexpr std::string_view kIntegrityValueBlockKey{"\xA0\x67\x7F\x02\xB2\x2C\x84\x33", 8};

// SHA-512 of salt and password (UTF-16LE), then `spinCount` times SHA-512 of the round number
// (32 bits, little-endian) and the previous hash.
std::string agilePasswordHash(CryptoPrimitives& crypto, std::u16string_view password,
                              std::string_view salt, std::uint32_t spinCount);

// SHA-512 of the password hash and the block key, cut to (or padded with 0x36 to) `keyBytes`.
std::string agilePasswordKey(CryptoPrimitives& crypto, std::string_view passwordHash,
                             std::string_view blockKey, std::size_t keyBytes);

}  // namespace kovrisk::encryption
