// The shared string table of a BIFF8 workbook: the SST record with its CONTINUE records, and the
// EXTSST record that indexes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/biff_records.h"

namespace kovrisk::encryption::biff {

struct SharedStrings {
    // Indexes into the records: the SST, then its CONTINUE records.
    std::vector<std::size_t> records;
    std::uint32_t total = 0;
    std::uint32_t unique = 0;
    // Per string: the stream position where it starts, and that of the record it starts in.
    std::vector<std::size_t> starts;
    std::vector<std::size_t> recordStarts;
    // Per text looked for: the index of a plain string (no formatting runs, no phonetic data)
    // holding it, or -1.
    std::vector<std::int64_t> found;
    // Data past the last string the SST counts.
    bool trailingData = false;
};

// Reads the table whose SST record is records[sst].  Throws EncryptionRefused
// (DamagedWorkbookStream) when it holds fewer strings than it counts or a string runs past its
// records.  Linear in the table's size.
SharedStrings readSharedStrings(std::string_view stream, const std::vector<Record>& records,
                                std::size_t sst, const std::vector<std::u16string>& lookedFor);

// A string as the table holds it: 16-bit characters, no runs, no phonetic data.
std::string sharedString(std::u16string_view text);

// The strings per EXTSST bucket for `strings` strings: `current` while it keeps to 128 buckets,
// else the smallest that does (at least 8).
std::uint16_t extSstBucketSize(std::size_t strings, std::uint16_t current);

// The EXTSST record's data for the strings of `table`, `bucketSize` to a bucket.
std::string extSstData(const SharedStrings& table, std::uint16_t bucketSize);

// The EXTSST record's data size for `strings` strings.
std::size_t extSstDataSize(std::size_t strings, std::uint16_t bucketSize);

}  // namespace kovrisk::encryption::biff
