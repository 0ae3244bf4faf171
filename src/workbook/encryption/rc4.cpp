#include "workbook/encryption/rc4.h"

#include <stdexcept>
#include <utility>

namespace kovrisk::encryption {

Rc4::Rc4(std::string_view key) {
    if (key.empty() || key.size() > 256)
        throw std::invalid_argument("RC4 key of 1 to 256 bytes expected");
    for (std::size_t n = 0; n < state_.size(); ++n)
        state_[n] = static_cast<std::uint8_t>(n);
    std::uint8_t j = 0;
    for (std::size_t n = 0; n < state_.size(); ++n) {
        j = static_cast<std::uint8_t>(j + state_[n] +
                                      static_cast<std::uint8_t>(key[n % key.size()]));
        std::swap(state_[n], state_[j]);
    }
}

std::uint8_t Rc4::next() {
    i_ = static_cast<std::uint8_t>(i_ + 1);
    j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
    std::swap(state_[i_], state_[j_]);
    return state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
}

void Rc4::apply(std::string& data, std::size_t offset, std::size_t length) {
    for (std::size_t n = offset; n < offset + length; ++n)
        data[n] = static_cast<char>(static_cast<std::uint8_t>(data[n]) ^ next());
}

void Rc4::skip(std::size_t count) {
    for (std::size_t n = 0; n < count; ++n)
        next();
}

}  // namespace kovrisk::encryption
