// The file password: derived from a workbook's file name, never stored.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kovrisk {

// The fixed pad of short stems; also the open password of every backup copy.
inline constexpr std::string_view kBackupPassword = "MIRTHOLAN";

// 32 bytes, zero-filled at the start of every derivation, so it always reads as a
// zero-terminated byte string.
struct PasswordBuffer {
    std::array<unsigned char, 32> bytes{};

    // The bytes up to the first zero byte.
    std::string text() const;
};

// Derives the password of `fileName` (no folder, extension included) into `buffer`.  Returns false
// only when its string handling fails; the buffer must not be used then.
bool fncPwdMake(std::string_view fileName, PasswordBuffer& buffer);

}  // namespace kovrisk
