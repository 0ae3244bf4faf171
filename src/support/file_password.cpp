#include "support/file_password.h"

#include <algorithm>
#include <new>

#include "support/shift_jis.h"

namespace kovrisk {

namespace {
constexpr std::size_t kStemLimit = 15;
constexpr std::size_t kLongStem = 10;
}  // namespace

std::string PasswordBuffer::text() const {
    const auto end = std::find(bytes.begin(), bytes.end(), 0);
    return std::string(bytes.begin(), end);
}

bool fncPwdMake(std::string_view fileName, PasswordBuffer& buffer) {
    buffer.bytes.fill(0);
    try {
        const std::string_view extension = extensionOf(fileName);
        std::string_view stem = fileName.substr(0, fileName.size() - extension.size());
        stem = stem.substr(0, std::min(stem.size(), kStemLimit));

        std::string key;
        if (stem.size() >= kLongStem) {
            key = std::string(stem);
        } else {
            key = std::string(kBackupPassword) + std::string(stem);
            key.resize(std::min(key.size(), kStemLimit));
        }

        std::size_t i = 0;
        for (const char c : key) {
            const auto byte = static_cast<unsigned char>(c);
            buffer.bytes[i++] = static_cast<unsigned char>((byte << 1) & 0xFF) ^ 0xFF;
        }
        return true;
    } catch (const std::bad_alloc&) {
        buffer.bytes.fill(0);
        return false;
    }
}

}  // namespace kovrisk
