// The records the control sheet adds to a BIFF8 workbook stream: its worksheet substream, its
// BOUNDSHEET8, and the white font and cell format of its tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kovrisk::file_edit::biff8 {

// One record: type, length, data.  The data must fit one record.
std::string record(std::uint16_t type, std::string_view data);

struct SheetContent {
    // The globals' BOF data: the new substream's BOF takes its version and build.
    std::string_view globalsBof;
    // The calculation records (CALCMODE to CALCSAVERECALC) of the first worksheet, whole, or
    // empty for the defaults.
    std::string calculation;
    // Shared string indexes of A1's warning and Z2's tag, and Z2's cell format.
    std::uint32_t warning = 0;
    std::uint32_t tag = 0;
    std::uint16_t tagFormat = 0;
    // The protection password's verifier.
    std::uint16_t passwordHash = 0;
};

// The worksheet substream, BOF to EOF, for the stream position `at` it is written to.
std::string controlSheetSubstream(const SheetContent& content, std::size_t at);

// The calculation records the substream carries when the workbook gives none.
std::string defaultCalculationRecords();

// A hidden worksheet's BOUNDSHEET8 named `name` (at most 31 units), its position 0 for now.
std::string hiddenSheetRecord(std::u16string_view name);

// FONT: `font`'s data (a FONT record's) in colour index 2 of the palette, white.
std::string whiteFontRecord(std::string_view font);

// XF: a cell format with font `font` and everything else the Normal style's.
std::string cellFormatRecord(std::uint16_t font);

}  // namespace kovrisk::file_edit::biff8
