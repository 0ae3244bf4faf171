#include "workbook/encryption/rc4_cryptoapi.h"

#include <stdexcept>

#include "formats/little_endian.h"

namespace kovrisk::encryption {

std::string rc4CryptoApiPasswordHash(CryptoPrimitives& crypto, std::u16string_view password,
                                     std::string_view salt) {
    return crypto.sha1({salt, utf16LittleEndian(password)});
}

std::string rc4CryptoApiBlockKey(CryptoPrimitives& crypto, std::string_view passwordHash,
                                 std::uint32_t block) {
    std::string number;
    append32(number, block);
    return crypto.sha1({passwordHash, number}).substr(0, kRc4CryptoApiKeyBytes);
}

Rc4CryptoApiStream::Rc4CryptoApiStream(CryptoPrimitives& crypto, std::string passwordHash)
    : crypto_(crypto), passwordHash_(std::move(passwordHash)) {}

void Rc4CryptoApiStream::moveTo(std::size_t position) {
    if (position < position_)
        throw std::logic_error("RC4 key stream cannot go back");
    const std::size_t block = position / kRc4CryptoApiBlockSize;
    if (!cipher_ || block != block_) {
        block_ = block;
        cipher_.emplace(
            rc4CryptoApiBlockKey(crypto_, passwordHash_, static_cast<std::uint32_t>(block)));
        position_ = block * kRc4CryptoApiBlockSize;
    }
    cipher_->skip(position - position_);
    position_ = position;
}

void Rc4CryptoApiStream::apply(std::string& bytes, std::size_t from, std::size_t to) {
    while (from < to) {
        moveTo(from);
        const std::size_t blockEnd = (block_ + 1) * kRc4CryptoApiBlockSize;
        const std::size_t end = std::min(to, blockEnd);
        cipher_->apply(bytes, from, end - from);
        position_ = end;
        from = end;
    }
}

}  // namespace kovrisk::encryption
