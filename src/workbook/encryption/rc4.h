// The RC4 stream cipher, which the encryption of binary workbooks uses.  Encryption and decryption
// are the same operation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kovrisk::encryption {

class Rc4 {
public:
    // `key` holds 1 to 256 bytes.
    explicit Rc4(std::string_view key);

    // XORs the next `length` bytes of the key stream into `data` from `offset` on.
    void apply(std::string& data, std::size_t offset, std::size_t length);
    // Moves the key stream on by `count` bytes without using them.
    void skip(std::size_t count);

private:
    std::uint8_t next();

    std::array<std::uint8_t, 256> state_{};
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

}  // namespace kovrisk::encryption
