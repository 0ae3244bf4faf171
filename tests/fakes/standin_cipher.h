// Encryption of the stand-in application's own workbook files, as strict as the real cipher:
// what is no workbook, a workbook that has a password already and an older binary format are
// refused; otherwise the file is the same workbook with `password` as its open password.
#pragma once

#include <optional>

#include "fakes/standin_workbook_file.h"
#include "platform/crypto.h"
#include "workbook/encryption/encryption_refusal.h"
#include "workbook/workbook_cipher.h"

namespace kovrisk::testing {

class StandinCipher : public WorkbookCipher {
public:
    std::string encrypt(std::string_view file, const std::string& password) override {
        using encryption::EncryptionRefusal;
        using encryption::EncryptionRefused;
        if (refusal)
            throw EncryptionRefused(*refusal, "refused as asked");
        if (failing)
            throw CryptoFailure("failing as asked");
        StandinWorkbook book;
        try {
            book = parseStandinWorkbook(file, "workbook");
        } catch (const AutomationError&) {
            throw EncryptionRefused(EncryptionRefusal::NotAWorkbookFile, "no workbook");
        }
        if (!book.openPassword.empty())
            throw EncryptionRefused(EncryptionRefusal::AlreadyEncrypted, "encrypted already");
        if (book.format != "xls" && book.format != "xlsx" && book.format != "xlsm")
            throw EncryptionRefused(EncryptionRefusal::OlderBinaryFormat, "older format");
        if (password.empty())
            throw EncryptionRefused(EncryptionRefusal::UnsuitablePassword, "empty password");
        book.openPassword = password;
        ++encrypted;
        return standinWorkbookFile(book);
    }

    int encrypted = 0;
    // Every file is refused for this reason.
    std::optional<encryption::EncryptionRefusal> refusal;
    // Every encryption fails as a failing primitive does.
    bool failing = false;
};

}  // namespace kovrisk::testing
