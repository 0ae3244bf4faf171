#include "formats/biff_records.h"

#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption::biff {

std::vector<Record> readRecords(std::string_view stream) {
    std::vector<Record> records;
    std::size_t at = 0;
    while (stream.size() - at >= kHeaderSize) {
        const Record record{at, load16(stream, at), load16(stream, at + 2)};
        if (record.end() > stream.size()) {
            throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream,
                                    "a workbook record runs past the end of its stream");
        }
        records.push_back(record);
        at = record.end();
    }
    return records;
}

}  // namespace kovrisk::encryption::biff
