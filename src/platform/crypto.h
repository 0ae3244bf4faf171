// The cryptographic primitives the workbook encryption is written against.  Each platform links
// its own implementation (OpenSSL's libcrypto on Linux, CNG on Windows); tests may wrap it.
//
// Bytes are held in std::string / std::string_view, as the rest of the program holds file
// contents.  A failure of the underlying library (which should never happen for valid
// arguments) throws CryptoFailure.
#pragma once

#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kovrisk {

class CryptoFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CryptoPrimitives {
public:
    static constexpr std::size_t kAesBlockSize = 16;
    static constexpr std::size_t kSha1Size = 20;
    static constexpr std::size_t kSha512Size = 64;

    virtual ~CryptoPrimitives() = default;

    // AES in CBC mode without padding, in place: `key` holds 16 or 32 bytes, `iv` 16, and
    // `data` a whole number of 16-byte blocks.  Throws std::invalid_argument otherwise.
    virtual void aesCbcEncrypt(std::string_view key, std::string_view iv, std::string& data) = 0;
    // The digest of the parts' concatenation.
    virtual std::string sha1(std::initializer_list<std::string_view> parts) = 0;
    virtual std::string sha512(std::initializer_list<std::string_view> parts) = 0;
    virtual std::string hmacSha512(std::string_view key, std::string_view data) = 0;
    // `count` bytes from the platform's cryptographically secure generator.
    virtual std::string randomBytes(std::size_t count) = 0;
};

// The primitives of the platform the program runs on.
std::unique_ptr<CryptoPrimitives> nativeCryptoPrimitives();

}  // namespace kovrisk
