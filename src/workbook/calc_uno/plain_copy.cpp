#include "workbook/calc_uno/plain_copy.h"

#include <system_error>

#include "platform/native_files.h"
#include "workbook/calc_uno/calc_texts.h"
#include "workbook/workbook_cipher.h"

namespace kovrisk {

PlainCopy::PlainCopy(const NativePath& encryptedFile) : path_(encryptedFile) {
    path_ += ".plain";
}

PlainCopy::~PlainCopy() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void encryptFile(const NativePath& plain, const NativePath& encrypted,
                 const std::string& password) {
    NativeFiles files;
    const std::optional<std::string> bytes = files.readAll(plain);
    if (!bytes)
        throw AutomationError(calc_texts::notLoaded(plain));
    std::string result;
    try {
        result = excelCipher().encrypt(*bytes, password);
    } catch (const std::exception& failure) {
        throw AutomationError(calc_texts::notEncrypted(encrypted, failure.what()));
    }
    if (!files.writeNew(encrypted, result))
        throw AutomationError(calc_texts::notSaved(encrypted));
}

}  // namespace kovrisk
