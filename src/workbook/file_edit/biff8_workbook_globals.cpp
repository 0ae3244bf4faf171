#include "workbook/file_edit/biff8_workbook_globals.h"

#include <algorithm>
#include <array>

#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"
#include "workbook/file_edit/not_taken.h"

namespace kovrisk::file_edit::biff8 {

namespace {

using encryption::CompoundEntry;
using encryption::EncryptionRefusal;
using encryption::EncryptionRefused;
using encryption::load16;
using encryption::biff::Record;
namespace biff = encryption::biff;

constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kXfCrc = 0x087C;
constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kSupBook = 0x01AE;
constexpr std::uint16_t kExternSheet = 0x0017;
constexpr std::uint16_t kLbl = 0x0018;
constexpr std::uint16_t kRrTabId = 0x013D;
constexpr std::uint16_t kProtect = 0x0012;
constexpr std::uint16_t kMsoDrawing = 0x00EC;
constexpr std::uint16_t kObj = 0x005D;
constexpr std::uint16_t kCodeName = 0x01BA;
// The self-reference's SUPBOOK marker, in place of a name's length.
constexpr std::uint16_t kSelfReference = 0x0401;
constexpr std::size_t kMaxFonts = 510;
constexpr std::size_t kMaxFormats = 4050;
// CALCMODE, CALCCOUNT, CALCREFMODE, CALCITER, CALCDELTA, CALCSAVERECALC, in their order.
constexpr std::array<std::uint16_t, 6> kCalculation{0x000D, 0x000C, 0x000F, 0x0011, 0x0010, 0x005F};

[[noreturn]] void damaged(const char* what) {
    throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream, what);
}

}  // namespace

Globals scanGlobals(std::string_view stream, const std::vector<Record>& records,
                    const biff::Substream& globals) {
    Globals g;
    std::size_t books = 0;
    for (std::size_t i = globals.first; i <= globals.last; ++i) {
        const Record& record = records[i];
        const std::size_t data = record.dataAt();
        switch (record.type) {
            case biff::kFilePass:
                throw NotTaken("an encrypted workbook");
            case kProtect:
                if (record.length >= 2 && load16(stream, data) != 0)
                    throw NotTaken("a protected workbook structure");
                break;
            case kFont:
                g.fonts.push_back(i);
                break;
            case kXf:
                g.formats.push_back(i);
                break;
            case kXfCrc:
                g.formatChecksum = i;
                break;
            case biff::kSst:
                g.sst = i;
                break;
            case biff::kExtSst:
                g.extSst = i;
                break;
            case kSupBook:
                if (record.length >= 4 && load16(stream, data + 2) == kSelfReference &&
                    g.selfBook == kNone) {
                    g.selfBook = i;
                    g.selfBookIndex = books;
                }
                ++books;
                break;
            case kExternSheet:
                g.externSheet = i;
                break;
            case kLbl:
                g.names.push_back(i);
                break;
            case kWindow1:
                g.windows.push_back(i);
                break;
            case kRrTabId:
                g.sheetIds = i;
                break;
            case biff::kBoundSheet8:
                g.lastSheet = i;
                break;
            default:
                break;
        }
    }
    if (g.fonts.empty() || g.formats.size() < 16)
        throw NotTaken("a workbook without its fonts and cell formats");
    if (g.fonts.size() >= kMaxFonts || g.formats.size() >= kMaxFormats)
        throw NotTaken("no room for another font or cell format");
    if (records[g.fonts.front()].length < 14)
        damaged("a font record is cut short");
    if (g.sst == kNone)
        throw NotTaken("a workbook without a shared string table");
    // An external sheet list goes on in CONTINUE records when it is long; otherwise its record
    // holds every entry it counts.
    if (g.externSheet != kNone && (g.externSheet + 1 >= records.size() ||
                                   records[g.externSheet + 1].type != biff::kContinue)) {
        const Record& list = records[g.externSheet];
        if (list.length < 2 || 2 + 6 * std::size_t{load16(stream, list.dataAt())} > list.length)
            damaged("the external sheet list is cut short");
    }
    if (g.formatChecksum != kNone && records[g.formatChecksum].length < 20)
        throw NotTaken("a cell format checksum of an unknown form");
    return g;
}

// Removing an earlier control sheet moves every later sheet's index down: taken only where
// nothing refers to a sheet by an index at or past the first one removed.
void checkRemovable(std::string_view stream, const std::vector<Record>& records,
                    const CompoundEntry& root, const Globals& g,
                    const std::vector<SheetEntry>& sheets, const std::set<std::size_t>& removed) {
    const std::size_t first = *removed.begin();
    for (const std::size_t index : removed) {
        const SheetEntry& sheet = sheets[index];
        const Record& bof = records[sheet.substream.first];
        if (!sheet.worksheet || bof.length < 4 ||
            load16(stream, bof.dataAt() + 2) != biff::kWorksheetSubstream) {
            throw NotTaken("a sheet named like the control sheet that is no worksheet");
        }
        for (std::size_t i = sheet.substream.first + 1; i < sheet.substream.last; ++i) {
            const std::uint16_t type = records[i].type;
            if (type == biff::kBof || type == kMsoDrawing || type == kObj || type == kCodeName)
                throw NotTaken("an earlier control sheet with drawings, charts or code");
        }
    }
    if (root.child(u"Revision Log") != nullptr)
        throw NotTaken("an earlier control sheet in a shared workbook");
    const char* const byIndex =
        "a formula or name that refers to sheets past an earlier control sheet";
    if (g.externSheet != kNone) {
        const Record& list = records[g.externSheet];
        if (g.externSheet + 1 < records.size() &&
            records[g.externSheet + 1].type == biff::kContinue)
            throw NotTaken(byIndex);
        const std::size_t count = load16(stream, list.dataAt());
        for (std::size_t i = 0; i < count && g.selfBook != kNone; ++i) {
            const std::size_t at = list.dataAt() + 2 + 6 * i;
            const std::uint16_t firstTab = load16(stream, at + 2), lastTab = load16(stream, at + 4);
            if (load16(stream, at) == g.selfBookIndex && firstTab < 0xFFFE &&
                std::max(firstTab, lastTab) >= first) {
                throw NotTaken(byIndex);
            }
        }
    }
    for (const std::size_t name : g.names) {
        const Record& record = records[name];
        if (record.length >= 10) {
            const std::uint16_t sheet = load16(stream, record.dataAt() + 8);
            if (sheet != 0 && sheet - 1u >= first)
                throw NotTaken(byIndex);
        }
    }
    if (g.sheetIds != kNone && records[g.sheetIds].length / 2 != sheets.size())
        throw NotTaken("a sheet id list that does not match the sheets");
}

// The first worksheet's calculation records, whole, in their order; empty when it lacks one.
std::string calculationRecords(std::string_view stream, const std::vector<Record>& records,
                               const std::vector<SheetEntry>& sheets,
                               const std::set<std::size_t>& removed) {
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        if (removed.count(s) || !sheets[s].worksheet)
            continue;
        std::array<std::size_t, kCalculation.size()> found;
        found.fill(kNone);
        std::size_t depth = 0;
        for (std::size_t i = sheets[s].substream.first + 1; i < sheets[s].substream.last; ++i) {
            const std::uint16_t type = records[i].type;
            depth += type == biff::kBof ? 1 : 0;
            if (type == biff::kEof && depth > 0)
                --depth;
            const auto at = std::find(kCalculation.begin(), kCalculation.end(), type);
            if (depth == 0 && at != kCalculation.end() && found[at - kCalculation.begin()] == kNone)
                found[at - kCalculation.begin()] = i;
        }
        std::string out;
        for (const std::size_t i : found) {
            if (i == kNone)
                return {};
            out.append(stream.substr(records[i].at, records[i].end() - records[i].at));
        }
        return out;
    }
    return {};
}

}  // namespace kovrisk::file_edit::biff8
