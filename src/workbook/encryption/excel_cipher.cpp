#include "formats/compound_file_reader.h"
#include "platform/crypto.h"
#include "platform/text_codec.h"
#include "workbook/encryption/workbook_encryption.h"
#include "workbook/workbook_cipher.h"

namespace kovrisk {

namespace {

constexpr std::string_view kPackageSignature{"PK\x03\x04", 4};

class ExcelCipher : public WorkbookCipher {
public:
    std::string encrypt(std::string_view file, const std::string& password) override {
        const std::u16string unicode = shiftJisToUtf16(password);
        const std::unique_ptr<CryptoPrimitives> crypto = nativeCryptoPrimitives();
        // The file's own bytes tell its format, whatever its name says.
        try {
            if (encryption::looksLikeCompoundFile(file))
                return encryption::encryptBiff8(file, unicode, *crypto);
            if (file.starts_with(kPackageSignature))
                return encryption::encryptOoxml(file, unicode, *crypto);
        } catch (const encryption::EncryptionRefused&) {
            throw;
        } catch (const CryptoFailure&) {
            throw;
        } catch (const std::exception& failure) {
            // Whatever else the file's bytes made fail (memory asked for by a hostile size, say)
            // is a file that cannot be encrypted, and is refused as one.
            throw encryption::EncryptionRefused(encryption::EncryptionRefusal::DamagedCompoundFile,
                                                failure.what());
        }
        throw encryption::EncryptionRefused(encryption::EncryptionRefusal::NotAWorkbookFile,
                                            "neither a package nor a compound file");
    }
};

}  // namespace

WorkbookCipher& excelCipher() {
    // Holds nothing: the primitives are made for each file.
    static ExcelCipher cipher;
    return cipher;
}

}  // namespace kovrisk
