// The cipher's entry point on any bytes, as the backup copy reaches it: the file's own bytes tell
// its kind (compound file, zip package, neither) and it is encrypted or refused with
// EncryptionRefused.  Any other exception escaping is a fault: the caller handles refusals only.
#include <cstdint>
#include <string_view>

#include "workbook/encryption/encryption_refusal.h"
#include "workbook/workbook_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    try {
        kovrisk::excelCipher().encrypt(file, "MIRTHOLAN");
    } catch (const kovrisk::encryption::EncryptionRefused&) {
    }
    return 0;
}
