#include "formats/workbook_substreams.h"

#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption::biff {

WorkbookSubstreams readSubstreams(const std::vector<Record>& records) {
    if (records.empty() || records.front().type != kBof) {
        throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream,
                                "the workbook stream starts with no BOF");
    }
    WorkbookSubstreams result;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& record = records[i];
        if (record.type == kBof) {
            if (depth++ == 0)
                result.substreams.push_back({i, i});
        } else if (record.type == kEof && depth > 0) {
            if (--depth == 0)
                result.substreams.back().last = i;
        } else if (depth == 0 && (record.type != 0 || record.length != 0)) {
            result.strayRecords = true;
        }
    }
    if (depth != 0) {
        throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream,
                                "a substream of the workbook stream has no end");
    }
    return result;
}

}  // namespace kovrisk::encryption::biff
