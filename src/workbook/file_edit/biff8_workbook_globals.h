// What a BIFF8 workbook's globals hold that adding the control sheet changes, and whether earlier
// control sheets can be removed.
#pragma once

#include <cstddef>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/biff_records.h"
#include "formats/compound_file.h"
#include "formats/workbook_substreams.h"
#include "workbook/file_edit/biff8_sheet_list.h"

namespace kovrisk::file_edit::biff8 {

inline constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// Record indexes (kNone where there is none).
struct Globals {
    std::vector<std::size_t> fonts, formats, names, windows;
    std::size_t formatChecksum = kNone, sst = kNone, extSst = kNone, selfBook = kNone;
    std::size_t externSheet = kNone, sheetIds = kNone, lastSheet = kNone;
    // The self-reference's place among the SUPBOOK records.
    std::size_t selfBookIndex = 0;
};

// Throws NotTaken for an encrypted workbook, a protected structure, no room for another font or
// cell format, no shared string table; EncryptionRefused (DamagedWorkbookStream) for a font
// record cut short.
Globals scanGlobals(std::string_view stream, const std::vector<encryption::biff::Record>& records,
                    const encryption::biff::Substream& globals);

// Removing the sheets `removed` moves every later sheet's index down: throws NotTaken unless
// nothing refers to a sheet by an index at or past the first one removed, and the removed sheets
// are plain worksheets (no drawings, charts or code).
void checkRemovable(std::string_view stream, const std::vector<encryption::biff::Record>& records,
                    const encryption::CompoundEntry& root, const Globals& globals,
                    const std::vector<SheetEntry>& sheets, const std::set<std::size_t>& removed);

// The first kept worksheet's calculation records (CALCMODE to CALCSAVERECALC), whole, in their
// order; empty when it lacks one.
std::string calculationRecords(std::string_view stream,
                               const std::vector<encryption::biff::Record>& records,
                               const std::vector<SheetEntry>& sheets,
                               const std::set<std::size_t>& removed);

}  // namespace kovrisk::file_edit::biff8
