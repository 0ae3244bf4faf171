// The substreams of a BIFF8 workbook stream: the globals, then one per sheet, each from its BOF
// record to the EOF record that closes it (embedded charts nest their own BOF and EOF inside).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "formats/biff_records.h"

namespace kovrisk::encryption::biff {

struct Substream {
    // Indexes into the records: the BOF and its EOF.
    std::size_t first = 0;
    std::size_t last = 0;
};

struct WorkbookSubstreams {
    // The first is the globals substream.
    std::vector<Substream> substreams;
    // Records outside every substream that are not zero padding (type and length 0).
    bool strayRecords = false;
};

// The top-level substreams of `records`.  Throws EncryptionRefused (DamagedWorkbookStream) when
// the stream does not start with a BOF or a BOF is not closed by its EOF.
WorkbookSubstreams readSubstreams(const std::vector<Record>& records);

}  // namespace kovrisk::encryption::biff
