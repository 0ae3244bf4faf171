#include "workbook/encryption/agile_encryption_info.h"

#include "formats/little_endian.h"
#include "workbook/encryption/base64.h"

namespace kovrisk::encryption {

namespace {

// The cipher and hash attributes that the key data and the password key encryptor share.
std::string cipherAttributes(std::string_view salt) {
    return "saltSize=\"16\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" "
           "cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" "
           "saltValue=\"" +
           base64(salt) + "\"";
}

}  // namespace

std::string agileEncryptionInfo(const AgileDescriptor& d) {
    std::string out;
    append16(out, 4);  // version 4.4
    append16(out, 4);
    append32(out, 0x40);  // fAgile
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    out +=
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\" "
        "xmlns:c=\"http://schemas.microsoft.com/office/2006/keyEncryptor/certificate\">";
    out += "<keyData " + cipherAttributes(d.keyDataSalt) + "/>";
    out += "<dataIntegrity encryptedHmacKey=\"" + base64(d.encryptedHmacKey) +
           "\" encryptedHmacValue=\"" + base64(d.encryptedHmacValue) + "\"/>";
    out +=
        "<keyEncryptors><keyEncryptor "
        "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">";
    out += "<p:encryptedKey spinCount=\"" + std::to_string(d.spinCount) + "\" " +
           cipherAttributes(d.passwordSalt) + " encryptedVerifierHashInput=\"" +
           base64(d.encryptedVerifierHashInput) + "\" encryptedVerifierHashValue=\"" +
           base64(d.encryptedVerifierHashValue) + "\" encryptedKeyValue=\"" +
           base64(d.encryptedKeyValue) + "\"/>";
    out += "</keyEncryptor></keyEncryptors></encryption>";
    return out;
}

}  // namespace kovrisk::encryption
