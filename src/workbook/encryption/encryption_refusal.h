// Why a workbook file cannot be encrypted.
#pragma once

#include <stdexcept>
#include <string>

namespace kovrisk::encryption {

enum class EncryptionRefusal {
    // The bytes are no compound file (a binary workbook) or no zip package (an .xlsx).
    NotAWorkbookFile,
    // A compound file whose sectors, chains or directory do not hold together.
    DamagedCompoundFile,
    // A binary workbook of Excel 95 or older (BIFF5 and before): the caller falls back.
    OlderBinaryFormat,
    // The workbook stream's records do not hold together.
    DamagedWorkbookStream,
    // The workbook is encrypted already.
    AlreadyEncrypted,
    // The password is empty or longer than 255 UTF-16 units.
    UnsuitablePassword,
};

class EncryptionRefused : public std::runtime_error {
public:
    EncryptionRefused(EncryptionRefusal reason, const std::string& what)
        : std::runtime_error(what), reason_(reason) {}
    EncryptionRefusal reason() const { return reason_; }

private:
    EncryptionRefusal reason_;
};

}  // namespace kovrisk::encryption
