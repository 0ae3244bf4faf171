#include "workbook/file_edit/biff8_sheet_list.h"

#include <algorithm>

#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"
#include "workbook/file_edit/not_taken.h"

namespace kovrisk::file_edit::biff8 {

namespace {

using encryption::EncryptionRefusal;
using encryption::EncryptionRefused;
using encryption::biff::Record;

[[noreturn]] void damaged(const char* what) {
    throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream, what);
}

char16_t asciiUpper(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

std::u16string sheetName(std::string_view stream, const Record& record) {
    const std::size_t data = record.dataAt();
    if (record.length < 8)
        damaged("a sheet entry is cut short");
    const std::size_t count = static_cast<std::uint8_t>(stream[data + 6]);
    const bool high = (stream[data + 7] & 1) != 0;
    if (8 + count * (high ? 2 : 1) > record.length)
        damaged("a sheet name runs past its record");
    std::u16string name;
    for (std::size_t i = 0; i < count; ++i) {
        name += high ? static_cast<char16_t>(encryption::load16(stream, data + 8 + 2 * i))
                     : static_cast<char16_t>(static_cast<std::uint8_t>(stream[data + 8 + i]));
    }
    return name;
}

}  // namespace

bool sameSheetName(std::u16string_view left, std::u16string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char16_t a, char16_t b) { return asciiUpper(a) == asciiUpper(b); });
}

std::vector<SheetEntry> readSheetList(std::string_view stream, const std::vector<Record>& records,
                                      const encryption::biff::WorkbookSubstreams& layout) {
    const encryption::biff::Substream& globals = layout.substreams.front();
    // The sheets' substreams by the position of their BOF (in stream order).
    std::vector<std::pair<std::size_t, std::size_t>> byPosition;
    for (std::size_t i = 1; i < layout.substreams.size(); ++i)
        byPosition.emplace_back(records[layout.substreams[i].first].at, i);
    std::vector<bool> claimed(layout.substreams.size(), false);

    std::vector<SheetEntry> sheets;
    for (std::size_t i = globals.first; i <= globals.last; ++i) {
        const Record& record = records[i];
        if (record.type != encryption::biff::kBoundSheet8)
            continue;
        SheetEntry sheet;
        sheet.record = i;
        sheet.name = sheetName(stream, record);
        const std::uint32_t position = encryption::load32(stream, record.dataAt());
        const auto found = std::lower_bound(byPosition.begin(), byPosition.end(),
                                            std::make_pair(std::size_t{position}, std::size_t{0}));
        if (found == byPosition.end() || found->first != position)
            damaged("a sheet's position is no substream");
        if (claimed[found->second])
            throw NotTaken("two sheets with one substream");
        claimed[found->second] = true;
        sheet.substream = layout.substreams[found->second];
        sheet.visible = (stream[record.dataAt() + 4] & 0x03) == 0;
        const std::uint8_t type = static_cast<std::uint8_t>(stream[record.dataAt() + 5]);
        if (type != 0 && type != 1 && type != 2)
            throw NotTaken("a sheet of an unknown kind");
        sheet.worksheet = type == 0;
        sheets.push_back(std::move(sheet));
    }
    if (std::count(claimed.begin() + 1, claimed.end(), false) > 0)
        throw NotTaken("a substream no sheet lists");
    return sheets;
}

}  // namespace kovrisk::file_edit::biff8
