// The passwords both encryptions accept.
#pragma once

#include <string>

#include "workbook/encryption/encryption_refusal.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk::encryption {

inline void checkPassword(std::u16string_view password) {
    if (password.empty() || password.size() > kMaxPasswordUnits) {
        throw EncryptionRefused(EncryptionRefusal::UnsuitablePassword,
                                "password of 1 to 255 characters expected");
    }
}

}  // namespace kovrisk::encryption
