// RC4 CryptoAPI encryption of a BIFF8 workbook.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "formats/workbook_stream_positions.h"
#include "workbook/encryption/password_check.h"
#include "workbook/encryption/rc4_cryptoapi.h"
#include "workbook/encryption/rc4_cryptoapi_filepass.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk::encryption {

namespace {

using biff::Record;

// Records whose data stays in the clear.  BOF among them, in every substream: an embedded
// chart's BOF too, or readers lose the chart.
constexpr std::array kClearRecords{biff::kBof,      biff::kFilePass,     biff::kUsrExcl,
                                   biff::kFileLock, biff::kInterfaceHdr, biff::kRrdInfo,
                                   biff::kRrdHead};

bool staysClear(std::uint16_t type) {
    return std::find(kClearRecords.begin(), kClearRecords.end(), type) != kClearRecords.end();
}

[[noreturn]] void refuse(EncryptionRefusal reason, const char* what) {
    throw EncryptionRefused(reason, what);
}

CompoundEntry& workbookStream(CompoundEntry& root) {
    CompoundEntry* workbook = root.child(u"Workbook");
    if (workbook == nullptr || workbook->kind != CompoundEntry::Kind::Stream) {
        // An encrypted package (.xlsx) is a compound file too.
        if (root.child(u"EncryptionInfo") != nullptr)
            refuse(EncryptionRefusal::AlreadyEncrypted, "an encrypted package");
        if (root.child(u"Book") != nullptr)
            refuse(EncryptionRefusal::OlderBinaryFormat, "an Excel 95 or older workbook");
        refuse(EncryptionRefusal::NotAWorkbookFile, "no workbook stream");
    }
    return *workbook;
}

// Checks that the stream starts a BIFF8 workbook and is not encrypted yet.
void checkWorkbookStream(std::string_view stream, const std::vector<Record>& records) {
    if (records.empty() || records.front().type != biff::kBof || records.front().length < 4)
        refuse(EncryptionRefusal::DamagedWorkbookStream, "the workbook stream starts with no BOF");
    const Record& bof = records.front();
    if (load16(stream, bof.dataAt()) != biff::kBiff8Version)
        refuse(EncryptionRefusal::OlderBinaryFormat, "a workbook older than BIFF8");
    if (load16(stream, bof.dataAt() + 2) != biff::kGlobalsSubstream)
        refuse(EncryptionRefusal::DamagedWorkbookStream, "the workbook stream has no globals");
    for (const Record& record : records) {
        if (record.type == biff::kFilePass)
            refuse(EncryptionRefusal::AlreadyEncrypted, "the workbook is encrypted already");
    }
}

// The FILEPASS record for `password`, with a fresh salt and verifier; sets `passwordHash`.
std::string filePassRecord(CryptoPrimitives& crypto, std::u16string_view password,
                           std::string& passwordHash) {
    const std::string salt = crypto.randomBytes(kRc4CryptoApiSaltSize);
    const std::string verifier = crypto.randomBytes(kRc4CryptoApiVerifierSize);
    passwordHash = rc4CryptoApiPasswordHash(crypto, password, salt);
    // The verifier and its hash run through one key stream, that of block 0.
    std::string sealed = verifier + crypto.sha1({verifier});
    Rc4(rc4CryptoApiBlockKey(crypto, passwordHash, 0)).apply(sealed, 0, sealed.size());
    const std::string data =
        rc4CryptoApiFilePass(salt, std::string_view(sealed).substr(0, verifier.size()),
                             std::string_view(sealed).substr(verifier.size()));
    std::string record;
    append16(record, biff::kFilePass);
    append16(record, static_cast<std::uint16_t>(data.size()));
    return record + data;
}

// Encrypts every record's data in place, but for the records and the BOUNDSHEET8 field that
// readers need before decrypting.  Each stream starts its own key stream at block 0.
void encryptRecords(std::string& stream, CryptoPrimitives& crypto,
                    const std::string& passwordHash) {
    Rc4CryptoApiStream cipher(crypto, passwordHash);
    for (const Record& record : biff::readRecords(stream)) {
        if (staysClear(record.type))
            continue;
        // BOUNDSHEET8's sheet position stays readable.
        const std::size_t from = record.type == biff::kBoundSheet8
                                     ? std::min(record.dataAt() + 4, record.end())
                                     : record.dataAt();
        cipher.apply(stream, from, record.end());
    }
}

// The other streams of records that Excel encrypts the way it encrypts the workbook stream: every
// pivot cache (the streams of "_SX_DB_CUR"), the shared workbook's revision log and its user
// names.  Readers decrypt them with the workbook's key (LibreOffice does, for the pivot caches).
std::vector<CompoundEntry*> recordStreamsBesideWorkbook(CompoundEntry& root) {
    std::vector<CompoundEntry*> streams;
    if (CompoundEntry* caches = root.child(u"_SX_DB_CUR");
        caches != nullptr && caches->kind == CompoundEntry::Kind::Storage) {
        for (CompoundEntry& cache : caches->children) {
            if (cache.kind == CompoundEntry::Kind::Stream)
                streams.push_back(&cache);
        }
    }
    for (const std::u16string_view name : {u"Revision Log", u"User Names"}) {
        if (CompoundEntry* stream = root.child(name);
            stream != nullptr && stream->kind == CompoundEntry::Kind::Stream) {
            streams.push_back(stream);
        }
    }
    return streams;
}

}  // namespace

std::string encryptBiff8(std::string_view compoundFile, std::u16string_view password,
                         CryptoPrimitives& crypto) {
    checkPassword(password);
    CompoundEntry root = readCompoundFile(compoundFile);
    CompoundEntry& workbook = workbookStream(root);
    const std::string& plain = workbook.data;
    const std::vector<Record> records = biff::readRecords(plain);
    checkWorkbookStream(plain, records);

    std::string passwordHash;
    const std::string filePass = filePassRecord(crypto, password, passwordHash);
    // FILEPASS comes right after the globals' BOF, or after WRITEPROTECT where that follows it.
    const bool writeProtected = records.size() > 1 && records[1].type == biff::kWriteProtect;
    const std::size_t insertAt = records[writeProtected ? 1 : 0].end();
    std::string stream;
    stream.reserve(plain.size() + filePass.size());
    stream.append(plain, 0, insertAt);
    stream += filePass;
    // Bytes after the last record too few for a record header (the end of zero padding, say) are
    // left out: decryptors read the encrypted stream record by record to its end.
    stream.append(plain, insertAt, records.back().end() - insertAt);
    std::vector<Record> shifted = records;
    for (Record& record : shifted) {
        if (record.at >= insertAt)
            record.at += filePass.size();
    }
    biff::shiftStreamPositions(stream, shifted, insertAt, plain.size(),
                               static_cast<std::uint32_t>(filePass.size()));
    encryptRecords(stream, crypto, passwordHash);
    workbook.data = std::move(stream);
    // One of them whose records do not hold together refuses the whole file.  A tail too short
    // for a record is kept as it is: these streams keep their size.
    for (CompoundEntry* other : recordStreamsBesideWorkbook(root)) {
        encryptRecords(other->data, crypto, passwordHash);
    }
    try {
        return writeCompoundFile(root);
    } catch (const std::invalid_argument& unwritable) {
        // Two entries of one storage under one name, say: the container was damaged.
        throw EncryptionRefused(EncryptionRefusal::DamagedCompoundFile,
                                std::string("damaged compound file: ") + unwritable.what());
    }
}

}  // namespace kovrisk::encryption
