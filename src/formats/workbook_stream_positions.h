// The fields of a BIFF8 workbook stream that hold absolute stream positions, moved along when
// bytes are inserted before them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/biff_records.h"

namespace kovrisk::encryption::biff {

// Adds `shift` to every stream position held by the records of `stream` that is at or past
// `from` and before `end` (the stream's size before the insertion; what lies past it points at
// nothing): BOUNDSHEET8's sheet position, INDEX's DEFCOLWIDTH and DBCELL positions, and EXTSST's
// SST string positions.  DBCELL's own offsets are relative and stay.
void shiftStreamPositions(std::string& stream, const std::vector<Record>& records, std::size_t from,
                          std::size_t end, std::uint32_t shift);

// Calls `visit` with the stream offset of each field of `record` (within `stream`) that holds an
// absolute stream position: the ones shiftStreamPositions moves.
void forEachStreamPosition(const Record& record, const std::function<void(std::size_t)>& visit);

}  // namespace kovrisk::encryption::biff
