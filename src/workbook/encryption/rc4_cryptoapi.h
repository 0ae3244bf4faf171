// RC4 with CryptoAPI key derivation, as binary workbooks use it: a SHA-1 hash of salt and
// password, and from it one 128-bit RC4 key per 1024-byte block of a stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto.h"
#include "workbook/encryption/rc4.h"

namespace kovrisk::encryption {

inline constexpr std::size_t kRc4CryptoApiBlockSize = 1024;
inline constexpr std::size_t kRc4CryptoApiKeyBytes = 16;

// SHA-1 of the salt and the password (UTF-16LE).
std::string rc4CryptoApiPasswordHash(CryptoPrimitives& crypto, std::u16string_view password,
                                     std::string_view salt);

// The key of block `block`: SHA-1 of the password hash and the block number (32 bits,
// little-endian), cut to 128 bits.
std::string rc4CryptoApiBlockKey(CryptoPrimitives& crypto, std::string_view passwordHash,
                                 std::uint32_t block);

// The key stream over a whole stream, keyed anew at every 1024-byte boundary: a byte at stream
// position p is XORed with byte p % 1024 of its block's key stream, whether the bytes before it
// were encrypted or left as they were.
class Rc4CryptoApiStream {
public:
    Rc4CryptoApiStream(CryptoPrimitives& crypto, std::string passwordHash);

    // Encrypts (or decrypts) `bytes[from, to)`, which lie at the same stream positions; `from` is
    // never before the end of the previous call.
    void apply(std::string& bytes, std::size_t from, std::size_t to);

private:
    void moveTo(std::size_t position);

    CryptoPrimitives& crypto_;
    std::string passwordHash_;
    std::optional<Rc4> cipher_;
    std::size_t block_ = 0;
    std::size_t position_ = 0;
};

}  // namespace kovrisk::encryption
