#include "formats/workbook_stream_positions.h"

#include "formats/little_endian.h"

namespace kovrisk::encryption::biff {

namespace {

// INDEX: reserved, first row, last row + 1, DEFCOLWIDTH position, then DBCELL positions.
constexpr std::size_t kIndexPositionsAt = 12;
// EXTSST: strings per bucket, then per bucket a position, an offset in its record and a
// reserved field.
constexpr std::size_t kExtSstBucketsAt = 2;
constexpr std::size_t kExtSstBucketSize = 8;

// A value past the stream's end is no position (EXTSST marks unused buckets with 0xFFFFFFFF).
void shiftAt(std::string& stream, std::size_t at, std::size_t from, std::size_t end,
             std::uint32_t shift) {
    const std::uint32_t position = load32(stream, at);
    if (position >= from && position < end)
        store32(stream, at, position + shift);
}

}  // namespace

void forEachStreamPosition(const Record& record, const std::function<void(std::size_t)>& visit) {
    const std::size_t data = record.dataAt();
    switch (record.type) {
        case kBoundSheet8:
            if (record.length >= 4)
                visit(data);
            break;
        case kIndex:
            for (std::size_t at = kIndexPositionsAt; at + 4 <= record.length; at += 4)
                visit(data + at);
            break;
        case kExtSst:
            for (std::size_t at = kExtSstBucketsAt; at + kExtSstBucketSize <= record.length;
                 at += kExtSstBucketSize) {
                visit(data + at);
            }
            break;
        default:
            break;
    }
}

void shiftStreamPositions(std::string& stream, const std::vector<Record>& records, std::size_t from,
                          std::size_t end, std::uint32_t shift) {
    for (const Record& record : records)
        forEachStreamPosition(record,
                              [&](std::size_t at) { shiftAt(stream, at, from, end, shift); });
}

}  // namespace kovrisk::encryption::biff
