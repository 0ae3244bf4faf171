#include "workbook/file_edit/biff8_sheet_records.h"

#include <cstring>

#include "formats/biff_records.h"
#include "formats/little_endian.h"

namespace kovrisk::file_edit::biff8 {

namespace {

using encryption::append16;
using encryption::append32;
using encryption::store16;
using encryption::store32;

// Record types of a worksheet substream.
constexpr std::uint16_t kIndex = 0x020B;
constexpr std::uint16_t kCalcMode = 0x000D;
constexpr std::uint16_t kCalcCount = 0x000C;
constexpr std::uint16_t kCalcRefMode = 0x000F;
constexpr std::uint16_t kCalcIter = 0x0011;
constexpr std::uint16_t kCalcDelta = 0x0010;
constexpr std::uint16_t kCalcSaveRecalc = 0x005F;
constexpr std::uint16_t kPrintRowCol = 0x002A;
constexpr std::uint16_t kPrintGrid = 0x002B;
constexpr std::uint16_t kGridSet = 0x0082;
constexpr std::uint16_t kGuts = 0x0080;
constexpr std::uint16_t kDefaultRowHeight = 0x0225;
constexpr std::uint16_t kWsBool = 0x0081;
constexpr std::uint16_t kHeader = 0x0014;
constexpr std::uint16_t kFooter = 0x0015;
constexpr std::uint16_t kHCenter = 0x0083;
constexpr std::uint16_t kVCenter = 0x0084;
constexpr std::uint16_t kSetup = 0x00A1;
constexpr std::uint16_t kProtect = 0x0012;
constexpr std::uint16_t kScenarioProtect = 0x00DD;
constexpr std::uint16_t kObjProtect = 0x0063;
constexpr std::uint16_t kPassword = 0x0013;
constexpr std::uint16_t kDefColWidth = 0x0055;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kRow = 0x0208;
constexpr std::uint16_t kLabelSst = 0x00FD;
constexpr std::uint16_t kDbCell = 0x00D7;
constexpr std::uint16_t kWindow2 = 0x023E;

// Rows 1 and 2, Z is column 25.
constexpr std::uint16_t kTagColumn = 25;
// The default cell format, and the default row height (twips).
constexpr std::uint16_t kDefaultFormat = 15;
constexpr std::uint16_t kRowHeight = 0x00FF;
// WINDOW2: gridlines, headers, zeros, default header colour, outline symbols; not selected.
constexpr std::uint16_t kWindowFlags = 0x00B6;

std::string u16(std::uint16_t value) {
    std::string out;
    append16(out, value);
    return out;
}

std::string rowRecord(std::uint16_t row, std::uint16_t firstColumn, std::uint16_t lastColumn) {
    std::string data;
    append16(data, row);
    append16(data, firstColumn);
    append16(data, static_cast<std::uint16_t>(lastColumn + 1));
    append16(data, kRowHeight);
    append32(data, 0);
    // Reserved bit 8 set, the row's format the default one.
    append32(data, 0x0100u | (static_cast<std::uint32_t>(kDefaultFormat) << 16));
    return record(kRow, data);
}

std::string labelRecord(std::uint16_t row, std::uint16_t column, std::uint16_t format,
                        std::uint32_t string) {
    std::string data;
    append16(data, row);
    append16(data, column);
    append16(data, format);
    append32(data, string);
    return record(kLabelSst, data);
}

}  // namespace

std::string record(std::uint16_t type, std::string_view data) {
    std::string out;
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(data.size()));
    out += data;
    return out;
}

std::string defaultCalculationRecords() {
    std::string delta;
    // 0.001 as an IEEE double.
    encryption::append64(delta, 0x3F50624DD2F1A9FCull);
    return record(kCalcMode, u16(1)) + record(kCalcCount, u16(100)) + record(kCalcRefMode, u16(1)) +
           record(kCalcIter, u16(0)) + record(kCalcDelta, delta) + record(kCalcSaveRecalc, u16(1));
}

std::string controlSheetSubstream(const SheetContent& content, std::size_t at) {
    std::string bof(content.globalsBof);
    store16(bof, 2, encryption::biff::kWorksheetSubstream);
    std::string out = record(encryption::biff::kBof, bof);

    // INDEX, filled in once the positions are known: rows 1 to 2, one row block.
    const std::size_t index = out.size();
    std::string indexData(20, '\0');
    store32(indexData, 8, 2);
    out += record(kIndex, indexData);

    out += content.calculation.empty() ? defaultCalculationRecords() : content.calculation;
    out += record(kPrintRowCol, u16(0)) + record(kPrintGrid, u16(0)) + record(kGridSet, u16(1)) +
           record(kGuts, std::string(8, '\0')) +
           record(kDefaultRowHeight, u16(0) + u16(kRowHeight)) + record(kWsBool, u16(0x04C1));
    std::string setup;
    // Paper, scale, first page, fit width and height; no printer settings (fNoPls).
    setup += u16(0) + u16(100) + u16(1) + u16(1) + u16(1) + u16(0x0004) + u16(0) + u16(0);
    encryption::append64(setup, 0x3FE0000000000000ull);  // header margin 0.5 in
    encryption::append64(setup, 0x3FE0000000000000ull);  // footer margin 0.5 in
    setup += u16(1);
    out += record(kHeader, {}) + record(kFooter, {}) + record(kHCenter, u16(0)) +
           record(kVCenter, u16(0)) + record(kSetup, setup);

    // Protect(Password, DrawingObjects:=True, Contents:=True, Scenarios:=True).
    out += record(kProtect, u16(1)) + record(kScenarioProtect, u16(1)) +
           record(kObjProtect, u16(1)) + record(kPassword, u16(content.passwordHash));

    const std::size_t columnWidth = out.size();
    out += record(kDefColWidth, u16(8));
    std::string dimensions;
    append32(dimensions, 0);
    append32(dimensions, 2);
    dimensions += u16(0) + u16(kTagColumn + 1) + u16(0);
    out += record(kDimensions, dimensions);

    const std::size_t firstRow = out.size();
    out += rowRecord(0, 0, 0);
    const std::size_t firstRowEnd = out.size();
    out += rowRecord(1, kTagColumn, kTagColumn);
    const std::size_t firstCell = out.size();
    out += labelRecord(0, 0, kDefaultFormat, content.warning);
    const std::size_t secondCell = out.size();
    out += labelRecord(1, kTagColumn, content.tagFormat, content.tag);
    const std::size_t block = out.size();
    std::string cells;
    append32(cells, static_cast<std::uint32_t>(block - firstRow));
    append16(cells, static_cast<std::uint16_t>(firstCell - firstRowEnd));
    append16(cells, static_cast<std::uint16_t>(secondCell - firstCell));
    out += record(kDbCell, cells);

    std::string window;
    window += u16(kWindowFlags) + u16(0) + u16(0) + u16(0x0040) + u16(0) + u16(0) + u16(0) +
              u16(0) + u16(0);
    out += record(kWindow2, window);
    out += record(encryption::biff::kEof, {});

    store32(out, index + 4 + 12, static_cast<std::uint32_t>(at + columnWidth));
    store32(out, index + 4 + 16, static_cast<std::uint32_t>(at + block));
    return out;
}

std::string hiddenSheetRecord(std::u16string_view name) {
    std::string data;
    append32(data, 0);
    data += '\x01';  // hidden
    data += '\x00';  // a worksheet
    bool narrow = true;
    for (const char16_t unit : name)
        narrow = narrow && unit < 0x100;
    data += static_cast<char>(name.size());
    data += narrow ? '\x00' : '\x01';
    for (const char16_t unit : name) {
        if (narrow)
            data += static_cast<char>(unit);
        else
            append16(data, unit);
    }
    return record(encryption::biff::kBoundSheet8, data);
}

std::string whiteFontRecord(std::string_view font) {
    std::string data(font);
    // icv: palette entries start at 8; colour index 2 is the second.
    store16(data, 4, 0x0009);
    return record(0x0031, data);
}

std::string cellFormatRecord(std::uint16_t font) {
    std::string data;
    append16(data, font);
    append16(data, 0);       // General
    append16(data, 0x0001);  // locked, a cell format of the Normal style (XF 0)
    data += '\x20';          // bottom aligned
    data += '\x00';
    append16(data, 0x0800);  // its own font
    append32(data, 0);       // no borders
    append32(data, 0);
    append16(data, 0x20C0);  // pattern colours: the system's foreground and background
    return record(0x00E0, data);
}

}  // namespace kovrisk::file_edit::biff8
