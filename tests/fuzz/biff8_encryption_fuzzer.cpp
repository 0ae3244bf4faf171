// The BIFF8 walker, the stream-position fixing and RC4 CryptoAPI encryption on any workbook
// stream (the input; a pivot cache beside it holds the same bytes).  Encrypted and decrypted again
// with the key stream as a reader runs it, the workbook stream is the original with the FILEPASS
// record after the first BOF (or WRITEPROTECT) and every stream position at or past it moved
// along; the pivot cache is the original.  A refusal (EncryptionRefused) is fine; anything else is
// a fault.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fakes/scripted_random_crypto.h"
#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "workbook/encryption/rc4_cryptoapi.h"
#include "workbook/encryption/workbook_encryption.h"

using namespace kovrisk;
using namespace kovrisk::encryption;

namespace {

const std::string kSalt = "0123456789abcdef";
constexpr std::u16string_view kPassword = u"MIRTHOLAN";

void require(bool holds) {
    if (!holds)
        std::abort();
}

// What a reader decrypts: every record's data but that of the records readers need first, and
// but BOUNDSHEET8's sheet position.
std::string decrypted(std::string stream) {
    constexpr std::array kClear{biff::kBof,      biff::kFilePass,     biff::kUsrExcl,
                                biff::kFileLock, biff::kInterfaceHdr, biff::kRrdInfo,
                                biff::kRrdHead};
    testing::ScriptedRandomCrypto crypto;
    Rc4CryptoApiStream cipher(crypto, rc4CryptoApiPasswordHash(crypto, kPassword, kSalt));
    for (const biff::Record& r : biff::readRecords(stream)) {
        if (std::find(kClear.begin(), kClear.end(), r.type) != kClear.end())
            continue;
        const std::size_t from =
            r.type == biff::kBoundSheet8 ? std::min(r.dataAt() + 4, r.end()) : r.dataAt();
        cipher.apply(stream, from, r.end());
    }
    return stream;
}

// The positions of the stream-position fields of `stream`'s records.
std::vector<std::size_t> positionFields(std::string_view stream) {
    std::vector<std::size_t> fields;
    for (const biff::Record& r : biff::readRecords(stream)) {
        if (r.type == biff::kBoundSheet8 && r.length >= 4)
            fields.push_back(r.dataAt());
        for (std::size_t at = 12; r.type == biff::kIndex && at + 4 <= r.length; at += 4)
            fields.push_back(r.dataAt() + at);
        for (std::size_t at = 2; r.type == biff::kExtSst && at + 8 <= r.length; at += 8)
            fields.push_back(r.dataAt() + at);
    }
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string plain(reinterpret_cast<const char*>(data), size);
    CompoundEntry root = CompoundEntry::storage(u"Root Entry", {});
    root.children.push_back(CompoundEntry::stream(u"Workbook", plain));
    root.children.push_back(
        CompoundEntry::storage(u"_SX_DB_CUR", {CompoundEntry::stream(u"0001", plain)}));
    std::string locked;
    try {
        testing::ScriptedRandomCrypto crypto(kSalt + "verifier16bytes!");
        locked = encryptBiff8(writeCompoundFile(root), kPassword, crypto);
    } catch (const EncryptionRefused&) {
        return 0;
    }
    const CompoundEntry out = readCompoundFile(locked);
    require(decrypted(out.child(u"_SX_DB_CUR")->child(u"0001")->data) == plain);

    const std::string stream = decrypted(out.child(u"Workbook")->data);
    const std::vector<biff::Record> records = biff::readRecords(stream);
    const std::size_t filePassIndex = records.size() > 2 &&
                                              records[1].type == biff::kWriteProtect &&
                                              records[2].type == biff::kFilePass
                                          ? 2
                                          : 1;
    require(records.size() > filePassIndex && records[filePassIndex].type == biff::kFilePass);
    const biff::Record filePass = records[filePassIndex];
    const std::size_t insertAt = filePass.at;
    const std::size_t shift = filePass.end() - filePass.at;
    // The original, whole records only (a tail too short for a record goes).
    const std::vector<biff::Record> original = biff::readRecords(plain);
    const std::string kept = plain.substr(0, original.empty() ? 0 : original.back().end());
    std::string back = stream.substr(0, insertAt) + stream.substr(insertAt + shift);
    require(back.size() == kept.size());
    // Each position field: moved along where it pointed at or past the insertion, inside the
    // original stream; as it was otherwise.
    for (const std::size_t at : positionFields(kept)) {
        const std::uint32_t was = load32(kept, at);
        const std::uint32_t is = load32(back, at);
        require(is == (was >= insertAt && was < plain.size() ? was + shift : was));
        store32(back, at, was);
    }
    require(back == kept);
    return 0;
}
