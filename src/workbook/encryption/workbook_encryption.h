// Open-password encryption of workbook files, as Excel writes it.
//
//   .xlsx (a zip package): agile encryption, AES-256-CBC with SHA-512 and a spin count of
//   100,000, with its data integrity check; the result is a compound file holding
//   "EncryptionInfo", "EncryptedPackage" and the "\x06DataSpaces" storage.
//
//   .xls (BIFF8 in a compound file): RC4 with CryptoAPI key derivation, 128-bit keys, the
//   "Microsoft Enhanced Cryptographic Provider v1.0"; a FILEPASS record after the first BOF (and
//   WRITEPROTECT, if that follows it), every stream position inside the workbook stream moved
//   along, the records encrypted in place, a tail too short for a record left out.  The pivot
//   caches, the revision log and its user names are encrypted the same way, each stream from
//   block 0.  The document properties stay in the clear (the FILEPASS flag says so); the other
//   streams and storages (controls, embeddings) stay as they are.
//
// The password is UTF-16 as shiftJisToUtf16 gives it: 1 to 255 units.  Both functions take every
// random value (salts, keys) from `crypto` and throw EncryptionRefused when the input or the
// password does not suit, CryptoFailure when a primitive fails.
#pragma once

#include <string>
#include <string_view>

#include "platform/crypto.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption {

inline constexpr std::size_t kMaxPasswordUnits = 255;

// The encrypted file of the package `package` (the bytes of an .xlsx).
std::string encryptOoxml(std::string_view package, std::u16string_view password,
                         CryptoPrimitives& crypto);

// The encrypted file of the binary workbook `compoundFile` (the bytes of an .xls).
std::string encryptBiff8(std::string_view compoundFile, std::u16string_view password,
                         CryptoPrimitives& crypto);

}  // namespace kovrisk::encryption
