// Agile encryption of an Office Open XML package.
#include <cstdint>
#include <string>
#include <vector>

#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "workbook/encryption/agile_encryption_info.h"
#include "workbook/encryption/agile_password_key.h"
#include "workbook/encryption/data_spaces.h"
#include "workbook/encryption/password_check.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk::encryption {

namespace {

constexpr std::uint32_t kSpinCount = 100000;
constexpr std::size_t kSegmentSize = 4096;
constexpr std::size_t kKeyBytes = kAgileKeyBits / 8;
constexpr std::size_t kBlock = CryptoPrimitives::kAesBlockSize;

std::string paddedToBlock(std::string bytes) {
    bytes.resize((bytes.size() + kBlock - 1) / kBlock * kBlock, '\0');
    return bytes;
}

std::string encrypted(CryptoPrimitives& crypto, std::string_view key, std::string_view iv,
                      std::string bytes) {
    std::string data = paddedToBlock(std::move(bytes));
    crypto.aesCbcEncrypt(key, iv.substr(0, kBlock), data);
    return data;
}

// The stream size, then the package in 4096-byte segments, each encrypted with the secret key
// under its own IV: the key data salt hashed with the segment's number.
std::string encryptedPackage(CryptoPrimitives& crypto, std::string_view package,
                             std::string_view secretKey, std::string_view keyDataSalt) {
    std::string out;
    out.reserve(8 + (package.size() + kBlock - 1) / kBlock * kBlock);
    append64(out, package.size());
    std::string segment;
    std::string segmentNumber;
    for (std::size_t at = 0, n = 0; at < package.size(); at += kSegmentSize, ++n) {
        segment.assign(package.substr(at, kSegmentSize));
        segment.resize((segment.size() + kBlock - 1) / kBlock * kBlock, '\0');
        segmentNumber.clear();
        append32(segmentNumber, static_cast<std::uint32_t>(n));
        const std::string iv = crypto.sha512({keyDataSalt, segmentNumber});
        crypto.aesCbcEncrypt(secretKey, std::string_view(iv).substr(0, kBlock), segment);
        out += segment;
    }
    return out;
}

}  // namespace

std::string encryptOoxml(std::string_view package, std::u16string_view password,
                         CryptoPrimitives& crypto) {
    checkPassword(password);
    if (package.substr(0, 4) != std::string_view("PK\x03\x04", 4)) {
        if (looksLikeCompoundFile(package) &&
            readCompoundFile(package).child(u"EncryptionInfo") != nullptr) {
            throw EncryptionRefused(EncryptionRefusal::AlreadyEncrypted,
                                    "the package is encrypted already");
        }
        throw EncryptionRefused(EncryptionRefusal::NotAWorkbookFile, "not a zip package");
    }

    // Random values, drawn in this order.
    AgileDescriptor d;
    d.keyDataSalt = crypto.randomBytes(kAgileSaltSize);
    d.passwordSalt = crypto.randomBytes(kAgileSaltSize);
    const std::string verifierHashInput = crypto.randomBytes(kAgileSaltSize);
    const std::string secretKey = crypto.randomBytes(kKeyBytes);
    const std::string hmacKey = crypto.randomBytes(CryptoPrimitives::kSha512Size);

    std::string packageStream = encryptedPackage(crypto, package, secretKey, d.keyDataSalt);

    // Data integrity: an HMAC of the whole EncryptedPackage stream, its key and value encrypted
    // with the secret key.
    d.encryptedHmacKey = encrypted(crypto, secretKey,
                                   crypto.sha512({d.keyDataSalt, kIntegrityKeyBlockKey}), hmacKey);
    d.encryptedHmacValue =
        encrypted(crypto, secretKey, crypto.sha512({d.keyDataSalt, kIntegrityValueBlockKey}),
                  crypto.hmacSha512(hmacKey, packageStream));

    // The password key encryptor: the verifier and the secret key, each under its own key.
    d.spinCount = kSpinCount;
    const std::string hash = agilePasswordHash(crypto, password, d.passwordSalt, kSpinCount);
    const auto keyFor = [&](std::string_view blockKey) {
        return agilePasswordKey(crypto, hash, blockKey, kKeyBytes);
    };
    d.encryptedVerifierHashInput =
        encrypted(crypto, keyFor(kVerifierInputBlockKey), d.passwordSalt, verifierHashInput);
    d.encryptedVerifierHashValue = encrypted(crypto, keyFor(kVerifierHashBlockKey), d.passwordSalt,
                                             crypto.sha512({verifierHashInput}));
    d.encryptedKeyValue =
        encrypted(crypto, keyFor(kEncryptedKeyBlockKey), d.passwordSalt, secretKey);

    std::vector<CompoundEntry> root;
    root.push_back(strongEncryptionDataSpaces());
    root.push_back(CompoundEntry::stream(u"EncryptionInfo", agileEncryptionInfo(d)));
    root.push_back(CompoundEntry::stream(u"EncryptedPackage", std::move(packageStream)));
    return writeCompoundFile(
        CompoundEntry::storage(std::u16string(kRootEntryName), std::move(root)));
}

}  // namespace kovrisk::encryption
