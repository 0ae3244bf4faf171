// The sheets a BIFF8 workbook's globals list (BOUNDSHEET8 records), each matched to its
// substream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/biff_records.h"
#include "formats/workbook_substreams.h"

namespace kovrisk::file_edit::biff8 {

struct SheetEntry {
    // Indexes into the records: its BOUNDSHEET8, and its substream.
    std::size_t record = 0;
    encryption::biff::Substream substream;
    bool visible = true;
    // A worksheet (or dialog sheet), not a chart or macro sheet.
    bool worksheet = true;
    std::u16string name;
};

// The sheets in their order.  Throws EncryptionRefused (DamagedWorkbookStream) for a BOUNDSHEET8
// that is cut short or points at no substream, NotTaken for a substream no sheet claims or one
// claimed twice.
std::vector<SheetEntry> readSheetList(std::string_view stream,
                                      const std::vector<encryption::biff::Record>& records,
                                      const encryption::biff::WorkbookSubstreams& layout);

// Whether two sheet names are one, ASCII letters compared in either case.
bool sameSheetName(std::u16string_view left, std::u16string_view right);

}  // namespace kovrisk::file_edit::biff8
